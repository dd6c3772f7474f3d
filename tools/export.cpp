// tallykeep-export FILE [--save OUT.xlsx]
// Loads a budget workbook (or a legacy .xml budget) and prints it as JSON; with --save it also
// writes the loaded budget to OUT.xlsx with the program's own writer.

#include "model/budget.h"
#include "storage/budgetfile.h"
#include "storage/legacybudget.h"
#include "storage/workbook.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

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

QJsonObject budgetJson(const Budget& budget, const std::vector<AccountBase*>& topLevel,
                       const QString& version) {
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
        transactions.append(o);
    }
    root["transactions"] = transactions;
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
    return root;
}

int usage() {
    std::fputs("usage: tallykeep-export FILE [--save OUT.xlsx]\n", stderr);
    return 1;
}

} // namespace

int exportBudget(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString input;
    QString output;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == u"--save") {
            if (i + 1 >= args.size())
                return usage();
            output = args[++i];
        } else if (input.isEmpty()) {
            input = args[i];
        } else {
            return usage();
        }
    }
    if (input.isEmpty())
        return usage();

    Budget budget;
    std::vector<AccountBase*> topLevel;
    QString version;
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
    const QByteArray json =
        QJsonDocument(budgetJson(budget, topLevel, version)).toJson(QJsonDocument::Indented);
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
