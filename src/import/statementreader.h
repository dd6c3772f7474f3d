#pragma once
// Bank statements in any of the forms banks offer (QIF, OFX/QFX, CSV): which form a file is
// in, how the columns of a CSV file are read, and one entry point that reads any of them
// into the rows the import reviews.

#include "import/ofxreader.h"
#include "import/qifreader.h"
#include "import/statementvalues.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

enum class StatementFormat { Unknown, Qif, Ofx, Csv };

// Decided by the content (an OFX header or <OFX> element, QIF "!Type"/"D"/"T"/"^" lines,
// delimited columns), not by the file name.
StatementFormat detectStatementFormat(const QByteArray& bytes);

// "qif", "ofx", "csv" ("" for Unknown): the words the command-line import prints.
QString statementFormatName(StatementFormat format);

// How the columns of a CSV statement are read. Columns are 0-based; -1 = not there. Either
// amountColumn, or debitColumn and/or creditColumn, give the money.
struct CsvColumns {
    QChar delimiter = QLatin1Char(',');
    bool headerRow = true;
    int skipRows = 0; // lines of account details above the table (header row or data)
    DateOrder dateOrder = DateOrder::MonthDayYear;
    bool decimalComma = false;
    int dateColumn = -1;
    int payeeColumn = -1;
    int memoColumn = -1;
    int amountColumn = -1;
    int debitColumn = -1;  // money out, whichever sign the bank writes it with
    int creditColumn = -1; // money in
    // Beside an amount column: a column marking each amount as money out or in ("D"/"C",
    // "Af"/"Bij", "Soll"/"Haben"), for banks that write every amount without a sign.
    int signColumn = -1;
    // The running balance after each row: the statement's closing balance, never an amount.
    int balanceColumn = -1;
    // The account's statements write charges as positive numbers (a credit card's): an
    // amount without a mark is turned, so that a charge is money out.
    bool charges = false;

    bool usable() const; // a date column and some money column
    // The one-line form kept with the account so the next import reads the same way.
    QString toText() const;
    static std::optional<CsvColumns> fromText(const QString& text);
    bool operator==(const CsvColumns&) const = default;
};

// The proposal for a CSV file: delimiter (comma, semicolon, tab), where the table starts,
// header row, date order, decimal separator, and which columns are date, payee, memo and
// amount or debit/credit, each by its header's words (csvrules.h) confirmed by its values.
// A role no column passes for is left out (-1) rather than guessed.
struct CsvGuess {
    CsvColumns columns;
    // No column holds transactions: only a running balance, or no money at all.
    bool noTransactions = false;
    // "date" or "amount" when no column passed for it (csvMissingRole), else empty.
    QString missingRole() const;
};
CsvGuess guessCsvColumns(const QByteArray& bytes);
CsvColumns detectCsvColumns(const QByteArray& bytes);

// The mapping remembered for an account (made before balance columns were kept, or without
// one), with the file's own balance column when it has one that no remembered role reads.
CsvColumns withGuessedBalance(CsvColumns remembered, const CsvGuess& guess);

// The choice that a statement writes charges as positive numbers, as the column step and
// the review show it.
inline const QString kChargesText = QStringLiteral("Amounts are charges (positive is money out)");

// Said when a statement holds no transactions at all.
inline const QString kNoTransactionsText = QStringLiteral("no transactions in this file");

// The first rows of the file split into fields (RFC 4180 quoting, line breaks inside quotes),
// for the mapping step's preview.
QList<QStringList> csvRows(const QByteArray& bytes, QChar delimiter, int maxRows);

struct StatementRead {
    StatementFormat format = StatementFormat::Unknown;
    // 0, or an errno as readQifFile gives: EINVAL when the bytes are no statement that can be
    // read (also a cut-off OFX file, or one libofx crashed on), ETIMEDOUT when libofx did
    // not finish, EFBIG beyond kMaxQifRecords transactions (or a file beyond 64 MiB).
    quint32 status = 0;
    std::vector<ImportRecord> records;
    StatementSkips skips;
    // An OFX file's statements (one or more); empty for other forms.
    std::vector<OfxStatement> statements;
    // The closing balance of the rows read (of the chosen statement for OFX), if given.
    std::optional<StatementBalance> closing;
};

struct StatementOptions {
    std::optional<CsvColumns> csv;      // unset: detectCsvColumns
    std::optional<DateOrder> dateOrder; // unset: chosen from the file (chooseDateOrder)
    int statement = -1;                 // OFX: only this statement's rows (0-based); -1 all
};

StatementRead readStatement(const QByteArray& bytes, const StatementOptions& options = {});
StatementRead readStatementFile(const QString& path, const StatementOptions& options = {});
