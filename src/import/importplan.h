#pragma once
// What an import decides for each statement row, without a window: the mapped payee and
// envelope, whether it becomes an expense or a deposit, whether it repeats a transaction
// already in the account, whether it starts ticked and, when not, why. The review dialog and
// the command-line import both ask this one place, so they never disagree.

#include "import/qifreader.h"
#include "import/statementreader.h"

#include <QHash>
#include <QString>
#include <optional>
#include <vector>

class Account;
class Budget;
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

private:
    QHash<QString, const Transaction*> byBankId_;                // the first in store order
    QHash<qint64, std::vector<const Transaction*>> byRowAmount_; // store order
};

// How one row starts out in the review.
struct RowState {
    const Transaction* duplicateOf = nullptr; // the transaction the row repeats
    bool notAfter = false;                    // dated on or before the import-after date
    bool checked = false;
    // Why an unticked row is unticked: "matches <date> <payee> <amount>", "on or before
    // <date>", "before the account was added (its balance includes it)" or "the amount is
    // too large to be a transaction"; empty for a ticked row.
    QString reason;
};

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

    // Fills mapped payee, envelope and kind from the rules (or an earlier payee). A rule may
    // only make a deposit of money coming into an ordinary account.
    void map(std::vector<ImportRecord>& records) const;

    // A row adds money to an ordinary (not credit-card) account, so it may be a deposit.
    bool mayDeposit(const ImportRecord& record) const;

    RowState evaluate(const ImportRecord& record, const DateTime& importAfter) const;

    // A checked row can be recorded: a deposit, or an expense with an envelope that exists.
    bool assigned(const ImportRecord& record) const;

    const Account& account() const { return account_; }

private:
    const Budget& budget_;
    const Account& account_;
    DuplicateFinder duplicates_;
    bool firstImport_ = false;
};

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
// available for budgeting, the rest as expenses of their envelopes (amount as on the
// statement); the bank id and the memo go with the transaction. When a row was chosen the
// account's last-import date is raised to latest. The budget keeps them in time order.
void recordRows(Budget& budget, Account& account, const std::vector<ImportRecord>& chosen,
                const DateTime& latest);

// The statement's bytes; empty when the file cannot be read or is far larger than any
// statement (errorText then says why).
QByteArray readStatementBytes(const QString& path, QString* errorText = nullptr);

// The CSV mapping remembered for the account, if one was.
std::optional<CsvColumns> rememberedCsvColumns(const Account& account);
// Remembers how the account's CSV statements are read (saved with the budget).
void rememberCsvColumns(Account& account, const CsvColumns& columns);
