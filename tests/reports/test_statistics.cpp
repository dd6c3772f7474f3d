#include "../common/fakeprompter.h"
#include "model/clock.h"
#include "reports/statistics.h"
#include "testdates.h"

#include <QTest>

namespace {
struct ReportBudget {
    Budget budget;
    Account* checking = nullptr;
    AccountEnvelope* food = nullptr;
    AccountEnvelope* fuel = nullptr;
    ReportBudget() {
        checking = budget.createAccount();
        food = budget.createEnvelope();
        fuel = budget.createEnvelope();
    }
    void add(TransactionType type, ItemId envelope, Amount amount, const DateTime& when) {
        createTransaction(budget, type, amount, checking->id(), kNoId, envelope, {}, {}, when);
    }
};

const QString kTitle = QStringLiteral("Not enough data");
QString warningText(int days) {
    return QStringLiteral("There are currently %1 day(s) of data. Reports are only meaningful "
                          "after two months of data.")
        .arg(days);
}
} // namespace

class TestStatistics : public QObject {
    Q_OBJECT
private slots:
    void sums_data();
    void sums();
    void warningOncePerOpening_data();
    void warningOncePerOpening();
    void noWarningWithEnoughData();
    void daysOfDataAreWholeDays_data();
    void daysOfDataAreWholeDays();
};

void TestStatistics::sums_data() {
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<QList<int>>("expected"); // food, fuel, none (0 = no entry)
    QTest::newRow("everything") << -1 << -1 << QList<int>{-3000, -4000, -100};
    QTest::newRow("every March") << 3 << -1 << QList<int>{-3000, -4000, 0};
    QTest::newRow("2024") << -1 << 2024 << QList<int>{-1000, -4000, 0};
    QTest::newRow("March 2025") << 3 << 2025 << QList<int>{-2000, 0, 0};
    QTest::newRow("zero means any") << 0 << 0 << QList<int>{-3000, -4000, -100};
    QTest::newRow("nothing passes") << 7 << 2020 << QList<int>{0, 0, 0};
}

void TestStatistics::sums() {
    QFETCH(int, month);
    QFETCH(int, year);
    QFETCH(QList<int>, expected);
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    b.add(TransactionType::Expense, b.food->id(), -1000, makeDate(2024, 3, 10));
    b.add(TransactionType::Expense, b.food->id(), -2500, makeDate(2025, 3, 10));
    b.add(TransactionType::Expense, b.food->id(), 500, makeDate(2025, 3, 11)); // a refund
    b.add(TransactionType::Expense, b.fuel->id(), -4000, makeDate(2024, 3, 1));
    b.add(TransactionType::Expense, kNoId, -100, makeDate(2025, 4, 1));
    // Other types never count, even when they name an envelope.
    b.add(TransactionType::Deposit, b.food->id(), 99999, makeDate(2025, 3, 12));
    b.add(TransactionType::Transfer, b.fuel->id(), 99999, makeDate(2024, 3, 12));
    b.add(TransactionType::CCPayment, b.food->id(), -99999, makeDate(2025, 3, 13));

    ReportState state;
    FakePrompter prompter;
    const std::map<ItemId, Amount> sums =
        expensesByEnvelope(state, prompter, b.budget, month, year);
    std::map<ItemId, Amount> wanted;
    const ItemId ids[] = {b.food->id(), b.fuel->id(), kNoId};
    for (int i = 0; i < 3; ++i) {
        if (expected[i] != 0)
            wanted[ids[i]] = expected[i];
    }
    QCOMPARE(sums, wanted);
}

void TestStatistics::warningOncePerOpening_data() {
    QTest::addColumn<QList<DateTime>>("dates");
    QTest::addColumn<int>("days");
    QTest::newRow("60 days old") << QList<DateTime>{makeDate(2025, 3, 1, 12)} << 60;
    QTest::newRow("nothing counted") << QList<DateTime>{} << 0;
    QTest::newRow("a day short of 61")
        << QList<DateTime>{makeDate(2025, 3, 1, 11, 0, 1), makeDate(2025, 4, 1)} << 60;
    QTest::newRow("future expense") << QList<DateTime>{makeDate(2025, 6, 1, 12)} << 32;
}

void TestStatistics::warningOncePerOpening() {
    QFETCH(QList<DateTime>, dates);
    QFETCH(int, days);
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    for (const DateTime& when : dates)
        b.add(TransactionType::Expense, b.food->id(), -100, when);

    ReportState state;
    FakePrompter prompter;
    expensesByEnvelope(state, prompter, b.budget, -1, -1);
    expensesByEnvelope(state, prompter, b.budget, 4, 2025);
    QCOMPARE(prompter.records.size(), 1);
    QCOMPARE(prompter.records[0].kind, PromptRecord::Message);
    QCOMPARE(prompter.records[0].title, kTitle);
    QCOMPARE(prompter.records[0].text, warningText(days));
    QVERIFY(state.warned);

    // A new opening warns again.
    ReportState reopened;
    expensesByEnvelope(reopened, prompter, b.budget, -1, -1);
    QCOMPARE(prompter.records.size(), 2);
}

void TestStatistics::noWarningWithEnoughData() {
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    b.add(TransactionType::Expense, b.food->id(), -100, makeDate(2025, 2, 28, 12));
    b.add(TransactionType::Deposit, b.food->id(), 100, makeDate(2020, 1, 1)); // not counted
    ReportState state;
    FakePrompter prompter;
    expensesByEnvelope(state, prompter, b.budget, -1, -1);
    QVERIFY(prompter.records.isEmpty());
    QVERIFY(!state.warned);
    // The current month alone is too short, so the filtered view warns.
    b.add(TransactionType::Expense, b.fuel->id(), -100, makeDate(2025, 4, 1, 12));
    expensesByEnvelope(state, prompter, b.budget, 4, 2025);
    QCOMPARE(prompter.texts(), QStringList{warningText(29)});
}

// Counted exactly even where serial-day doubles lose the last millisecond (serial 32768 is
// 17 Sep 1989, 65536 is 5 Jun 2079).
void TestStatistics::daysOfDataAreWholeDays_data() {
    QTest::addColumn<DateTime>("now");
    QTest::addColumn<DateTime>("earliest");
    QTest::addColumn<int>("days");
    QTest::newRow("to 1989, last ms of the day")
        << makeDate(1989, 9, 17, 23, 59, 59, 999) << makeDate(1899, 12, 30, 23, 59, 59, 999)
        << 32768;
    QTest::newRow("to 2079, a second past midnight")
        << makeDate(2079, 6, 5, 0, 0, 1) << makeDate(1899, 12, 30, 0, 0, 1) << 65536;
    QTest::newRow("2079, a ms short of the day")
        << makeDate(2079, 6, 6) << makeDate(2079, 4, 6, 0, 0, 0, 1) << 60;
}

void TestStatistics::daysOfDataAreWholeDays() {
    QFETCH(DateTime, now);
    QFETCH(DateTime, earliest);
    QFETCH(int, days);
    FixedClock clock(now);
    ReportBudget b;
    b.add(TransactionType::Expense, b.food->id(), -100, earliest);
    QCOMPARE(daysOfExpenseData(b.budget, -1, -1), days);
}

QTEST_GUILESS_MAIN(TestStatistics)
#include "test_statistics.moc"
