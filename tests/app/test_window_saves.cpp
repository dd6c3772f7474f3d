// Nothing a command changes is left unsaved: every command runs through the window with the
// real operations and a saver that keeps what it was given, and after each the saved budget
// is the budget in memory.

#include "app/envelopetree.h"
#include "app/fundingdialogs.h"
#include "app/infopane.h"
#include "app/moneydialogs.h"
#include "app/operations_unhide.h"
#include "app/settingsdialogs.h"
#include "app/transactiondialog.h"
#include "budgetdump.h"
#include "gui/importreview.h"
#include "model/undo.h"
#include "platform/dialogdriver.h"
#include "test_window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

namespace {
// Fills every dialog a command opens as a user would and presses OK.
void answerDialogs(QDialog* d) {
    if (auto* f = qobject_cast<QFileDialog*>(d)) {
        f->selectFile(QStringLiteral(TALLYKEEP_TEST_DATA "/statement.qif"));
        f->setResult(QDialog::Accepted);
    } else if (auto* t = qobject_cast<TransactionDialog*>(d)) {
        t->amountField()->setText(QStringLiteral("12.34"));
        t->payeeField()->setEditText(QStringLiteral("Bakery"));
        t->okButton()->click();
    } else if (auto* dep = qobject_cast<DepositDialog*>(d)) {
        dep->amountField()->setText(QStringLiteral("55.00"));
        dep->okButton()->click();
    } else if (auto* tr = qobject_cast<TransferDialog*>(d)) {
        tr->amountField()->setText(QStringLiteral("70.00"));
        tr->toField()->setCurrentIndex(tr->toField()->findText(QStringLiteral("Savings")));
        tr->okButton()->click();
    } else if (auto* pay = qobject_cast<CardPaymentDialog*>(d)) {
        pay->okButton()->click();
    } else if (auto* fund = qobject_cast<FundEnvelopeDialog*>(d)) {
        fund->arbitraryChoice()->click();
        fund->arbitraryField()->setText(QStringLiteral("321.00"));
        fund->okButton()->click();
    } else if (auto* funds = qobject_cast<FundEnvelopesDialog*>(d)) {
        funds->okButton()->click();
    } else if (auto* a = qobject_cast<AccountSettingsDialog*>(d)) {
        a->nameField()->setText(a->nameField()->text() + QStringLiteral(" 2"));
        a->balanceField()->setText(QStringLiteral("1,234.00"));
        a->okButton()->click();
    } else if (auto* folder = qobject_cast<FolderDialog*>(d)) {
        folder->nameField()->setText(folder->nameField()->text() + QStringLiteral(" 2"));
        folder->okButton()->click();
    } else if (auto* e = qobject_cast<EnvelopeDialog*>(d)) {
        e->nameField()->setText(e->nameField()->text() + QStringLiteral(" 2"));
        e->budgetField()->setText(QStringLiteral("40.00"));
        e->okButton()->click();
    } else if (auto* review = qobject_cast<ImportReviewDialog*>(d)) {
        QTableWidget* rows = review->transactionList();
        for (int row = 0; row < rows->rowCount(); ++row) {
            const QStringList choices = review->envelopeChoices(row);
            review->choose(row, int(choices.indexOf(QStringLiteral("Groceries"))));
            rows->item(row, 0)->setCheckState(Qt::Checked);
        }
        review->okButton()->click();
    } else {
        QFAIL(qPrintable(QStringLiteral("unexpected dialog ") + d->metaObject()->className()));
    }
}

QAction* entryNamed(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->menu()) {
            if (QAction* found = entryNamed(a->menu(), text))
                return found;
        } else if (a->text() == text) {
            return a;
        }
    }
    return nullptr;
}

struct SavedWindow {
    FixedClock clock{SampleBudget::at(2026, 3, 15)};
    SampleBudget sample;
    FakePrompter prompter;
    MainWindow window{sample.budget, &prompter};
    QString saved; // the budget as the last save received it
    int saves = 0;
    SavedWindow() {
        window.setSaver([this](const Budget& b, Prompter&) {
            saved = budgetDump(b);
            ++saves;
        });
        window.resize(1200, 800);
        window.populate();
        saved = budgetDump(sample.budget); // as loaded
        prompter.defaultAnswer = true;     // "Record anyway?", "Confirm Hide", "Delete...?"
        DialogDriver::beforeExec = answerDialogs;
    }
    ~SavedWindow() {
        DialogDriver::beforeExec = nullptr;
        UnhideMenuDriver::choose = nullptr;
    }
};
} // namespace

class TestWindowSaves : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinLocale(); }

    void everyCommandIsSaved() {
        SavedWindow w;
        SampleBudget& s = w.sample;
        const auto firstTransaction = [&] { return s.budget.transactions()[3]; };
        const std::vector<std::pair<const char*, std::function<void()>>> commands = {
            {"record expense",
             [&] {
                 w.window.runCommand({Command::RecordExpense, s.groceries});
             }},
            {"deposit",
             [&] {
                 w.window.runCommand({Command::Deposit, s.checking});
             }},
            {"transfer",
             [&] {
                 w.window.runCommand({Command::Transfer, s.checking});
             }},
            {"pay card",
             [&] {
                 w.window.runCommand({Command::PayCreditCard, s.visa});
             }},
            {"edit transaction",
             [&] {
                 w.window.runCommand({Command::EditTransaction, nullptr, firstTransaction()});
             }},
            {"delete transaction",
             [&] {
                 CommandRequest r{Command::DeleteTransaction};
                 r.transactions = {firstTransaction()};
                 w.window.runCommand(r);
             }},
            {"fund envelope",
             [&] {
                 w.window.runCommand({Command::FundEnvelope, s.vacation});
             }},
            {"fund folder",
             [&] {
                 w.window.runCommand({Command::FundFolder, s.bills});
             }},
            {"add account", [&] { w.window.runCommand({Command::AddAccount}); }},
            {"edit account",
             [&] {
                 w.window.runCommand({Command::EditAccount, s.savings});
             }},
            {"add folder", [&] { w.window.runCommand({Command::AddFolder}); }},
            {"edit folder",
             [&] {
                 w.window.runCommand({Command::EditFolder, s.fun});
             }},
            {"add envelope",
             [&] {
                 w.window.runCommand({Command::AddEnvelope, s.fun});
             }},
            {"edit envelope",
             [&] {
                 w.window.runCommand({Command::EditEnvelope, s.power});
             }},
            {"move",
             [&] {
                 CommandRequest r{Command::MoveAfter, s.rent};
                 r.target = s.power->id();
                 w.window.runCommand(r);
             }},
            {"hide envelope",
             [&] {
                 w.window.runCommand({Command::Hide, s.groceries});
             }},
            {"hide account",
             [&] {
                 w.window.runCommand({Command::HideAccount, s.savings});
             }},
            {"unhide",
             [&] {
                 UnhideMenuDriver::choose = [](QMenu* menu, const QPoint&) {
                     return entryNamed(menu, QStringLiteral("Archive"));
                 };
                 w.window.infoPane()->unhideButton()->click();
             }},
            {"import",
             [&] {
                 w.window.runCommand({Command::ImportTransactions, s.checking});
             }},
            {"undo", [&] { w.window.runCommand({Command::Undo}); }},
            {"redo", [&] { w.window.runCommand({Command::Redo}); }},
        };
        for (const auto& [name, run] : commands) {
            const QString before = budgetDump(s.budget);
            run();
            const QString after = budgetDump(s.budget);
            QVERIFY2(after != before, name); // the command did something
            QVERIFY2(w.saved == after, name);
        }
    }

    // "New envelope..." in a review that is then cancelled: the envelope goes, from the
    // budget and from the screen, with the rule made for it; nothing is left to save and no
    // undo step is left behind.
    void cancelledReviewTakesBackItsNewEnvelope() {
        SavedWindow w;
        const QString before = budgetDump(w.sample.budget);
        const int saves = w.saves;
        AccountEnvelope* made = nullptr;
        DialogDriver::beforeExec = [&](QDialog* d) {
            if (auto* review = qobject_cast<ImportReviewDialog*>(d)) {
                QVERIFY(review->chooseNewEnvelope(4));
                for (AccountBase* e : w.sample.budget.itemsOfType(ItemType::Envelope))
                    if (e->getName() == QStringLiteral("Cafes"))
                        made = static_cast<AccountEnvelope*>(e);
                QVERIFY(made);
                // On screen while the review is open.
                QVERIFY(w.window.envelopeTree()->findRow(made));
                w.sample.budget.rules().addMappingRule("CORNER CAFE*", made->id(), false, "Cafe");
                review->reject();
            } else if (auto* e = qobject_cast<EnvelopeDialog*>(d)) {
                e->nameField()->setText(QStringLiteral("Cafes"));
                e->okButton()->click();
            } else {
                answerDialogs(d);
            }
        };
        w.window.runCommand({Command::ImportTransactions, w.sample.checking});
        QVERIFY(made);
        QCOMPARE(budgetDump(w.sample.budget), before);
        QVERIFY(!w.window.envelopeTree()->findRow(made));
        QCOMPARE(w.saves, saves);
        QVERIFY(!w.window.history().canUndo());

        // The next envelope made takes the id back, and nothing points at it by mistake.
        DialogDriver::beforeExec = answerDialogs;
        w.window.runCommand({Command::AddEnvelope, w.sample.fun});
        QCOMPARE(w.saved, budgetDump(w.sample.budget));
        QVERIFY(!w.sample.budget.rules().find("CORNER CAFE*"));
    }

    // Rules changed in a cancelled review stay, and are saved now rather than at some later
    // save (or never); a confirmed review with no row chosen still saves.
    void reviewOutcomesAreSaved() {
        SavedWindow w;
        DialogDriver::beforeExec = [&](QDialog* d) {
            if (auto* review = qobject_cast<ImportReviewDialog*>(d)) {
                w.sample.budget.rules().addMappingRule("FARMERS*", w.sample.groceries->id(), false,
                                                       "Market");
                review->reject();
            } else {
                answerDialogs(d);
            }
        };
        w.window.runCommand({Command::ImportTransactions, w.sample.checking});
        QVERIFY(w.saved.contains(QStringLiteral("rule FARMERS* -> Market")));
        QCOMPARE(w.saved, budgetDump(w.sample.budget));

        const int saves = w.saves;
        DialogDriver::beforeExec = [&](QDialog* d) {
            if (auto* review = qobject_cast<ImportReviewDialog*>(d)) {
                QTableWidget* rows = review->transactionList();
                for (int row = 0; row < rows->rowCount(); ++row)
                    rows->item(row, 0)->setCheckState(Qt::Unchecked);
                review->okButton()->click();
            } else {
                answerDialogs(d);
            }
        };
        w.window.runCommand({Command::ImportTransactions, w.sample.checking});
        QCOMPARE(w.saves, saves + 1);
        QCOMPARE(w.saved, budgetDump(w.sample.budget));
    }
};

QTEST_MAIN(TestWindowSaves)
#include "test_window_saves.moc"
