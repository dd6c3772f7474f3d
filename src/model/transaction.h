#pragma once
// One movement of money, the routine that moves balances, and queries over the history.

#include "model/items.h"
#include "model/money.h"

#include <QString>
#include <iterator>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

enum class TransactionType : quint32 { Expense = 0, Deposit = 1, Transfer = 2, CCPayment = 3 };

// How far the bank agrees with one account's side of a transaction: not yet booked, booked
// (it is on a statement), or settled by a finished reconcile of that account.
enum class ClearedState : quint8 { Uncleared = 0, Cleared = 1, Reconciled = 2 };

// "Expense", "Deposit", "Transfer", "CC Payment" (the words stored in the workbook).
QString transactionTypeName(TransactionType type);
std::optional<TransactionType> transactionTypeFromName(const QString& name);

// A value: built freely, but once in a budget it is read through const pointers and
// changed only through the budget's ledger (Budget::recordTransaction and its siblings).
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
    // Per account side: a transfer or card payment has both, an expense only the from-account
    // side, a deposit only the to-account side.
    ClearedState clearedFrom = ClearedState::Uncleared;
    ClearedState clearedTo = ClearedState::Uncleared;
    // The expenses that divide one payment among envelopes share this number; 0: not split.
    quint32 split = 0;
};

// "cleared" or "reconciled", the words the workbook stores; nullptr for uncleared, which is
// stored as an empty cell.
const char* clearedStateWord(ClearedState state);
// The state a stored word names, in any case and with blanks around it, as a person may type
// it; anything else is uncleared.
ClearedState clearedStateOfWord(const QString& text);

// The state of the account's side of t (Uncleared when t does not touch the account).
ClearedState clearedStateOn(const Transaction& t, ItemId account);
// Sets the state of the account's side; false when t does not touch the account.
bool setClearedStateOn(Transaction& t, ItemId account, ClearedState state);
// The account side the list shows without an account filter: the to-account of a deposit,
// the from-account of everything else.
ItemId mainSideAccount(const Transaction& t);

// A transaction with these values (time = Clock::now() when none is given), not yet in any
// budget: hand it to Budget::recordTransaction.
Transaction makeTransaction(TransactionType type, Amount amount, ItemId accountFrom,
                            ItemId accountTo, ItemId category, const QString& payee,
                            const QString& description,
                            std::optional<DateTime> time = std::nullopt);

// Appends such a transaction as stored (Budget::loadTransaction): the balances are not
// moved. For generators and tests that build a budget as if it had been loaded.
const Transaction* createTransaction(Budget& budget, TransactionType type, Amount amount,
                                     ItemId accountFrom, ItemId accountTo, ItemId category,
                                     const QString& payee, const QString& description,
                                     std::optional<DateTime> time = std::nullopt);

// The ledger's balance rule: moves the balances for t; reverse undoes it (up to the
// envelope floor). The ledger applies it; only the model and tests call it directly.
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

// The budget's transactions as readers see them: each element is a const Transaction*.
class TransactionRange {
public:
    using Store = std::vector<std::unique_ptr<Transaction>>;

    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = const Transaction*;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = const Transaction*;

        const_iterator() = default;
        explicit const_iterator(Store::const_iterator it) : it_(it) {}
        const Transaction* operator*() const { return it_->get(); }
        const Transaction* operator[](difference_type n) const { return it_[n].get(); }
        const_iterator& operator++() {
            ++it_;
            return *this;
        }
        const_iterator operator++(int) { return const_iterator(it_++); }
        const_iterator& operator--() {
            --it_;
            return *this;
        }
        const_iterator operator--(int) { return const_iterator(it_--); }
        const_iterator& operator+=(difference_type n) {
            it_ += n;
            return *this;
        }
        const_iterator& operator-=(difference_type n) {
            it_ -= n;
            return *this;
        }
        friend const_iterator operator+(const_iterator a, difference_type n) { return a += n; }
        friend const_iterator operator+(difference_type n, const_iterator a) { return a += n; }
        friend const_iterator operator-(const_iterator a, difference_type n) { return a -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
            return a.it_ - b.it_;
        }
        friend bool operator==(const const_iterator&, const const_iterator&) = default;
        friend auto operator<=>(const const_iterator&, const const_iterator&) = default;

    private:
        Store::const_iterator it_;
    };
    using iterator = const_iterator;
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;

    explicit TransactionRange(const Store& store) : store_(&store) {}
    const_iterator begin() const { return const_iterator(store_->begin()); }
    const_iterator end() const { return const_iterator(store_->end()); }
    const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
    const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }
    std::size_t size() const { return store_->size(); }
    bool empty() const { return store_->empty(); }
    const Transaction* operator[](std::size_t i) const { return (*store_)[i].get(); }
    const Transaction* front() const { return store_->front().get(); }
    const Transaction* back() const { return store_->back().get(); }

private:
    const Store* store_;
};
