// tallykeep-export FILE [--save OUT.xlsx]
// tallykeep-export FILE --report NAME [--from YYYY-MM] [--to YYYY-MM] [--by envelope|folder]
//                  [--per month|week] [--as-of YYYY-MM-DD]
// Loads a budget workbook (or a legacy .xml budget) and prints it as JSON; with --save it also
// writes the loaded budget to OUT.xlsx with the program's own writer. With --report it prints
// that report's figures instead (the twelve months up to this one unless a range is given).
// Rows of the workbook that could not be read are listed under "unreadableRows"; the budget
// was still read (exit 0).

#include "model/budget.h"
#include "model/clock.h"
#include "reports/reportjson.h"
#include "storage/budgetfile.h"
#include "storage/legacybudget.h"
#include "storage/workbook.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <map>
#include <vector>

namespace {

QJsonValue idValue(ItemId id) {
    return id == kNoId ? QJsonValue() : QJsonValue(qint64(id));
}

QJsonValue dateValue(const DateTime& dt) {
    if (!dt.isSet())
        return QJsonValue();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", dt.year, dt.month, dt.day, dt.hour,
                             dt.minute, dt.second);
}

QString typeName(TransactionType type) {
    const QString name = transactionTypeName(type);
    return name.isEmpty() ? QStringLiteral("Unknown") : name;
}

QJsonValue clearedName(ClearedState state) {
    const char* word = clearedStateWord(state);
    return word ? QString::fromLatin1(word) : QStringLiteral("uncleared");
}

// Each split payment once: what the account paid, with its parts (transaction indexes too).
QJsonArray splitPaymentsJson(const Budget& budget) {
    std::map<quint32, std::vector<std::size_t>> parts;
    const auto& list = budget.transactions();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i]->split != 0)
            parts[list[i]->split].push_back(i);
    QJsonArray out;
    for (const auto& [number, indexes] : parts) {
        const Transaction& first = *list[indexes.front()];
        qint64 sum = 0;
        QJsonArray partArray;
        for (std::size_t i : indexes) {
            const Transaction& t = *list[i];
            sum += t.amount;
            QJsonObject part;
            part["transaction"] = qint64(i);
            part["category"] = idValue(t.category);
            part["amount"] = t.amount;
            part["description"] = t.description;
            partArray.append(part);
        }
        QJsonObject o;
        o["split"] = qint64(number);
        o["amount"] = sum;
        o["accountFrom"] = idValue(first.accountFrom);
        o["payee"] = first.payee;
        o["time"] = dateValue(first.transactionTime);
        o["parts"] = partArray;
        out.append(o);
    }
    return out;
}

QJsonObject itemJson(const AccountBase& item) {
    QJsonObject o;
    o["id"] = qint64(item.id());
    o["name"] = item.getName();
    o["balance"] = item.getBalance();
    o["budgeted"] = item.getBudgeted();
    o["hidden"] = item.isHidden();
    o["readOnly"] = item.isReadOnly();
    switch (item.getType()) {
    case ItemType::Account: {
        const auto& a = static_cast<const Account&>(item);
        o["type"] = "account";
        o["contributesToBudget"] = a.contributesToBudget();
        o["isCCAccount"] = a.isCCAccount();
        o["lastImport"] = dateValue(a.lastImport());
        o["statementColumns"] = a.statementColumns();
        o["reconciledDate"] = dateValue(a.reconciledDate());
        o["reconciledBalance"] =
            a.reconciledDate().isSet() ? QJsonValue(a.reconciledBalance()) : QJsonValue();
        o["statementDate"] = dateValue(a.statementDate());
        o["statementBalance"] =
            a.statementDate().isSet() ? QJsonValue(a.statementBalance()) : QJsonValue();
        break;
    }
    case ItemType::Folder: {
        const auto& f = static_cast<const AccountGroup&>(item);
        o["type"] = "folder";
        o["expenseLimit"] = f.expenseLimit();
        QJsonArray children;
        for (const AccountBase* child : f.children())
            children.append(qint64(child->id()));
        o["children"] = children;
        break;
    }
    case ItemType::Envelope: {
        const auto& e = static_cast<const AccountEnvelope&>(item);
        o["type"] = "envelope";
        o["defaultPayee"] = e.defaultPayee();
        o["defaultPayFromAccount"] = idValue(e.defaultPayFromAccount());
        o["defaultAmount"] = e.defaultAmount();
        o["savingsGoal"] = e.savingsGoal();
        o["createdDate"] = dateValue(e.createdDate());
        break;
    }
    }
    return o;
}

QJsonArray unreadableJson(const std::vector<UnreadableRow>& rows) {
    QJsonArray out;
    for (const UnreadableRow& r : rows) {
        QJsonObject o;
        o["sheet"] = r.sheet;
        o["row"] = r.row;
        o["cell"] = r.cell;
        o["column"] = r.column;
        o["content"] = r.content;
        o["kept"] = r.kept; // a reference to a missing row: the record was read without it
        out.append(o);
    }
    return out;
}

QJsonObject budgetJson(const Budget& budget, const std::vector<AccountBase*>& topLevel,
                       const QString& version, const std::vector<UnreadableRow>& unreadable) {
    QJsonObject root;
    root["version"] = version.isEmpty() ? QJsonValue() : QJsonValue(version);
    QJsonArray top;
    for (const AccountBase* item : topLevel)
        top.append(qint64(item->id()));
    root["topLevel"] = top;
    QJsonArray items;
    for (const auto& [id, item] : budget.registry())
        items.append(itemJson(*item));
    root["items"] = items;
    QJsonArray transactions;
    for (const auto& t : budget.transactions()) {
        QJsonObject o;
        o["type"] = typeName(t->type);
        o["amount"] = t->amount;
        o["category"] = idValue(t->category);
        o["accountFrom"] = idValue(t->accountFrom);
        o["accountTo"] = idValue(t->accountTo);
        o["payee"] = t->payee;
        o["description"] = t->description;
        o["time"] = dateValue(t->transactionTime);
        o["bankId"] = t->bankId;
        // Per account side that exists: "uncleared", "cleared" or "reconciled".
        o["clearedFrom"] = t->accountFrom == kNoId ? QJsonValue() : clearedName(t->clearedFrom);
        o["clearedTo"] = t->accountTo == kNoId ? QJsonValue() : clearedName(t->clearedTo);
        if (t->split != 0)
            o["split"] = qint64(t->split);
        transactions.append(o);
    }
    root["transactions"] = transactions;
    root["splitPayments"] = splitPaymentsJson(budget);
    QJsonArray rules;
    for (const PayeeMappingRule& r : budget.rules().rules()) {
        QJsonObject o;
        o["match"] = r.match;
        o["payee"] = r.payee;
        o["envelope"] = idValue(r.envelopeId);
        o["deposit"] = r.deposit;
        rules.append(o);
    }
    root["rules"] = rules;
    root["availableForBudgeting"] = budget.availableForBudgeting();
    root["unreadableRows"] = unreadableJson(unreadable); // the first kMaxListedUnreadable
    return root;
}

int usage() {
    std::fputs("usage: tallykeep-export FILE [--save OUT.xlsx]\n"
               "       tallykeep-export FILE --report spending|income|envelopes|networth\n"
               "                        [--from YYYY-MM] [--to YYYY-MM] [--by envelope|folder]\n"
               "                        [--per month|week] [--as-of YYYY-MM-DD]\n",
               stderr);
    return 1;
}

// The report options; false (after a message) when one of them is not understood.
struct ReportOptions {
    QString from;
    QString to;
    QString by = QStringLiteral("envelope");
    QString per = QStringLiteral("month");
    QString asOf;
};

bool buildRequest(const ReportOptions& o, ReportRequest& request) {
    auto fail = [](const char* what, const QString& value) {
        std::fprintf(stderr, "tallykeep-export: %s: %s\n", what, qPrintable(value));
        return false;
    };
    if (!reportNames().contains(request.name))
        return fail("unknown report (spending, income, envelopes, networth)", request.name);
    request.now = Clock::now();
    if (!o.asOf.isEmpty()) {
        const QDate day = QDate::fromString(o.asOf, Qt::ISODate);
        if (!day.isValid())
            return fail("--as-of wants YYYY-MM-DD", o.asOf);
        request.now.year = quint16(day.year());
        request.now.month = quint16(day.month());
        request.now.day = quint16(day.day());
    }
    const QDate today = dateOf(request.now);
    QDate to = QDate(today.year(), today.month(), 1);
    if (!o.to.isEmpty()) {
        to = QDate::fromString(o.to + QStringLiteral("-01"), Qt::ISODate);
        if (!to.isValid())
            return fail("--to wants YYYY-MM", o.to);
    }
    QDate from = to.addMonths(-11);
    if (!o.from.isEmpty()) {
        from = QDate::fromString(o.from + QStringLiteral("-01"), Qt::ISODate);
        if (!from.isValid())
            return fail("--from wants YYYY-MM", o.from);
    }
    if (from > to)
        return fail("--from is after --to", o.from);
    // A typo in a year must not ask for millennia of weeks.
    if (from.addYears(100) < to)
        return fail("the range is longer than a hundred years", o.from);
    request.range = MonthRange::of(from, to);
    if (o.by != u"envelope" && o.by != u"folder")
        return fail("--by wants envelope or folder", o.by);
    request.grouping = o.by == u"folder" ? SpendingGrouping::Folder : SpendingGrouping::Envelope;
    if (o.per != u"month" && o.per != u"week")
        return fail("--per wants month or week", o.per);
    request.period = o.per == u"week" ? SpendingPeriod::Week : SpendingPeriod::Month;
    return true;
}

} // namespace

int exportBudget(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString input;
    QString output;
    ReportRequest request;
    ReportOptions options;
    const std::pair<const char*, QString*> valued[] = {
        {"--save", &output},       {"--report", &request.name}, {"--from", &options.from},
        {"--to", &options.to},     {"--by", &options.by},       {"--per", &options.per},
        {"--as-of", &options.asOf}};
    for (int i = 0; i < args.size(); ++i) {
        QString* target = nullptr;
        for (const auto& [flag, field] : valued) {
            if (args[i] == QLatin1String(flag))
                target = field;
        }
        if (target) {
            if (i + 1 >= args.size())
                return usage();
            *target = args[++i];
        } else if (args[i].startsWith(QLatin1String("--"))) {
            return usage();
        } else if (input.isEmpty()) {
            input = args[i];
        } else {
            return usage();
        }
    }
    if (input.isEmpty())
        return usage();
    const bool report = !request.name.isEmpty();
    if (report && (!output.isEmpty() || !buildRequest(options, request)))
        return report && !output.isEmpty() ? usage() : 1;

    Budget budget;
    std::vector<AccountBase*> topLevel;
    QString version;
    std::vector<UnreadableRow> unreadable;
    if (!QFileInfo(input).isFile()) {
        std::fprintf(stderr, "tallykeep-export: %s: no such file\n", qPrintable(input));
        return 1;
    }
    if (input.endsWith(QStringLiteral(".xml"), Qt::CaseInsensitive)) {
        LegacyLoad r = loadLegacyBudget(input, budget);
        if (r.status != 0) {
            std::fprintf(stderr, "tallykeep-export: %s: not a readable legacy budget (%s)\n",
                         qPrintable(input), qPrintable(r.error));
            return 1;
        }
        topLevel = std::move(r.items);
    } else {
        WorkbookLoad r = loadWorkbook(input, budget);
        if (r.status != 0) {
            std::fprintf(stderr, "tallykeep-export: %s: could not open the workbook (%s)\n",
                         qPrintable(input), qPrintable(r.error));
            return 1;
        }
        topLevel = std::move(r.items);
        version = r.versionText;
        unreadable = std::move(r.unreadable);
    }
    for (AccountBase* item : topLevel)
        budget.showTopLevel(item);

    if (!output.isEmpty()) {
        const int status = writeWorkbookReplacing(output, budget, budget.topLevelItemsForSave());
        if (status != 0) {
            std::fprintf(stderr, "tallykeep-export: %s: could not save: %s\n", qPrintable(output),
                         qPrintable(saveErrorText(status)));
            return 1;
        }
    }
    const QJsonObject root =
        report ? *reportJson(budget, request) : budgetJson(budget, topLevel, version, unreadable);
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return 0;
}

int main(int argc, char** argv) {
    try {
        return exportBudget(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "tallykeep-export: not enough memory\n");
        return 1;
    }
}
