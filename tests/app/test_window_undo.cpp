// Undo, redo, delete and restore from backup through the main window, with the real
// operations behind the commands.

#include "app/accountlist.h"
#include "app/fundingdialogs.h"
#include "app/moneydialogs.h"
#include "app/pickers.h"
#include "app/restoredialog.h"
#include "app/settingsdialogs.h"
#include "app/transactionlist.h"
#include "budgetdump.h"
#include "gui/importreview.h"
#include "model/undo.h"
#include "platform/dialogdriver.h"
#include "storage/backups.h"
#include "storage/budgetfile.h"
#include "test_window_fixture.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The window with the operations themselves behind it.
struct LiveWindow {
    FixedClock clock{SampleBudget::at(2026, 3, 15)};
    SampleBudget sample;
    FakePrompter prompter;
    MainWindow window{sample.budget, &prompter};
    int saves = 0;
    LiveWindow() {
        window.setSaver([this](const Budget&, Prompter&) { ++saves; });
        window.resize(1200, 800);
        window.populate();
    }
    void deposit(const QString& amount) {
        DialogDriver::beforeExec = [amount](QDialog* d) {
            auto* deposit = qobject_cast<DepositDialog*>(d);
            QVERIFY(deposit);
            deposit->amountField()->setText(amount);
            deposit->okButton()->click();
        };
        window.runCommand(CommandRequest{Command::Deposit, sample.checking});
        DialogDriver::beforeExec = nullptr;
    }
};
} // namespace

class TestWindowUndo : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinLocale(); }
    void cleanup() { DialogDriver::beforeExec = nullptr; }

    void menuUndoesAndRedoesAndSavesEachTime() {
        LiveWindow w;
        QAction* undo = w.window.menuAction(Command::Undo);
        QAction* redo = w.window.menuAction(Command::Redo);
        QVERIFY(!undo->isEnabled());
        const QString before = budgetDump(w.sample.budget);
        w.deposit("10.00");
        w.deposit("20.00");
        const QString after = budgetDump(w.sample.budget);
        QCOMPARE(undo->text(), QString("&Undo Deposit"));
        QVERIFY(undo->shortcuts().contains(QKeySequence(QStringLiteral("Ctrl+Z"))));
        QVERIFY(redo->shortcuts().contains(QKeySequence(QStringLiteral("Ctrl+Y"))));
        QVERIFY(redo->shortcuts().contains(QKeySequence(QStringLiteral("Ctrl+Shift+Z"))));
        const int saves = w.saves;
        undo->trigger();
        undo->trigger();
        QCOMPARE(budgetDump(w.sample.budget), before);
        QCOMPARE(w.saves, saves + 2);
        QVERIFY(!undo->isEnabled());
        QCOMPARE(redo->text(), QString("&Redo Deposit"));
        QCOMPARE(w.window.transactionList()->model()->rowCount(),
                 int(w.sample.budget.transactions().size()));
        redo->trigger();
        redo->trigger();
        QCOMPARE(budgetDump(w.sample.budget), after);
        QVERIFY(!redo->isEnabled());
    }

    // Selected rows go with one Delete key press and one question, and come back as one.
    void deleteKeyTakesTheSelectionAsOneStep() {
        LiveWindow w;
        const QString before = budgetDump(w.sample.budget);
        TransactionList* list = w.window.transactionList();
        list->selectRow(0);
        list->selectionModel()->select(list->model()->index(2, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const Transaction* first = list->transactionAt(0);
        const Transaction* third = list->transactionAt(2);
        w.prompter.answers = {true};
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(w.prompter.texts(), QStringList{"Delete these 2 transactions?"});
        QCOMPARE(w.sample.budget.transactions().size(), std::size_t(6));
        for (const auto& t : w.sample.budget.transactions())
            QVERIFY(t != first && t != third);
        QCOMPARE(w.window.menuAction(Command::Undo)->text(), QString("&Undo Delete transaction"));
        w.window.undoStep(false);
        QCOMPARE(budgetDump(w.sample.budget), before);
    }

    void contextMenuOffersDelete() {
        LiveWindow w;
        auto menu = w.window.transactionContextMenu(w.sample.budget.transactions()[0]);
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << a->text();
        QCOMPARE(texts, (QStringList{"Edit Transaction...", "Delete transaction"}));
    }

    // Restoring an older generation makes it the budget, and the budget as it was becomes
    // the newest generation; the restore itself can be undone.
    // "New envelope..." in the review makes the envelope inside the import's command: one
    // undo takes back the imported row and the envelope made for it.
    void importWithNewEnvelopeIsOneStep() {
        LiveWindow w;
        const QString before = budgetDump(w.sample.budget);
        const int envelopes = int(w.sample.budget.itemsOfType(ItemType::Envelope).size());
        QStringList seen;
        DialogDriver::beforeExec = [&](QDialog* d) {
            if (auto* chooser = qobject_cast<QFileDialog*>(d)) {
                seen << chooser->nameFilters().join(";;");
                chooser->selectFile(QStringLiteral(TALLYKEEP_TEST_DATA "/statement.qif"));
                chooser->setResult(QDialog::Accepted);
            } else if (auto* review = qobject_cast<ImportReviewDialog*>(d)) {
                QTableWidget* rows = review->transactionList();
                for (int row = 0; row < rows->rowCount(); ++row)
                    rows->item(row, 0)->setCheckState(row == 4 ? Qt::Checked : Qt::Unchecked);
                // Cancelled first: the row stays as it was.
                QVERIFY(!review->chooseNewEnvelope(4));
                QVERIFY(review->chooseNewEnvelope(4));
                seen << rows->item(4, 3)->text();
                review->okButton()->click();
            } else if (auto* envelope = qobject_cast<EnvelopeDialog*>(d)) {
                seen << envelope->windowTitle();
                // The folder is asked for, the first one preselected; the card charges'
                // read-only folder and hidden folders are not offered.
                QComboBox* folder = envelope->folderField();
                QVERIFY(folder);
                QCOMPARE(folder->currentText(), QStringLiteral("Bills"));
                QCOMPARE(folder->count(), 2);
                if (seen.count("Envelope") == 2) {
                    folder->setCurrentIndex(folder->findText("Fun"));
                    envelope->nameField()->setText("Cafes");
                    envelope->okButton()->click();
                }
            }
        };
        w.window.runCommand(CommandRequest{Command::ImportTransactions, w.sample.checking});
        DialogDriver::beforeExec = nullptr;
        QCOMPARE(seen, (QStringList{"Statements (*.qif *.ofx *.qfx *.csv);;All files (*)",
                                    "Envelope", "Envelope", "Cafes"}));
        QCOMPARE(int(w.sample.budget.itemsOfType(ItemType::Envelope).size()), envelopes + 1);
        // CORNER CAFE -8.25 takes the payee guessed from the earlier expense "Corner Shop".
        const Transaction* cafe = w.sample.budget.transactions().front();
        for (const auto& t : w.sample.budget.transactions())
            if (t->amount == -825)
                cafe = t;
        QCOMPARE(cafe->payee, QStringLiteral("Corner Shop"));
        QCOMPARE(w.sample.budget.findItem(cafe->category)->getName(), QStringLiteral("Cafes"));
        QCOMPARE(w.sample.budget.findItem(cafe->category)->getParent(), w.sample.fun);

        w.window.menuAction(Command::Undo)->trigger();
        QCOMPARE(budgetDump(w.sample.budget), before);
    }

    // "Move money..." from the Edit menu: a move beyond what the envelope holds is refused in
    // the dialog, the move made changes both envelopes, and one undo puts both back.
    void moveMoneyIsOneStep() {
        LiveWindow w;
        const QString before = budgetDump(w.sample.budget);
        const Amount power = w.sample.power->getBalance();
        QStringList from;
        DialogDriver::beforeExec = [&](QDialog* d) {
            auto* move = qobject_cast<MoveMoneyDialog*>(d);
            QVERIFY(move);
            for (int i = 0; i < move->fromField()->count(); ++i)
                from << move->fromField()->itemText(i);
            selectItemId(move->fromField(), w.sample.vacation->id());
            selectItemId(move->toField(), w.sample.power->id());
            move->amountField()->setText("200.00");
            move->okButton()->click();
            move->amountField()->setText("25.00");
            move->okButton()->click();
        };
        w.window.menuAction(Command::MoveMoney)->trigger();
        DialogDriver::beforeExec = nullptr;
        // Visible envelopes only, the card charges' own left out.
        QCOMPARE(from, (QStringList{"Groceries", "Power", "Rent", "Vacation"}));
        QCOMPARE(w.prompter.texts(), QStringList{"'Vacation' holds only $125.00."});
        QCOMPARE(w.sample.vacation->getBalance(), Amount(10000));
        QCOMPARE(w.sample.power->getBalance(), Amount(power + 2500));
        QCOMPARE(w.saves, 1);
        QCOMPARE(w.window.menuAction(Command::Undo)->text(), QString("&Undo Move money"));
        w.window.menuAction(Command::Undo)->trigger();
        QCOMPARE(budgetDump(w.sample.budget), before);
    }

    // "Import transactions..." in the File menu asks for the account first; the statement's
    // rows land in the account chosen.
    void fileMenuImportAsksForTheAccount() {
        LiveWindow w;
        QStringList seen;
        DialogDriver::beforeExec = [&](QDialog* d) {
            seen << d->windowTitle();
            if (auto* chooser = qobject_cast<QFileDialog*>(d)) {
                chooser->selectFile(QStringLiteral(TALLYKEEP_TEST_DATA "/statement.qif"));
                chooser->setResult(QDialog::Accepted);
            } else if (auto* review = qobject_cast<ImportReviewDialog*>(d)) {
                QTableWidget* rows = review->transactionList();
                for (int row = 0; row < rows->rowCount(); ++row)
                    rows->item(row, 0)->setCheckState(row == 4 ? Qt::Checked : Qt::Unchecked);
                review->choose(4, int(review->envelopeChoices(4).indexOf("Groceries")));
                QCoreApplication::processEvents();
                review->okButton()->click();
            } else if (auto* account = d->findChild<QComboBox*>("account")) {
                QCOMPARE(account->currentText(), QStringLiteral("Checking"));
                selectItemId(account, w.sample.savings->id());
                d->accept();
            }
        };
        const std::size_t count = w.sample.budget.transactions().size();
        w.window.menuAction(Command::ImportTransactions)->trigger();
        DialogDriver::beforeExec = nullptr;
        QCOMPARE(seen.first(), QStringLiteral("Import Transactions"));
        QCOMPARE(w.sample.budget.transactions().size(), count + 1);
        const Transaction* cafe = nullptr;
        for (const auto& t : w.sample.budget.transactions())
            if (t->amount == -825)
                cafe = t;
        QVERIFY(cafe);
        QCOMPARE(cafe->accountFrom, w.sample.savings->id());
        QCOMPARE(cafe->category, w.sample.groceries->id());
    }

    void restoreKeepsThePresentAsNewestBackup() {
        QTemporaryDir dir;
        FixedClock clock(SampleBudget::at(2026, 3, 15));
        SampleBudget sample;
        FakePrompter prompter;
        BudgetFile file(dir.filePath("tallykeep"));
        MainWindow window(sample.budget, &prompter);
        window.setSaver([&file](const Budget& b, Prompter& p) { file.save(b, p); });
        window.setBudgetFilePath(file.workbookPath());
        window.populate();
        QStringList saved; // the budget in memory at each save
        for (const char* name : {"First", "Second", "Third"}) {
            sample.checking->setName(name);
            window.saveBudget();
            saved << budgetDump(sample.budget);
        }
        const QString backups = dir.filePath("TallykeepBackup/tallykeep.xlsx.bak.");
        const QByteArray present = readAll(file.workbookPath());
        Budget first; // the file of the first save, read on its own
        QCOMPARE(loadBudgetCopy(backups + "2", first), 0);
        QVERIFY(budgetDump(first).contains("name=First"));

        QVERIFY(window.restoreBudgetFrom(backups + "2"));
        QCOMPARE(budgetDump(sample.budget), budgetDump(first));
        QCOMPARE(readAll(backups + "1"), present);
        Budget reloaded;
        QCOMPARE(loadBudgetCopy(file.workbookPath(), reloaded), 0);
        QCOMPARE(budgetDump(reloaded), budgetDump(first));
        QCOMPARE(window.accountList()->rowCount(), 3);

        window.undoStep(false);
        QCOMPARE(budgetDump(sample.budget), saved[2]);

        // A file that cannot be read changes nothing and says so.
        QFile::resize(backups + "3", 100);
        QVERIFY(!window.restoreBudgetFrom(backups + "3"));
        QCOMPARE(prompter.titles(), QStringList{"Restore from backup"});
        QCOMPARE(budgetDump(sample.budget), saved[2]);
    }

    void restoreDialogListsAndCompares() {
        QTemporaryDir dir;
        LiveWindow w;
        const QString good = dir.filePath("good.xlsx");
        w.sample.checking->adjustBalance(-50000);
        QCOMPARE(
            writeWorkbookReplacing(good, w.sample.budget, w.sample.budget.topLevelItemsForSave()),
            0);
        w.sample.checking->adjustBalance(50000);
        const QString bad = dir.filePath("bad.xlsx");
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("PK\x03\x04 not really a workbook");
        f.close();
        std::vector<BackupGeneration> list(2);
        list[0].path = good;
        list[0].name = "Backup 1";
        list[0].modified = QDateTime(QDate(2026, 3, 14), QTime(18, 5));
        list[1].path = bad;
        list[1].name = "Backup 2";
        list[1].modified = QDateTime(QDate(2026, 3, 13), QTime(9, 0));
        RestoreDialog dialog(w.sample.budget, list);
        dialog.readAll();
        QVERIFY(!dialog.restoreButton()->isEnabled());
        QVERIFY(dialog.list()->topLevelItem(1)->isDisabled());
        QCOMPARE(dialog.list()->topLevelItem(1)->text(2), QString("Could not be read"));
        dialog.list()->setCurrentItem(dialog.list()->topLevelItem(0));
        QVERIFY(dialog.restoreButton()->isEnabled());
        QCOMPARE(dialog.chosenPath(), good);
        const Amount now = w.sample.budget.availableForBudgeting();
        QCOMPARE(dialog.changesLine()->text(),
                 QString("Restoring it changes available for budgeting %1 \u2192 %2. Unchanged: "
                         "3 accounts, 6 envelopes, 8 transactions.")
                     .arg(formatAmount(now, true), formatAmount(now - 50000, true)));

        dialog.show();
        const QString shots = QCoreApplication::applicationDirPath() + "/../../shots";
        QDir().mkpath(shots);
        QVERIFY(dialog.grab().save(shots + "/restore.png"));
    }
};

QTEST_MAIN(TestWindowUndo)
#include "test_window_undo.moc"
