#include "model/budget.h"
#include "model/clock.h"
#include "testdates.h"

#include <QRandomGenerator>
#include <QTest>

namespace {
// Checking (in budget), a card, the charges envelope and one ordinary envelope.
struct CardBudget {
    Budget budget;
    Account* checking = nullptr;
    Account* savings = nullptr;
    Account* card = nullptr;
    AccountEnvelope* food = nullptr;
    AccountEnvelope* charges = nullptr;

    CardBudget() {
        checking = budget.createAccount();
        checking->adjustBalance(100000);
        savings = budget.createAccount();
        savings->adjustBalance(50000);
        card = budget.createAccount();
        card->setCCAccount(true);
        ensureCardChargesEnvelope(budget, card);
        charges = budget.findEnvelope(kChargesEnvelopeId);
        charges->adjustBalance(40000);
        food = budget.createEnvelope();
        food->adjustBalance(20000);
    }
    QList<int> balances() const {
        return {checking->getBalance(), savings->getBalance(), card->getBalance(),
                food->getBalance(), charges->getBalance()};
    }
};
} // namespace

class TestTransactions : public QObject {
    Q_OBJECT
private slots:
    void typeNames();
    void createDoesNotMoveMoney();
    void apply_data();
    void apply();
    void editExpense();
    void flooredExpenseReversesInexactly();
    void missingItemsAreSkipped();
    void actualThisMonth();
    void monthFlowsAgreeWithActualThisMonth();
    void averages_data();
    void averages();
    void averagesOfNewEnvelope();
    void oneScanAveragesAgree_data();
    void oneScanAveragesAgree();
};

void TestTransactions::typeNames() {
    for (TransactionType type : {TransactionType::Expense, TransactionType::Deposit,
                                 TransactionType::Transfer, TransactionType::CCPayment})
        QCOMPARE(transactionTypeFromName(transactionTypeName(type)), type);
    QCOMPARE(transactionTypeName(TransactionType::CCPayment), QStringLiteral("CC Payment"));
    QCOMPARE(transactionTypeFromName(QStringLiteral("expense")), std::nullopt);
}

void TestTransactions::createDoesNotMoveMoney() {
    FixedClock clock(makeDate(2024, 6, 1, 12));
    CardBudget b;
    const QList<int> before = b.balances();
    const Transaction* t =
        createTransaction(b.budget, TransactionType::Expense, -2500, b.checking->id(), kNoId,
                          b.food->id(), QStringLiteral("Shop"), QStringLiteral("note"));
    QCOMPARE(b.balances(), before);
    QCOMPARE(b.budget.transactions().back(), t);
    QCOMPARE(dateText(t->transactionTime), QStringLiteral("2024-06-01 12:00:00.000"));
    QCOMPARE(t->payee, QStringLiteral("Shop"));
    QCOMPARE(t->description, QStringLiteral("note"));
}

void TestTransactions::apply_data() {
    // Accounts and envelopes by letter: c checking, s savings, v card, f food, x charges, - none.
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("amount");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("envelope");
    QTest::addColumn<QList<int>>("after"); // checking, savings, card, food, charges
    const int expense = int(TransactionType::Expense);
    QTest::newRow("expense from checking") << expense << -2500 << "c"
                                           << "-"
                                           << "f" << QList<int>{97500, 50000, 0, 17500, 40000};
    QTest::newRow("expense by card") << expense << -2500 << "v"
                                     << "-"
                                     << "f" << QList<int>{100000, 50000, -2500, 17500, 42500};
    QTest::newRow("deposit") << int(TransactionType::Deposit) << 10000 << "-"
                             << "s"
                             << "-" << QList<int>{100000, 60000, 0, 20000, 40000};
    QTest::newRow("deposit naming an envelope")
        << int(TransactionType::Deposit) << 10000 << "-"
        << "s"
        << "f" << QList<int>{100000, 60000, 0, 30000, 40000};
    QTest::newRow("transfer") << int(TransactionType::Transfer) << 10000 << "c"
                              << "s"
                              << "-" << QList<int>{90000, 60000, 0, 20000, 40000};
    // The card rule looks only at the sending account, whatever the type.
    QTest::newRow("transfer from card") << int(TransactionType::Transfer) << 10000 << "v"
                                        << "s"
                                        << "-" << QList<int>{100000, 60000, -10000, 20000, 30000};
    QTest::newRow("card payment") << int(TransactionType::CCPayment) << -30000 << "c"
                                  << "v"
                                  << "x" << QList<int>{70000, 50000, 30000, 20000, 10000};
}

void TestTransactions::apply() {
    QFETCH(int, type);
    QFETCH(int, amount);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, envelope);
    QFETCH(QList<int>, after);
    CardBudget b;
    auto idOf = [&](const QString& key) {
        if (key == QLatin1String("c"))
            return b.checking->id();
        if (key == QLatin1String("s"))
            return b.savings->id();
        if (key == QLatin1String("v"))
            return b.card->id();
        if (key == QLatin1String("f"))
            return b.food->id();
        if (key == QLatin1String("x"))
            return kChargesEnvelopeId;
        return kNoId;
    };
    const QList<int> before = b.balances();
    const Transaction* t = createTransaction(b.budget, TransactionType(type), amount, idOf(from),
                                             idOf(to), idOf(envelope), {}, {});
    applyTransaction(b.budget, *t, false);
    QCOMPARE(b.balances(), after);
    applyTransaction(b.budget, *t, true);
    QCOMPARE(b.balances(), before);
}

void TestTransactions::editExpense() {
    CardBudget b;
    const Transaction* t = b.budget.recordTransaction(makeTransaction(
        TransactionType::Expense, -2500, b.checking->id(), kNoId, b.food->id(), {}, {}));
    QCOMPARE(b.checking->getBalance(), 97500);
    Transaction changed = *t;
    changed.amount = -3000;
    QVERIFY(b.budget.editTransaction(t, changed));
    QCOMPARE(t->amount, -3000);
    QCOMPARE(b.checking->getBalance(), 97000);
    QCOMPARE(b.food->getBalance(), 17000);
    // Moved to the card: checking gets its money back, the card and the charges take it.
    changed.accountFrom = b.card->id();
    QVERIFY(b.budget.editTransaction(t, changed));
    QCOMPARE(b.balances(), (QList<int>{100000, 50000, -3000, 17000, 43000}));
    QVERIFY(b.budget.removeTransaction(t));
    QCOMPARE(b.balances(), (QList<int>{100000, 50000, 0, 20000, 40000}));
    QVERIFY(b.budget.transactions().empty());
    QVERIFY(!b.budget.removeTransaction(t));
}

void TestTransactions::flooredExpenseReversesInexactly() {
    CardBudget b;
    b.food->adjustBalance(-19000); // holds 10.00
    const Transaction* t = createTransaction(b.budget, TransactionType::Expense, -2500,
                                             b.checking->id(), kNoId, b.food->id(), {}, {});
    applyTransaction(b.budget, *t, false);
    QCOMPARE(b.food->getBalance(), 0);
    applyTransaction(b.budget, *t, true);
    QCOMPARE(b.food->getBalance(), 2500);
    QCOMPARE(b.checking->getBalance(), 100000);
}

void TestTransactions::missingItemsAreSkipped() {
    CardBudget b;
    const QList<int> before = b.balances();
    const Transaction* t =
        createTransaction(b.budget, TransactionType::Expense, kAmountMin, 9999, 8888, 7777, {}, {});
    applyTransaction(b.budget, *t, false);
    applyTransaction(b.budget, *t, true);
    QCOMPARE(b.balances(), before);
}

void TestTransactions::actualThisMonth() {
    FixedClock clock(makeDate(2024, 3, 15, 12));
    Budget budget;
    AccountGroup* folder = budget.createFolder();
    AccountEnvelope* a = budget.createEnvelope();
    AccountEnvelope* b = budget.createEnvelope();
    AccountEnvelope* outside = budget.createEnvelope();
    folder->addChild(a);
    folder->addChild(b);
    auto add = [&](TransactionType type, Amount amount, ItemId envelope, DateTime when) {
        createTransaction(budget, type, amount, kNoId, kNoId, envelope, {}, {}, when);
    };
    add(TransactionType::Expense, -1000, a->id(), makeDate(2024, 3, 1));
    add(TransactionType::Expense, -500, b->id(), makeDate(2024, 3, 31, 23, 59, 59));
    add(TransactionType::Deposit, 200, b->id(), makeDate(2024, 3, 2)); // counts, any type
    add(TransactionType::Expense, -9000, a->id(), makeDate(2024, 2, 29, 23, 59, 59));
    add(TransactionType::Expense, -9000, a->id(), makeDate(2023, 3, 10)); // a year ago
    add(TransactionType::Expense, -7000, outside->id(), makeDate(2024, 3, 10));

    QCOMPARE(::actualThisMonth(budget, *a), -1000);
    QCOMPARE(::actualThisMonth(budget, *b), -300);
    QCOMPARE(::actualThisMonth(budget, *folder), -1300);
    QCOMPARE(::actualThisMonth(budget, *outside), -7000);
}

namespace {
// A small random budget: three folders (one nested), twelve envelopes, a card, and a few
// hundred transactions of every type spread over two years around the pinned present.
std::unique_ptr<Budget> randomBudget(quint32 seed) {
    QRandomGenerator random(seed);
    auto budget = std::make_unique<Budget>();
    std::vector<AccountGroup*> folders;
    for (int i = 0; i < 3; ++i)
        folders.push_back(budget->createFolder());
    folders[0]->addChild(folders[2]);
    std::vector<ItemId> envelopes;
    for (int i = 0; i < 12; ++i) {
        AccountEnvelope* e = budget->createEnvelope();
        e->setCreatedDate(
            makeDate(2023, 1 + random.bounded(12), 1 + random.bounded(28), random.bounded(24)));
        if (i % 5 == 4)
            e->setCreatedDate(DateTime());
        folders[i % 3]->addChild(e);
        envelopes.push_back(e->id());
    }
    envelopes.push_back(kNoId);
    const ItemId accounts[] = {budget->createAccount()->id(), budget->createAccount()->id()};
    for (int i = 0; i < 600; ++i) {
        const int year = 2023 + random.bounded(2);
        const DateTime when = makeDate(year, 1 + random.bounded(12), 1 + random.bounded(28),
                                       random.bounded(24), random.bounded(60));
        createTransaction(*budget, TransactionType(random.bounded(4)), random.bounded(-20000, 5000),
                          accounts[random.bounded(2)], kNoId,
                          envelopes[random.bounded(int(envelopes.size()))], {}, {}, when);
    }
    return budget;
}
} // namespace

void TestTransactions::monthFlowsAgreeWithActualThisMonth() {
    FixedClock clock(makeDate(2024, 5, 20, 10));
    auto budget = randomBudget(7);
    const MonthFlows flows = MonthFlows::compute(*budget);
    int nonZero = 0;
    for (const auto& [id, item] : budget->registry()) {
        QCOMPARE(flows.flowOf(*item), ::actualThisMonth(*budget, *item));
        nonZero += flows.flowOf(*item) != 0;
    }
    QVERIFY(nonZero > 3);
}

void TestTransactions::averages_data() {
    QTest::addColumn<DateTime>("now");
    QTest::addColumn<DateTime>("created");
    QTest::addColumn<QList<DateTime>>("dates");
    QTest::addColumn<QList<int>>("amounts");
    QTest::addColumn<bool>("throughPreviousMonth");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<QList<int>>("expected"); // per day, days, per month

    const QList<DateTime> janFeb{makeDate(2025, 1, 20), makeDate(2025, 2, 10)};
    QTest::newRow("created mid-January, evaluated in March")
        << makeDate(2025, 3, 10, 9) << makeDate(2025, 1, 15, 10) << janFeb
        << QList<int>{-3000, -6000} << true << -1 << -1 << QList<int>{-200, 45, -4500};

    const QList<DateTime> marApr{makeDate(2025, 3, 5), makeDate(2025, 4, 20)};
    const DateTime aprilNoon = makeDate(2025, 4, 30, 12);
    QTest::newRow("whole history to now")
        << aprilNoon << makeDate(2025, 3, 1) << marApr << QList<int>{-3000, -6000} << false << -1
        << -1 << QList<int>{-147, 61, -4500};
    QTest::newRow("whole history through March")
        << aprilNoon << makeDate(2025, 3, 1) << marApr << QList<int>{-3000, -6000} << true << -1
        << -1 << QList<int>{-96, 31, -3000};
    QTest::newRow("every April") << aprilNoon << makeDate(2025, 3, 1)
                                 << QList<DateTime>{makeDate(2025, 3, 5), makeDate(2025, 4, 20),
                                                    makeDate(2024, 4, 2)}
                                 << QList<int>{-3000, -6000, -1200} << false << 4 << -1
                                 << QList<int>{-18, 384, -553};
    QTest::newRow("no April expenses")
        << aprilNoon << makeDate(2025, 3, 1) << QList<DateTime>{makeDate(2025, 3, 5)}
        << QList<int>{-3000} << false << 4 << -1 << QList<int>{0, 0, 0};
    QTest::newRow("year filter") << aprilNoon << makeDate(2023, 3, 1)
                                 << QList<DateTime>{makeDate(2024, 3, 5), makeDate(2024, 3, 6),
                                                    makeDate(2025, 1, 1)}
                                 << QList<int>{-1000, -1001, -5000} << false << -1 << 2024
                                 << QList<int>{-1000, 2, -2001};
    // Expenses before the created date still widen the window.
    QTest::newRow("expense before creation")
        << aprilNoon << makeDate(2025, 4, 1) << QList<DateTime>{makeDate(2025, 2, 28)}
        << QList<int>{-6100} << false << -1 << -1 << QList<int>{-98, 62, -2033};
}

void TestTransactions::averages() {
    QFETCH(DateTime, now);
    QFETCH(DateTime, created);
    QFETCH(QList<DateTime>, dates);
    QFETCH(QList<int>, amounts);
    QFETCH(bool, throughPreviousMonth);
    QFETCH(int, month);
    QFETCH(int, year);
    QFETCH(QList<int>, expected);

    FixedClock clock(now);
    Budget budget;
    AccountEnvelope* envelope = budget.createEnvelope();
    envelope->setCreatedDate(created);
    Account* account = budget.createAccount();
    for (int i = 0; i < dates.size(); ++i)
        createTransaction(budget, TransactionType::Expense, amounts[i], account->id(), kNoId,
                          envelope->id(), {}, {}, dates[i]);
    // Other types and other envelopes never count.
    createTransaction(budget, TransactionType::Deposit, -99999, kNoId, account->id(),
                      envelope->id(), {}, {}, now);
    createTransaction(budget, TransactionType::Expense, -99999, account->id(), kNoId, kNoId, {}, {},
                      dates.value(0, now));

    const SpendingAverages result =
        envelopeSpendingAverages(budget, *envelope, throughPreviousMonth, month, year);
    QCOMPARE((QList<int>{result.perDay, result.days, result.perMonth}), expected);
    const SpendingAverages oneScan =
        SpendingHistory::compute(budget, throughPreviousMonth, month, year).averagesOf(*envelope);
    QCOMPARE((QList<int>{oneScan.perDay, oneScan.days, oneScan.perMonth}), expected);
}

void TestTransactions::averagesOfNewEnvelope() {
    FixedClock clock(makeDate(2024, 7, 3, 8));
    Budget budget;
    AccountEnvelope* envelope = budget.createEnvelope();
    const SpendingAverages result = envelopeSpendingAverages(budget, *envelope, true, -1, -1);
    QCOMPARE(result.perMonth, 0);
    QCOMPARE(result.perDay, 0);
    QCOMPARE(result.days, 1);
}

void TestTransactions::oneScanAveragesAgree_data() {
    QTest::addColumn<bool>("throughPreviousMonth");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::newRow("tree") << true << -1 << -1;
    QTest::newRow("whole history") << false << -1 << -1;
    QTest::newRow("month") << false << 3 << -1;
    QTest::newRow("year") << false << -1 << 2023;
    QTest::newRow("month and year") << false << 12 << 2023;
    QTest::newRow("zero filters") << false << 0 << 0;
}

void TestTransactions::oneScanAveragesAgree() {
    QFETCH(bool, throughPreviousMonth);
    QFETCH(int, month);
    QFETCH(int, year);
    FixedClock clock(makeDate(2024, 6, 15, 18));
    for (quint32 seed : {1u, 2u, 3u}) {
        auto budget = randomBudget(seed);
        const SpendingHistory history =
            SpendingHistory::compute(*budget, throughPreviousMonth, month, year);
        const MonthFlows flows = MonthFlows::compute(*budget);
        for (AccountBase* item : budget->itemsOfType(ItemType::Envelope)) {
            const auto& envelope = static_cast<const AccountEnvelope&>(*item);
            const SpendingAverages slow =
                envelopeSpendingAverages(*budget, envelope, throughPreviousMonth, month, year);
            const SpendingAverages fast = history.averagesOf(envelope);
            QCOMPARE(fast.perDay, slow.perDay);
            QCOMPARE(fast.days, slow.days);
            QCOMPARE(fast.perMonth, slow.perMonth);
            if (throughPreviousMonth && month < 0) {
                const SpendingAverages tree = flows.treeAverages(envelope);
                QCOMPARE(tree.perMonth, slow.perMonth);
                QCOMPARE(tree.days, slow.days);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestTransactions)
#include "test_transactions.moc"
