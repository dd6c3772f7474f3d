#pragma once
// Reconciling an account with a bank statement: which transactions the statement can hold,
// the cleared total they give, the difference to the statement's ending balance, the one set
// of uncleared transactions that would close it, and finishing (marking them reconciled and
// keeping the checkpoint on the account). Also what an edit of a reconciled transaction
// takes off it.

#include "model/items.h"
#include "model/transaction.h"

#include <cstdint>
#include <optional>
#include <vector>

class Budget;

// The balance the bank has booked: the account's balance without its uncleared sides.
std::int64_t clearedBalance(const Budget& budget, const Account& account);

struct ReconcileRow {
    const Transaction* t = nullptr;
    std::int64_t change = 0; // what it adds to the account's balance (a split's whole payment)
    bool ticked = false;     // counted as on the statement
    // A split payment is one row, as the bank books it: its other parts.
    std::vector<const Transaction*> otherParts;
};

class Reconciliation {
public:
    // At most this many uncleared transactions are searched for a set closing the difference.
    static constexpr std::size_t kMaxSearched = 25;

    Reconciliation(const Budget& budget, const Account& account, const DateTime& statementDate);

    // The account's uncleared and cleared transactions dated on or before the statement's
    // day, oldest first; cleared ones start ticked. A new date keeps the ticks of the rows
    // that stay.
    void setStatementDate(const DateTime& statementDate);
    const std::vector<ReconcileRow>& rows() const { return rows_; }
    void setTicked(std::size_t row, bool ticked);
    const Account& account() const { return account_; }

    // The account's balance as the last reconciles left it (its opening balance and its
    // reconciled transactions), and with the ticked rows added.
    std::int64_t reconciledBase() const { return base_; }
    std::int64_t clearedTotal() const { return base_ + ticked_; }
    std::int64_t difference(std::int64_t statementBalance) const {
        return statementBalance - clearedTotal();
    }

    // The rows (indexes) of the one set of unticked rows whose changes add up to the
    // difference; none when there is no such set, more than one, or too many candidates.
    std::optional<std::vector<std::size_t>> closingSet(std::int64_t statementBalance) const;

private:
    const Budget& budget_;
    const Account& account_;
    std::vector<ReconcileRow> rows_;
    std::int64_t base_ = 0;
    std::int64_t ticked_ = 0;
};

// Finishes a reconcile as one change of the budget: the ticked rows become reconciled and the
// account keeps the statement's date and balance. With adjust, a difference left is first
// recorded as a "Reconciliation adjustment" at adjustmentTime (a deposit, or an expense
// without an envelope), reconciled with the rest. Returns the adjustment, if one was made.
const Transaction* finishReconcile(Budget& budget, Account& account, const Reconciliation& r,
                                   const DateTime& statementDate, Amount statementBalance,
                                   bool adjust, const DateTime& adjustmentTime);

inline const QString kAdjustmentPayee = QStringLiteral("Reconciliation adjustment");

// True when after changes the amount, an account or the date of a side of before that is
// reconciled: the user is asked first.
bool touchesReconciled(const Transaction& before, const Transaction& after);
// The edit's cleared states: a side that moved to another account starts uncleared, and a
// reconciled side whose amount or date changed is only cleared any more.
void settleEditedStates(const Transaction& before, Transaction& after);
// The latest reconcile among the accounts of t's reconciled sides (unset when none).
DateTime reconciledStatementOf(const Budget& budget, const Transaction& t);
bool isReconciled(const Transaction& t);
