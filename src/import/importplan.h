#pragma once
// What an import decides for each statement row, without a window: the mapped payee and
// envelope, whether it becomes an expense, a deposit, a transfer or a card payment, whether it
// repeats a transaction already in the account, whether it starts ticked and, when not, why.
// The review dialog and the command-line import both ask this one place, so they never
// disagree.

#include "import/qifreader.h"
#include "import/statementreader.h"

#include <QHash>
#include <QString>
#include <optional>
#include <vector>

class Account;
class Budget;
class PayeeMapper;
struct PayeeMapping;
struct Transaction;

// Counts the 3-character pieces of a (shorter at its end) that occur in b, ignoring case.
int payeeOverlap(const QString& a, const QString& b);

// The first transaction that a statement row repeats: the same money in or out of the
// account within 5 days; whole-currency amounts also need payees with overlap of 2 or more.
const Transaction* findDuplicate(const Budget& budget, ItemId account, const QString& payee,
                                 Amount amount, const DateTime& date);

// The same answers as findDuplicate for many rows: the account's transactions are indexed
// by the row amount they would repeat.
class DuplicateFinder {
public:
    DuplicateFinder(const Budget& budget, ItemId account);
    const Transaction* find(const QString& payee, Amount amount, const DateTime& date) const;
    // The account's transaction that carries this bank id (none for an empty id).
    const Transaction* findBankId(const QString& bankId) const;
    // The account's transactions that a row of this amount could repeat, in store order.
    const std::vector<const Transaction*>& withRowAmount(qint64 amount) const;

private:
    QHash<QString, const Transaction*> byBankId_;                // the first in store order
    QHash<qint64, std::vector<const Transaction*>> byRowAmount_; // store order
};

// How one row starts out in the review.
struct RowState {
    const Transaction* duplicateOf = nullptr; // the transaction the row repeats
    // The same amount on a day close by under another payee: perhaps the same money.
    const Transaction* possibleRepeatOf = nullptr;
    bool notAfter = false; // dated on or before the import-after date
    bool checked = false;
    // Why an unticked row is unticked: "matches <date> <payee> <amount>", "on or before
    // <date>", "before the account was added (its balance includes it)", "same amount as
    // <date> <payee>, possibly the same" or "the amount is too large to be a transaction";
    // empty for a ticked row.
    QString reason;
};

// What a row is recorded as.
enum class RowKind {
    Unassigned,  // nothing chosen (or an envelope that is gone): cannot be recorded
    Expense,     // of its envelope
    Deposit,     // into money available for budgeting
    Transfer,    // to or from another ordinary account
    CardPayment, // from an ordinary account to a card
    NoEnvelope,  // an off-budget account's row: only its balance moves
};

// One entry of a row's envelope choice.
struct RowChoice {
    QString text;
    ItemId envelope = kNoId;
    bool deposit = false;
    ItemId account = kNoId; // a transfer's or card payment's other account
};

// The choices that are no envelope.
inline const QString kNoEnvelopeChoice = QStringLiteral("--no envelope--");
QString transferToChoice(const QString& account);      // "--transfer to <account>--"
QString transferFromChoice(const QString& account);    // "--transfer from <account>--"
QString cardPaymentChoice(const QString& card);        // "--card payment <card>--"
QString cardPaymentFromChoice(const QString& account); // "--card payment from <account>--"

class ImportPlan {
public:
    ImportPlan(const Budget& budget, const Account& account);

    // True once anything was imported into the account: one of its transactions carries a
    // bank id, or is dated before the day of its last-import date. An import leaves rows
    // dated up to the last-import date it sets; a new account's last-import date is only the
    // day it was made, and what is entered by hand from then on is dated from that day on.
    // (Stored transactions keep no time of day, so nothing finer can tell them apart.)
    bool hadEarlierImport() const;

    // The import-after date the review starts with: the account's last-import date, which
    // for an account never imported into is the moment it was added (rows before it are in
    // its opening balance already); the day before the statement's earliest row only when
    // that date is unset.
    DateTime defaultImportAfter(const std::vector<ImportRecord>& records) const;

    // A credit card's statement whose amounts are mostly positive writes charges that way.
    bool proposeCharges(const std::vector<ImportRecord>& records) const;

    // Fills mapped payee, envelope and kind from the rules (or an earlier payee of the same
    // direction), then from the schedules the rows settle. A rule may only make a deposit of
    // money coming into an ordinary account, and a transfer or payment where one can be.
    void map(std::vector<ImportRecord>& records) const;
    // One row from the rules and history (no schedules); the mapping, for showing a guess.
    PayeeMapping mapRow(ImportRecord& record, const PayeeMapper& mapper) const;

    // A row adds money to an ordinary (not credit-card) account, so it may be a deposit.
    bool mayDeposit(const ImportRecord& record) const;
    // The row may move money with that account: a transfer between two ordinary accounts,
    // money out of an ordinary account to a card, money into a card from an ordinary account.
    bool mayMoveWith(const ImportRecord& record, ItemId other) const;
    // The account is an ordinary one outside the budget: its rows need no envelope.
    bool offBudget() const;

    // Every row at once: each transaction already in the budget repeats at most one row and
    // each row at most one transaction (a bank id first, then the nearest date, then the
    // closest payee); rows beyond those matched are new.
    std::vector<RowState> evaluate(const std::vector<ImportRecord>& records,
                                   const DateTime& importAfter) const;
    RowState evaluate(const ImportRecord& record, const DateTime& importAfter) const;

    RowKind kind(const ImportRecord& record) const;
    // A checked row can be recorded (its kind is not Unassigned).
    bool assigned(const ImportRecord& record) const;
    // Why a row cannot be recorded; empty when it can.
    QString unassignedReason(const ImportRecord& record) const;
    // The text of the row's envelope cell: the envelope's name or one of the choices above.
    QString choiceText(const ImportRecord& record) const;
    // The row's envelope choice: envelopes by name, then deposit, no envelope, transfers and
    // card payments as the row allows.
    std::vector<RowChoice> choices(const ImportRecord& record) const;
    // Sets the row to a choice; false when the row cannot take it.
    bool apply(ImportRecord& record, const RowChoice& choice) const;

    const Account& account() const { return account_; }

private:
    const Budget& budget_;
    const Account& account_;
    DuplicateFinder duplicates_;
    bool firstImport_ = false;
};

// What the checked rows do to each account's balance: the account imported into and the other
// side of every transfer and card payment.
std::vector<std::pair<ItemId, qint64>> balanceChanges(const ImportPlan& plan,
                                                      const std::vector<const ImportRecord*>& rows);

// The footer's comparison with the statement: "<date> statement closing balance <amount>",
// with ", <difference> apart" when the account would end elsewhere.
QString closingBalanceText(const StatementBalance& closing, Amount after);

// Said of a row whose amount had to be clamped; such a row is never imported.
inline const QString kTooLargeText = QStringLiteral("the amount is too large to be a transaction");
// Said of a row of a first import dated on or before the moment the account was added.
inline const QString kBeforeAddedText =
    QStringLiteral("before the account was added (its balance includes it)");

// Turns the sign of every amount (a statement whose charges are written positive).
void turnAmounts(std::vector<ImportRecord>& records);

// The latest date among the records (unset when there are none).
DateTime latestDate(const std::vector<ImportRecord>& records);

// Records the chosen rows into the account in order: deposits as deposits into money
// available for budgeting, transfers and card payments as the program's own (the balance rules
// of the ledger, as from their dialogs), an off-budget account's rows without an envelope,
// the rest as expenses of their envelopes (amount as on the statement); the bank id and the
// memo go with the transaction. Rows that cannot be recorded are left out. When a row was chosen
// the account's last-import date is raised to latest. The budget keeps them in time order.
void recordRows(Budget& budget, Account& account, const std::vector<ImportRecord>& chosen,
                const DateTime& latest);

// The statement's bytes; empty when the file cannot be read or is far larger than any
// statement (errorText then says why).
QByteArray readStatementBytes(const QString& path, QString* errorText = nullptr);

// The CSV mapping remembered for the account, if one was.
std::optional<CsvColumns> rememberedCsvColumns(const Account& account);
// Remembers how the account's CSV statements are read (saved with the budget).
void rememberCsvColumns(Account& account, const CsvColumns& columns);
