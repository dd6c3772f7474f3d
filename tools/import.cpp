// tallykeep-import BUDGET --account NAME STATEMENT [--apply] [--date-order dmy|mdy|ymd]
//   [--columns date=1,payee=3,memo=4,amount=6] [--delimiter comma|semicolon|tab]
//   [--decimal point|comma] [--skip N] [--charges] [--statement N]
// Reads a bank statement the way the program's "Import transactions..." does and prints, as
// JSON, what the review would show for each row (and, for CSV, the "mapping" it read with, in
// the options' own words); with --apply it also records the rows the review would import as
// they stand and saves the budget with its backups. Columns are numbered from 1.
// Exit status: 0 the statement was read, 1 the budget or the statement could not be read (or
// saved, or another import or the program holds the budget; also a CSV statement whose date
// or amount column cannot be told, or that holds no transactions, and an OFX file with several
// statements and no --statement, whose statements are then listed; and --apply when a ticked
// row could not be recorded: those are listed under "notImported" with the reason, the others
// are recorded), 2 wrong arguments. --apply with nothing to record leaves the budget file and
// its backups untouched.

#include "import/csvreader.h"
#include "import/csvrules.h"
#include "import/importplan.h"
#include "import/statementcheckpoint.h"
#include "import/statementreader.h"
#include "model/budget.h"
#include "model/prompter.h"
#include "storage/budgetfile.h"
#include "storage/budgetlocation.h"
#include "storage/singleinstance.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace {

constexpr const char* kUsage =
    "usage: tallykeep-import BUDGET --account NAME STATEMENT [--apply] [--date-order dmy|mdy|ymd]\n"
    "       [--columns date=N,payee=N,memo=N,amount=N|debit=N,credit=N,sign=N]\n"
    "       [--delimiter comma|semicolon|tab] [--decimal point|comma] [--skip N] [--charges]\n"
    "       [--statement N]\n";

int usage(const char* problem) {
    std::fprintf(stderr, "tallykeep-import: %s\n%s", problem, kUsage);
    return 2;
}

int failure(const QString& text) {
    std::fprintf(stderr, "tallykeep-import: %s\n", qPrintable(text));
    return 1;
}

// A save's messages go to standard error; there is nobody to answer a question.
class ErrorStreamPrompter : public Prompter {
public:
    bool askYesNo(const QString& title, const QString& text, PromptIcon) override {
        std::fprintf(stderr, "tallykeep-import: %s: %s\n", qPrintable(title), qPrintable(text));
        return false;
    }
    void inform(const QString& title, const QString& text, PromptIcon) override {
        std::fprintf(stderr, "tallykeep-import: %s: %s\n", qPrintable(title), qPrintable(text));
    }
};

struct Arguments {
    QString budget;
    QString account;
    QString statement;
    bool apply = false;
    std::optional<DateOrder> dateOrder;
    // CSV: what the column step would let the user say.
    std::optional<QString> columns;
    std::optional<QChar> delimiter;
    std::optional<bool> decimalComma;
    std::optional<int> skip;
    bool charges = false;
    std::optional<int> chosen; // OFX: which statement of the file, from 1
};

const char* delimiterWord(QChar c) {
    return c == u';' ? "semicolon" : c == u'\t' ? "tab" : "comma";
}

const char* const kRoleNames[] = {"date", "payee", "memo", "amount", "debit", "credit", "sign"};

int* roleField(CsvColumns& c, const QString& name) {
    int* fields[] = {&c.dateColumn,  &c.payeeColumn,  &c.memoColumn, &c.amountColumn,
                     &c.debitColumn, &c.creditColumn, &c.signColumn};
    for (int i = 0; i < 7; ++i)
        if (name == QLatin1String(kRoleNames[i]))
            return fields[i];
    return nullptr;
}

// "date=1,payee=3,amount=6" (1-based) into columns; false when it is not that.
bool applyColumns(const QString& text, CsvColumns& c) {
    for (const char* name : kRoleNames)
        *roleField(c, QLatin1String(name)) = -1;
    for (const QString& pair : text.split(u',', Qt::SkipEmptyParts)) {
        const QStringList kv = pair.split(u'=');
        bool ok = false;
        const int column = kv.size() == 2 ? kv[1].trimmed().toInt(&ok) : 0;
        int* field = kv.size() == 2 ? roleField(c, kv[0].trimmed()) : nullptr;
        if (!field || !ok || column < 1 || column > 1000)
            return false;
        *field = column - 1;
    }
    return true;
}

QString columnsText(const CsvColumns& c) {
    QStringList out;
    CsvColumns copy = c;
    for (const char* name : kRoleNames)
        if (const int column = *roleField(copy, QLatin1String(name)); column >= 0)
            out << QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(column + 1);
    return out.join(u',');
}

QJsonObject mappingJson(const CsvColumns& c) {
    const char* dates = c.dateOrder == DateOrder::DayMonthYear   ? "dmy"
                        : c.dateOrder == DateOrder::YearMonthDay ? "ymd"
                                                                 : "mdy";
    return QJsonObject{{"columns", columnsText(c)},
                       {"delimiter", delimiterWord(c.delimiter)},
                       {"decimal", c.decimalComma ? "comma" : "point"},
                       {"skip", c.skipRows},
                       {"header", c.headerRow},
                       {"dates", dates},
                       {"charges", c.charges}};
}

// Empty problem text when the arguments are fine.
const char* parse(const QStringList& args, Arguments& out) {
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--apply") {
            out.apply = true;
        } else if (a == u"--account") {
            if (++i >= args.size())
                return "--account needs an account name";
            out.account = args[i];
        } else if (a == u"--date-order") {
            if (++i >= args.size())
                return "--date-order needs dmy, mdy or ymd";
            if (args[i] == u"dmy")
                out.dateOrder = DateOrder::DayMonthYear;
            else if (args[i] == u"mdy")
                out.dateOrder = DateOrder::MonthDayYear;
            else if (args[i] == u"ymd")
                out.dateOrder = DateOrder::YearMonthDay;
            else
                return "--date-order takes dmy, mdy or ymd";
        } else if (a == u"--columns") {
            if (++i >= args.size())
                return "--columns needs role=column pairs";
            out.columns = args[i];
        } else if (a == u"--delimiter") {
            if (++i >= args.size())
                return "--delimiter needs comma, semicolon or tab";
            const QString d = args[i];
            if (d == u"comma" || d == u",")
                out.delimiter = u',';
            else if (d == u"semicolon" || d == u";")
                out.delimiter = u';';
            else if (d == u"tab" || d == u"\t")
                out.delimiter = u'\t';
            else
                return "--delimiter takes comma, semicolon or tab";
        } else if (a == u"--decimal") {
            if (++i >= args.size() || (args[i] != u"point" && args[i] != u"comma"))
                return "--decimal takes point or comma";
            out.decimalComma = args[i] == u"comma";
        } else if (a == u"--skip") {
            bool ok = false;
            const int n = ++i < args.size() ? args[i].toInt(&ok) : -1;
            if (!ok || n < 0 || n > 10000)
                return "--skip takes a number of lines";
            out.skip = n;
        } else if (a == u"--charges") {
            out.charges = true;
        } else if (a == u"--statement") {
            bool ok = false;
            const int n = ++i < args.size() ? args[i].toInt(&ok) : 0;
            if (!ok || n < 1)
                return "--statement takes the statement's number, from 1";
            out.chosen = n;
        } else if (a.startsWith(u"--")) {
            return "unknown option";
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2 || out.account.isEmpty())
        return "a budget, --account NAME and a statement are needed";
    if (out.columns) {
        CsvColumns probe;
        if (!applyColumns(*out.columns, probe))
            return "--columns takes role=column pairs (date, payee, memo, amount, debit, credit, "
                   "sign; columns from 1)";
    }
    out.budget = positional[0];
    out.statement = positional[1];
    return "";
}

// Why a statement was not read, for readStatement's status.
QString unreadableText(quint32 status) {
    switch (status) {
    case EFBIG:
        return QStringLiteral("too large: more than %1 transactions").arg(kMaxQifRecords);
    case ETIMEDOUT:
        return QStringLiteral("reading the statement took too long and was given up");
    case kCsvUnterminatedQuote:
        return QStringLiteral("a quoted field is never closed (a '\"' is missing), so the rows "
                              "after it cannot be read");
    default:
        return QStringLiteral("not a statement Tallykeep can read");
    }
}

const char* kindName(RowKind kind) {
    switch (kind) {
    case RowKind::Deposit:
        return "deposit";
    case RowKind::Transfer:
        return "transfer";
    case RowKind::CardPayment:
        return "card payment";
    case RowKind::NoEnvelope:
        return "no envelope";
    case RowKind::Expense:
    case RowKind::Unassigned:
        break;
    }
    return "expense";
}

QJsonValue idValue(ItemId id) {
    return id == kNoId ? QJsonValue() : QJsonValue(qint64(id));
}

QString isoDate(const DateTime& dt) {
    return QString::asprintf("%04d-%02d-%02d", dt.year, dt.month, dt.day);
}

// What the reader left out, and the rows no import takes (amounts that had to be clamped),
// in statement order.
QJsonArray skippedJson(const StatementSkips& skips, const std::vector<ImportRecord>& records) {
    std::vector<std::pair<int, QString>> all;
    for (const SkippedRecord& skipped : skips.records)
        all.emplace_back(skipped.record, QLatin1String(skipReasonName(skipped.reason)));
    for (const ImportRecord& record : records)
        if (record.tooLarge)
            all.emplace_back(record.number, QStringLiteral("amount too large"));
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QJsonArray out;
    for (const auto& [record, reason] : all)
        out.append(QJsonObject{{"record", record}, {"reason", reason}});
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Arguments args;
    if (const char* problem = parse(app.arguments().mid(1), args); *problem)
        return usage(problem);

    const QString budgetPath = QFileInfo(args.budget).absoluteFilePath();
    if (!QFileInfo(budgetPath).isFile())
        return failure(QStringLiteral("%1: no such budget file").arg(args.budget));
    // The program saves over whatever another writer did; both must never hold one budget.
    SingleInstance instance(budgetIdentity(budgetPath));
    if (!instance.tryAcquire()) {
        if (!instance.heldElsewhere())
            return failure(
                QStringLiteral("cannot lock %1: %2").arg(args.budget, instance.failureText()));
        // The lock records its holder's program by the name of its executable.
        if (instance.holderName() == QFileInfo(QCoreApplication::applicationFilePath()).fileName())
            return failure(
                QStringLiteral("%1: another import of this budget is running").arg(args.budget));
        return failure(QStringLiteral("%1 is open in Tallykeep; close it first").arg(args.budget));
    }

    Budget budget;
    BudgetFile file(BudgetPath{budgetPath});
    if (file.load(budget) != LoadOk)
        return failure(QStringLiteral("%1: the budget could not be read").arg(args.budget));
    Account* account = nullptr;
    for (AccountBase* item : budget.itemsOfType(ItemType::Account))
        if (!account && item->getName() == args.account)
            account = static_cast<Account*>(item);
    if (!account)
        return usage("no account of that name in the budget");

    QString error;
    const QByteArray bytes = readStatementBytes(args.statement, &error);
    if (!error.isEmpty())
        return failure(QStringLiteral("%1: %2").arg(args.statement, error));
    StatementOptions options;
    options.dateOrder = args.dateOrder;
    const bool csv = detectStatementFormat(bytes) == StatementFormat::Csv;
    const std::optional<CsvColumns> remembered =
        csv ? rememberedCsvColumns(*account) : std::nullopt;
    if (csv) {
        const CsvGuess guess = guessCsvColumns(bytes);
        CsvColumns& c =
            *(options.csv = remembered ? withGuessedBalance(*remembered, guess) : guess.columns);
        // An open quote swallows the rest of the file, so no column guess can be trusted.
        if (csvEndsInsideQuotes(bytes, char(c.delimiter.toLatin1())))
            return failure(QStringLiteral("%1: %2").arg(args.statement,
                                                        unreadableText(kCsvUnterminatedQuote)));
        if (args.delimiter && *args.delimiter != c.delimiter) {
            c.delimiter = *args.delimiter;
            c.skipRows = 0;
        }
        if (args.skip) {
            // The line after the skipped ones is a header unless it holds a date.
            c.skipRows = *args.skip;
            const QList<QStringList> rows = csvRows(bytes, c.delimiter, c.skipRows + 1);
            c.headerRow = rows.size() > c.skipRows &&
                          std::none_of(rows.last().begin(), rows.last().end(), readsAsDate);
        }
        if (args.columns)
            applyColumns(*args.columns, c);
        if (args.decimalComma)
            c.decimalComma = *args.decimalComma;
        if (args.dateOrder)
            c.dateOrder = *args.dateOrder;
        if (args.charges)
            c.charges = true;
        if (!args.columns && !args.delimiter && !args.skip && guess.noTransactions)
            return failure(QStringLiteral("%1: %2").arg(args.statement, kNoTransactionsText));
        if (!c.usable()) {
            const QString role = csvMissingRole(c.dateColumn >= 0, c.usable());
            return failure(QStringLiteral("%1: could not find the %2 column; name it with "
                                          "--columns (for example --columns date=1,amount=3)")
                               .arg(args.statement, role));
        }
    }
    if (args.chosen)
        options.statement = *args.chosen - 1;
    StatementRead read = readStatement(bytes, options);
    if (read.status != 0 || read.format == StatementFormat::Unknown)
        return failure(QStringLiteral("%1: %2").arg(args.statement, unreadableText(read.status)));
    // Rows of a checking account and a card in one list would all go into the one account.
    const int statements = int(read.statements.size());
    if (args.chosen && (read.format != StatementFormat::Ofx || *args.chosen > statements))
        return failure(QStringLiteral("%1: there is no statement %2 in this file")
                           .arg(args.statement)
                           .arg(*args.chosen));
    if (statements > 1 && !args.chosen) {
        QString list;
        for (int i = 0; i < statements; ++i) {
            const OfxStatement& s = read.statements[size_t(i)];
            list += QStringLiteral("\n  %1: %2 %3, %4 transaction(s)")
                        .arg(i + 1)
                        .arg(s.type,
                             s.accountId.isEmpty() ? QStringLiteral("(no number)") : s.accountId)
                        .arg(s.rows);
        }
        return failure(QStringLiteral("%1 holds %2 statements; choose one with --statement N:%3")
                           .arg(args.statement)
                           .arg(statements)
                           .arg(list));
    }

    // The rows as the review would show them.
    std::unordered_map<const Transaction*, qint64> position;
    for (std::size_t i = 0; i < budget.transactions().size(); ++i)
        position[budget.transactions()[i]] = qint64(i);
    const ImportPlan plan(budget, *account);
    std::vector<ImportRecord>& records = read.records;
    // A card statement that writes charges as positive numbers, as the review proposes.
    if (csv && !remembered && !args.charges && plan.proposeCharges(records)) {
        options.csv->charges = true;
        turnAmounts(records);
    }
    plan.map(records);
    const DateTime after = plan.defaultImportAfter(records);
    const std::vector<RowState> states = plan.evaluate(records, after);
    QJsonArray rows;
    QJsonArray notImported;
    std::vector<ImportRecord> chosen;
    std::vector<const ImportRecord*> ticked;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ImportRecord& record = records[i];
        const RowState& state = states[i];
        const RowKind kind = plan.kind(record);
        QJsonObject row;
        row["date"] = isoDate(record.date);
        row["amount"] = record.amount;
        row["payee"] = record.incomingPayee;
        row["memo"] = record.memo;
        row["mappedPayee"] = record.mappedPayee;
        row["envelope"] = kind == RowKind::Expense || kind == RowKind::Unassigned
                              ? idValue(record.envelopeId)
                              : QJsonValue();
        row["kind"] = kindName(kind);
        if (kind == RowKind::Transfer || kind == RowKind::CardPayment)
            row["account"] = idValue(record.otherAccount);
        row["duplicateOf"] =
            state.duplicateOf ? QJsonValue(position[state.duplicateOf]) : QJsonValue();
        if (state.possibleRepeatOf)
            row["possibleRepeatOf"] = position[state.possibleRepeatOf];
        row["checked"] = state.checked;
        // What would be recorded is what the bank has booked: it starts cleared.
        row["cleared"] = state.checked && plan.assigned(record);
        if (!state.reason.isEmpty())
            row["reason"] = state.reason;
        rows.append(row);
        if (!state.checked)
            continue;
        ticked.push_back(&record);
        if (kind != RowKind::Unassigned)
            chosen.push_back(record);
        else
            notImported.append(QJsonObject{{"row", qint64(i) + 1},
                                           {"date", isoDate(record.date)},
                                           {"amount", record.amount},
                                           {"payee", record.incomingPayee},
                                           {"reason", plan.unassignedReason(record)}});
    }
    QJsonObject json{{"format", statementFormatName(read.format)},
                     {"rows", rows},
                     {"skipped", skippedJson(read.skips, records)}};
    if (csv)
        json["mapping"] = mappingJson(*options.csv);
    if (read.closing) {
        // The account after the ticked rows, beside what the bank says it holds.
        qint64 after = account->getBalance();
        for (const auto& [id, change] : balanceChanges(plan, ticked))
            if (id == account->id())
                after += change;
        json["closing"] = QJsonObject{{"amount", read.closing->amount},
                                      {"date", read.closing->date.toString(Qt::ISODate)},
                                      {"balanceAfter", clampAmount(after)}};
    }
    // What --apply leaves out although ticked, and why.
    if (args.apply && !notImported.isEmpty())
        json["notImported"] = notImported;

    // Nothing to record: the budget file and its backups stay as they are.
    if (args.apply && !chosen.empty()) {
        recordRows(budget, *account, chosen, latestDate(records));
        keepStatementBalance(*account, read.closing);
        ErrorStreamPrompter prompter;
        if (file.save(budget, prompter) != 0)
            return failure(QStringLiteral("%1: the budget could not be saved").arg(args.budget));
    }
    const QByteArray text = QJsonDocument(json).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    if (args.apply && !notImported.isEmpty()) {
        std::fprintf(stderr, "tallykeep-import: %d ticked row(s) not imported (see notImported)\n",
                     int(notImported.size()));
        return 1;
    }
    return 0;
}
