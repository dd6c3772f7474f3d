// tallykeep-import BUDGET --account NAME STATEMENT [--apply] [--date-order dmy|mdy|ymd]
// Reads a bank statement the way the program's "Import transactions..." does and prints, as
// JSON, what the review would show for each row; with --apply it also records the rows the
// review would import as they stand and saves the budget with its backups.
// Exit status: 0 the statement was read, 1 the budget or the statement could not be read (or
// saved), 2 wrong arguments.

#include "import/importplan.h"
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
#include <cstdio>
#include <unordered_map>

namespace {

constexpr const char* kUsage = "usage: tallykeep-import BUDGET --account NAME STATEMENT [--apply] "
                               "[--date-order dmy|mdy|ymd]\n";

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
};

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
        } else if (a.startsWith(u"--")) {
            return "unknown option";
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2 || out.account.isEmpty())
        return "a budget, --account NAME and a statement are needed";
    out.budget = positional[0];
    out.statement = positional[1];
    return "";
}

QJsonValue idValue(ItemId id) {
    return id == kNoId ? QJsonValue() : QJsonValue(qint64(id));
}

QString isoDate(const DateTime& dt) {
    return QString::asprintf("%04d-%02d-%02d", dt.year, dt.month, dt.day);
}

QJsonArray skippedJson(const StatementSkips& skips) {
    QJsonArray out;
    for (const SkippedRecord& skipped : skips.records)
        out.append(QJsonObject{{"record", skipped.record},
                               {"reason", QLatin1String(skipReasonName(skipped.reason))}});
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
    if (!instance.tryAcquire())
        return failure(
            instance.heldElsewhere()
                ? QStringLiteral("%1 is open in Tallykeep; close it first").arg(args.budget)
                : QStringLiteral("cannot lock %1: %2").arg(args.budget, instance.failureText()));

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
    if (detectStatementFormat(bytes) == StatementFormat::Csv) {
        options.csv = rememberedCsvColumns(*account).value_or(detectCsvColumns(bytes));
        if (args.dateOrder)
            options.csv->dateOrder = *args.dateOrder;
    }
    StatementRead read = readStatement(bytes, options);
    if (read.status != 0 || read.format == StatementFormat::Unknown)
        return failure(
            QStringLiteral("%1: not a statement Tallykeep can read").arg(args.statement));

    // The rows as the review would show them.
    std::unordered_map<const Transaction*, qint64> position;
    for (std::size_t i = 0; i < budget.transactions().size(); ++i)
        position[budget.transactions()[i]] = qint64(i);
    const ImportPlan plan(budget, *account);
    std::vector<ImportRecord>& records = read.records;
    plan.map(records);
    const DateTime after = plan.defaultImportAfter(records);
    QJsonArray rows;
    std::vector<ImportRecord> chosen;
    for (const ImportRecord& record : records) {
        const RowState state = plan.evaluate(record, after);
        QJsonObject row;
        row["date"] = isoDate(record.date);
        row["amount"] = record.amount;
        row["payee"] = record.incomingPayee;
        row["memo"] = record.memo;
        row["mappedPayee"] = record.mappedPayee;
        row["envelope"] = record.deposit ? QJsonValue() : idValue(record.envelopeId);
        row["kind"] = record.deposit ? "deposit" : "expense";
        row["duplicateOf"] =
            state.duplicateOf ? QJsonValue(position[state.duplicateOf]) : QJsonValue();
        row["checked"] = state.checked;
        if (!state.reason.isEmpty())
            row["reason"] = state.reason;
        rows.append(row);
        if (state.checked && plan.assigned(record))
            chosen.push_back(record);
    }
    const QJsonObject json{{"format", statementFormatName(read.format)},
                           {"rows", rows},
                           {"skipped", skippedJson(read.skips)}};

    if (args.apply) {
        recordRows(budget, *account, chosen, latestDate(records));
        ErrorStreamPrompter prompter;
        if (file.save(budget, prompter) != 0)
            return failure(QStringLiteral("%1: the budget could not be saved").arg(args.budget));
    }
    const QByteArray text = QJsonDocument(json).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return 0;
}
