// Reconciling Checking with its bank: a month entered by hand, an imported statement that
// gives its closing balance, a reconcile that closes at zero, one that needs an adjustment
// (undone whole), an edit of a reconciled transaction, and the register's cleared column.

#include "app/accountlist.h"
#include "app/reconciledialog.h"
#include "app/transactiondialog.h"
#include "app/transactionlist.h"
#include "gui/importreview.h"
#include "model/split.h"
#include "model/undo.h"
#include "platform/dialogdriver.h"
#include "test_window_fixture.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {
const Transaction* byPayee(const Budget& b, const QString& payee) {
    for (const Transaction* t : b.transactions())
        if (t->payee == payee)
            return t;
    return nullptr;
}

// Space on a row of the dialog's list, as the user ticks it.
void pressSpaceOn(ReconcileDialog* d, int row) {
    d->table()->setCurrentIndex(d->table()->model()->index(row, ReconcileModel::TickColumn));
    QTest::keyClick(d->table(), Qt::Key_Space);
}

ImportRecord statementRow(const QString& payee, Amount amount, int day, ItemId envelope) {
    ImportRecord r;
    r.incomingPayee = payee;
    r.amount = amount;
    r.date = makeDate(2026, 3, day);
    r.envelopeId = envelope;
    return r;
}
} // namespace

class TestWindowReconcile : public QObject {
    Q_OBJECT
private slots:
    void init() { pinLocale(); }
    void cleanup() { DialogDriver::beforeExec = nullptr; }

    void reconcileWithTheBank() {
        WindowFixture f;
        f.window.setOperationHandler(nullptr);
        Budget& b = f.sample.budget;
        Account* checking = f.sample.checking;
        // Checking's seven hand-entered rows of March add 1,172.51 to an opening 1,327.49.
        QCOMPARE(checking->getBalance(), Amount(250000));

        // The statement of 12 March books two more rows and closes at 2,434.99: everything
        // but the 9.99 to a lost envelope.
        ImportBatch batch;
        batch.account = checking;
        batch.chosen = {statementRow("GAS", -4500, 10, f.sample.groceries->id()),
                        statementRow("PHARMACY", -3000, 11, f.sample.groceries->id())};
        batch.latest = makeDate(2026, 3, 11);
        batch.closing = StatementBalance{243499, QDate(2026, 3, 12)};
        f.window.history().begin();
        recordImport(b, batch);
        f.window.showChanges(f.window.history().end("Import"));
        QCOMPARE(byPayee(b, "GAS")->clearedFrom, ClearedState::Cleared);

        DialogDriver::beforeExec = [&](QDialog* dialog) {
            auto* d = qobject_cast<ReconcileDialog*>(dialog);
            QVERIFY(d);
            QCOMPARE(d->dateField()->date(), QDate(2026, 3, 12));
            QCOMPARE(d->balanceField()->text(), QString("$2,434.99"));
            QCOMPARE(d->table()->model()->rowCount(), 9); // seven by hand, two imported
            QCOMPARE(d->clearedLabel()->text(), QString("Cleared balance: $1,252.49"));
            QCOMPARE(d->differenceLabel()->text(), QString("Difference: $1,182.50"));
            QVERIFY(!d->finishButton()->isEnabled());
            pressSpaceOn(d, 6); // the 9.99: the bank never saw it
            QCOMPARE(d->differenceLabel()->text(), QString("Difference: $1,192.49"));
            QVERIFY(d->matchButton()->isHidden()); // no set of the others closes that
            pressSpaceOn(d, 6);
            QCOMPARE(d->matchButton()->text(),
                     QString("Tick the 6 transactions that close the difference"));
            d->matchButton()->click();
            QCOMPARE(d->differenceLabel()->text(), QString("Difference: $0.00"));
            QVERIFY(d->finishButton()->isEnabled());
            d->finishButton()->click();
        };
        f.window.runCommand(CommandRequest{Command::Reconcile, checking});
        for (const Transaction* t : b.transactions())
            if (t->accountFrom == checking->id() || t->accountTo == checking->id())
                QCOMPARE(clearedStateOn(*t, checking->id()), t->payee == "Lost envelope"
                                                                 ? ClearedState::Uncleared
                                                                 : ClearedState::Reconciled);
        QCOMPARE(b.transactions()[1]->clearedTo, ClearedState::Uncleared); // Savings' side
        QCOMPARE(checking->reconciledBalance(), Amount(243499));
        QCOMPARE(clearedBalance(b, *checking), std::int64_t(243499));
        AccountList* accounts = f.window.accountList();
        QCOMPARE(accounts->item(accounts->rowOf(checking), 0)->toolTip(),
                 QString("Last reconciled with the statement of 3/12/26 at $2,434.99"));

        // Two days later the bank has the 9.99 and a fee of 5.01 nobody entered.
        const Amount available = b.availableForBudgeting();
        DialogDriver::beforeExec = [&](QDialog* dialog) {
            auto* d = qobject_cast<ReconcileDialog*>(dialog);
            QCOMPARE(d->dateField()->date(), QDate(2026, 3, 15)); // nothing newer imported
            d->dateField()->setDate(QDate(2026, 3, 14));
            QTest::keyClicks(d->balanceField(), "2,419.99");
            QCOMPARE(d->table()->model()->rowCount(), 1);
            QCOMPARE(d->differenceLabel()->text(), QString("Difference: -$15.00"));
            pressSpaceOn(d, 0);
            QCOMPARE(d->differenceLabel()->text(), QString("Difference: -$5.01"));
            QVERIFY(!d->finishButton()->isEnabled());
            d->adjustButton()->click();
        };
        f.prompter.answers = {true};
        f.window.runCommand(CommandRequest{Command::Reconcile, checking});
        QVERIFY(f.prompter.texts().last().startsWith(
            "The cleared balance differs from the statement by -$5.01."));
        const Transaction* adjustment = byPayee(b, "Reconciliation adjustment");
        QVERIFY(adjustment);
        QCOMPARE(adjustment->amount, Amount(-501));
        QCOMPARE(adjustment->clearedFrom, ClearedState::Reconciled);
        QCOMPARE(checking->getBalance(), Amount(241999));
        QCOMPARE(b.availableForBudgeting(), Amount(available - 501));
        QCOMPARE(checking->reconciledBalance(), Amount(241999));

        f.window.undoStep(false); // the whole reconcile, adjustment and all
        QVERIFY(!byPayee(b, "Reconciliation adjustment"));
        QCOMPARE(byPayee(b, "Lost envelope")->clearedFrom, ClearedState::Uncleared);
        QCOMPARE(checking->reconciledDate().day, quint16(12));
        QCOMPARE(checking->getBalance(), Amount(242500));
        QCOMPARE(b.availableForBudgeting(), available);

        // Changing a reconciled amount asks; No keeps it, Yes leaves it only cleared.
        const Transaction* food = byPayee(b, "Food Mart");
        DialogDriver::beforeExec = [&](QDialog* dialog) {
            auto* d = qobject_cast<TransactionDialog*>(dialog);
            d->amountField()->selectAll();
            QTest::keyClicks(d->amountField(), "100.00");
            d->okButton()->click();
        };
        const QString question =
            "This transaction was reconciled with the statement of 3/12/26. Change it anyway?";
        for (bool yes : {false, true}) {
            f.prompter.records.clear();
            f.prompter.answers = {yes};
            f.window.runCommand(CommandRequest{Command::EditTransaction, nullptr, food});
            QCOMPARE(f.prompter.texts().value(0), question);
            QCOMPARE(food->amount, Amount(yes ? -10000 : -11250));
            QCOMPARE(food->clearedFrom, yes ? ClearedState::Cleared : ClearedState::Reconciled);
        }
        QCOMPARE(checking->getBalance(), Amount(242500 + 1250));
    }

    void clickingTheClearedColumn() {
        WindowFixture f;
        Budget& b = f.sample.budget;
        Account* checking = f.sample.checking;
        const Transaction* rent = byPayee(b, "Landlord");
        b.setClearedStates({{byPayee(b, "Food Mart"), checking->id(), ClearedState::Reconciled}});
        const std::vector<const Transaction*> market =
            recordSplit(b,
                        makeTransaction(TransactionType::Expense, -3000, checking->id(), kNoId,
                                        kNoId, "Market", {}, DateTime{2026, 11, 0, 1, 9, 0, 0, 0}),
                        {{f.sample.groceries->id(), -2000, {}}, {f.sample.rent->id(), -1000, {}}});
        f.window.accountList()->selectRow(f.window.accountList()->rowOf(checking));
        f.window.filterBar()->byAccount()->click();
        TransactionList* list = f.window.transactionList();
        QVERIFY(!list->isColumnHidden(ClearedBalanceColumn));
        // Shown only now, the balances still get room for their headers.
        for (int column : {int(BalanceColumn), int(ClearedBalanceColumn)})
            QVERIFY(list->columnWidth(column) >= list->horizontalHeader()->sectionSizeHint(column));
        const auto cell = [&](const Transaction* t, int column) {
            return list->model()->index(list->tableModel()->rowOf(t), column);
        };
        const auto click = [&](const Transaction* t) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualRect(cell(t, ClearedColumn)).center());
        };
        // Nothing booked but the opening balance (1,327.49) and the reconciled 112.50.
        QCOMPARE(cell(rent, ClearedBalanceColumn).data().toString(), QString("$1,214.99"));
        click(rent);
        QCOMPARE(rent->clearedFrom, ClearedState::Cleared);
        QCOMPARE(cell(rent, ClearedColumn).data().toString(), QString("\u2713"));
        QCOMPARE(cell(rent, ClearedBalanceColumn).data().toString(), QString("$14.99"));
        list->setCurrentIndex(cell(rent, DateColumn));
        QTest::keyClick(list, Qt::Key_Space); // the keyboard's way
        QCOMPARE(rent->clearedFrom, ClearedState::Uncleared);
        // The bank books a split payment once: a click on its row clears every part.
        const QModelIndex marketRow =
            list->model()
                ->match(list->model()->index(0, PayeeColumn), Qt::DisplayRole, "Market")
                .value(0);
        QVERIFY(marketRow.isValid());
        list->scrollTo(marketRow);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(marketRow.siblingAtColumn(ClearedColumn)).center());
        for (const Transaction* part : market)
            QCOMPARE(part->clearedFrom, ClearedState::Cleared);
        const Transaction* food = byPayee(b, "Food Mart");
        QCOMPARE(cell(food, ClearedColumn).data().toString(), QString("\U0001F512"));
        click(food); // reconciled: locked
        QCOMPARE(food->clearedFrom, ClearedState::Reconciled);
    }
};

QTEST_MAIN(TestWindowReconcile)
#include "test_window_reconcile.moc"
