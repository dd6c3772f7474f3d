// Undo and redo: every kind of change a command makes comes back exactly, alone and in
// long chains, and the history stays sound at its limits.

#include "budgetdump.h"
#include "model/budget.h"
#include "model/clock.h"
#include "model/undo.h"
#include "testdates.h"

#include <QTest>
#include <functional>

namespace {

struct Fixture {
    Budget budget;
    Account* checking = nullptr;
    Account* visa = nullptr;
    AccountGroup* bills = nullptr;
    AccountGroup* fun = nullptr;
    AccountEnvelope* rent = nullptr;
    AccountEnvelope* food = nullptr;
    AccountEnvelope* trips = nullptr;

    Fixture() {
        checking = budget.createAccount();
        checking->setName("Checking");
        checking->setStoredBalance(500000);
        budget.showTopLevel(checking);
        visa = budget.createAccount();
        visa->setName("Visa");
        visa->setCCAccount(true);
        visa->setStoredBalance(-3000);
        budget.showTopLevel(visa);
        bills = budget.createFolder();
        bills->setName("Bills");
        budget.showTopLevel(bills);
        fun = budget.createFolder();
        fun->setName("Fun");
        budget.showTopLevel(fun);
        rent = envelope(bills, "Rent", -100000, 100000);
        food = envelope(bills, "Food", -20000, 15000);
        trips = envelope(fun, "Trips", -5000, 7000);
        ensureCardChargesEnvelope(budget, visa);
        budget.findItem(kChargesEnvelopeId)->setStoredBalance(3000);
        budget.rules().addMappingRule("SHOP*", food->id(), false, "Shop");
        for (int day = 1; day <= 6; ++day)
            spend(checking, food, -1000 * day, makeDate(2026, 2, day, 9));
        spend(visa, food, -3000, makeDate(2026, 2, 7, 9));
    }
    AccountEnvelope* envelope(AccountGroup* in, const QString& name, Amount budgeted,
                              Amount balance) {
        AccountEnvelope* e = budget.createEnvelope();
        e->setName(name);
        e->setBudgeted(budgeted);
        e->setStoredBalance(balance);
        in->addChild(e);
        return e;
    }
    const Transaction* spend(Account* from, AccountEnvelope* in, Amount amount,
                             const DateTime& when) {
        return budget.recordTransaction(makeTransaction(
            TransactionType::Expense, amount, from->id(), kNoId, in->id(), "Payee", "", when));
    }
    const Transaction* at(std::size_t i) { return budget.transactions()[i]; }
};

using Change = std::function<void(Fixture&)>;

struct NamedChange {
    const char* name;
    Change change;
};

// What the program's commands do to the budget, one kind of change each.
const std::vector<NamedChange>& changes() {
    static const std::vector<NamedChange> list = {
        {"expense today",
         [](Fixture& f) { f.spend(f.checking, f.rent, -4200, makeDate(2026, 3, 1, 10)); }},
        {"card charge dated last month",
         [](Fixture& f) { f.spend(f.visa, f.trips, -2500, makeDate(2026, 2, 3, 12)); }},
        {"card payment",
         [](Fixture& f) {
             f.budget.recordTransaction(
                 makeTransaction(TransactionType::CCPayment, -3000, f.checking->id(), f.visa->id(),
                                 kChargesEnvelopeId, "Visa", "", makeDate(2026, 3, 1)));
         }},
        {"edit amount and day",
         [](Fixture& f) {
             const Transaction* t = f.at(4);
             Transaction changed = *t;
             changed.amount = -77;
             changed.payee = "Changed";
             changed.category = f.trips->id();
             changed.transactionTime = makeDate(2026, 1, 15, 9);
             f.budget.editTransaction(t, changed);
         }},
        {"delete card charge", [](Fixture& f) { f.budget.removeTransaction(f.at(6)); }},
        {"delete several",
         [](Fixture& f) {
             for (std::size_t i : {5u, 2u, 0u})
                 f.budget.removeTransaction(f.at(i));
         }},
        {"fund folder",
         [](Fixture& f) {
             for (AccountBase* child : f.bills->children())
                 child->setStoredBalance(-child->getBudgeted());
         }},
        {"add card account",
         [](Fixture& f) {
             Account* a = f.budget.createAccount();
             a->setName("Amex");
             a->setCCAccount(true);
             f.budget.showTopLevel(a);
         }},
        {"add envelope",
         [](Fixture& f) {
             AccountEnvelope* e = f.budget.createEnvelope();
             e->setName("Gifts");
             f.fun->addChild(e);
         }},
        {"hide folder",
         [](Fixture& f) {
             f.fun->setHidden(true);
             f.budget.removeFromOrder(f.fun);
         }},
        {"move envelope and folders",
         [](Fixture& f) {
             f.bills->removeChild(f.food);
             f.fun->insertChildAfter(f.food, nullptr);
             auto& order = f.budget.folderOrder();
             if (order.size() >= 2)
                 std::swap(order[0], order[1]);
         }},
        {"rules",
         [](Fixture& f) {
             f.budget.rules().removeRulesEqualTo("shop*");
             f.budget.rules().addMappingRule("CAFE*", f.trips->id(), false, "Cafe");
             f.budget.rules().addMappingRule("PAYROLL*", kNoId, false, "Employer", true);
         }},
        {"import older statement",
         [](Fixture& f) {
             std::vector<Transaction> batch;
             for (int day : {4, 1, 2}) {
                 batch.push_back(makeTransaction(TransactionType::Expense, -day, f.checking->id(),
                                                 kNoId, f.food->id(), "Import", "",
                                                 makeDate(2026, 2, day, 8)));
                 batch.back().bankId = QString::number(day);
             }
             f.budget.recordTransactions(std::move(batch));
             f.checking->setLastImport(makeDate(2026, 3, 1));
             f.checking->setStatementColumns("delimiter=comma date=0 amount=2");
             // The same payee turned from an envelope to deposits.
             f.budget.rules().addMappingRule("SHOP*", kNoId, false, "Shop", true);
             f.budget.rules().addMappingRule("IMPORT", f.food->id(), false, "Import");
         }},
        {"restore another budget",
         [](Fixture& f) {
             Fixture other;
             other.checking->setName("Other checking");
             other.checking->setStatementColumns("delimiter=tab date=1 amount=0");
             other.spend(other.checking, other.trips, -9, makeDate(2025, 1, 1));
             other.budget.rules().clear();
             f.budget.replaceWith(other.budget);
         }},
    };
    return list;
}

} // namespace

class TestUndo : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Clock::fix(makeDate(2026, 3, 1, 12)); }
    void cleanupTestCase() { Clock::release(); }

    void eachChangeComesBack_data() {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < changes().size(); ++i)
            QTest::newRow(changes()[i].name) << int(i);
    }
    void eachChangeComesBack() {
        QFETCH(int, index);
        Fixture f;
        UndoHistory history(f.budget);
        const QString before = budgetDump(f.budget);
        history.begin();
        changes()[std::size_t(index)].change(f);
        QVERIFY(history.end("Step"));
        const QString after = budgetDump(f.budget);
        QVERIFY(after != before);
        for (int round = 0; round < 2; ++round) {
            QVERIFY(history.undo());
            QCOMPARE(budgetDump(f.budget), before);
            QVERIFY(history.redo());
            QCOMPARE(budgetDump(f.budget), after);
        }
    }

    // Steps that touch the same transactions and items one after another: a later step's
    // delete of what an earlier one edited, ids handed out again, and so on.
    void chainOfEveryChangeUndoesAndRedoesInOrder() {
        Fixture f;
        UndoHistory history(f.budget);
        QStringList states{budgetDump(f.budget)};
        for (const NamedChange& c : changes()) {
            history.begin();
            c.change(f);
            QVERIFY2(history.end(c.name), c.name);
            states << budgetDump(f.budget);
        }
        for (qsizetype i = states.size() - 1; i > 0; --i) {
            QVERIFY(history.undo());
            QCOMPARE(budgetDump(f.budget), states[i - 1]);
        }
        QVERIFY(!history.canUndo());
        for (qsizetype i = 1; i < states.size(); ++i) {
            QVERIFY(history.redo());
            QCOMPARE(budgetDump(f.budget), states[i]);
        }
    }

    void undoneAdditionGivesItsIdBackAndRemovesIt() {
        Fixture f;
        UndoHistory history(f.budget);
        history.begin();
        Account* added = f.budget.createAccount();
        f.budget.showTopLevel(added);
        const ItemId id = added->id();
        history.end("Add");
        history.undo();
        QVERIFY(!f.budget.findItem(id));
        QCOMPARE(f.budget.accountOrder().size(), std::size_t(2));
        // The next item takes the same id as if the undone one had never been.
        history.begin();
        QCOMPARE(f.budget.createFolder()->id(), id);
        history.end("Add");
        QVERIFY(!history.canRedo());
    }

    void stepsWithoutChangeAreNotKept() {
        Fixture f;
        UndoHistory history(f.budget);
        history.begin();
        f.checking->setName("Checking");   // the same value again
        f.budget.sortTransactionsByTime(); // already in order
        QVERIFY(!history.end("Nothing"));
        QVERIFY(!history.canUndo());
    }

    void nestedStepIsOne() {
        Fixture f;
        UndoHistory history(f.budget);
        const QString before = budgetDump(f.budget);
        history.begin();
        f.checking->setName("A");
        history.begin();
        f.visa->setName("B");
        QVERIFY(!history.end("Inner"));
        QVERIFY(!history.canUndo()); // not while the outer step is open
        QVERIFY(history.end("Outer"));
        QCOMPARE(history.undoName(), QStringLiteral("Outer"));
        history.undo();
        QCOMPARE(budgetDump(f.budget), before);
    }

    void keepsTheLastHundredSteps() {
        Fixture f;
        UndoHistory history(f.budget);
        QStringList states{budgetDump(f.budget)};
        for (int i = 1; i <= 150; ++i) {
            history.begin();
            f.spend(f.checking, f.rent, -i, makeDate(2026, 3, 1, 10, i % 60));
            history.end(QStringLiteral("Expense %1").arg(i));
            states << budgetDump(f.budget);
        }
        QCOMPARE(history.undoCount(), 100);
        QCOMPARE(history.undoName(), QStringLiteral("Expense 150"));
        int undone = 0;
        while (history.undo())
            ++undone;
        QCOMPARE(undone, 100);
        QCOMPARE(budgetDump(f.budget), states[50]);
    }

    void newStepDropsTheRedoSteps() {
        Fixture f;
        UndoHistory history(f.budget);
        history.begin();
        f.spend(f.checking, f.rent, -1, makeDate(2026, 3, 1, 10));
        history.end("First");
        history.undo();
        QCOMPARE(history.redoName(), QStringLiteral("First"));
        history.begin();
        f.checking->setName("Renamed");
        history.end("Second");
        QVERIFY(!history.canRedo());
        QCOMPARE(history.undoName(), QStringLiteral("Second"));
    }

    // A change to the list outside a step would leave the kept positions pointing at the
    // wrong transactions; the history must rather forget itself than scramble the budget.
    void changeOutsideAStepClearsTheHistory() {
        Fixture f;
        UndoHistory history(f.budget);
        history.begin();
        f.spend(f.checking, f.rent, -1, makeDate(2026, 3, 1, 10));
        history.end("Expense");
        createTransaction(f.budget, TransactionType::Expense, -5, f.checking->id(), kNoId,
                          f.rent->id(), "Outside", "", makeDate(2026, 3, 1, 11));
        QVERIFY(!history.canUndo());
    }
};

QTEST_GUILESS_MAIN(TestUndo)
#include "test_undo.moc"
