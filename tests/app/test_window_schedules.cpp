// Scheduled transactions in the window: what is due comes in at start as one step, the
// Upcoming pane enters what waits, "Schedule..." turns a deposit into a schedule, and
// the envelope says what is due.

#include "app/accountlist.h"
#include "app/envelopetree.h"
#include "app/fundingdialogs.h"
#include "app/moneydialogs.h"
#include "app/scheduledialog.h"
#include "app/transactiondialog.h"
#include "app/transactionlist.h"
#include "app/upcomingpane.h"
#include "model/schedule.h"
#include "model/undo.h"
#include "platform/dialogdriver.h"
#include "test_window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {
QString shotsFolder() {
    const QString folder = QCoreApplication::applicationDirPath() + "/../../shots";
    QDir().mkpath(folder);
    return folder;
}

Schedule expense(const SampleBudget& s, AccountEnvelope* envelope, Amount amount,
                 const QString& payee, QDate first, RepeatUnit unit, ScheduleMode mode) {
    Schedule r;
    r.payee = payee;
    r.amount = amount;
    r.category = envelope->id();
    r.accountFrom = s.checking->id();
    r.first = first;
    r.unit = unit;
    r.mode = mode;
    return r;
}
} // namespace

class TestWindowSchedules : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinLocale(); }
    void cleanup() { DialogDriver::beforeExec = nullptr; }
    void dueAtStartAndUpcoming();
    void scheduleButtonMakesASchedule();
    void fundToCoverWhatIsDue();
    void registerShowsWhatIsComing();
};

void TestWindowSchedules::dueAtStartAndUpcoming() {
    WindowFixture f; // 15 March 2026, noon
    f.window.setOperationHandler({});
    SampleBudget& s = f.sample;
    Schedule rent = expense(s, s.rent, -120000, "Landlord", QDate(2026, 1, 7), RepeatUnit::Months,
                            ScheduleMode::Automatic);
    rent.done = 2; // January and February are in
    s.budget.schedules() = {rent,
                            expense(s, s.groceries, -5000, "Food Mart", QDate(2026, 3, 1),
                                    RepeatUnit::Weeks, ScheduleMode::Automatic),
                            expense(s, s.power, -9000, "Power Co", QDate(2026, 3, 10),
                                    RepeatUnit::Months, ScheduleMode::AskMe)};
    const std::size_t before = s.budget.transactions().size();

    QCOMPARE(f.window.startSchedules(), 4);
    QCOMPARE(f.window.statusBar()->currentMessage(),
             QStringLiteral("Entered 4 scheduled transactions"));
    QCOMPARE(f.window.menuAction(Command::Undo)->text(),
             QStringLiteral("&Undo Enter scheduled transactions"));
    QCOMPARE(f.saves, 1);
    QCOMPARE(s.checking->getBalance(), Amount(250000 - 120000 - 3 * 5000));
    QCOMPARE(s.budget.transactions().size(), before + 4);
    // A second start the same day finds nothing more.
    QCOMPARE(f.window.startSchedules(), 0);
    QCOMPARE(s.budget.transactions().size(), before + 4);

    // The power bill waits for a yes, first in the list (bold: it is due).
    UpcomingPane* pane = f.window.upcomingPane();
    QVERIFY(f.window.upcomingDock()->isVisible());
    QCOMPARE(pane->waitingCount(), 1);
    QTreeWidgetItem* first = pane->list()->topLevelItem(0);
    QCOMPARE(first->text(1), QStringLiteral("Power Co"));
    QCOMPARE(first->text(4), QStringLiteral("5 days ago, ask me"));
    QVERIFY(first->font(1).bold());
    // The envelopes say what is due next.
    QTreeWidgetItem* rentRow = f.window.envelopeTree()->findRow(s.rent);
    QCOMPARE(f.window.envelopeTree()->cellText(rentRow, 5), QStringLiteral("$1,200.00 due 4/7/26"));
    f.window.resize(1200, 900);
    QVERIFY(f.window.grab().save(shotsFolder() + "/upcoming.png"));

    pane->list()->setCurrentItem(first);
    QTest::mouseClick(pane->enterButton(), Qt::LeftButton);
    QCOMPARE(s.checking->getBalance(), Amount(250000 - 120000 - 3 * 5000 - 9000));
    QCOMPARE(pane->waitingCount(), 0);
    QStringList powerDays;
    for (const auto& t : s.budget.transactions())
        if (t->payee == u"Power Co" && t->amount == -9000)
            powerDays << toQDate(t->transactionTime).toString(Qt::ISODate);
    QCOMPARE(powerDays, QStringList{QStringLiteral("2026-03-10")}); // on its own day
    QCOMPARE(f.saves, 2);

    // Skip passes the next one by (a later week's groceries are not due yet, so the
    // button is for the schedule's next occurrence only).
    QTreeWidgetItem* groceries = nullptr;
    for (int i = 0; i < pane->list()->topLevelItemCount() && !groceries; ++i)
        if (pane->list()->topLevelItem(i)->text(1) == u"Food Mart")
            groceries = pane->list()->topLevelItem(i);
    QVERIFY(groceries);
    pane->list()->setCurrentItem(groceries);
    QTest::mouseClick(pane->skipButton(), Qt::LeftButton);
    QCOMPARE(s.budget.schedules()[1].done, 4);
    QCOMPARE(s.budget.transactions().size(), before + 5);
    // Only the schedules changed, and that alone is saved and undoable.
    QCOMPARE(f.saves, 3);
    QCOMPARE(f.window.menuAction(Command::Undo)->text(),
             QStringLiteral("&Undo Skip scheduled transaction"));

    // Undone step by step, the schedules count back with the money.
    f.window.undoStep(false);
    f.window.undoStep(false);
    f.window.undoStep(false);
    QCOMPARE(s.checking->getBalance(), Amount(250000));
    QCOMPARE(s.budget.transactions().size(), before);
    QCOMPARE(s.budget.schedules()[0].done, 2);
    QCOMPARE(s.budget.schedules()[1].done, 0);
    QCOMPARE(s.budget.schedules()[2].done, 0);
}

void TestWindowSchedules::scheduleButtonMakesASchedule() {
    WindowFixture f;
    f.window.setOperationHandler({});
    SampleBudget& s = f.sample;
    const std::size_t before = s.budget.transactions().size();
    int dialogs = 0;
    DialogDriver::beforeExec = [&](QDialog* dialog) {
        ++dialogs;
        if (auto* deposit = qobject_cast<DepositDialog*>(dialog)) {
            deposit->amountField()->setText(QStringLiteral("2,100.00"));
            auto* button = deposit->findChild<QPushButton*>(QStringLiteral("scheduleButton"));
            QVERIFY(button && !button->isHidden());
            QTest::mouseClick(button, Qt::LeftButton);
        } else if (auto* editor = qobject_cast<ScheduleDialog*>(dialog)) {
            QCOMPARE(editor->typeField()->currentText(), QStringLiteral("Deposit"));
            QCOMPARE(editor->amountField()->text(), QStringLiteral("$2,100.00"));
            editor->everyField()->setValue(2);
            editor->unitField()->setCurrentIndex(int(RepeatUnit::Weeks));
            editor->endsAfterField()->setChecked(true);
            editor->countField()->setValue(26);
            editor->askField()->setChecked(true);
            QCOMPARE(editor->previewLine()->text(),
                     QStringLiteral("3/15/26, 3/29/26, 4/12/26, 4/26/26"));
            editor->show();
            QVERIFY(editor->grab().save(shotsFolder() + "/schedule-editor.png"));
            QTest::mouseClick(editor->okButton(), Qt::LeftButton);
        }
    };
    f.window.runCommand(CommandRequest{Command::Deposit, s.checking});
    QCOMPARE(dialogs, 2);
    QCOMPARE(s.budget.transactions().size(), before); // a schedule, not a deposit
    QCOMPARE(s.budget.schedules().size(), std::size_t(1));
    const Schedule& made = s.budget.schedules()[0];
    QCOMPARE(made.type, TransactionType::Deposit);
    QCOMPARE(made.amount, Amount(210000));
    QCOMPARE(made.accountTo, s.checking->id());
    QCOMPARE(made.unit, RepeatUnit::Weeks);
    QCOMPARE(made.every, 2);
    QCOMPARE(made.count, 26);
    QCOMPARE(made.mode, ScheduleMode::AskMe);
    QCOMPARE(f.window.upcomingPane()->waitingCount(), 1); // its first date is today
    QCOMPARE(f.window.menuAction(Command::Undo)->text(), QStringLiteral("&Undo Deposit"));
}

// Groceries: three more weeks of 50.00 this month, holding 100.00, go up to 150.00; rent,
// holding 1,200.00 with 1,200.00 due, and power, with nothing scheduled, keep their money.
void TestWindowSchedules::fundToCoverWhatIsDue() {
    WindowFixture f; // 15 March 2026
    f.window.setOperationHandler({});
    SampleBudget& s = f.sample;
    Schedule groceries = expense(s, s.groceries, -5000, "Food Mart", QDate(2026, 3, 1),
                                 RepeatUnit::Weeks, ScheduleMode::AskMe);
    groceries.done = 2; // 1 and 8 March are in; 15, 22 and 29 are to come
    Schedule rent = expense(s, s.rent, -120000, "Landlord", QDate(2026, 3, 31), RepeatUnit::Months,
                            ScheduleMode::Automatic);
    s.budget.schedules() = {groceries, rent};
    DialogDriver::beforeExec = [](QDialog* dialog) {
        auto* funding = qobject_cast<FundEnvelopesDialog*>(dialog);
        QVERIFY(funding);
        funding->coverDueChoice()->setChecked(true);
        QTest::mouseClick(funding->okButton(), Qt::LeftButton);
    };
    f.window.runCommand(CommandRequest{Command::FundFolder, s.bills});
    QCOMPARE(s.groceries->getBalance(), Amount(15000));
    QCOMPARE(s.rent->getBalance(), Amount(120000));
    QCOMPARE(s.power->getBalance(), Amount(4000));
    f.window.undoStep(false);
    QCOMPARE(s.groceries->getBalance(), Amount(10000));
}

namespace {
// "date|payee|outflow|inflow|balance" of the rows, top to bottom, "~" before a greyed one.
QStringList registerRows(const TransactionList* list) {
    QStringList rows;
    const QAbstractItemModel* m = list->model();
    const QColor grey = list->palette().color(QPalette::Disabled, QPalette::Text);
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c : {int(DateColumn), int(PayeeColumn), int(OutflowColumn), int(InflowColumn),
                      int(BalanceColumn)})
            cells << m->index(r, c).data().toString();
        const QVariant fg = m->index(r, PayeeColumn).data(Qt::ForegroundRole);
        rows << (fg.isValid() && fg.value<QBrush>().color() == grey ? "~" : "") + cells.join('|');
    }
    return rows;
}

void doubleClickRow(TransactionList* list, int row) {
    const QRect cell = list->visualRect(list->model()->index(row, PayeeColumn));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
}
} // namespace

// Checking's register, 15 March: what its schedules will do in the next 30 days stands greyed
// above the newest transaction (newest first), the balance going on from today's 2,500.00.
// The rows are no transactions: Delete leaves them, a double-click enters the next occurrence
// after its dialog (and a Cancel there leaves no step to undo), the menu skips.
void TestWindowSchedules::registerShowsWhatIsComing() {
    WindowFixture f; // 15 March 2026, noon
    f.window.setOperationHandler({});
    SampleBudget& s = f.sample;
    Schedule power = expense(s, s.power, -9000, "Power Co", QDate(2026, 3, 10), RepeatUnit::Months,
                             ScheduleMode::AskMe); // waits since the 10th
    Schedule salary = expense(s, s.rent, 210000, "Employer", QDate(2026, 3, 20), RepeatUnit::Weeks,
                              ScheduleMode::AskMe);
    salary.type = TransactionType::Deposit;
    std::swap(salary.accountFrom, salary.accountTo);
    salary.every = 2;
    Schedule saving =
        expense(s, s.rent, 50000, "", QDate(2026, 3, 25), RepeatUnit::Months, ScheduleMode::AskMe);
    saving.type = TransactionType::Transfer;
    saving.accountTo = s.savings->id();
    Schedule rent = expense(s, s.rent, -120000, "Landlord", QDate(2026, 4, 7), RepeatUnit::Months,
                            ScheduleMode::Automatic);
    Schedule card = expense(s, s.groceries, -3000, "Corner Shop", QDate(2026, 3, 20),
                            RepeatUnit::Weeks, ScheduleMode::AskMe);
    card.accountFrom = s.visa->id(); // another account's: not in Checking's register
    s.budget.schedules() = {power, salary, saving, rent, card};
    const std::size_t before = s.budget.transactions().size();

    // Without the account filter there is nothing but transactions.
    TransactionList* list = f.window.transactionList();
    QCOMPARE(list->model()->rowCount(), int(before));
    f.window.accountList()->selectRow(f.window.accountList()->rowOf(s.checking));
    f.window.filterBar()->byAccount()->click();
    QStringList expected = {
        "~4/10/26|Power Co|$90.00||$4,820.00",
        "~4/7/26|Landlord|$1,200.00||$4,910.00",
        "~4/3/26|Employer->Checking||$2,100.00|$6,110.00",
        "~3/25/26|Checking->Savings|$500.00||$4,010.00",
        "~3/20/26|Employer->Checking||$2,100.00|$4,510.00",
        "~3/10/26|Power Co|$90.00||$2,410.00",
        "3/8/26|Lost envelope|$9.99||$2,500.00",
    };
    QCOMPARE(registerRows(list).mid(0, 7), expected);
    f.window.resize(1200, 700);
    QVERIFY(f.window.grab().save(shotsFolder() + "/register-upcoming.png"));

    // Oldest first, they come last.
    list->sortByColumn(DateColumn, Qt::AscendingOrder);
    QCOMPARE(registerRows(list).constLast(), expected.constFirst());
    list->sortByColumn(DateColumn, Qt::DescendingOrder);

    // Delete on a coming row deletes nothing.
    list->setFocus();
    list->selectRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(s.budget.transactions().size(), before);

    // Enter on the power bill opens its dialog; Cancel changes nothing, not even the undo list.
    int dialogs = 0;
    const QString undoBefore = f.window.menuAction(Command::Undo)->text();
    DialogDriver::beforeExec = [&](QDialog* d) {
        ++dialogs;
        QVERIFY(qobject_cast<TransactionDialog*>(d));
        d->reject();
    };
    list->selectRow(5);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(dialogs, 1);
    QCOMPARE(s.budget.transactions().size(), before);
    QCOMPARE(f.window.menuAction(Command::Undo)->text(), undoBefore);
    QCOMPARE(f.saves, 0);

    // A double-click, a bill of 95.50 instead, OK: a transaction, and the rest follow from it.
    DialogDriver::beforeExec = [&](QDialog* d) {
        auto* dialog = qobject_cast<TransactionDialog*>(d);
        QVERIFY(dialog);
        QCOMPARE(dialog->payeeField()->currentText(), QStringLiteral("Power Co"));
        dialog->amountField()->setText("95.50");
        dialog->okButton()->click();
    };
    doubleClickRow(list, 5);
    QCOMPARE(s.budget.transactions().size(), before + 1);
    QCOMPARE(s.checking->getBalance(), Amount(250000 - 9550));
    QCOMPARE(
        registerRows(list).mid(0, 6),
        (QStringList{"~4/10/26|Power Co|$90.00||$4,814.50", "~4/7/26|Landlord|$1,200.00||$4,904.50",
                     "~4/3/26|Employer->Checking||$2,100.00|$6,104.50",
                     "~3/25/26|Checking->Savings|$500.00||$4,004.50",
                     "~3/20/26|Employer->Checking||$2,100.00|$4,504.50",
                     "3/10/26|Power Co|$95.50||$2,404.50"}));

    // The salary's later payday cannot be entered before the first; the first can be skipped.
    QStringList enabled;
    const std::unique_ptr<QMenu> later = list->scheduleMenu(2);
    for (const QAction* a : later->actions())
        enabled << a->text() + (a->isEnabled() ? "+" : "-");
    QCOMPARE(enabled, (QStringList{"Enter-", "Skip-", "Edit then enter...-", "Edit schedule...+"}));
    QVERIFY(!list->scheduleMenu(5)); // a transaction's row
    // The Menu key on the first payday, then Skip in the menu that pops up.
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        for (QAction* a : menu->actions())
            if (a->text() == "Skip")
                menu->setActiveAction(a);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    list->selectRow(4);
    QTest::keyClick(list, Qt::Key_Menu);
    QCOMPARE(
        registerRows(list).mid(0, 4),
        (QStringList{"~4/10/26|Power Co|$90.00||$2,714.50", "~4/7/26|Landlord|$1,200.00||$2,804.50",
                     "~4/3/26|Employer->Checking||$2,100.00|$4,004.50",
                     "~3/25/26|Checking->Savings|$500.00||$1,904.50"}));
    QCOMPARE(f.window.menuAction(Command::Undo)->text(),
             QStringLiteral("&Undo Skip scheduled transaction"));
}

QTEST_MAIN(TestWindowSchedules)
#include "test_window_schedules.moc"
