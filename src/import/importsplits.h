#pragma once
// Statement lines divided among categories: their parts' envelopes and how they are recorded.

#include "import/qifreader.h"

#include <vector>

class Budget;
struct Transaction;

// Gives each part of a divided line the envelope its category names (the whole name, or the
// last piece of "Food:Groceries", ignoring case); a category that names none takes the
// envelope the line itself was mapped to.
void mapImportParts(const Budget& budget, std::vector<ImportRecord>& records);

// Every part of a divided line has an envelope that exists.
bool partsAssigned(const Budget& budget, const ImportRecord& record);

// The review's text for a divided line's envelope: "Split (3)".
QString importSplitText(const ImportRecord& record);

// The expenses a line becomes: one, or its parts tied by split number (payment carries the
// account, payee, date, memo and bank id of the line).
std::vector<Transaction> importTransactions(const Transaction& payment, const ImportRecord& record,
                                            quint32 splitNumber);
