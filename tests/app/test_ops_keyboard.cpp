// Every operation dialog driven from the keyboard alone (first field focused, tab order,
// Enter = OK, Escape = Cancel), and fed absurd input: names of thousands of characters and
// amounts beyond what an Amount holds.

#include "app/amountfield.h"
#include "app/fundingdialogs.h"
#include "app/moneydialogs.h"
#include "app/operations.h"
#include "app/pickers.h"
#include "app/settingsdialogs.h"
#include "app/transactiondialog.h"
#include "fakeshell.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

namespace {
enum Which {
    Expense,
    Deposit,
    Transfer,
    PayCard,
    FundOne,
    FundFolder,
    AccountSettings,
    Folder,
    Envelope,
    DialogCount
};

const char* const kNames[] = {"transaction",    "deposit", "transfer", "pay card", "fund envelope",
                              "fund envelopes", "account", "folder",   "envelope"};

// A budget with something in every list; names repeat the given text.
struct SampleBudget {
    FakeShell shell;
    Account* checking;
    Account* savings;
    Account* visa;
    AccountGroup* bills;
    AccountEnvelope* rent;

    explicit SampleBudget(const QString& name = QString()) {
        checking = shell.account(name + "Checking", 100000);
        savings = shell.account(name + "Savings", 50000);
        visa = shell.account(name + "Visa", -20000, true);
        ensureCardChargesEnvelope(shell.model, visa);
        bills = shell.folder(name + "Bills");
        rent = shell.envelope(bills, name + "Rent", 30000, -50000);
        createTransaction(shell.model, TransactionType::Expense, -100, checking->id(), kNoId,
                          rent->id(), name + "Landlord", "");
    }

    // The dialog and its input fields in the order Tab should visit them.
    std::unique_ptr<QDialog> make(int which, QList<QWidget*>& fields) {
        Budget& b = shell.model;
        const auto accounts = pickableAccounts(b, false);
        switch (which) {
        case Expense: {
            auto* d = new TransactionDialog(
                b, shell.questions, ExpenseForm{-100, "", "", checking->id(), rent->id(), true});
            fields = {d->amountField(),   d->payeeField(),       d->accountField(),
                      d->envelopeField(), d->descriptionField(), d->dateField()};
            return std::unique_ptr<QDialog>(d);
        }
        case Deposit: {
            auto* d = new DepositDialog(b, accounts, DepositForm{checking->id(), 0, "", ""});
            fields = {d->amountField(), d->accountField(), d->payerField(), d->descriptionField(),
                      d->dateField()};
            return std::unique_ptr<QDialog>(d);
        }
        case Transfer: {
            auto* d = new TransferDialog(b, shell.questions, accounts,
                                         TransferForm{kNoId, checking->id(), 0, ""});
            fields = {d->amountField(), d->fromField(), d->toField(), d->descriptionField(),
                      d->dateField()};
            return std::unique_ptr<QDialog>(d);
        }
        case PayCard: {
            auto* d = new CardPaymentDialog(
                b, accounts, CardPaymentForm{-20000, visa->id(), "", checking->id()});
            fields = {d->amountField(), d->payFromField(), d->descriptionField(), d->dateField()};
            return std::unique_ptr<QDialog>(d);
        }
        case FundOne: {
            auto* d = new FundEnvelopeDialog(*rent);
            // Tab enters the choices at the checked one; arrows move among them.
            fields = {d->setToBudgetedChoice(), d->arbitraryField()};
            return std::unique_ptr<QDialog>(d);
        }
        case FundFolder: {
            auto* d = new FundEnvelopesDialog(b, *bills);
            fields = {d->okButton()};
            return std::unique_ptr<QDialog>(d);
        }
        case AccountSettings: {
            auto* d = new AccountSettingsDialog(
                shell.questions, AccountForm{100000, checking->getName(), true, false});
            fields = {d->nameField(), d->balanceField(), d->inBudgetBox(), d->creditCardBox()};
            return std::unique_ptr<QDialog>(d);
        }
        case Folder: {
            auto* d = new FolderDialog(FolderForm{-1000, bills->getName()});
            fields = {d->nameField(), d->limitField()};
            return std::unique_ptr<QDialog>(d);
        }
        case Envelope: {
            auto* d = new EnvelopeDialog(
                b, EnvelopeForm{rent->getName(), checking->id(), "", -100, -50000, 0, false});
            fields = {d->nameField(),    d->budgetField(), d->goalBox(),
                      d->accountField(), d->payeeField(),  d->amountField()};
            return std::unique_ptr<QDialog>(d);
        }
        }
        return nullptr;
    }
};

// The field that has the keyboard; the edit part of a drop-down counts as the drop-down.
QWidget* focusedField() {
    QWidget* w = QApplication::focusWidget();
    if (w && qobject_cast<QComboBox*>(w->parentWidget()))
        return w->parentWidget();
    return w;
}

bool showAndActivate(QDialog* d) {
    d->show();
    if (!QTest::qWaitForWindowExposed(d))
        return false;
    d->activateWindow();
    QApplication::processEvents();
    return true;
}

void dialogRows() {
    QTest::addColumn<int>("which");
    for (int i = 0; i < DialogCount; ++i)
        QTest::newRow(kNames[i]) << i;
}
} // namespace

class TestOpsKeyboard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { DialogDriver::beforeExec = nullptr; }

    void firstFieldAndTabOrder_data() { dialogRows(); }
    void firstFieldAndTabOrder();
    void enterIsOkEscapeIsCancel_data() { dialogRows(); }
    void enterIsOkEscapeIsCancel();
    void hugeTextsStayBounded_data() { dialogRows(); }
    void hugeTextsStayBounded();
    void absurdAmountsAreClamped_data();
    void absurdAmountsAreClamped();
    void enterKeepsTypedPayeeCase();
};

void TestOpsKeyboard::firstFieldAndTabOrder() {
    QFETCH(int, which);
    SampleBudget budget;
    QList<QWidget*> fields;
    std::unique_ptr<QDialog> d = budget.make(which, fields);
    QVERIFY(showAndActivate(d.get()));
    QTRY_COMPARE(focusedField(), fields.front());

    // Tab visits the fields in order, then the buttons, and comes back to the first field.
    QList<QWidget*> visited{focusedField()};
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (focusedField() == fields.front())
            break;
        if (!qobject_cast<QPushButton*>(focusedField()))
            visited << focusedField();
    }
    QCOMPARE(focusedField(), fields.front());
    if (which == FundFolder) {
        // Buttons and the choice of funding, of which Tab visits the chosen radio.
        visited.removeAll(d->findChild<QPushButton*>());
        QCOMPARE(visited.size(), 1);
        QVERIFY(qobject_cast<QRadioButton*>(visited.front()));
        QVERIFY(static_cast<QRadioButton*>(visited.front())->isChecked());
        return;
    }
    QCOMPARE(visited, fields);
}

void TestOpsKeyboard::enterIsOkEscapeIsCancel() {
    QFETCH(int, which);
    SampleBudget budget;
    QList<QWidget*> fields;
    budget.make(which, fields);
    for (int i = 0; i < fields.size(); ++i) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            QList<QWidget*> fresh;
            std::unique_ptr<QDialog> d = budget.make(which, fresh);
            QVERIFY(showAndActivate(d.get()));
            fresh[i]->setFocus();
            QTRY_COMPARE(focusedField(), fresh[i]);
            QTest::keyClick(QApplication::focusWidget(), key);
            QVERIFY2(!d->isVisible(), qPrintable(QString("field %1").arg(i)));
            QCOMPARE(d->result(),
                     int(key == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected));
        }
    }
}

void TestOpsKeyboard::hugeTextsStayBounded() {
    QFETCH(int, which);
    const QString huge(5000, u'W');
    SampleBudget budget(huge);
    QList<QWidget*> fields;
    std::unique_ptr<QDialog> d = budget.make(which, fields);
    QVERIFY(showAndActivate(d.get()));
    // Wider than any screen would hide OK and Cancel.
    QVERIFY2(d->sizeHint().width() < 1200, qPrintable(QString::number(d->sizeHint().width())));
    QVERIFY(d->minimumSizeHint().width() < 1200);

    for (QLineEdit* edit : d->findChildren<QLineEdit*>()) {
        if (edit->isReadOnly() || !edit->isEnabled())
            continue;
        edit->selectAll();
        edit->insert(huge); // as pasted
        QVERIFY(edit->text().size() <= kFieldTextLimit);
    }
    d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(d->result(), int(QDialog::Accepted));
    if (auto* account = qobject_cast<AccountSettingsDialog*>(d.get())) {
        QCOMPARE(account->form().name.size(), kFieldTextLimit);
    } else if (auto* envelope = qobject_cast<EnvelopeDialog*>(d.get())) {
        QCOMPARE(envelope->form().name.size(), kFieldTextLimit);
        QCOMPARE(envelope->form().defaultPayee.size(), kFieldTextLimit);
    } else if (auto* expense = qobject_cast<TransactionDialog*>(d.get())) {
        QCOMPARE(expense->form().payee.size(), kFieldTextLimit);
        QCOMPARE(expense->form().description.size(), kFieldTextLimit);
    }
}

void TestOpsKeyboard::absurdAmountsAreClamped_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Amount>("stored"); // the transaction's amount, or the envelope's balance
    const QString huge = "99999999999999999999.99";
    QTest::newRow("expense") << int(Expense) << huge << -kAmountMax;
    QTest::newRow("refund") << int(Expense) << "-" + huge << kAmountMax;
    QTest::newRow("deposit") << int(Deposit) << huge << kAmountMax;
    QTest::newRow("negative deposit") << int(Deposit) << "-" + huge << kAmountMin;
    QTest::newRow("transfer") << int(Transfer) << huge << kAmountMax;
    QTest::newRow("card payment") << int(PayCard) << "-" + huge << -kAmountMax;
    QTest::newRow("funding") << int(FundOne) << huge << kAmountMax;
}

void TestOpsKeyboard::absurdAmountsAreClamped() {
    QFETCH(int, which);
    QFETCH(QString, typed);
    QFETCH(Amount, stored);
    SampleBudget budget;
    FakeShell& shell = budget.shell;
    const auto type = [&](QLineEdit* field) {
        field->clear();
        QTest::keyClicks(field, typed);
    };
    DialogDriver::beforeExec = [&](QDialog* dialog) {
        if (auto* d = qobject_cast<TransactionDialog*>(dialog))
            type(d->amountField());
        else if (auto* d = qobject_cast<DepositDialog*>(dialog))
            type(d->amountField());
        else if (auto* d = qobject_cast<TransferDialog*>(dialog))
            type(d->amountField());
        else if (auto* d = qobject_cast<CardPaymentDialog*>(dialog))
            type(d->amountField());
        else if (auto* d = qobject_cast<FundEnvelopeDialog*>(dialog)) {
            d->arbitraryChoice()->click();
            type(d->arbitraryField());
        }
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    };
    bool done = false;
    switch (which) {
    case Expense:
        done = recordExpense(shell, budget.rent);
        break;
    case Deposit:
        done = recordDeposit(shell, budget.savings);
        break;
    case Transfer:
        done = recordTransfer(shell, budget.savings);
        break;
    case PayCard:
        done = payCreditCard(shell, budget.visa);
        break;
    case FundOne:
        done = fundEnvelope(shell, budget.rent);
        break;
    }
    QVERIFY(done);
    if (which == FundOne)
        QCOMPARE(budget.rent->getBalance(), stored);
    else
        QCOMPARE(shell.model.transactions().back()->amount, stored);
    // Balances are clamped, never wrapped around.
    for (const AccountBase* item : shell.model.itemsOfType(ItemType::Account)) {
        const Amount balance = item->getBalance();
        QVERIFY(balance >= kAmountMin && balance <= kAmountMax);
    }
    if (which == Deposit)
        QCOMPARE(budget.savings->getBalance(), clampAmount(50000LL + stored));
}

void TestOpsKeyboard::enterKeepsTypedPayeeCase() {
    SampleBudget budget;
    FakeShell& shell = budget.shell;
    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        QVERIFY(showAndActivate(d));
        d->payeeField()->setFocus();
        QTest::keyClicks(QApplication::focusWidget(), "landLORD");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    QVERIFY(recordExpense(shell, budget.rent));
    QCOMPARE(shell.model.transactions().back()->payee, QString("landLORD"));
}

QTEST_MAIN(TestOpsKeyboard)
#include "test_ops_keyboard.moc"
