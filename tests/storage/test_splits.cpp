// Split payments through the ledger, undo and the workbook: one card payment divided among
// three envelopes, checked against sums worked out by hand after every step, and what other
// programs make of the saved file.

#include "model/budget.h"
#include "model/clock.h"
#include "model/split.h"
#include "model/undo.h"
#include "storage/workbook.h"
#include "storage/workbooklayout.h"
#include "storage/xlsxreader.h"
#include "storagetestkit.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace kit;
Q_DECLARE_METATYPE(kit::Cell)

namespace {
struct Home {
    Budget budget;
    Account* checking = nullptr;
    Account* card = nullptr;
    AccountEnvelope *groceries, *household, *gifts;

    Home() {
        checking = budget.createAccount();
        checking->setName("Checking");
        checking->adjustBalance(100000);
        budget.showTopLevel(checking);
        card = budget.createAccount();
        card->setName("Visa");
        card->setCCAccount(true);
        budget.showTopLevel(card);
        AccountGroup* folder = budget.createFolder();
        folder->setName("Home");
        budget.showTopLevel(folder);
        auto envelope = [&](const char* name, Amount balance) {
            AccountEnvelope* e = budget.createEnvelope();
            e->setName(name);
            e->setCreatedDate(date(2026, 1, 1));
            e->setVirtualAccount(true);
            e->adjustBalance(balance);
            folder->addChild(e);
            return e;
        };
        groceries = envelope("Groceries", 6000);
        household = envelope("Household", 3000);
        gifts = envelope("Gifts", 1000);
        ensureCardChargesEnvelope(budget, card);
    }
    // card, groceries, household, gifts, charges, available.
    QString figures() const {
        return QStringLiteral("%1 %2 %3 %4 %5 %6")
            .arg(card->getBalance())
            .arg(groceries->getBalance())
            .arg(household->getBalance())
            .arg(gifts->getBalance())
            .arg(budget.findEnvelope(kChargesEnvelopeId)->getBalance())
            .arg(budget.availableForBudgeting());
    }
    const Transaction* partOf(const AccountEnvelope* e) const {
        for (const Transaction* t : budget.transactions())
            if (t->category == e->id())
                return t;
        return nullptr;
    }
};

// The Split column of the Transactions sheet, rows 1 to 4, as texts.
QStringList splitColumn(const QString& path) {
    XlsxReader reader;
    if (!reader.open(path) || !reader.sheet("Transactions"))
        return {"could not open"};
    QStringList out;
    for (int row = 1; row <= 4; ++row)
        out << reader.sheet("Transactions")->cell(row, Workbook::Transactions::Split).toText();
    return out;
}
} // namespace

class SplitsTest : public QObject {
    Q_OBJECT

private slots:
    void cardSplitThroughEveryStep() {
        FixedClock clock(date(2026, 3, 14, 12));
        Home home;
        UndoHistory history(home.budget);
        // Before: Checking 1000.00 and envelopes 60 + 30 + 10 assigned: 900.00 available.
        QCOMPARE(home.figures(), QString("0 6000 3000 1000 0 90000"));

        // 105.00 on the card: groceries 50, household 45 (holds 30: floored at 0), gifts 10.
        history.begin();
        Transaction payment = makeTransaction(TransactionType::Expense, -10500, home.card->id(),
                                              kNoId, kNoId, "Market", "weekly");
        const auto parts = recordSplit(home.budget, payment,
                                       {{home.groceries->id(), -5000, "food"},
                                        {home.household->id(), -4500, {}},
                                        {home.gifts->id(), -1000, "for Ann"}});
        QVERIFY(history.end("Record expense").transactionList);
        QVERIFY(parts.size() == 3 && parts[0]->split != 0 && parts[2]->split == parts[0]->split);
        // Assigned 10 + 0 + 0 + 105 charges; in budget 1000 - 105.
        const QString recorded("-10500 1000 0 0 10500 78000");
        QCOMPARE(home.figures(), recorded);
        QCOMPARE(paymentAmount(paymentOf(home.budget, parts[1])), std::int64_t(-10500));

        // Edit: groceries 50 -> 40, the gifts part removed. The same as recording 85.00 fresh:
        // groceries 60 - 40, household floored again, gifts untouched.
        history.begin();
        QVERIFY(replacePayment(
            home.budget, parts[2], *parts[0],
            {{home.groceries->id(), -4000, "food"}, {home.household->id(), -4500, {}}}));
        history.end("Edit Transaction");
        const QString edited("-8500 2000 0 1000 8500 80000");
        QCOMPARE(home.figures(), edited);
        QCOMPARE(home.budget.transactions().size(), size_t(2));
        QCOMPARE(home.budget.transactions()[0]->split, home.budget.transactions()[1]->split);

        QVERIFY(history.undo());
        QCOMPARE(home.figures(), recorded);
        QCOMPARE(home.budget.transactions().size(), size_t(3));
        QVERIFY(history.redo());
        QCOMPARE(home.figures(), edited);

        // The saved workbook reads back as the same budget, the parts tied together.
        QTemporaryDir dir;
        const QString path = dir.filePath("split.xlsx");
        QCOMPARE(writeWorkbookFile(path, home.budget, home.budget.topLevelItemsForSave()), 0);
        Budget back;
        const WorkbookLoad load = loadWorkbook(path, back);
        QCOMPARE(load.status, 0);
        for (AccountBase* item : load.items)
            back.showTopLevel(item);
        QCOMPARE(snapshot(back), snapshot(home.budget)); // split numbers included
        const QString number = QString::number(back.transactions()[0]->split);
        QCOMPARE(splitColumn(path), QStringList({"Split", number, number, ""}));
        monthSumsInLibreOffice(
            path, {",Groceries,,0,40,-40,", ",Household,,0,45,-45,", ",Gifts,,0,0,0,"});

        // Deleting any part takes the whole payment; the floor makes the household's
        // reversal give back all 45 although it held 30 (as deleting any over-spent expense).
        history.begin();
        QCOMPARE(removePayment(home.budget, home.partOf(home.household)), 2);
        history.end("Delete transaction");
        QCOMPARE(home.figures(), QString("0 6000 4500 1000 0 88500"));
        QVERIFY(home.budget.transactions().empty());
        QVERIFY(history.undo());
        QCOMPARE(home.figures(), edited);
    }

    // A payment left with one part is a plain expense again; a new split number never takes
    // one another program wrote, however large.
    void numbersAndSinglePart() {
        Home home;
        Transaction foreign = makeTransaction(TransactionType::Expense, -100, home.checking->id(),
                                              kNoId, kNoId, "x", {});
        for (quint32 n : {0xFFFFFFFFu, 1u}) {
            foreign.split = n;
            home.budget.loadTransaction(foreign);
        }
        const auto parts = recordSplit(
            home.budget, foreign, {{home.groceries->id(), -40, {}}, {home.gifts->id(), -60, {}}});
        QCOMPARE(parts[0]->split, quint32(2));
        QVERIFY(
            replacePayment(home.budget, parts[0], *parts[0], {{home.gifts->id(), -100, "one"}}));
        const Transaction* plain = home.partOf(home.gifts);
        QVERIFY(plain && plain->amount == -100 && plain->split == 0);
        QCOMPARE(home.budget.transactions().size(), size_t(3));
        QCOMPARE(home.checking->getBalance(), Amount(100000 - 100));
    }

    // Split cells as other programs and older versions leave them.
    void splitCellsFromOtherPrograms_data() {
        QTest::addColumn<Cell>("cell");
        QTest::addColumn<QString>("type");
        QTest::addColumn<quint32>("split");
        QTest::newRow("number") << N(7) << "Expense" << quint32(7);
        QTest::newRow("typed as text") << S(" 12 ") << "Expense" << quint32(12);
        QTest::newRow("older file") << E() << "Expense" << quint32(0);
        QTest::newRow("fraction") << N(2.5) << "Expense" << quint32(0);
        QTest::newRow("beyond 32 bits") << N(4294967296.0) << "Expense" << quint32(0);
        QTest::newRow("on a deposit") << N(4) << "Deposit" << quint32(0);
    }
    void splitCellsFromOtherPrograms() {
        QFETCH(Cell, cell);
        QFETCH(QString, type);
        QFETCH(quint32, split);
        QTemporaryDir dir;
        const QString path = dir.filePath("other.xlsx");
        QList<Cell> row{N(46095), S("Shop"), N(-12.5), E(),   E(),  E(),
                        S(""),    S(type),   S(""),    S(""), S("")};
        row << cell;
        QVERIFY(
            writeWorkbook(path, {{"Transactions",
                                  {{S("Date"), S("Payee"), S("Amount"), S("Expense"),
                                    S("Account From"), S("Account To"), S("Description"), S("Type"),
                                    S("Bank Id"), S("Cleared"), S("Cleared to"), S("Split")},
                                   row}}}));
        Budget budget;
        QCOMPARE(loadWorkbook(path, budget).status, 0);
        QCOMPARE(budget.transactions().size(), size_t(1));
        QCOMPARE(budget.transactions()[0]->amount, Amount(-1250));
        QCOMPARE(budget.transactions()[0]->split, split);
    }

private:
    // LibreOffice recalculates the overview's monthly SUMIFS (its own cached values are not
    // trusted) and prints the Budget sheet; each envelope's "Actual" must be the hand sum.
    void monthSumsInLibreOffice(const QString& path, const QStringList& want) {
        const QString soffice = QStandardPaths::findExecutable("soffice");
        if (soffice.isEmpty()) {
            qWarning("LibreOffice (soffice) is not installed: the sheet's sums were not checked");
            return;
        }
        QTemporaryDir profile;
        QDir(profile.path()).mkpath("user");
        writeAll(profile.filePath("user/registrymodifications.xcu"),
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?><oor:items "
                 "xmlns:oor=\"http://openoffice.org/2001/registry\" "
                 "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><item "
                 "oor:path=\"/org.openoffice.Office.Calc/Formula/Load\"><prop "
                 "oor:name=\"OOXMLRecalcMode\" oor:op=\"fuse\"><value>0</value></prop></item>"
                 "</oor:items>");
        QTemporaryDir out;
        QProcess lo;
        lo.start(soffice, {"-env:UserInstallation=file://" + profile.path(), "--headless",
                           "--convert-to", "csv", "--outdir", out.path(), path});
        QVERIFY(lo.waitForFinished(180000));
        const QString csv = QString::fromUtf8(readAll(out.filePath("split.csv")));
        // Name, budgeted, actual, difference, as LibreOffice writes the numbers.
        for (const QString& line : want)
            QVERIFY2(csv.contains(line), qPrintable(line + " is not on the Budget sheet:\n" + csv));
    }
};

QTEST_GUILESS_MAIN(SplitsTest)
#include "test_splits.moc"
