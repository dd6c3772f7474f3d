#include "model/budget.h"
#include "model/clock.h"
#include "model/undo.h"
#include "testdates.h"

#include <QTest>

class TestBudget : public QObject {
    Q_OBJECT
private slots:
    void idsAndLookup();
    void itemsOfTypeIncludesHiddenInIdOrder();
    void totals();
    void totalsSaturate();
    void legacyIdAllocation_data();
    void legacyIdAllocation();
    void legacyItemsWithoutIdsDoNotClobberEachOther();
    void saveOrder();
    void saveOrderKeepsVisibleItemsMissingFromTheOrders();
    void topLevelOrdersAreSets();
    void normaliseKeepsCreatedDates();
    void sortByTime();
    void ledgerKeepsTimeOrder();
    void discardedItemLeavesNoTrace();
};

void TestBudget::idsAndLookup() {
    Budget budget;
    QCOMPARE(budget.createAccount()->id(), ItemId(0));
    QCOMPARE(budget.createFolder()->id(), ItemId(1));
    QCOMPARE(budget.findItem(kNoId), nullptr);
    QCOMPARE(budget.findItem(kChargesEnvelopeId), nullptr);
    QCOMPARE(budget.findItem(77), nullptr);
    QVERIFY(budget.findFolder(1));
    QCOMPARE(budget.findEnvelope(1), nullptr);

    Account* card = budget.createAccount();
    card->setCCAccount(true);
    ensureCardChargesEnvelope(budget, card);
    QVERIFY(budget.findEnvelope(kChargesEnvelopeId));
}

void TestBudget::itemsOfTypeIncludesHiddenInIdOrder() {
    Budget budget;
    AccountGroup* folder = budget.createFolder();
    AccountEnvelope* a = budget.createEnvelope();
    AccountEnvelope* b = budget.createEnvelope();
    AccountEnvelope* c = budget.createEnvelope();
    folder->addChild(c);
    folder->addChild(a);
    b->setHidden(true);
    const std::vector<AccountBase*> expected{a, b, c};
    QCOMPARE(budget.itemsOfType(ItemType::Envelope), expected);
}

void TestBudget::totals() {
    Budget budget;
    budget.createAccount()->adjustBalance(100000);
    budget.createAccount()->adjustBalance(-20000);
    Account* offBudget = budget.createAccount();
    offBudget->adjustBalance(500000);
    offBudget->setContributesToBudget(false);
    Account* hidden = budget.createAccount();
    hidden->adjustBalance(1);
    hidden->setHidden(true);
    budget.createEnvelope()->adjustBalance(30000);
    budget.createEnvelope();
    AccountEnvelope* hiddenEnvelope = budget.createEnvelope();
    hiddenEnvelope->adjustBalance(2);
    hiddenEnvelope->setHidden(true);

    QCOMPARE(budget.inBudgetTotal(), 80001);
    QCOMPARE(budget.assignedTotal(), 30002);
    QCOMPARE(budget.availableForBudgeting(), 49999);
}

void TestBudget::totalsSaturate() {
    Budget budget;
    budget.createAccount()->adjustBalance(kAmountMax);
    budget.createAccount()->adjustBalance(kAmountMax);
    QCOMPARE(budget.inBudgetTotal(), kAmountMax);
    budget.createEnvelope()->adjustBalance(kAmountMax);
    budget.createEnvelope()->adjustBalance(kAmountMax);
    QCOMPARE(budget.assignedTotal(), kAmountMax);
    QCOMPARE(budget.availableForBudgeting(), 0);
}

void TestBudget::legacyIdAllocation_data() {
    QTest::addColumn<QList<uint>>("storedIds");
    QTest::addColumn<uint>("nextId");
    QTest::newRow("largest 41") << QList<uint>{3, 41, 7} << 42u;
    QTest::newRow("charges envelope ignored") << QList<uint>{5, kChargesEnvelopeId} << 6u;
    QTest::newRow("nothing stored") << QList<uint>{} << 1u;
    QTest::newRow("only id 0") << QList<uint>{0} << 1u;
}

void TestBudget::legacyIdAllocation() {
    QFETCH(QList<uint>, storedIds);
    QFETCH(uint, nextId);
    Budget budget;
    budget.suspendIdAllocation();
    for (uint id : storedIds) {
        AccountEnvelope* e = budget.createEnvelope();
        QCOMPARE(e->id(), kNoId);
        e->setId(id);
    }
    budget.normaliseAfterLoad();
    QCOMPARE(budget.createFolder()->id(), ItemId(nextId));
    QCOMPARE(budget.findItem(kNoId), nullptr);
}

void TestBudget::legacyItemsWithoutIdsDoNotClobberEachOther() {
    Budget budget;
    budget.suspendIdAllocation();
    AccountEnvelope* a = budget.createEnvelope();
    AccountEnvelope* b = budget.createEnvelope();
    a->setId(10);
    b->setId(11);
    QCOMPARE(budget.findItem(10), a);
    QCOMPARE(budget.findItem(11), b);
    QCOMPARE(budget.registry().size(), std::size_t(2));
}

void TestBudget::saveOrder() {
    Budget budget;
    Account* a0 = budget.createAccount();
    Account* a1 = budget.createAccount();
    Account* a2 = budget.createAccount();
    AccountGroup* f0 = budget.createFolder();
    AccountGroup* f1 = budget.createFolder();
    AccountGroup* f2 = budget.createFolder();
    Account* a3 = budget.createAccount();
    budget.showTopLevel(a1);
    budget.showTopLevel(a0);
    budget.showTopLevel(f1);
    budget.showTopLevel(f0);
    a3->setHidden(true);
    a2->setHidden(true);
    f2->setHidden(true);
    AccountEnvelope* e = budget.createEnvelope();
    f0->addChild(e);

    const std::vector<AccountBase*> expected{a1, a0, f1, f0, a2, a3, f2};
    QCOMPARE(budget.topLevelItemsForSave(), expected);
}

void TestBudget::saveOrderKeepsVisibleItemsMissingFromTheOrders() {
    // Items a caller forgot to put in an order must still be written, or they would be lost.
    Budget budget;
    Account* shown = budget.createAccount();
    Account* forgotten = budget.createAccount();
    AccountGroup* folder = budget.createFolder();
    AccountGroup* nested = budget.createFolder();
    folder->addChild(nested);
    budget.showTopLevel(shown);
    const std::vector<AccountBase*> expected{shown, forgotten, folder};
    QCOMPARE(budget.topLevelItemsForSave(), expected);
}

void TestBudget::topLevelOrdersAreSets() {
    Budget budget;
    Account* account = budget.createAccount();
    AccountGroup* folder = budget.createFolder();
    budget.showTopLevel(account);
    budget.showTopLevel(account);
    budget.showTopLevel(folder);
    QCOMPARE(budget.accountOrder().size(), std::size_t(1));
    QCOMPARE(budget.folderOrder().size(), std::size_t(1));
    AccountGroup* hidden = budget.createFolder();
    hidden->setHidden(true);
    budget.showTopLevel(hidden);
    QCOMPARE(budget.folderOrder().size(), std::size_t(1));
    budget.removeFromOrder(account);
    budget.removeFromOrder(folder);
    QVERIFY(budget.accountOrder().empty());
    QVERIFY(budget.folderOrder().empty());
}

// Older transactions no longer move the created date: a stored, derived date would outlive a
// correction of the transaction.
void TestBudget::normaliseKeepsCreatedDates() {
    FixedClock clock(makeDate(2024, 3, 1, 9));
    Budget budget;
    AccountEnvelope* moved = budget.createEnvelope();
    AccountEnvelope* kept = budget.createEnvelope();
    createTransaction(budget, TransactionType::Deposit, 5, kNoId, kNoId, moved->id(), {}, {},
                      makeDate(2024, 2, 20));
    createTransaction(budget, TransactionType::Expense, -5, kNoId, kNoId, moved->id(), {}, {},
                      makeDate(2024, 2, 10, 8));
    createTransaction(budget, TransactionType::Expense, -5, kNoId, kNoId, kept->id(), {}, {},
                      makeDate(2024, 3, 2));
    budget.normaliseAfterLoad();
    QCOMPARE(dateText(moved->createdDate()), QStringLiteral("2024-03-01 09:00:00.000"));
    QCOMPARE(dateText(kept->createdDate()), QStringLiteral("2024-03-01 09:00:00.000"));
}

void TestBudget::sortByTime() {
    Budget budget;
    const int days[] = {5, 1, 3, 2, 4};
    for (int day : days)
        createTransaction(budget, TransactionType::Deposit, day, kNoId, kNoId, kNoId, {}, {},
                          makeDate(2024, 1, day));
    budget.sortTransactionsByTime();
    QString order;
    for (const auto& t : budget.transactions())
        order += QString::number(t->amount);
    QCOMPARE(order, QStringLiteral("12345"));
    for (std::size_t i = 1; i < budget.transactions().size(); ++i)
        QVERIFY(!compareByTime(*budget.transactions()[i], *budget.transactions()[i - 1]));
}

// Recording, editing and importing keep the list in time order, equal times in the order
// they came, and the undo step reports what kind of change each was.
void TestBudget::ledgerKeepsTimeOrder() {
    Budget budget;
    Account* checking = budget.createAccount();
    UndoHistory history(budget);
    const auto record = [&](const char* payee, int day, int hour) {
        history.begin();
        budget.recordTransaction(makeTransaction(TransactionType::Deposit, 100, kNoId,
                                                 checking->id(), kNoId, payee, "",
                                                 makeDate(2026, 3, day, hour)));
        return history.end("Deposit");
    };
    const auto payees = [&] {
        QStringList out;
        for (const Transaction* t : budget.transactions())
            out << t->payee;
        return out.join(' ');
    };
    QVERIFY(record("c", 5, 12).transactionList);
    record("a", 1, 12);
    record("d", 5, 12); // the same moment: after the one recorded first
    record("b", 3, 8);
    QCOMPARE(payees(), QStringLiteral("a b c d"));
    QCOMPARE(checking->getBalance(), 400);

    // An import is appended, then the whole list sorted; equal days keep the batch's order.
    std::vector<Transaction> batch;
    for (const char* payee : {"y", "x", "z"})
        batch.push_back(makeTransaction(TransactionType::Deposit, 10, kNoId, checking->id(), kNoId,
                                        payee, "", makeDate(2026, 3, *payee == 'z' ? 2 : 5, 12)));
    budget.recordTransactions(std::move(batch));
    QCOMPARE(payees(), QStringLiteral("a z b c d y x"));
    QCOMPARE(checking->getBalance(), 430);

    // An edit that keeps the day changes the transaction where it is; a new day moves it.
    const Transaction* b = budget.transactions()[2];
    Transaction changed = *b;
    changed.amount = 150;
    history.begin();
    QVERIFY(budget.editTransaction(b, changed));
    ChangeReport report = history.end("Edit");
    QVERIFY(!report.transactionList);
    QCOMPARE(report.editedTransactions, std::vector<const Transaction*>{b});
    QVERIFY(report.accounts);
    QCOMPARE(checking->getBalance(), 480);
    changed.transactionTime = makeDate(2026, 3, 31, 9);
    history.begin();
    budget.editTransaction(b, changed);
    report = history.end("Edit");
    QVERIFY(report.transactionList);
    QCOMPARE(payees(), QStringLiteral("a z c d y x b"));

    // A rename is an item change and nothing else; no change gives an empty report.
    history.begin();
    checking->setName("Checking");
    report = history.end("Rename");
    QVERIFY(report.items && report.accounts && !report.transactionList);
    history.begin();
    QVERIFY(!history.end("Nothing"));
}

void TestBudget::discardedItemLeavesNoTrace() {
    Budget budget;
    AccountGroup* folder = budget.createFolder();
    budget.showTopLevel(folder);
    UndoHistory history(budget);
    history.begin();
    AccountEnvelope* made = budget.createEnvelope();
    folder->addChild(made);
    const ItemId id = made->id();
    budget.discardNewItem(made);
    QVERIFY(!history.end("Nothing kept"));
    QVERIFY(folder->children().empty());
    QCOMPARE(budget.findItem(id), nullptr);
    QCOMPARE(budget.createEnvelope()->id(), id); // handed out again
}

QTEST_GUILESS_MAIN(TestBudget)
#include "test_budget.moc"
