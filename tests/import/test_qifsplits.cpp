// QIF lines divided among categories: how the S, E, $ and % lines become the parts of one
// payment, and what an import of such a statement records.

#include "import/importplan.h"
#include "import/qifreader.h"
#include "model/budget.h"
#include "model/clock.h"

#include <QTest>

namespace {
// "category|memo|cents" per part.
QStringList partsText(const ImportRecord& r) {
    QStringList out;
    for (const ImportPart& p : r.parts)
        out << QStringLiteral("%1|%2|%3").arg(p.category, p.memo).arg(p.amount);
    return out;
}
} // namespace

class QifSplitsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void splitLines_data() {
        QTest::addColumn<QByteArray>("qif");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("amounts") << QByteArray("!Type:Bank\nD03/02/2026\nPMarket\nT-60.00\n"
                                               "SFood:Groceries\nEweekly\n$-45.50\n"
                                               "SHousehold\n$-14.50\n^\n")
                                 << QStringList{"Food:Groceries|weekly|-4550", "Household||-1450"};
        // Shares are of the payment; a line missing from the split stays as a part of its own
        // so the payment is still whole.
        QTest::newRow("percent, rest left over")
            << QByteArray("!Type:Bank\nD03/02/2026\nT-80.00\nPMarket\nSGroceries\n%50%\n"
                          "SGifts\n$-30.00\n^\n")
            << QStringList{"Groceries||-4000", "Gifts||-3000", "||-1000"};
        QTest::newRow("split before the payee")
            << QByteArray("!Type:Bank\r\nD3/2/26\r\nT-10.00\r\nSA\r\n$-4\r\nSB\r\n$-6\r\n"
                          "PShop\r\n^\r\n")
            << QStringList{"A||-400", "B||-600"};
        QTest::newRow("one part is no split")
            << QByteArray("!Type:Bank\nD03/02/2026\nPMarket\nT-60.00\nSGroceries\n$-60.00\n^\n")
            << QStringList{};
        QTest::newRow("unreadable amounts are no parts")
            << QByteArray("!Type:Bank\nD03/02/2026\nPMarket\nT-60.00\nSGroceries\n$lots\n"
                          "SGifts\n%abc\n^\n")
            << QStringList{};
        QTest::newRow("parts of the next record stay with it")
            << QByteArray("!Type:Bank\nD03/02/2026\nPFirst\nT-5.00\n^\nD03/03/2026\nPSecond\n"
                          "T-9.00\nSA\n$-4.00\nSB\n$-5.00\n^\n")
            << QStringList{"A||-400", "B||-500"};
    }
    void splitLines() {
        QFETCH(QByteArray, qif);
        QFETCH(QStringList, parts);
        std::vector<ImportRecord> records;
        QCOMPARE(readQifBytes(qif, records), quint32(0));
        QVERIFY(!records.empty());
        QCOMPARE(partsText(records.back()), parts);
        if (records.size() > 1)
            QVERIFY(records.front().parts.empty());
    }

    // An imported statement: the divided line becomes expenses of the envelopes its categories
    // name, tied together, the account charged once; importing the same statement again finds
    // the whole payment already there.
    void importedStatement() {
        Clock::fix(DateTime{2026, 3, 0, 20, 9, 0, 0, 0});
        Budget budget;
        Account* checking = budget.createAccount();
        checking->adjustBalance(50000);
        checking->setLastImport(DateTime{2026, 1, 0, 1, 0, 0, 0, 0});
        AccountEnvelope* groceries = budget.createEnvelope();
        groceries->setName("groceries");
        AccountEnvelope* household = budget.createEnvelope();
        household->setName("Household");
        budget.rules().addMappingRule("MARKET*", household->id(), false, "Market");

        const QByteArray qif = "!Type:Bank\nD03/02/2026\nPMARKET 0042\nT-60.00\n"
                               "SFood:Groceries\nEfruit\n$-45.50\nSGarden\n$-14.50\n^\n"
                               "D03/04/2026\nPMARKET 0042\nT-7.25\n^\n";
        std::vector<ImportRecord> records;
        QCOMPARE(readQifBytes(qif, records), quint32(0));
        ImportPlan plan(budget, *checking);
        plan.map(records);
        for (const ImportRecord& r : records) {
            QVERIFY(plan.assigned(r));
            QVERIFY(plan.evaluate(r, checking->lastImport()).checked);
        }
        recordRows(budget, *checking, records, latestDate(records));

        // By hand: Food:Groceries names "groceries" (its last piece, any case); Garden names no
        // envelope and takes the line's own (Household, by the rule).
        QStringList got;
        for (const Transaction* t : budget.transactions())
            got << QStringLiteral("%1|%2|%3|%4|%5")
                       .arg(budget.findEnvelope(t->category)->getName(), t->payee, t->description)
                       .arg(t->amount)
                       .arg(t->split != 0);
        QCOMPARE(got, QStringList({"groceries|Market|fruit|-4550|1", "Household|Market||-1450|1",
                                   "Household|Market||-725|0"}));
        QCOMPARE(budget.transactions()[0]->split, budget.transactions()[1]->split);
        QCOMPARE(checking->getBalance(), Amount(50000 - 6000 - 725));

        // Again: the 60.00 row repeats the payment (not a part of it); the 7.25 row its expense.
        ImportPlan again(budget, *checking);
        const RowState first = again.evaluate(records[0], DateTime());
        QCOMPARE(first.duplicateOf, budget.transactions()[0]);
        QVERIFY(!first.checked);
        QCOMPARE(again.evaluate(records[1], DateTime()).duplicateOf, budget.transactions()[2]);
        // A part's own amount is no repeat of anything.
        records[1].amount = -4550;
        QVERIFY(!again.evaluate(records[1], DateTime()).duplicateOf);
        Clock::release();
    }
};

QTEST_GUILESS_MAIN(QifSplitsTest)
#include "test_qifsplits.moc"
