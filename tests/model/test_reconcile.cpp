// Reconciling: the one set of uncleared transactions that closes a difference, and what an
// edit takes off a reconciled side. (Finishing and undoing it: app_test_window_reconcile.)

#include "model/budget.h"
#include "model/reconcile.h"
#include "model/split.h"
#include "testdates.h"

#include <QTest>
#include <functional>

namespace {
struct Ledger {
    Budget budget;
    Account* checking = budget.createAccount();

    Ledger() { checking->setStoredBalance(100000); } // opening balance 1,000.00
    const Transaction* spend(Amount amount, int day, ClearedState state = ClearedState::Uncleared) {
        Transaction t = makeTransaction(TransactionType::Expense, amount, checking->id(), kNoId,
                                        kNoId, "Shop", "", makeDate(2026, 3, day, 12));
        t.clearedFrom = state;
        return budget.recordTransaction(t);
    }
};
} // namespace

class TestReconcile : public QObject {
    Q_OBJECT
private slots:
    void closingSet_data() {
        QTest::addColumn<QList<int>>("amounts");  // uncleared expenses, in cents
        QTest::addColumn<int>("statement");       // minus the opening balance
        QTest::addColumn<QList<int>>("expected"); // empty: nothing offered
        QTest::newRow("one pair") << QList<int>{-1234, -5000, -766, 20000} << -2000
                                  << QList<int>{0, 2};
        QTest::newRow("a single row") << QList<int>{-1234, -5000} << -5000 << QList<int>{1};
        QTest::newRow("two ways") << QList<int>{-1000, -2000, -3000} << -3000 << QList<int>{};
        QTest::newRow("no way") << QList<int>{-1000, -2000} << -1500 << QList<int>{};
        QTest::newRow("nothing to close") << QList<int>{-1000} << 0 << QList<int>{};
        // Powers of two: every sum has exactly one set, but 26 is more than is searched.
        QList<int> many;
        for (int i = 0; i < 26; ++i)
            many << -(1 << i);
        QTest::newRow("too many") << many << -3 << QList<int>{};
        many.removeLast();
        QTest::newRow("twenty-five") << many << -(1 + 4 + (1 << 24)) << QList<int>{0, 2, 24};
    }
    void closingSet() {
        QFETCH(QList<int>, amounts);
        QFETCH(int, statement);
        QFETCH(QList<int>, expected);
        Ledger l;
        l.spend(-99999, 1, ClearedState::Cleared); // ticked: never part of the offer
        for (int a : amounts)
            l.spend(a, 2);
        Reconciliation r(l.budget, *l.checking, makeDate(2026, 3, 31));
        const auto set = r.closingSet(100000 - 99999 + statement);
        QList<int> got;
        for (std::size_t row : set.value_or(std::vector<std::size_t>{}))
            got << int(row) - 1; // row 0 is the cleared one
        QCOMPARE(got, expected);
    }

    // The bank books a split payment once: one row of its whole amount, offered and
    // reconciled with all its parts.
    void splitPaymentIsOneRow() {
        Ledger l;
        l.spend(-1500, 2);
        const auto parts =
            recordSplit(l.budget,
                        makeTransaction(TransactionType::Expense, -7000, l.checking->id(), kNoId,
                                        kNoId, "Market", "", makeDate(2026, 3, 3, 12)),
                        {{kNoId, -5000, {}}, {kNoId, -2000, {}}});
        QCOMPARE(parts.size(), std::size_t(2));
        Reconciliation r(l.budget, *l.checking, makeDate(2026, 3, 31));
        QCOMPARE(r.rows().size(), std::size_t(2));
        QCOMPARE(r.rows()[1].change, std::int64_t(-7000));
        const auto set = r.closingSet(100000 - 7000);
        QVERIFY(set && *set == std::vector<std::size_t>{1});
        r.setTicked(1, true);
        QCOMPARE(r.clearedTotal(), std::int64_t(93000));
        finishReconcile(l.budget, *l.checking, r, makeDate(2026, 3, 31), 93000, false, {});
        for (const Transaction* part : parts)
            QCOMPARE(part->clearedFrom, ClearedState::Reconciled);
        QCOMPARE(clearedBalance(l.budget, *l.checking), std::int64_t(93000));
    }

    void editsOfReconciled_data() {
        QTest::addColumn<int>("what");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<int>("fromAfter");
        QTest::addColumn<int>("toAfter");
        const int C = int(ClearedState::Cleared), R = int(ClearedState::Reconciled),
                  U = int(ClearedState::Uncleared);
        QTest::newRow("description") << 0 << false << R << C;
        QTest::newRow("amount") << 1 << true << C << C;
        QTest::newRow("later the same day") << 2 << false << R << C;
        QTest::newRow("another day") << 3 << true << C << C;
        QTest::newRow("to another account") << 4 << false << R << U;
        QTest::newRow("from another account") << 5 << true << U << C;
    }
    void editsOfReconciled() {
        QFETCH(int, what);
        QFETCH(bool, asked);
        QFETCH(int, fromAfter);
        QFETCH(int, toAfter);
        Transaction before = makeTransaction(TransactionType::Transfer, 1000, 1, 2, kNoId,
                                             "Transfer", "", makeDate(2026, 3, 5, 10));
        before.clearedFrom = ClearedState::Reconciled; // the receiving side is only cleared
        before.clearedTo = ClearedState::Cleared;
        Transaction after = before;
        const std::function<void()> edits[] = {[&] { after.description = "note"; },
                                               [&] { after.amount = 1001; },
                                               [&] { after.transactionTime.hour = 18; },
                                               [&] { after.transactionTime.day = 6; },
                                               [&] { after.accountTo = 3; },
                                               [&] { after.accountFrom = 3; }};
        edits[what]();
        QCOMPARE(touchesReconciled(before, after), asked);
        settleEditedStates(before, after);
        QCOMPARE(int(after.clearedFrom), fromAfter);
        QCOMPARE(int(after.clearedTo), toAfter);
    }
};

QTEST_APPLESS_MAIN(TestReconcile)
#include "test_reconcile.moc"
