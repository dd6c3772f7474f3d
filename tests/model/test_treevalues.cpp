#include "model/budget.h"
#include "model/clock.h"
#include "model/treevalues.h"
#include "testdates.h"

#include <QLocale>
#include <QTest>

class TestTreeValues : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }
    void amountColour_data();
    void amountColour();
    void envelopeRow();
    void envelopeWithoutVirtualAccount();
    void goalText();
    void averageText_data();
    void averageText();
    void barTarget_data();
    void barTarget();
    void folderRow_data();
    void folderRow();
    void tooltips_data();
    void tooltips();
};

void TestTreeValues::amountColour_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("negativeIsBad");
    QTest::addColumn<int>("expected");
    QTest::newRow("zero") << 0 << true << int(AmountColour::Grey);
    QTest::newRow("negative, bad") << -1 << true << int(AmountColour::Red);
    QTest::newRow("negative, not bad") << -1 << false << int(AmountColour::Normal);
    QTest::newRow("positive") << 5 << true << int(AmountColour::Normal);
}

void TestTreeValues::amountColour() {
    QFETCH(int, value);
    QFETCH(bool, negativeIsBad);
    QFETCH(int, expected);
    QCOMPARE(int(amountTextColour(value, negativeIsBad)), expected);
}

void TestTreeValues::envelopeRow() {
    FixedClock clock(makeDate(2024, 4, 10, 12));
    Budget budget;
    AccountGroup* folder = budget.createFolder();
    AccountEnvelope* envelope = budget.createEnvelope();
    envelope->setVirtualAccount(true);
    envelope->setBudgeted(-10000);
    envelope->adjustBalance(4200);
    folder->addChild(envelope);
    createTransaction(budget, TransactionType::Expense, -15000, kNoId, kNoId, envelope->id(), {},
                      {}, makeDate(2024, 4, 2));

    const MonthFlows flows = MonthFlows::compute(budget);
    const TreeRowValues row = computeTreeRowValues(budget, *envelope, flows);
    QCOMPARE(row.budgeted, -10000);
    QCOMPARE(row.actual, -15000);
    QCOMPARE(row.difference, -5000);
    QCOMPARE(amountTextColour(row.difference, true), AmountColour::Red);
    QCOMPARE(row.balance, 4200);
    QVERIFY(row.showBalance);

    const TreeRowValues folderRow = computeTreeRowValues(budget, *folder, flows);
    QCOMPARE(folderRow.budgeted, -10000);
    QCOMPARE(folderRow.actual, -15000);
    QCOMPARE(folderRow.balance, 0);
    QVERIFY(!folderRow.showBalance);
    QCOMPARE(folderRow.barTarget, 0);
}

void TestTreeValues::envelopeWithoutVirtualAccount() {
    Budget budget;
    AccountEnvelope* envelope = budget.createEnvelope();
    envelope->setSavingsGoal(50000);
    const TreeRowValues row = computeTreeRowValues(budget, *envelope, MonthFlows::compute(budget));
    QVERIFY(!row.showBalance);
    QVERIFY(row.information.isEmpty());
    QCOMPARE(row.barTarget, 50000); // the bar does not depend on the flag
    QCOMPARE(amountTextColour(row.actual, false), AmountColour::Grey);
}

void TestTreeValues::goalText() {
    Budget budget;
    AccountEnvelope* envelope = budget.createEnvelope();
    envelope->setVirtualAccount(true);
    envelope->setSavingsGoal(50000);
    envelope->adjustBalance(12500);
    const TreeRowValues row = computeTreeRowValues(budget, *envelope, MonthFlows::compute(budget));
    QCOMPARE(row.information, QStringLiteral("$125.00 saved towards goal of $500.00"));
}

void TestTreeValues::averageText_data() {
    QTest::addColumn<DateTime>("now");
    QTest::addColumn<QString>("expected");
    QTest::newRow("mid-month") << makeDate(2024, 3, 10)
                               << "Monthly average through February 2024 is $45.00";
    // The day is kept by previousMonth; November has no 31st, but the month is still named.
    QTest::newRow("31st after a 30-day month")
        << makeDate(2024, 12, 31, 9) << "Monthly average through November 2024 is $8.18";
    QTest::newRow("January") << makeDate(2025, 1, 5)
                             << "Monthly average through December 2024 is $7.50";
}

void TestTreeValues::averageText() {
    QFETCH(DateTime, now);
    QFETCH(QString, expected);
    FixedClock clock(now);
    Budget budget;
    AccountEnvelope* envelope = budget.createEnvelope();
    envelope->setVirtualAccount(true);
    envelope->setCreatedDate(makeDate(2024, 1, 15, 10));
    createTransaction(budget, TransactionType::Expense, -3000, kNoId, kNoId, envelope->id(), {}, {},
                      makeDate(2024, 1, 20));
    createTransaction(budget, TransactionType::Expense, -6000, kNoId, kNoId, envelope->id(), {}, {},
                      makeDate(2024, 2, 10));
    const TreeRowValues row = computeTreeRowValues(budget, *envelope, MonthFlows::compute(budget));
    QCOMPARE(row.information, expected);

    // No spending at all: no text.
    AccountEnvelope* idle = budget.createEnvelope();
    idle->setVirtualAccount(true);
    QVERIFY(computeTreeRowValues(budget, *idle, MonthFlows::compute(budget)).information.isEmpty());
}

void TestTreeValues::barTarget_data() {
    QTest::addColumn<int>("goal");
    QTest::addColumn<int>("budgeted");
    QTest::addColumn<int>("expected");
    QTest::newRow("goal wins") << 50000 << -10000 << 50000;
    QTest::newRow("budget") << 0 << -10000 << 10000;
    QTest::newRow("neither") << 0 << 0 << 0;
}

void TestTreeValues::barTarget() {
    QFETCH(int, goal);
    QFETCH(int, budgeted);
    QFETCH(int, expected);
    Budget budget;
    AccountEnvelope* envelope = budget.createEnvelope();
    envelope->setSavingsGoal(goal);
    envelope->setBudgeted(budgeted);
    QCOMPARE(computeTreeRowValues(budget, *envelope, MonthFlows::compute(budget)).barTarget,
             expected);
}

void TestTreeValues::folderRow_data() {
    QTest::addColumn<int>("budgeted");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("expected");
    QTest::newRow("over limit") << -25000 << -20000 << false
                                << "  $250.00 of $200.00 budgeted [$50.00 over limit!]";
    QTest::newRow("unbudgeted") << -15000 << -20000 << false
                                << "  $150.00 of $200.00 budgeted [$50.00 unbudgeted]";
    QTest::newRow("exactly the limit")
        << -20000 << -20000 << false << "  $200.00 of $200.00 budgeted [$0.00 unbudgeted]";
    QTest::newRow("no limit") << -25000 << 0 << false << "";
    QTest::newRow("read-only") << -25000 << -20000 << true << "";
}

void TestTreeValues::folderRow() {
    QFETCH(int, budgeted);
    QFETCH(int, limit);
    QFETCH(bool, readOnly);
    QFETCH(QString, expected);
    Budget budget;
    AccountGroup* folder = budget.createFolder();
    AccountEnvelope* envelope = budget.createEnvelope();
    envelope->setBudgeted(budgeted);
    folder->addChild(envelope);
    folder->setExpenseLimit(limit);
    folder->setReadOnly(readOnly);
    const TreeRowValues row = computeTreeRowValues(budget, *folder, MonthFlows::compute(budget));
    QCOMPARE(row.information, expected);
    QCOMPARE(row.budgeted, budgeted);
}

void TestTreeValues::tooltips_data() {
    QTest::addColumn<int>("zone");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1") << 1 << "Edit the 'Food' envelope";
    QTest::newRow("2") << 2 << "Record expense in the 'Food' envelope";
    QTest::newRow("3") << 3 << "Assign money to the 'Food' envelope";
    QTest::newRow("4") << 4 << "Add a new envelope to the 'Food' folder";
    QTest::newRow("5") << 5 << "Edit the 'Food' folder";
    QTest::newRow("6") << 6 << "Assign money to the envelopes in the 'Food' folder";
    QTest::newRow("7") << 7 << "Add folder";
    QTest::newRow("0") << 0 << "";
}

void TestTreeValues::tooltips() {
    QFETCH(int, zone);
    QFETCH(QString, expected);
    QCOMPARE(treeZoneTooltip(TreeZone(zone), QStringLiteral("Food")), expected);
    // A name holding a placeholder is inserted as it is.
    if (zone == 1)
        QCOMPARE(treeZoneTooltip(TreeZone(zone), QStringLiteral("%1 %2")),
                 QStringLiteral("Edit the '%1 %2' envelope"));
}

QTEST_GUILESS_MAIN(TestTreeValues)
#include "test_treevalues.moc"
