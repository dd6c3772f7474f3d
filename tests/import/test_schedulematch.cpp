// A statement that meets scheduled transactions: a row settles the occurrence it is, so the
// occurrence is not entered a second time when its day comes.

#include "import/importplan.h"
#include "import/qifreader.h"
#include "model/budget.h"
#include "model/clock.h"
#include "model/schedule.h"

#include <QTest>

namespace {
QDate d(const char* iso) {
    return QDate::fromString(QLatin1StringView(iso), Qt::ISODate);
}
DateTime at(const char* iso) {
    return fromQDateTime(QDateTime(d(iso), QTime(9, 0)));
}
} // namespace

class TestScheduleMatch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void statementMeetsDueOccurrences();
    void billEnteredBeforeTheStatement();
};

void TestScheduleMatch::statementMeetsDueOccurrences() {
    FixedClock clock(at("2027-03-10"));
    Budget b;
    Account* checking = b.createAccount();
    checking->setStoredBalance(500000);
    AccountEnvelope* rent = b.createEnvelope();
    AccountEnvelope* power = b.createEnvelope();
    AccountEnvelope* utilities = b.createEnvelope();
    AccountEnvelope* phone = b.createEnvelope();
    b.rules().addMappingRule(QStringLiteral("CITY POWER*"), utilities->id(), false, QString(),
                             false);

    const auto schedule = [&](const QString& payee, Amount amount, ItemId envelope,
                              const char* first, ScheduleMode mode, int about = 0) {
        Schedule s;
        s.payee = payee;
        s.amount = amount;
        s.category = envelope;
        s.accountFrom = checking->id();
        s.first = d(first);
        s.mode = mode;
        s.aboutPercent = about;
        return s;
    };
    // The rent came in by itself on the 1st; the power bill waits for a yes; the phone bill,
    // which varies, is due in two days.
    b.schedules() = {
        schedule("Landlord", -120000, rent->id(), "2027-03-01", ScheduleMode::Automatic),
        schedule("Power Co", -8000, power->id(), "2027-03-08", ScheduleMode::AskMe),
        schedule("Phone", -4500, phone->id(), "2027-03-12", ScheduleMode::Automatic, 10)};
    QCOMPARE(enterDueOccurrences(b, d("2027-03-01")), 1);

    std::vector<ImportRecord> rows;
    QCOMPARE(readQifBytes("!Type:Bank\n"
                          "D03/01/2027\nT-1,200.00\nPLANDLORD\n^\n"
                          "D03/08/2027\nT-80.00\nPCITY POWER\n^\n"
                          "D03/10/2027\nT-47.12\nPMOBILE TELCO\n^\n"
                          "D03/10/2027\nT-3.50\nPCOFFEE\n^\n",
                          rows),
             0u);
    QCOMPARE(rows.size(), std::size_t(4));
    ImportPlan plan(b, *checking);
    plan.map(rows);
    // A rule's envelope stands; a row no rule knows takes the schedule's payee and envelope.
    QCOMPARE(rows[1].envelopeId, utilities->id());
    QCOMPARE(rows[2].mappedPayee, QStringLiteral("Phone"));
    QCOMPARE(rows[2].envelopeId, phone->id());
    QCOMPARE(rows[3].envelopeId, kNoId);

    const DateTime after = at("2027-02-27"); // the last import, at the end of February
    std::vector<ImportRecord> chosen;
    for (const ImportRecord& r : rows)
        if (plan.evaluate(r, after).checked && plan.assigned(r))
            chosen.push_back(r);
    QCOMPARE(chosen.size(), std::size_t(2)); // the rent is a duplicate, the coffee unassigned
    recordRows(b, *checking, chosen, latestDate(rows));

    // The days of both bills come and go: nothing more is entered or waits.
    QCOMPARE(enterDueOccurrences(b, d("2027-03-14")), 0);
    QCOMPARE(b.transactions().size(), std::size_t(3));
    QCOMPARE(checking->getBalance(), Amount(500000 - 120000 - 8000 - 4712));
    for (const UpcomingEntry& e : upcomingEntries(b, d("2027-03-14")))
        QVERIFY2(!e.due, qPrintable(b.schedules()[e.schedule].payee));
    QCOMPARE(nextOccurrence(b.schedules()[2]).date, d("2027-04-12"));
}

// A phone bill of about 45.00 (10%) was entered from the upcoming list in February (as 44.00,
// a day late) and March; the statement then shows what the bank took. Rows near an entered
// occurrence and within its range repeat it; others are new, whatever their amount.
void TestScheduleMatch::billEnteredBeforeTheStatement() {
    FixedClock clock(at("2027-03-20"));
    Budget b;
    Account* checking = b.createAccount();
    Account* savings = b.createAccount();
    AccountEnvelope* phone = b.createEnvelope();
    Schedule bill;
    bill.payee = QStringLiteral("Phone");
    bill.amount = -4500;
    bill.aboutPercent = 10;
    bill.category = phone->id();
    bill.accountFrom = checking->id();
    bill.first = d("2027-02-12");
    bill.mode = ScheduleMode::AskMe;
    bill.done = 2;
    b.schedules() = {bill};
    for (const auto& [day, amount] : {std::pair{"2027-02-13", -4400}, {"2027-03-12", -4500}})
        b.recordTransaction(makeTransaction(TransactionType::Expense, amount, checking->id(), kNoId,
                                            phone->id(), "Phone", "", at(day)));

    std::vector<ImportRecord> rows;
    QCOMPARE(readQifBytes("!Type:Bank\n"
                          "D02/11/2027\nT-44.10\nPTELCO 0211\n^\n"  // the February bill
                          "D03/14/2027\nT-47.12\nPTELCO 0314\n^\n"  // March's, two days on
                          "D03/14/2027\nT-52.00\nPTELCO EXTRA\n^\n" // beyond the range
                          "D03/19/2027\nT-46.00\nPTELCO 0319\n^\n", // a week after March's
                          rows),
             0u);
    ImportPlan plan(b, *checking);
    plan.map(rows);
    QStringList reasons;
    for (const ImportRecord& r : rows)
        reasons << plan.evaluate(r, at("2027-02-01")).reason;
    QCOMPARE(reasons, (QStringList{"matches 2/13/27 Phone -$44.00", "matches 3/12/27 Phone -$45.00",
                                   QString(), QString()}));

    // The same statement read for another account repeats nothing there.
    ImportPlan other(b, *savings);
    for (const ImportRecord& r : rows)
        QVERIFY(!other.evaluate(r, at("2027-02-01")).duplicateOf);
}

QTEST_GUILESS_MAIN(TestScheduleMatch)
#include "test_schedulematch.moc"
