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

QTEST_GUILESS_MAIN(TestScheduleMatch)
#include "test_schedulematch.moc"
