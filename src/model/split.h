#pragma once
// Split payments: one payment from an account divided among envelopes. Each part is an
// ordinary Expense of its envelope (so balances, statistics and the workbook's sums treat it
// like any expense); the parts of one payment share a split number and the payment's
// account, payee and time. These functions record, replace and remove a split as a whole
// through the budget's ledger, so one undo step holds all of it.

#include "model/transaction.h"

#include <QString>
#include <vector>

class Budget;

struct SplitPart {
    ItemId envelope = kNoId;
    Amount amount = 0; // stored sign: spending is negative
    QString description;
    bool operator==(const SplitPart&) const = default;
};

// The sum of the parts' amounts, in 64 bits.
std::int64_t splitTotal(const std::vector<SplitPart>& parts);

// The transactions of t's payment in stored order: its split's parts, or t alone when it is
// not split.
std::vector<const Transaction*> paymentOf(const Budget& budget, const Transaction* t);
// The parts of a payment as SplitParts (envelope, amount, description), in stored order.
std::vector<SplitPart> splitPartsOf(const std::vector<const Transaction*>& payment);
// What the account sees of a payment: its parts' amounts added up.
std::int64_t paymentAmount(const std::vector<const Transaction*>& payment);

// A number no transaction of the budget carries yet.
quint32 nextSplitNumber(const Budget& budget);

// The transactions that record payment (account, payee, time, bank id taken from it) as
// the given parts under split number: expenses tied by the number, or with one part a
// plain expense of that part.
std::vector<Transaction> splitTransactions(const Transaction& payment,
                                           const std::vector<SplitPart>& parts, quint32 number);

// Records the payment as its parts; with one part, as a plain expense. The transactions
// recorded, in stored order.
std::vector<const Transaction*> recordSplit(Budget& budget, const Transaction& payment,
                                            const std::vector<SplitPart>& parts);
// Puts the parts (payment's values for account, payee and time) in place of the whole
// payment that t belongs to (a plain expense becomes a split this way, and a split left
// with one part a plain expense). False when t is not in the budget or parts is empty.
bool replacePayment(Budget& budget, const Transaction* t, Transaction payment,
                    const std::vector<SplitPart>& parts);
// Removes t's whole payment; the number of transactions removed.
int removePayment(Budget& budget, const Transaction* t);
