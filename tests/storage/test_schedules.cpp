// Scheduled transactions across restarts: each session reads the workbook, enters what is due
// and saves, as the program does at start.

#include "model/budget.h"
#include "model/clock.h"
#include "model/schedule.h"
#include "storage/workbook.h"
#include "storagetestkit.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
QDate d(const char* iso) {
    return QDate::fromString(QLatin1StringView(iso), Qt::ISODate);
}

QStringList isoList(std::initializer_list<const char*> dates) {
    QStringList out;
    for (const char* s : dates)
        out << QString::fromLatin1(s);
    return out;
}

// Dates (ISO) of the payee's transactions, oldest first.
QStringList datesOf(const Budget& b, const QString& payee) {
    QStringList out;
    for (const auto& t : b.transactions())
        if (t->payee == payee)
            out << toQDate(t->transactionTime).toString(Qt::ISODate);
    return out;
}
} // namespace

class TestSchedules : public QObject {
    Q_OBJECT
private slots:
    void fourteenMonthsOfRestarts();
    void sheetMadeByHand();
};

void TestSchedules::fourteenMonthsOfRestarts() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("budget.xlsx"));
    {
        Budget b;
        Account* checking = b.createAccount();
        checking->setName(QStringLiteral("Checking"));
        checking->setStoredBalance(100000);
        AccountGroup* bills = b.createFolder();
        bills->setName(QStringLiteral("Bills"));
        AccountEnvelope* rent = b.createEnvelope();
        rent->setName(QStringLiteral("Rent"));
        bills->addChild(rent);
        AccountEnvelope* cover = b.createEnvelope();
        cover->setName(QStringLiteral("Insurance"));
        bills->addChild(cover);
        b.showTopLevel(checking);
        b.showTopLevel(bills);

        Schedule r; // the 31st, or the month's last day, moved back off a weekend
        r.payee = QStringLiteral("Landlord");
        r.amount = -120000;
        r.category = rent->id();
        r.accountFrom = checking->id();
        r.first = d("2027-01-31");
        r.weekend = WeekendRule::Before;
        Schedule s; // every other Friday
        s.type = TransactionType::Deposit;
        s.payee = QStringLiteral("Employer");
        s.amount = 210000;
        s.accountTo = checking->id();
        s.unit = RepeatUnit::Weeks;
        s.every = 2;
        s.first = d("2027-01-08");
        Schedule i;
        i.payee = QStringLiteral("Insurer");
        i.amount = -45000;
        i.category = cover->id();
        i.accountFrom = checking->id();
        i.unit = RepeatUnit::Years;
        i.first = d("2027-02-10");
        b.schedules() = {r, s, i};
        QCOMPARE(writeWorkbookFile(path, b, b.topLevelItemsForSave()), 0);
    }

    const QStringList rentDays =
        isoList({"2027-01-29", "2027-02-26", "2027-03-31", "2027-04-30", "2027-05-31", "2027-06-30",
                 "2027-07-30", "2027-08-31", "2027-09-30", "2027-10-29", "2027-11-30", "2027-12-31",
                 "2028-01-31", "2028-02-29"});
    const QStringList salaryDays = isoList(
        {"2027-01-08", "2027-01-22", "2027-02-05", "2027-02-19", "2027-03-05", "2027-03-19",
         "2027-04-02", "2027-04-16", "2027-04-30", "2027-05-14", "2027-05-28", "2027-06-11",
         "2027-06-25", "2027-07-09", "2027-07-23", "2027-08-06", "2027-08-20", "2027-09-03",
         "2027-09-17", "2027-10-01", "2027-10-15", "2027-10-29", "2027-11-12", "2027-11-26",
         "2027-12-10", "2027-12-24", "2028-01-07", "2028-01-21", "2028-02-04", "2028-02-18"});
    const QStringList insuranceDays = isoList({"2027-02-10", "2028-02-10"});
    const auto upTo = [](const QStringList& days, const QDate& today) {
        QStringList out;
        for (const QString& s : days)
            if (QDate::fromString(s, Qt::ISODate) <= today)
                out << s;
        return out;
    };

    // Every day from 1 January 2027 to 29 February 2028, except June and July 2027 (away);
    // on the first of each month the program is started twice.
    for (QDate today = d("2027-01-01"); today <= d("2028-02-29"); today = today.addDays(1)) {
        if (today >= d("2027-06-01") && today <= d("2027-07-31"))
            continue;
        for (int run = 0; run < (today.day() == 1 ? 2 : 1); ++run) {
            FixedClock clock(kit::date(today.year(), today.month(), today.day(), 8, 30));
            Budget b;
            QCOMPARE(loadWorkbook(path, b).status, 0);
            enterDueOccurrences(b, today);
            QCOMPARE(writeWorkbookFile(path, b, b.topLevelItemsForSave()), 0);
            // Nothing early, nothing late, nothing twice.
            QCOMPARE(datesOf(b, QStringLiteral("Landlord")), upTo(rentDays, today));
            QCOMPARE(datesOf(b, QStringLiteral("Employer")), upTo(salaryDays, today));
            QCOMPARE(datesOf(b, QStringLiteral("Insurer")), upTo(insuranceDays, today));
        }
    }
    Budget b;
    QCOMPARE(loadWorkbook(path, b).status, 0);
    QCOMPARE(b.transactions().size(), std::size_t(46));
    // 1,000.00 + 30 x 2,100.00 - 14 x 1,200.00 - 2 x 450.00
    QCOMPARE(b.itemsOfType(ItemType::Account).at(0)->getBalance(), Amount(4630000));
    QCOMPARE(nextOccurrence(b.schedules()[0]).date, d("2028-03-31"));
    QCOMPARE(nextOccurrence(b.schedules()[1]).date, d("2028-03-03"));
    QCOMPARE(nextOccurrence(b.schedules()[2]).date, d("2029-02-10")); // a Saturday, kept
}

// A sheet another program wrote or a person edited: quoted absolute references, words in other
// cases, a missing count of occurrences done, an unknown mode, a row without a first date.
void TestSchedules::sheetMadeByHand() {
    using namespace kit;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hand.xlsx"));
    const QList<Cell> heads = {S("Next due"),     S("Payee"),      S("Amount"),      S("Expense"),
                               S("Account From"), S("Account To"), S("Description"), S("Type"),
                               S("Every"),        S("Unit"),       S("Day"),         S("First"),
                               S("Until"),        S("Count"),      S("Weekend"),     S("About %"),
                               S("Mode"),         S("Done")};
    QVERIFY(writeWorkbook(
        path,
        {{"Accounts", {{S("Account name")}, {S("Cash")}}},
         {"Schedules",
          {heads,
           // weekly from Monday 4 January 2027, next due Monday 15 March: ten done
           {N(46461), S("Gym"), N(-12.5), E(), F("'Accounts'!$A$2"), E(), S("d"), S("Expense"),
            N(0), S("WEEKS"), E(), N(46391), E(), E(), S("After"), N(250), S("sometimes")},
           // no first date: nothing to repeat
           {N(46447), S("Broken"), N(-1), E(), F("Accounts!A2"), E(), E(), S("Expense"), N(1),
            S("months")},
           {E(), S("Pay"), N(99.99), E(), E(), F("Accounts!A2"), E(), S("Deposit"), N(1),
            S("months"), S("last"), N(46391), N(46752), N(3), S("before"), N(5), S("automatic"),
            N(2)}}}}));
    Budget b;
    QCOMPARE(loadWorkbook(path, b).status, 0);
    QCOMPARE(b.schedules().size(), std::size_t(2));
    const Schedule& gym = b.schedules()[0];
    QCOMPARE(gym.accountFrom, ItemId(0));
    QCOMPARE(gym.amount, Amount(-1250));
    QCOMPARE(gym.every, 1);
    QCOMPARE(gym.unit, RepeatUnit::Weeks);
    QCOMPARE(gym.weekend, WeekendRule::After);
    QCOMPARE(gym.aboutPercent, 100);
    QCOMPARE(gym.mode, ScheduleMode::AskMe); // never money moved on a word it does not know
    QCOMPARE(gym.done, 10);
    const Schedule& pay = b.schedules()[1];
    QCOMPARE(pay.type, TransactionType::Deposit);
    QCOMPARE(pay.accountTo, ItemId(0));
    QVERIFY(pay.lastDayOfMonth);
    QCOMPARE(pay.until, d("2027-12-31"));
    QCOMPARE(pay.count, 3);
    QCOMPARE(pay.done, 2);
    QCOMPARE(pay.mode, ScheduleMode::Automatic);
    // The third and last: 31 March 2027 is a Wednesday.
    QCOMPARE(nextOccurrence(pay).date, d("2027-03-31"));
    Schedule ended = pay;
    ended.done = 3;
    QCOMPARE(nextOccurrence(ended).index, -1);

    // Written back and read again, the rows are the same.
    const QString again = dir.filePath(QStringLiteral("again.xlsx"));
    QCOMPARE(writeWorkbookFile(again, b, b.topLevelItemsForSave()), 0);
    Budget c;
    QCOMPARE(loadWorkbook(again, c).status, 0);
    QVERIFY(c.schedules() == b.schedules());
}

QTEST_GUILESS_MAIN(TestSchedules)
#include "test_schedules.moc"
