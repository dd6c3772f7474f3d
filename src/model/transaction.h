#pragma once
// One movement of money, the routine that moves balances, and queries over the history.

#include "model/items.h"
#include "model/money.h"

#include <QString>
#include <optional>
#include <unordered_map>

enum class TransactionType : quint32 { Expense = 0, Deposit = 1, Transfer = 2, CCPayment = 3 };

// "Expense", "Deposit", "Transfer", "CC Payment" (the words stored in the workbook).
QString transactionTypeName(TransactionType type);
std::optional<TransactionType> transactionTypeFromName(const QString& name);

struct Transaction {
    Amount amount = 0;
    ItemId category = kNoId; // the envelope charged
    ItemId accountFrom = kNoId;
    ItemId accountTo = kNoId;
    QString payee;
    QString description;
    DateTime transactionTime;
    TransactionType type = TransactionType::Expense;
    QString bankId; // the bank's id of an imported transaction (OFX FITID); empty otherwise
};

// Appends a new transaction to the budget (time = Clock::now() when none is given).
// Balances are not touched; call applyTransaction next.
Transaction* createTransaction(Budget& budget, TransactionType type, Amount amount,
                               ItemId accountFrom, ItemId accountTo, ItemId category,
                               const QString& payee, const QString& description,
                               std::optional<DateTime> time = std::nullopt);

// Moves balances for t; reverse undoes it (up to the envelope floor).
void applyTransaction(Budget& budget, const Transaction& t, bool reverse);
// What t adds to the balance of its from-account and of its to-account (negative: takes away).
std::int64_t fromAccountChange(const Transaction& t);
std::int64_t toAccountChange(const Transaction& t);
// What t adds to the balance of the given account: both sides when it is both.
std::int64_t accountChange(const Transaction& t, ItemId account);

// This month's net flow through the item's envelopes (a folder counts everything beneath it).
Amount actualThisMonth(const Budget& budget, const AccountBase& item);

struct SpendingAverages {
    Amount perDay = 0; // the result
    int days = 0;
    Amount perMonth = 0;
};
// Month or year filters of 0 or less mean "any"; both negative is the whole-history mode.
// throughPreviousMonth only takes effect in the whole-history mode (it needs a known end).
SpendingAverages envelopeSpendingAverages(const Budget& budget, const AccountEnvelope& envelope,
                                          bool throughPreviousMonth, int monthFilter,
                                          int yearFilter);

// Per-envelope expense spans gathered in one pass over the history, so averages for every
// envelope cost one scan. averagesOf() equals envelopeSpendingAverages with the same flags.
class SpendingHistory {
public:
    static SpendingHistory compute(const Budget& budget, bool throughPreviousMonth, int monthFilter,
                                   int yearFilter);
    SpendingAverages averagesOf(const AccountEnvelope& envelope) const;

private:
    struct Span {
        DateTime first;
        DateTime last;
        double firstSerial = 0;
        double lastSerial = 0;
        std::int64_t sum = 0;
    };
    std::unordered_map<ItemId, Span> byCategory_;
    bool wholeHistory_ = false;
    bool throughPreviousMonth_ = false;
    DateTime now_;
};

// This month's flows of every envelope id, computed in one pass over the history, so a
// refresh of many rows costs one scan. flowOf() gives the same result as actualThisMonth.
class MonthFlows {
public:
    static MonthFlows compute(const Budget& budget);
    Amount flowOf(const AccountBase& item) const;
    // The tree's averages (whole history through the previous month), gathered on first use.
    SpendingAverages treeAverages(const AccountEnvelope& envelope) const;

private:
    const Budget* budget_ = nullptr;
    std::unordered_map<ItemId, std::int64_t> byCategory_;
    mutable std::optional<SpendingHistory> treeHistory_;
};

bool compareByTime(const Transaction& a, const Transaction& b);
