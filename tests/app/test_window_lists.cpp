// The transaction list (texts, order, shading, filters, row updates) and the account list
// (rows, icon hit test, tooltips, clicks, context menus).

#include "model/undo.h"
#include "test_window_fixture.h"

#include "app/accountlist.h"
#include "app/envelopetree.h"
#include "app/transactionlist.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {
QStringList rowTexts(const TransactionList* list, int row) {
    QStringList texts;
    for (int c = 0; c <= BalanceColumn; ++c) // the cleared columns have tests of their own
        texts << list->model()->index(row, c).data().toString();
    return texts;
}

QStringList payees(const TransactionList* list) {
    QStringList texts;
    for (int r = 0; r < list->model()->rowCount(); ++r)
        texts << list->model()->index(r, PayeeColumn).data().toString();
    return texts;
}

QStringList menuShape(const QMenu* menu) {
    QStringList entries;
    if (menu) {
        for (const QAction* a : menu->actions())
            entries << (a->isSeparator() ? QStringLiteral("|") : a->text());
    }
    return entries;
}

void sendMouseMove(QWidget* viewport, const QPoint& pos) {
    QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
}

QString date(int day) {
    return formatDate(SampleBudget::at(2026, 3, day), DateStyle::ShortDate);
}
} // namespace

class TestWindowLists : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinLocale(); }

    void rowsNewestFirst() {
        WindowFixture f;
        const TransactionList* list = f.window.transactionList();
        QCOMPARE(list->model()->rowCount(), 8);
        // Without an account filter the amounts keep their stored sign and there is no
        // balance.
        const QList<QStringList> expected{
            {date(8), "Checking", "Lost envelope", "--envelope--", "", "$9.99", "", ""},
            {date(7), "Checking", "Landlord", "Rent", "March rent", "$1,200.00", "", ""},
            {date(6), "Checking", "Power Co", "Power", "Refund", "", "$15.00", ""},
            {date(5), "Checking -> Visa", "Checking->Visa", "--CC Payment--", "Card bill", "$20.00",
             "", ""},
            {date(4), "Visa", "Corner Shop", "Groceries", "", "$45.00", "", ""},
            {date(3), "Checking", "Food Mart", "Groceries", "Weekly shop", "$112.50", "", ""},
            {date(2), "Checking -> Savings", "Checking->Savings", "--transfer--", "Monthly saving",
             "", "$500.00", ""},
            {date(1), "Checking", "Employer->Checking", "--deposit--", "Salary", "", "$3,000.00",
             ""},
        };
        for (int r = 0; r < expected.size(); ++r)
            QCOMPARE(rowTexts(list, r), expected[r]);
        QStringList headers;
        for (int c = 0; c < TransactionColumnCount; ++c)
            headers << list->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, QStringList({"Date", "Account", "Payee", "Envelope", "Description",
                                       "Outflow", "Inflow", "Balance", "C", "Cleared balance"}));
        QVERIFY(list->isColumnHidden(BalanceColumn));
    }

    void payeeForms_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("fromExists");
        QTest::addColumn<QString>("payee");
        QTest::addColumn<QString>("text");
        QTest::newRow("expense: payee") << 0 << true << "Shop"
                                        << "Shop";
        QTest::newRow("deposit with payer") << 1 << false << "Employer"
                                            << "Employer->Savings";
        QTest::newRow("transfer") << 2 << true << "ignored"
                                  << "Checking->Savings";
        QTest::newRow("missing from account, no payee") << 2 << false << ""
                                                        << "Savings";
    }
    void payeeForms() {
        QFETCH(int, type);
        QFETCH(bool, fromExists);
        QFETCH(QString, payee);
        QFETCH(QString, text);
        SampleBudget s;
        Transaction t;
        t.type = TransactionType(type);
        t.accountFrom = fromExists ? s.checking->id() : 4242;
        t.accountTo = s.savings->id();
        t.payee = payee;
        QCOMPARE(transactionCellText(s.budget, t, PayeeColumn), text);
    }

    void shading() {
        WindowFixture f;
        const QAbstractItemModel* model = f.window.transactionList()->model();
        const QColor base = f.window.transactionList()->palette().color(QPalette::Base);
        QVERIFY(!model->index(0, 0).data(Qt::BackgroundRole).isValid());
        QCOMPARE(model->index(1, 3).data(Qt::BackgroundRole).value<QColor>(),
                 TransactionTableModel::shadedColour(base));
        QVERIFY(!model->index(2, 0).data(Qt::BackgroundRole).isValid());
        QCOMPARE(TransactionTableModel::shadedColour(QColor(255, 255, 255)), QColor(230, 230, 230));
        // Each byte wraps on its own.
        QCOMPARE(TransactionTableModel::shadedColour(QColor(10, 30, 255)), QColor(241, 5, 230));
    }

    void filters_data() {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("envelope"); // tree item selected with the envelope filter
        QTest::addColumn<QString>("account");  // account row selected with the account filter
        QTest::addColumn<QStringList>("payees");
        const QString none;
        QTest::newRow("no filter")
            << none << none << none
            << QStringList{"Lost envelope", "Landlord",  "Power Co",          "Checking->Visa",
                           "Corner Shop",   "Food Mart", "Checking->Savings", "Employer->Checking"};
        QTest::newRow("envelope name")
            << "gro" << none << none << QStringList{"Corner Shop", "Food Mart"};
        QTest::newRow("amount text") << "12.5" << none << none << QStringList{"Food Mart"};
        QTest::newRow("currency sign: every amount")
            << "$" << none << none
            << QStringList{"Lost envelope", "Landlord",  "Power Co",          "Checking->Visa",
                           "Corner Shop",   "Food Mart", "Checking->Savings", "Employer->Checking"};
        QTest::newRow("description, any case")
            << "SALARY" << none << none << QStringList{"Employer->Checking"};
        QTest::newRow("date text") << date(6) << none << none << QStringList{"Power Co"};
        QTest::newRow("envelope") << none << "Groceries" << none
                                  << QStringList{"Corner Shop", "Food Mart"};
        QTest::newRow("folder") << none << "Bills" << none
                                << QStringList{"Landlord", "Power Co", "Corner Shop", "Food Mart"};
        QTest::newRow("add folder row") << none << "Add folder" << none << QStringList{};
        QTest::newRow("card account")
            << none << none << "Visa" << QStringList{"Checking->Visa", "Corner Shop"};
        QTest::newRow("no account selected") << none << none << "-" << QStringList{};
        QTest::newRow("account and search")
            << "rent" << none << "Checking" << QStringList{"Landlord"};
        QTest::newRow("envelope and account") << none << "Groceries"
                                              << "Visa" << QStringList{"Corner Shop"};
    }
    void filters() {
        QFETCH(QString, search);
        QFETCH(QString, envelope);
        QFETCH(QString, account);
        QFETCH(QStringList, payees);
        WindowFixture f;
        MainWindow& w = f.window;
        EnvelopeTree* tree = w.envelopeTree();
        if (!envelope.isEmpty()) {
            QTreeWidgetItem* row = tree->addFolderRow();
            for (const auto& [id, item] : f.sample.budget.registry()) {
                if (item->getName() == envelope)
                    row = tree->findRow(item);
            }
            tree->setCurrentItem(row);
            w.filterBar()->byEnvelope()->click();
        }
        if (!account.isEmpty()) {
            AccountList* accounts = w.accountList();
            accounts->clearSelection();
            for (int r = 0; r < accounts->rowCount(); ++r) {
                if (accounts->accountAt(r)->getName() == account)
                    accounts->selectRow(r);
            }
            w.filterBar()->byAccount()->click();
        }
        w.filterBar()->searchField()->setText(search);
        w.filterBar()->searchButton()->click();
        QCOMPARE(::payees(w.transactionList()), payees);
    }

    void selectionChangesRebuildWhileFiltering() {
        WindowFixture f;
        MainWindow& w = f.window;
        w.filterBar()->byAccount()->click();
        w.accountList()->selectRow(w.accountList()->rowOf(f.sample.visa));
        QCOMPARE(w.transactionList()->model()->rowCount(), 2);
        w.filterBar()->byEnvelope()->click();
        w.envelopeTree()->setCurrentItem(w.envelopeTree()->findRow(f.sample.rent));
        QCOMPARE(w.transactionList()->model()->rowCount(), 0);
        w.accountList()->selectRow(w.accountList()->rowOf(f.sample.checking));
        QCOMPARE(payees(w.transactionList()), QStringList{"Landlord"});
    }

    void editedRowIsRewritten() {
        WindowFixture f;
        TransactionList* list = f.window.transactionList();
        const Transaction* deposit = list->transactionAt(7);
        QCOMPARE(deposit->type, TransactionType::Deposit);
        QSignalSpy changed(list->model(), &QAbstractItemModel::dataChanged);
        QSignalSpy reset(list->model(), &QAbstractItemModel::modelReset);
        Transaction edited = *deposit;
        edited.amount = 310000;
        edited.description = QStringLiteral("Salary and bonus");
        f.window.history().begin();
        f.sample.budget.editTransaction(deposit, edited);
        f.window.showChanges(f.window.history().end(QStringLiteral("Edit Transaction")));
        // Only the row is rewritten: the list keeps its place and selection.
        QCOMPARE(changed.size(), 1);
        QCOMPARE(reset.size(), 0);
        QCOMPARE(f.saves, 1);
        QCOMPARE(rowTexts(list, 7),
                 QStringList({date(1), "Checking", "Employer->Checking", "--deposit--",
                              "Salary and bonus", "", "$3,100.00", ""}));
    }

    void rowActivation() {
        WindowFixture f;
        TransactionList* list = f.window.transactionList();
        const QRect cell = list->visualRect(list->model()->index(2, 1));
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(f.dispatched.size(), 1);
        QCOMPARE(f.dispatched[0].command, Command::EditTransaction);
        QCOMPARE(f.dispatched[0].transaction, list->transactionAt(2));
        // The window saves what the command changed, once.
        QCOMPARE(f.saves, 1);

        const std::unique_ptr<QMenu> menu = f.window.transactionContextMenu(list->transactionAt(0));
        // The newest row is an expense, which can be split.
        QCOMPARE(menuShape(menu.get()), (QStringList{"Edit Transaction...", "Split transaction...",
                                                     "Delete transaction"}));
        f.window.runMenuChoice(menu->actions().at(0), nullptr, list->transactionAt(0));
        QCOMPARE(f.dispatched.size(), 2);
        QCOMPARE(f.dispatched[1].transaction, list->transactionAt(0));
    }

    // ----- account list ---------------------------------------------------------------

    void accountRows() {
        WindowFixture f;
        AccountList* list = f.window.accountList();
        QCOMPARE(list->rowCount(), 3);
        QCOMPARE(list->item(0, 0)->text(), QString::fromUcs4(U"\U0001F3E6 Checking"));
        QCOMPARE(list->item(2, 0)->text(), QString::fromUcs4(U"\U0001F4B3 Visa"));
        QCOMPARE(list->item(0, 1)->text(), QStringLiteral("$2,500.00"));
        QCOMPARE(list->item(2, 1)->text(), QStringLiteral("-$45.00"));
        QCOMPARE(list->item(0, 2)->text(), QStringLiteral("--------"));
        // A new account is the last row; hidden ones are not listed; refresh updates texts.
        Account* cash = f.sample.account(QStringLiteral("Cash"), 1234);
        f.window.showItem(cash);
        Account* old = f.sample.account(QStringLiteral("Old"), 0);
        old->setHidden(true);
        f.window.showItem(old);
        QCOMPARE(list->rowCount(), 4);
        QCOMPARE(list->accountAt(3), cash);
        cash->setStoredBalance(99);
        f.window.refreshTexts();
        QCOMPARE(list->item(3, 1)->text(), QStringLiteral("$0.99"));
        f.window.removeItem(f.sample.savings);
        QCOMPARE(list->rowCount(), 3);
        QCOMPARE(list->accountAt(1), f.sample.visa);
    }

    void refreshedTextsFit_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("balance");
        QTest::newRow("longer balance") << "Checking" << 1234567890;
        QTest::newRow("longer name") << "Checking account for the household" << 250000;
    }
    void refreshedTextsFit() {
        // A refresh after a deposit or a rename shows the new texts whole.
        QFETCH(QString, name);
        QFETCH(int, balance);
        WindowFixture f;
        AccountList* list = f.window.accountList();
        f.sample.checking->setName(name);
        f.sample.checking->setStoredBalance(balance);
        f.window.refreshTexts();
        const QFontMetrics fm(list->font());
        for (int column : {int(AccountList::NameColumn), int(AccountList::BalanceColumn)}) {
            const QString text = list->item(0, column)->text();
            QVERIFY2(list->columnWidth(column) > fm.horizontalAdvance(text), qPrintable(text));
        }
    }

    void iconHitTest_data() {
        QTest::addColumn<QString>("account");
        QTest::addColumn<int>("extentOf"); // whose icon extent the point is taken from
        QTest::addColumn<int>("action");
        QTest::newRow("edit") << "Checking" << int(ActionEdit) << int(ActionEdit);
        QTest::newRow("deposit") << "Checking" << int(ActionDeposit) << int(ActionDeposit);
        QTest::newRow("transfer") << "Savings" << int(ActionTransfer) << int(ActionTransfer);
        QTest::newRow("card edit") << "Visa" << int(ActionEdit) << int(ActionEdit);
        QTest::newRow("card pay") << "Visa" << int(ActionPayCard) << int(ActionPayCard);
        // The card's pay icon shares the deposit icon's place.
        QTest::newRow("card at deposit place")
            << "Visa" << int(ActionDeposit) << int(ActionPayCard);
        QTest::newRow("card at transfer place") << "Visa" << int(ActionTransfer) << int(ActionNone);
    }
    void iconHitTest() {
        QFETCH(QString, account);
        QFETCH(int, extentOf);
        QFETCH(int, action);
        WindowFixture f;
        AccountList* list = f.window.accountList();
        int row = 0;
        while (list->accountAt(row)->getName() != account)
            ++row;
        const auto [left, right] = list->actionExtent(extentOf);
        const int middle = (left + right) / 2;
        const QRect cell = list->visualRect(list->model()->index(row, AccountList::ActionsColumn));
        if (extentOf == ActionTransfer && account == QLatin1String("Visa")) {
            // Past the pay icon: nothing, wherever the (shorter) pay icon ends.
            const auto [payLeft, payRight] = list->actionExtent(ActionPayCard);
            if (right <= payRight)
                QSKIP("the transfer icon lies within the pay icon in this font");
            const AccountHit hit = list->hitTest(QPoint(right - 1, cell.center().y()));
            QCOMPARE(hit.action, action);
            return;
        }
        const AccountHit hit = list->hitTest(QPoint(middle, cell.center().y()));
        QCOMPARE(hit.action, action);
        QCOMPARE(hit.account->getName(), account);
    }

    void otherCellsNeverAct() {
        WindowFixture f;
        AccountList* list = f.window.accountList();
        for (int column : {AccountList::NameColumn, AccountList::BalanceColumn}) {
            const QRect cell = list->visualRect(list->model()->index(0, column));
            for (int x = cell.left(); x <= cell.right(); x += 2) {
                const QPoint pos(x, cell.center().y());
                QCOMPARE(list->hitTest(pos).action, int(ActionNone));
                sendMouseMove(list->viewport(), pos);
                QCOMPARE(list->viewport()->cursor().shape(), Qt::ArrowCursor);
            }
        }
        // Right of the icons, in the actions cell, there is nothing either.
        const QRect cell = list->visualRect(list->model()->index(0, AccountList::ActionsColumn));
        QCOMPARE(
            list->hitTest(QPoint(list->actionExtent(ActionTransfer).second + 1, cell.center().y()))
                .action,
            int(ActionNone));
    }

    void tooltips_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("extentOf");
        QTest::addColumn<QString>("text");
        QTest::newRow("edit") << 0 << int(ActionEdit) << "Edit account Checking";
        QTest::newRow("deposit") << 1 << int(ActionDeposit) << "Deposit money into Savings";
        QTest::newRow("transfer") << 0 << int(ActionTransfer)
                                  << "Transfer money from Checking to another account";
        QTest::newRow("pay") << 2 << int(ActionPayCard) << "Pay credit card account Visa";
    }
    void tooltips() {
        QFETCH(int, row);
        QFETCH(int, extentOf);
        QFETCH(QString, text);
        WindowFixture f;
        AccountList* list = f.window.accountList();
        const auto [left, right] = list->actionExtent(extentOf);
        const QRect cell = list->visualRect(list->model()->index(row, AccountList::ActionsColumn));
        const QPoint pos((left + right) / 2, cell.center().y());
        sendMouseMove(list->viewport(), pos);
        QCOMPARE(list->viewport()->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(list->tip()->isVisible());
        QCOMPARE(list->tip()->text(), text);
        QCOMPARE(list->tip()->pos(), list->viewport()->mapToGlobal(pos) + QPoint(10, -20));
        // Leaving the icons hides it.
        sendMouseMove(list->viewport(), list->visualRect(list->model()->index(row, 0)).center());
        QVERIFY(!list->tip()->isVisible());
    }

    void iconClicks_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("extentOf");
        QTest::addColumn<int>("command");
        QTest::newRow("deposit") << 0 << int(ActionDeposit) << int(Command::Deposit);
        QTest::newRow("transfer") << 1 << int(ActionTransfer) << int(Command::Transfer);
        QTest::newRow("pay") << 2 << int(ActionPayCard) << int(Command::PayCreditCard);
        QTest::newRow("edit") << 2 << int(ActionEdit) << int(Command::EditAccount);
    }
    void iconClicks() {
        QFETCH(int, row);
        QFETCH(int, extentOf);
        QFETCH(int, command);
        WindowFixture f;
        AccountList* list = f.window.accountList();
        const auto [left, right] = list->actionExtent(extentOf);
        const QRect cell = list->visualRect(list->model()->index(row, AccountList::ActionsColumn));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint((left + right) / 2, cell.center().y()));
        QCOMPARE(f.dispatched.size(), 1);
        QCOMPARE(int(f.dispatched[0].command), command);
        QCOMPARE(f.dispatched[0].item, list->accountAt(row));
        QCOMPARE(f.saves, 1); // the window saves what the command changed
    }

    void accountMenus() {
        WindowFixture f;
        QCOMPARE(menuShape(f.window.accountContextMenu(f.sample.checking).get()),
                 QStringList({"Transfer...", "Deposit...", "|", "Import transactions...",
                              "Reconcile...", "|", "Edit account...", "|", "Hide account..."}));
        QCOMPARE(menuShape(f.window.accountContextMenu(f.sample.visa).get()),
                 QStringList({"Pay credit card...", "|", "Import transactions...", "Reconcile...",
                              "|", "Edit account...", "|", "Hide account"}));
        const std::unique_ptr<QMenu> menu = f.window.accountContextMenu(f.sample.visa);
        f.window.runMenuChoice(menu->actions().last(), f.sample.visa);
        QCOMPARE(f.dispatched.size(), 1);
        QCOMPARE(f.dispatched[0].command, Command::HideAccount);
        QCOMPARE(f.dispatched[0].item, f.sample.visa);
    }

    void accountDoubleClick() {
        WindowFixture f;
        AccountList* list = f.window.accountList();
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                           list->visualRect(list->model()->index(1, 0)).center());
        QCOMPARE(f.dispatched.size(), 1);
        QCOMPARE(f.dispatched[0].command, Command::EditAccount);
        QCOMPARE(f.dispatched[0].item, f.sample.savings);
    }
};

QTEST_MAIN(TestWindowLists)
#include "test_window_lists.moc"
