#include "model/budget.h"
#include "model/clock.h"
#include "testdates.h"

#include <QTest>

class TestItems : public QObject {
    Q_OBJECT
private slots:
    void envelopeFloorsAtZero();
    void folderHoldsNoMoney();
    void balanceAdjustmentSaturates();
    void folderTotals();
    void insertChildAfter_data();
    void insertChildAfter();
    void removeChild();
    void parentAndContainment();
    void displayName();
    void constructionDefaults();
    void setIdMovesRegistryEntry();
    void chargesEnvelopeCreatedOnce();
    void chargesEnvelopeReusesCapitalisedFolder();
    void chargesEnvelopeRetiredAndRevived();
    void retiringKeepsEnvelopeWhileAnotherCardIsVisible();
};

void TestItems::envelopeFloorsAtZero() {
    Budget budget;
    AccountEnvelope* envelope = budget.createEnvelope();
    envelope->adjustBalance(1000);
    QCOMPARE(envelope->adjustBalance(-2500), 0);
    QCOMPARE(envelope->adjustBalance(500), 500);
    QCOMPARE(envelope->getBalance(), 500);
}

void TestItems::folderHoldsNoMoney() {
    Budget budget;
    AccountGroup* folder = budget.createFolder();
    QCOMPARE(folder->adjustBalance(1234), 0);
    folder->setStoredBalance(99);
    QCOMPARE(folder->getBalance(), 0);
    QCOMPARE(folder->adjustBalance(-5), 0);
}

void TestItems::balanceAdjustmentSaturates() {
    Budget budget;
    Account* account = budget.createAccount();
    account->adjustBalance(kAmountMax);
    QCOMPARE(account->adjustBalance(1), kAmountMax);
    account->setStoredBalance(kAmountMin);
    QCOMPARE(account->adjustBalance(-1), kAmountMin);
}

void TestItems::folderTotals() {
    Budget budget;
    AccountGroup* folder = budget.createFolder();
    QCOMPARE(folder->totalBudgeted(), 0);
    AccountEnvelope* a = budget.createEnvelope();
    AccountEnvelope* b = budget.createEnvelope();
    a->setBudgeted(-5000);
    b->setBudgeted(-2500);
    a->adjustBalance(300);
    b->adjustBalance(700);
    folder->addChild(a);
    folder->addChild(b);
    QCOMPARE(folder->totalBudgeted(), -7500);
    QCOMPARE(folder->totalBalance(), 1000);

    // A nested folder's envelopes count too.
    AccountGroup* inner = budget.createFolder();
    AccountEnvelope* c = budget.createEnvelope();
    c->setBudgeted(-100);
    c->adjustBalance(5);
    inner->addChild(c);
    folder->addChild(inner);
    QCOMPARE(folder->totalBudgeted(), -7600);
    QCOMPARE(folder->totalBalance(), 1005);

    // Sums beyond the Amount range saturate instead of wrapping.
    a->setBudgeted(kAmountMin);
    QCOMPARE(folder->totalBudgeted(), kAmountMin);
}

void TestItems::insertChildAfter_data() {
    QTest::addColumn<int>("after"); // index into the initial children, -1 none, 9 a stranger
    QTest::addColumn<QString>("expected");
    QTest::newRow("none puts it first") << -1 << "XABC";
    QTest::newRow("after the first") << 0 << "AXBC";
    QTest::newRow("after the last") << 2 << "ABCX";
    QTest::newRow("not a child: unchanged") << 9 << "ABC";
}

void TestItems::insertChildAfter() {
    QFETCH(int, after);
    QFETCH(QString, expected);
    Budget budget;
    AccountGroup* folder = budget.createFolder();
    std::vector<AccountEnvelope*> initial;
    for (const char* name : {"A", "B", "C"}) {
        AccountEnvelope* e = budget.createEnvelope();
        e->setName(QString::fromLatin1(name));
        folder->addChild(e);
        initial.push_back(e);
    }
    AccountEnvelope* stranger = budget.createEnvelope();
    AccountEnvelope* item = budget.createEnvelope();
    item->setName(QStringLiteral("X"));
    AccountBase* anchor = after < 0 ? nullptr : after == 9 ? stranger : initial[after];
    folder->insertChildAfter(item, anchor);
    QString names;
    for (const AccountBase* child : folder->children())
        names += child->getName();
    QCOMPARE(names, expected);
}

void TestItems::removeChild() {
    Budget budget;
    AccountGroup* folder = budget.createFolder();
    AccountEnvelope* a = budget.createEnvelope();
    AccountEnvelope* b = budget.createEnvelope();
    folder->addChild(a);
    QVERIFY(!folder->removeChild(b));
    QCOMPARE(folder->children().size(), std::size_t(1));
    QVERIFY(folder->removeChild(a));
    QVERIFY(folder->children().empty());
    // Envelopes and accounts have no children at all.
    a->addChild(b);
    QVERIFY(!a->removeChild(b));
}

void TestItems::parentAndContainment() {
    Budget budget;
    AccountGroup* first = budget.createFolder();
    AccountGroup* second = budget.createFolder();
    AccountEnvelope* loose = budget.createEnvelope();
    AccountEnvelope* envelope = budget.createEnvelope();
    AccountGroup* inner = budget.createFolder();
    AccountEnvelope* deep = budget.createEnvelope();
    second->addChild(envelope);
    second->addChild(inner);
    inner->addChild(deep);

    QCOMPARE(loose->getParent(), nullptr);
    QCOMPARE(envelope->getParent(), second);
    QCOMPARE(deep->getParent(), inner);
    QVERIFY(second->containsId(deep->id()));
    QVERIFY(!first->containsId(deep->id()));
    QVERIFY(!envelope->containsId(envelope->id()));

    std::set<ItemId> ids;
    second->collectIds(ids);
    QCOMPARE(ids, (std::set<ItemId>{second->id(), envelope->id(), inner->id(), deep->id()}));
    ids.clear();
    loose->collectIds(ids);
    QCOMPARE(ids, std::set<ItemId>{loose->id()});
}

void TestItems::displayName() {
    Budget budget;
    Account* account = budget.createAccount();
    account->setName(QStringLiteral("Visa"));
    QCOMPARE(account->displayName(), QString::fromUcs4(U"\U0001F3E6 Visa"));
    account->setCCAccount(true);
    QCOMPARE(account->displayName(), QString::fromUcs4(U"\U0001F4B3 Visa"));
}

void TestItems::constructionDefaults() {
    FixedClock clock(makeDate(2024, 5, 6, 7, 8, 9));
    Budget budget;
    Account* account = budget.createAccount();
    AccountEnvelope* envelope = budget.createEnvelope();
    QCOMPARE(account->id(), ItemId(0));
    QCOMPARE(envelope->id(), ItemId(1));
    QVERIFY(account->contributesToBudget());
    QCOMPARE(dateText(account->lastImport()), QStringLiteral("2024-05-06 07:08:09.000"));
    QCOMPARE(dateText(envelope->createdDate()), QStringLiteral("2024-05-06 07:08:09.000"));
    QVERIFY(envelope->isExpense());
    QVERIFY(!envelope->virtualAccount());
    QCOMPARE(envelope->defaultPayFromAccount(), kNoId);
    QCOMPARE(envelope->defaultPayToAccount(), kNoId);
}

void TestItems::setIdMovesRegistryEntry() {
    Budget budget;
    AccountEnvelope* envelope = budget.createEnvelope();
    envelope->setId(500);
    QCOMPARE(budget.findItem(0), nullptr);
    QCOMPARE(budget.findItem(500), envelope);
    QCOMPARE(budget.findEnvelope(500), envelope);
    QCOMPARE(budget.findAccount(500), nullptr);
}

void TestItems::chargesEnvelopeCreatedOnce() {
    Budget budget;
    Account* first = budget.createAccount();
    first->setCCAccount(true);
    QCOMPARE(ensureCardChargesEnvelope(budget, first), kChargesEnvelopeId);
    Account* second = budget.createAccount();
    second->setCCAccount(true);
    QCOMPARE(ensureCardChargesEnvelope(budget, second), kChargesEnvelopeId);

    int chargeEnvelopes = 0;
    for (AccountBase* item : budget.itemsOfType(ItemType::Envelope))
        chargeEnvelopes += item->id() == kChargesEnvelopeId;
    QCOMPARE(chargeEnvelopes, 1);
    AccountEnvelope* charges = budget.findEnvelope(kChargesEnvelopeId);
    QVERIFY(charges);
    QCOMPARE(charges->getName(), QStringLiteral("Credit card charges"));
    QCOMPARE(charges->defaultPayToAccount(), first->id());
    QVERIFY(charges->virtualAccount());
    QVERIFY(charges->isExpense());
    AccountGroup* folder = charges->getParent();
    QVERIFY(folder);
    QCOMPARE(folder->getName(), QStringLiteral("Credit cards"));
    QVERIFY(folder->isReadOnly());
    QCOMPARE(budget.folderOrder(), std::vector<AccountGroup*>{folder});
    QCOMPARE(folder->children().size(), std::size_t(1));
    QCOMPARE(budget.itemsOfType(ItemType::Folder).size(), std::size_t(1));
}

void TestItems::chargesEnvelopeReusesCapitalisedFolder() {
    Budget budget;
    AccountGroup* older = budget.createFolder();
    older->setName(QStringLiteral("credit Cards"));
    budget.showTopLevel(older);
    AccountGroup* caps = budget.createFolder();
    caps->setName(QStringLiteral("CREDIT CARDS"));
    caps->setHidden(true);
    AccountGroup* other = budget.createFolder();
    other->setName(QStringLiteral("Credit cards 2"));
    Account* card = budget.createAccount();
    card->setCCAccount(true);
    ensureCardChargesEnvelope(budget, card);

    // The last match by id is used; every match becomes read-only; the hidden one reappears.
    QCOMPARE(budget.findEnvelope(kChargesEnvelopeId)->getParent(), caps);
    QVERIFY(older->isReadOnly());
    QVERIFY(caps->isReadOnly());
    QVERIFY(!other->isReadOnly());
    QVERIFY(!caps->isHidden());
    QCOMPARE(budget.folderOrder(), (std::vector<AccountGroup*>{older, caps}));
    QCOMPARE(budget.itemsOfType(ItemType::Folder).size(), std::size_t(3));
}

void TestItems::chargesEnvelopeRetiredAndRevived() {
    Budget budget;
    AccountGroup* home = budget.createFolder();
    budget.showTopLevel(home);
    Account* card = budget.createAccount();
    card->setCCAccount(true);
    ensureCardChargesEnvelope(budget, card);
    AccountEnvelope* charges = budget.findEnvelope(kChargesEnvelopeId);
    AccountGroup* folder = charges->getParent();
    charges->adjustBalance(4200);

    card->setCCAccount(false);
    retireCardChargesEnvelope(budget);
    QCOMPARE(charges->getBalance(), 0);
    QVERIFY(charges->isHidden());
    QVERIFY(folder->isHidden());
    QCOMPARE(budget.folderOrder(), std::vector<AccountGroup*>{home});

    // Turning the card flag back on brings back the same envelope and folder, shown last.
    charges->setName(QStringLiteral("renamed"));
    card->setCCAccount(true);
    QCOMPARE(ensureCardChargesEnvelope(budget, card), kChargesEnvelopeId);
    QCOMPARE(budget.findEnvelope(kChargesEnvelopeId), charges);
    QCOMPARE(charges->getName(), QStringLiteral("Credit card charges"));
    QVERIFY(!charges->isHidden());
    QVERIFY(!folder->isHidden());
    QCOMPARE(budget.folderOrder(), (std::vector<AccountGroup*>{home, folder}));
    QCOMPARE(folder->children().size(), std::size_t(1));
}

void TestItems::retiringKeepsEnvelopeWhileAnotherCardIsVisible() {
    Budget budget;
    Account* a = budget.createAccount();
    Account* b = budget.createAccount();
    a->setCCAccount(true);
    b->setCCAccount(true);
    ensureCardChargesEnvelope(budget, a);
    AccountEnvelope* charges = budget.findEnvelope(kChargesEnvelopeId);
    charges->adjustBalance(100);

    a->setCCAccount(false);
    retireCardChargesEnvelope(budget);
    QVERIFY(!charges->isHidden());
    QCOMPARE(charges->getBalance(), 100);

    // A hidden card does not keep the envelope alive.
    b->setHidden(true);
    retireCardChargesEnvelope(budget);
    QVERIFY(charges->isHidden());
    QCOMPARE(charges->getBalance(), 0);
}

QTEST_GUILESS_MAIN(TestItems)
#include "test_items.moc"
