// Reports over time at their edges: hidden envelopes, expenses outside any folder or envelope,
// a transaction dated after today, and a range given backwards.

#include "model/clock.h"
#include "reports/trends.h"
#include "testdates.h"

#include <QTest>
#include <array>

namespace {
struct EdgeBudget {
    FixedClock clock{makeDate(2025, 3, 15, 12)};
    Budget budget;
    Account* checking = budget.createAccount();
    AccountGroup* folder = budget.createFolder();
    AccountEnvelope* a = budget.createEnvelope(); // in the folder, 100.00 a month
    AccountEnvelope* b = budget.createEnvelope(); // in no folder
    AccountEnvelope* hidden = budget.createEnvelope();
    EdgeBudget() {
        checking->adjustBalance(100000);
        folder->setName(QStringLiteral("Home"));
        folder->addChild(a);
        folder->addChild(hidden);
        a->setName(QStringLiteral("A"));
        a->setBudgeted(-10000);
        b->setName(QStringLiteral("B"));
        hidden->setName(QStringLiteral("H"));
        for (AccountEnvelope* e : {a, b, hidden})
            e->setCreatedDate(makeDate(2025, 1, 1));
        spend(a, -3000, makeDate(2025, 1, 10));
        spend(b, -2000, makeDate(2025, 1, 12));
        spend(nullptr, -500, makeDate(2025, 1, 15));
        spend(hidden, -1000, makeDate(2025, 2, 1));
        spend(a, -4000, makeDate(2025, 4, 2)); // entered ahead of its day
        a->adjustBalance(6000 - a->getBalance());
        hidden->setHidden(true);
    }
    void spend(AccountEnvelope* e, Amount amount, const DateTime& when) {
        const Transaction* t =
            createTransaction(budget, TransactionType::Expense, amount, checking->id(), kNoId,
                              e ? e->id() : kNoId, {}, {}, when);
        applyTransaction(budget, *t, false);
    }
};

MonthRange months(int y1, int m1, int y2, int m2) {
    return MonthRange::of(QDate(y1, m1, 1), QDate(y2, m2, 1));
}
} // namespace

class TestTrends : public QObject {
    Q_OBJECT
private slots:
    void groupsBeyondTheTopAreOther() {
        EdgeBudget e;
        const SpendingReport r = spendingOverTime(
            e.budget, months(2025, 1, 2025, 4), SpendingPeriod::Month, SpendingGrouping::Folder, 1);
        QCOMPARE(r.series.size(), size_t(2));
        QCOMPARE(r.series[0].name, QStringLiteral("Home"));
        QCOMPARE(r.series[0].values, (std::vector<Cents>{3000, 1000, 0, 4000}));
        // B (no folder) and the expense without an envelope.
        QVERIFY(r.series[1].other);
        QCOMPARE(r.series[1].values, (std::vector<Cents>{2500, 0, 0, 0}));
        QCOMPARE(r.totals, (std::vector<Cents>{5500, 1000, 0, 4000}));

        const SpendingReport all = spendingOverTime(
            e.budget, months(2025, 1, 2025, 1), SpendingPeriod::Month, SpendingGrouping::Folder);
        QStringList names;
        for (const SpendingSeries& s : all.series)
            names << s.name;
        QCOMPARE(names, (QStringList{"Home", "(no folder)", "(no envelope)"}));
    }

    void envelopeHistoryAroundToday() {
        EdgeBudget e;
        const auto history = envelopeHistory(e.budget, months(2025, 2, 2025, 4), Clock::now());
        QCOMPARE(history.size(), size_t(3)); // the hidden envelope moved in February
        const EnvelopeHistory& a = history[0];
        QCOMPARE(a.name, QStringLiteral("A"));
        QCOMPARE(a.folder, QStringLiteral("Home"));
        // March is today's month, but the April expense was entered already: April closes at
        // the stored 60.00 and gets no funding of its own.
        const std::vector<std::array<Cents, 4>> expected{
            {3000, 0, 10000, 0}, {0, 0, 10000, 0}, {0, 4000, 6000, 0}};
        for (size_t i = 0; i < expected.size(); ++i) {
            const EnvelopeMonth& m = a.months[i];
            QCOMPARE((std::array<Cents, 4>{m.funded, m.spent, m.balance, m.dropped}), expected[i]);
        }
        QCOMPARE(envelopeHistory(e.budget, months(2025, 3, 2025, 4), Clock::now()).size(),
                 size_t(2));
        // A range given backwards is no range.
        QVERIFY(envelopeHistory(e.budget, months(2025, 4, 2025, 3), Clock::now()).empty());
        QVERIFY(netWorth(e.budget, months(2025, 4, 2025, 3)).empty());
    }

    void netWorthTakesBackLaterTransactions() {
        EdgeBudget e;
        std::vector<Cents> totals;
        for (const NetWorthMonth& m : netWorth(e.budget, months(2024, 12, 2025, 4)))
            totals.push_back(m.total());
        QCOMPARE(totals, (std::vector<Cents>{100000, 94500, 93500, 93500, 89500}));
    }
};

QTEST_GUILESS_MAIN(TestTrends)
#include "test_trends.moc"
