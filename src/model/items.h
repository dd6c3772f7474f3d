#pragma once
// The three kinds of budget item: accounts, folders (AccountGroup) and envelopes.
// Items are created only through Budget's factory functions and are never deleted
// while the budget lives; everything else holds non-owning pointers or ids.

#include "model/money.h"

#include <QString>
#include <set>
#include <vector>

class Budget;
class AccountGroup;
class UndoHistory;

using ItemId = quint32;
constexpr ItemId kNoId = 2147483647;              // "none" wherever an id is optional
constexpr ItemId kChargesEnvelopeId = 2147483646; // the one "Credit card charges" envelope

enum class ItemType : int { Account = 0, Folder = 1, Envelope = 2 };

// Every stored field of an item, whatever its kind, apart from its id and a folder's
// contents. The one list of them (ItemFieldList in items.cpp) serves copying a budget, the
// undo images and the save snapshots, so a new field cannot be left out of one of them.
// Fields of another kind keep their defaults.
struct ItemFields {
    QString name;
    Amount balance = 0;
    Amount budgeted = 0;
    bool hidden = false;
    bool readOnly = false;
    // Accounts
    bool contributesToBudget = false;
    bool isCCAccount = false;
    DateTime lastImport;
    QString statementColumns;
    DateTime reconciledDate; // the last finished reconcile's statement (unset: never)
    Amount reconciledBalance = 0;
    DateTime statementDate; // the last imported statement's closing balance (unset: none)
    Amount statementBalance = 0;
    // Folders
    Amount expenseLimit = 0;
    // Envelopes
    QString defaultPayee;
    ItemId defaultPayFrom = kNoId;
    ItemId defaultPayTo = kNoId;
    Amount defaultAmount = 0;
    bool isExpense = false;
    bool virtualAccount = false;
    Amount savingsGoal = 0;
    DateTime createdDate;

    bool operator==(const ItemFields&) const = default;
};

class AccountBase {
    friend class UndoHistory; // swaps ids and folder contents
    friend struct ItemFieldList;

public:
    virtual ~AccountBase();
    AccountBase(const AccountBase&) = delete;
    AccountBase& operator=(const AccountBase&) = delete;

    // Virtual operations, in their fixed order.
    virtual ItemType getType() const = 0;
    virtual AccountGroup* getParent() const;
    virtual QString getName() const { return name_; }
    virtual void setName(const QString& name) { name_ = name; }
    virtual Amount getBalance() const { return balance_; }
    virtual Amount adjustBalance(Amount delta);
    virtual Amount getBudgeted() const { return budgeted_; }
    virtual void setBudgeted(Amount value) { budgeted_ = value; }
    virtual bool isHidden() const { return hidden_; }
    virtual void setHidden(bool value) { hidden_ = value; }
    virtual bool isReadOnly() const { return readOnly_; }
    virtual void setReadOnly(bool value) { readOnly_ = value; }
    virtual void insertChildAfter(AccountBase* item, AccountBase* after);
    virtual void addChild(AccountBase* item);
    virtual bool removeChild(AccountBase* item);
    virtual void collectIds(std::set<ItemId>& ids) const;
    virtual Amount totalBudgeted() const { return 0; }
    virtual Amount totalBalance() const { return 0; }
    virtual bool containsId(ItemId id) const;

    ItemId id() const { return id_; }
    // Moves the item to another id in the budget's registry.
    void setId(ItemId newId);
    Budget& budget() const { return budget_; }

    // Loaders put the stored balance back without the envelope floor or folder rule.
    void setStoredBalance(Amount value) { balance_ = value; }

    // All stored fields at once; setFields puts them back as stored (no envelope floor,
    // no folder rule) and leaves the id and a folder's contents alone.
    ItemFields fields() const;
    void setFields(const ItemFields& fields);

protected:
    explicit AccountBase(Budget& budget);

    Amount balance_ = 0;

private:
    Budget& budget_;
    QString name_;
    ItemId id_ = kNoId;
    Amount budgeted_ = 0;
    bool hidden_ = false;
    bool readOnly_ = false;
};

class Account : public AccountBase {
    friend class UndoHistory; // swaps ids and folder contents
    friend struct ItemFieldList;

public:
    explicit Account(Budget& budget);
    ItemType getType() const override { return ItemType::Account; }

    bool contributesToBudget() const { return contributesToBudget_; }
    void setContributesToBudget(bool v) { contributesToBudget_ = v; }
    bool isCCAccount() const { return isCCAccount_; }
    void setCCAccount(bool v) { isCCAccount_ = v; }
    const DateTime& lastImport() const { return lastImport_; }
    void setLastImport(const DateTime& dt) { lastImport_ = dt; }
    // How this account's CSV statements were read last time (CsvColumns::toText); empty
    // when none was imported.
    const QString& statementColumns() const { return statementColumns_; }
    void setStatementColumns(const QString& text) { statementColumns_ = text; }
    // The checkpoint of the last finished reconcile: the statement's date and ending balance.
    const DateTime& reconciledDate() const { return reconciledDate_; }
    Amount reconciledBalance() const { return reconciledBalance_; }
    void setReconciled(const DateTime& date, Amount balance) {
        reconciledDate_ = date;
        reconciledBalance_ = balance;
    }
    // The closing balance of the last imported statement that gave one, to start a reconcile.
    const DateTime& statementDate() const { return statementDate_; }
    Amount statementBalance() const { return statementBalance_; }
    void setStatementBalance(const DateTime& date, Amount balance) {
        statementDate_ = date;
        statementBalance_ = balance;
    }

    // Card symbol or bank symbol, a blank, then the name (the account list's text).
    QString displayName() const;

private:
    bool contributesToBudget_ = true;
    bool isCCAccount_ = false;
    DateTime lastImport_;
    QString statementColumns_;
    DateTime reconciledDate_;
    Amount reconciledBalance_ = 0;
    DateTime statementDate_;
    Amount statementBalance_ = 0;
};

class AccountGroup : public AccountBase {
    friend class UndoHistory; // swaps ids and folder contents
    friend struct ItemFieldList;

public:
    explicit AccountGroup(Budget& budget);
    ItemType getType() const override { return ItemType::Folder; }

    Amount getBalance() const override { return 0; }
    Amount adjustBalance(Amount delta) override;
    void insertChildAfter(AccountBase* item, AccountBase* after) override;
    void addChild(AccountBase* item) override;
    bool removeChild(AccountBase* item) override;
    void collectIds(std::set<ItemId>& ids) const override;
    Amount totalBudgeted() const override;
    Amount totalBalance() const override;
    bool containsId(ItemId id) const override;

    const std::vector<AccountBase*>& children() const { return children_; }
    Amount expenseLimit() const { return expenseLimit_; }
    void setExpenseLimit(Amount v) { expenseLimit_ = v; }

private:
    std::vector<AccountBase*> children_;
    Amount expenseLimit_ = 0;
};

class AccountEnvelope : public AccountBase {
    friend class UndoHistory; // swaps ids and folder contents
    friend struct ItemFieldList;

public:
    explicit AccountEnvelope(Budget& budget);
    ItemType getType() const override { return ItemType::Envelope; }

    Amount adjustBalance(Amount delta) override; // floors at zero

    const QString& defaultPayee() const { return defaultPayee_; }
    void setDefaultPayee(const QString& v) { defaultPayee_ = v; }
    // Account references are kept as ids and resolved through the budget.
    ItemId defaultPayFromAccount() const { return defaultPayFrom_; }
    void setDefaultPayFromAccount(ItemId id) { defaultPayFrom_ = id; }
    ItemId defaultPayToAccount() const { return defaultPayTo_; }
    void setDefaultPayToAccount(ItemId id) { defaultPayTo_ = id; }
    Amount defaultAmount() const { return defaultAmount_; }
    void setDefaultAmount(Amount v) { defaultAmount_ = v; }
    bool isExpense() const { return isExpense_; }
    void setExpense(bool v) { isExpense_ = v; }
    bool virtualAccount() const { return virtualAccount_; }
    void setVirtualAccount(bool v) { virtualAccount_ = v; }
    Amount savingsGoal() const { return savingsGoal_; }
    void setSavingsGoal(Amount v) { savingsGoal_ = v; }
    const DateTime& createdDate() const { return createdDate_; }
    void setCreatedDate(const DateTime& dt) { createdDate_ = dt; }

private:
    QString defaultPayee_;
    ItemId defaultPayFrom_ = kNoId;
    ItemId defaultPayTo_ = kNoId;
    Amount defaultAmount_ = 0;
    bool isExpense_ = true;
    bool virtualAccount_ = false;
    Amount savingsGoal_ = 0;
    DateTime createdDate_;
};

// Finds or creates the shared "Credit card charges" envelope (in the read-only
// "Credit cards" folder) for a card account, shows both, and returns its id.
ItemId ensureCardChargesEnvelope(Budget& budget, Account* cardAccount);

// After an account stops being a card: when no visible card account remains, empties the
// charges envelope and hides it and its folder. Call after clearing isCCAccount.
void retireCardChargesEnvelope(Budget& budget);
