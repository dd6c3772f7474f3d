#pragma once
// What each row of the envelope tree shows, computed from the model (no painting here).

#include "model/items.h"
#include "model/transaction.h"

#include <QString>

// How an amount cell is coloured (the window maps these to palette colours).
enum class AmountColour { Grey, Red, Normal };
// Zero is grey, negative with negativeIsBad is red, anything else normal.
AmountColour amountTextColour(Amount value, bool negativeIsBad);

struct TreeRowValues {
    Amount budgeted = 0;   // envelope budgeted or folder totalBudgeted (negative for spending)
    Amount actual = 0;     // this month's flow
    Amount difference = 0; // actual - budgeted
    Amount balance = 0;
    bool showBalance = false; // envelopes with virtualAccount only
    QString information;      // column "Information"
    // Fill bar: target in cents (0 = no bar); the painter scales balance / target.
    Amount barTarget = 0;
};

// Values of a folder or envelope row; flows come from one MonthFlows pass per refresh.
TreeRowValues computeTreeRowValues(const Budget& budget, const AccountBase& item,
                                   const MonthFlows& flows);

// Action zones of the tree (0 none, 1..3 envelope, 4..6 folder, 7 the "Add folder" row).
enum class TreeZone : int {
    None = 0,
    EditEnvelope = 1,
    RecordExpense = 2,
    FundEnvelope = 3,
    AddEnvelope = 4,
    EditFolder = 5,
    FundFolder = 6,
    AddFolder = 7
};
// Tooltip text of a zone with the item's name.
QString treeZoneTooltip(TreeZone zone, const QString& itemName);
