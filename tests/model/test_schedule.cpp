// The dates a schedule falls on, what counts as "about" its amount, and undo of its entries.

#include "model/budget.h"
#include "model/clock.h"
#include "model/schedule.h"
#include "model/undo.h"

#include <QTest>

namespace {
QDate d(const char* iso) {
    return QDate::fromString(QLatin1StringView(iso), Qt::ISODate);
}
} // namespace

class TestSchedule : public QObject {
    Q_OBJECT
private slots:
    void dates_data();
    void dates();
    void aboutAmounts_data();
    void aboutAmounts();
    void dueListStopsAtTheEnd();
    void enteringIsUndoneWhole();
};

void TestSchedule::dates_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("every");
    QTest::addColumn<bool>("lastDay");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<int>("weekend");
    QTest::addColumn<QStringList>("expected"); // occurrences 0, 1, 2, ...

    const auto list = [](std::initializer_list<const char*> l) {
        QStringList out;
        for (const char* s : l)
            out << QString::fromLatin1(s);
        return out;
    };
    // The 31st comes back after February instead of sticking to the 28th.
    QTest::newRow("31st through a leap February")
        << 2 << 1 << false << d("2028-01-31") << 0
        << list({"2028-01-31", "2028-02-29", "2028-03-31", "2028-04-30"});
    QTest::newRow("last day from the 15th") << 2 << 1 << true << d("2027-01-15") << 0
                                            << list({"2027-01-31", "2027-02-28", "2027-03-31"});
    // 31 July 2027 is a Saturday, 31 October a Sunday: both go to Monday.
    QTest::newRow("quarterly, weekends after")
        << 2 << 3 << false << d("2027-07-31") << 2
        << list({"2027-08-02", "2027-11-01", "2028-01-31", "2028-05-01"});
    QTest::newRow("every 10 days across a year end")
        << 0 << 10 << false << d("2027-12-25") << 0
        << list({"2027-12-25", "2028-01-04", "2028-01-14"});
    // 29 February falls back to the 28th in other years, and returns in leap years.
    QTest::newRow("yearly from 29 February")
        << 3 << 1 << false << d("2028-02-29") << 0
        << list({"2028-02-29", "2029-02-28", "2030-02-28", "2031-02-28", "2032-02-29"});
    // Saturday 1 January 2028 goes back to Friday 31 December 2027.
    QTest::newRow("weekly, weekends before, across a year")
        << 1 << 1 << false << d("2027-12-25") << 1
        << list({"2027-12-24", "2027-12-31", "2028-01-07"});
}

void TestSchedule::dates() {
    QFETCH(int, unit);
    QFETCH(int, every);
    QFETCH(bool, lastDay);
    QFETCH(QDate, first);
    QFETCH(int, weekend);
    QFETCH(QStringList, expected);
    Schedule s;
    s.unit = RepeatUnit(unit);
    s.every = every;
    s.lastDayOfMonth = lastDay;
    s.first = first;
    s.weekend = WeekendRule(weekend);
    QStringList got;
    for (int k = 0; k < expected.size(); ++k)
        got << occurrenceDate(s, k).toString(Qt::ISODate);
    QCOMPARE(got, expected);
}

void TestSchedule::aboutAmounts_data() {
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("amount");
    QTest::addColumn<bool>("matches");
    // Against a schedule of -80.00.
    QTest::newRow("exact") << 0 << -8000 << true;
    QTest::newRow("exact, a cent off") << 0 << -8001 << false;
    QTest::newRow("exact, other sign") << 0 << 8000 << true; // the direction is checked apart
    QTest::newRow("10%, at the top") << 10 << -8800 << true;
    QTest::newRow("10%, a cent above") << 10 << -8801 << false;
    QTest::newRow("10%, at the bottom") << 10 << -7200 << true;
    QTest::newRow("10%, a cent below") << 10 << -7199 << false;
}

void TestSchedule::aboutAmounts() {
    QFETCH(int, percent);
    QFETCH(int, amount);
    QFETCH(bool, matches);
    Schedule s;
    s.amount = -8000;
    s.aboutPercent = percent;
    QCOMPARE(amountMatches(s, amount), matches);
}

void TestSchedule::dueListStopsAtTheEnd() {
    Schedule s;
    s.unit = RepeatUnit::Weeks;
    s.first = d("2027-03-01");
    s.until = d("2027-03-15"); // the last day itself still counts
    QCOMPARE(dueOccurrences(s, d("2027-12-31")).size(), std::size_t(3));
    s.until = QDate();
    s.count = 2;
    QCOMPARE(dueOccurrences(s, d("2027-12-31")).size(), std::size_t(2));
    s.done = 2;
    QCOMPARE(nextOccurrence(s).index, -1);
    // A monthly rent on the 31st moved to the 1st after March's came in goes on with 1 April.
    Schedule rent;
    rent.first = d("2027-01-31");
    rent.done = 3;
    Schedule moved = rent;
    moved.first = d("2027-01-01");
    moved.done = resumeIndex(moved, rent);
    QCOMPARE(nextOccurrence(moved).date, d("2027-04-01"));
    // Years away from the budget bring a bounded number of entries, not an endless loop.
    Schedule daily;
    daily.unit = RepeatUnit::Days;
    daily.first = d("2000-01-01");
    QCOMPARE(dueOccurrences(daily, d("2027-01-01")).size(), std::size_t(1000));
}

void TestSchedule::enteringIsUndoneWhole() {
    FixedClock clock(fromQDateTime(QDateTime(d("2027-04-10"), QTime(9, 0))));
    Budget b;
    UndoHistory history(b);
    Account* checking = b.createAccount();
    checking->setStoredBalance(100000);
    AccountEnvelope* phone = b.createEnvelope();
    Schedule s;
    s.amount = -3000;
    s.accountFrom = checking->id();
    s.category = phone->id();
    s.first = d("2027-02-05");
    Schedule gone = s; // its account does not exist: nothing to record it in
    gone.accountFrom = 4242;
    b.schedules() = {s, gone};

    history.begin();
    QCOMPARE(enterDueOccurrences(b, d("2027-04-10")), 3);
    QVERIFY(history.end(QStringLiteral("Enter scheduled transactions")));
    QCOMPARE(checking->getBalance(), Amount(91000));
    QCOMPARE(b.transactions().size(), std::size_t(3));
    QCOMPARE(b.schedules()[0].done, 3);
    QCOMPARE(b.schedules()[1].done, 0);

    QVERIFY(history.undo());
    QCOMPARE(checking->getBalance(), Amount(100000));
    QCOMPARE(b.transactions().size(), std::size_t(0));
    QCOMPARE(b.schedules()[0].done, 0); // else they would never come again
    QVERIFY(history.redo());
    QCOMPARE(b.transactions().size(), std::size_t(3));
    QCOMPARE(b.schedules()[0].done, 3);
}

QTEST_GUILESS_MAIN(TestSchedule)
#include "test_schedule.moc"
