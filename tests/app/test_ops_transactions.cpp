// Recording and editing expenses, deposits, transfers and card payments through their
// dialogs, driven offscreen, with the questions answered by a FakePrompter.

#include "app/moneydialogs.h"
#include "app/operations.h"
#include "app/transactiondialog.h"
#include "fakeshell.h"
#include "model/clock.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
QString money(Amount a) {
    return formatAmount(a, true);
}

DateTime march(int day) {
    DateTime dt;
    dt.year = 2025;
    dt.month = 3;
    dt.day = day;
    dt.hour = 10;
    return dt;
}

void typeInto(QLineEdit* field, const QString& text) {
    field->clear();
    QTest::keyClicks(field, text);
}

void typeInto(QComboBox* field, const QString& text) {
    field->lineEdit()->clear();
    QTest::keyClicks(field->lineEdit(), text);
}

void selectText(QComboBox* field, const QString& text) {
    const int index = field->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    field->setCurrentIndex(index);
}
} // namespace

class TestOpsTransactions : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { DialogDriver::beforeExec = nullptr; }

    void expenseQuestions_data();
    void expenseQuestions();
    void expenseRecordsAndRefreshes();
    void expenseStartsFromEnvelopeDefaults();
    void expenseHiddenDefaultAccountFallsBackToHighestId();
    void expensePayeeMatchesIgnoringCase();
    void expenseWithoutAccountsIsRefused();
    void expenseWithoutPayingAccountIsRefused_data();
    void expenseWithoutPayingAccountIsRefused();
    void amountsTypedInLocale_data();
    void amountsTypedInLocale();
    void expenseNoKeepsDialogOpen();
    void editExpenseAsksNothingAndKeepsDate();
    void expenseByKeyboardOnly();
    void editExpenseKeepsHiddenAccount();

    void depositRecordsAsTyped();
    void depositNeedsAnAccount();
    void editDepositMovesToOtherAccount();

    void transferRefusedWithoutTwoOrdinaryAccounts();
    void transferCountsOrdinaryAccountsOfAnyState_data();
    void transferCountsOrdinaryAccountsOfAnyState();
    void typedSigns_data();
    void typedSigns();
    void transferDefaultsAndRecords();
    void transferSameAccountDisablesOk();
    void transferNegativeQuestion();
    void editTransferAsksAgainstCurrentBalance();

    void cardPaymentRefusedWithoutOrdinaryAccount();
    void cardPaymentProposesDebtAndIgnoresSign();
    void cardPaymentNeedsPayingAccount();
    void editCardPaymentChangesPayingAccount();
};

void TestOpsTransactions::expenseQuestions_data() {
    QTest::addColumn<Amount>("envelopeBalance");
    QTest::addColumn<Amount>("accountBalance");
    QTest::addColumn<bool>("card");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("payee");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<bool>("recorded");

    const QString over = "Over Spent";
    const QString zero = "Zero Sum Transaction";
    QTest::newRow("covered") << 5000 << 5000 << false << "25.00"
                             << "Shop" << QList<bool>{} << QStringList{} << true;
    QTest::newRow("envelope short") << 1000 << 5000 << false << "25.00"
                                    << "Shop" << QList<bool>{true} << QStringList{over} << true;
    QTest::newRow("account short") << 5000 << 1000 << false << "25.00"
                                   << "Shop" << QList<bool>{true} << QStringList{over} << true;
    QTest::newRow("card never asked") << 5000 << -90000 << true << "25.00"
                                      << "Shop" << QList<bool>{} << QStringList{} << true;
    QTest::newRow("zero") << 5000 << 5000 << false << "abc"
                          << "Shop" << QList<bool>{true} << QStringList{zero} << true;
    QTest::newRow("no payee") << 5000 << 5000 << false << "1"
                              << "" << QList<bool>{true} << QStringList{zero} << true;
    QTest::newRow("three in order")
        << 0 << 0 << false << "1"
        << "" << QList<bool>{true, true, true} << QStringList{over, over, zero} << true;
    QTest::newRow("no stops the rest") << 0 << 0 << false << "1"
                                       << "" << QList<bool>{false} << QStringList{over} << false;
    QTest::newRow("refund asks only payee") << 0 << 0 << false << "-5"
                                            << "" << QList<bool>{true} << QStringList{zero} << true;
}

void TestOpsTransactions::expenseQuestions() {
    QFETCH(Amount, envelopeBalance);
    QFETCH(Amount, accountBalance);
    QFETCH(bool, card);
    QFETCH(QString, typed);
    QFETCH(QString, payee);
    QFETCH(QList<bool>, answers);
    QFETCH(QStringList, titles);
    QFETCH(bool, recorded);

    FakeShell shell;
    Account* account = shell.account("Checking", accountBalance, card);
    AccountEnvelope* food = shell.envelope(shell.folder("Home"), "Food", envelopeBalance);
    food->setDefaultPayFromAccount(account->id());
    shell.questions.answers = answers;
    shell.questions.defaultAnswer = false;

    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        typeInto(d->amountField(), typed);
        typeInto(d->payeeField(), payee);
        d->okButton()->click();
    });
    QCOMPARE(recordExpense(shell, food), recorded);
    QCOMPARE(shell.questions.titles(), titles);
    for (const PromptRecord& r : shell.questions.records) {
        QCOMPARE(r.kind, PromptRecord::Question);
        QCOMPARE(r.icon, PromptIcon::Exclamation);
    }
    QCOMPARE(shell.model.transactions().size(), std::size_t(recorded ? 1 : 0));
}

void TestOpsTransactions::expenseRecordsAndRefreshes() {
    FixedClock clock(march(5));
    FakeShell shell;
    Account* account = shell.account("Checking", 5000);
    AccountEnvelope* food = shell.envelope(shell.folder("Home"), "Food", 1000);
    shell.questions.answers = {true};

    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Transaction"));
        QCOMPARE(d->amountField()->text(), money(0));
        QCOMPARE(d->accountField()->currentText(), QString("Checking"));
        QCOMPARE(d->envelopeField()->currentText(), QString("Food"));
        typeInto(d->amountField(), "25");
        typeInto(d->payeeField(), "Grocer");
        typeInto(d->descriptionField(), "weekly");
        d->okButton()->click();
    });
    QVERIFY(recordExpense(shell, food));

    QCOMPARE(shell.questions.texts(),
             QStringList{"The 'Food' envelope has a balance of " + money(1000) +
                         ", which is less than the transaction amount of " + money(2500) +
                         ". Record anyway?"});
    QCOMPARE(shell.calls, (QStringList{"help About Transactions", "restoreHelp"}));
    QCOMPARE(shell.helpBody.size(), 1);
    QCOMPARE(shell.model.transactions().size(), std::size_t(1));
    const Transaction& t = *shell.model.transactions().front();
    QCOMPARE(t.type, TransactionType::Expense);
    QCOMPARE(t.amount, Amount(-2500));
    QCOMPARE(t.accountFrom, account->id());
    QCOMPARE(t.accountTo, kNoId);
    QCOMPARE(t.category, food->id());
    QCOMPARE(t.payee, QString("Grocer"));
    QCOMPARE(t.description, QString("weekly"));
    QCOMPARE(t.transactionTime.day, quint16(5));
    QCOMPARE(account->getBalance(), Amount(2500));
    QCOMPARE(food->getBalance(), Amount(0)); // floored at zero
}

void TestOpsTransactions::expenseStartsFromEnvelopeDefaults() {
    FakeShell shell;
    shell.account("Zeta", 0);
    Account* rentAccount = shell.account("alpha", 100000);
    shell.account("Beta", 0);
    AccountEnvelope* rent = shell.envelope(shell.folder("Home"), "Rent", 200000);
    shell.envelope(nullptr, "apples", 0);
    shell.envelope(nullptr, "Bills", 0);
    rent->setDefaultAmount(-1234);
    rent->setDefaultPayee("Landlord");
    rent->setDefaultPayFromAccount(rentAccount->id());

    QStringList accounts, envelopes;
    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        QCOMPARE(d->amountField()->text(), money(1234));
        QCOMPARE(d->payeeField()->currentText(), QString("Landlord"));
        QCOMPARE(d->accountField()->currentText(), QString("alpha"));
        for (int i = 0; i < d->accountField()->count(); ++i)
            accounts << d->accountField()->itemText(i);
        for (int i = 0; i < d->envelopeField()->count(); ++i)
            envelopes << d->envelopeField()->itemText(i);
        d->okButton()->click();
    });
    QVERIFY(recordExpense(shell, rent));
    QCOMPARE(accounts, (QStringList{"alpha", "Beta", "Zeta"}));
    QCOMPARE(envelopes, (QStringList{"apples", "Bills", "Rent"}));
    const Transaction& t = *shell.model.transactions().front();
    QCOMPARE(t.amount, Amount(-1234));
    QCOMPARE(t.payee, QString("Landlord"));
    QCOMPARE(t.accountFrom, rentAccount->id());
}

void TestOpsTransactions::expenseHiddenDefaultAccountFallsBackToHighestId() {
    FakeShell shell;
    Account* hidden = shell.account("Old", 0);
    shell.account("Bravo", 0);
    Account* newest = shell.account("Alpha", 0);
    Account* readOnly = shell.account("Aaa", 0);
    readOnly->setReadOnly(true);
    hidden->setHidden(true);
    AccountEnvelope* food = shell.envelope(shell.folder("Home"), "Food", 0);
    food->setDefaultPayFromAccount(hidden->id());

    ItemId shown = kNoId;
    int listed = 0;
    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        shown = d->accountField()->currentData().value<quint32>();
        listed = d->accountField()->count();
        d->reject();
    });
    QVERIFY(!recordExpense(shell, food));
    QCOMPARE(shown, newest->id());
    QCOMPARE(listed, 2);
    QCOMPARE(shell.windowCalls(), QStringList{});
}

void TestOpsTransactions::expensePayeeMatchesIgnoringCase() {
    FakeShell shell;
    Account* account = shell.account("Checking", 100000);
    AccountEnvelope* food = shell.envelope(shell.folder("Home"), "Food", 100000);
    createTransaction(shell.model, TransactionType::Expense, -100, account->id(), kNoId, food->id(),
                      "ACME Foods", "");
    food->setDefaultPayee("acme foods");

    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        QCOMPARE(d->payeeField()->currentIndex(), 0);
        QCOMPARE(d->payeeField()->itemText(0), QString("ACME Foods"));
        QCOMPARE(d->payeeField()->currentText(), QString("acme foods"));
        d->okButton()->click();
    });
    QVERIFY(recordExpense(shell, food));
    QCOMPARE(shell.model.transactions().back()->payee, QString("acme foods"));
}

void TestOpsTransactions::expenseWithoutAccountsIsRefused() {
    FakeShell shell;
    AccountEnvelope* food = shell.envelope(shell.folder("Home"), "Food", 0);
    bool opened = false;
    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        opened = true;
        d->reject();
    });
    QVERIFY(!recordExpense(shell, food));
    QVERIFY(!opened);
    QCOMPARE(shell.questions.records.size(), 1);
    QCOMPARE(shell.questions.records[0].kind, PromptRecord::Message);
    QCOMPARE(shell.questions.records[0].title, QString("No Accounts"));
    QCOMPARE(shell.questions.records[0].text,
             QString("There are no accounts. Transactions can't be added."));
    QCOMPARE(shell.questions.records[0].icon, PromptIcon::Exclamation);
    QCOMPARE(shell.calls, QStringList{});
}

// Hidden and read-only accounts are not offered as payers; with nothing else, the envelope
// would lose money that no account paid.
void TestOpsTransactions::expenseWithoutPayingAccountIsRefused_data() {
    QTest::addColumn<QList<int>>("accounts"); // per account: 0 usable, 1 hidden, 2 read-only
    QTest::addColumn<bool>("opens");
    QTest::newRow("every account hidden") << QList<int>{1, 1} << false;
    QTest::newRow("every account read-only") << QList<int>{2} << false;
    QTest::newRow("hidden and read-only") << QList<int>{1, 2, 1} << false;
    QTest::newRow("one usable among them") << QList<int>{1, 0, 2} << true;
}

void TestOpsTransactions::expenseWithoutPayingAccountIsRefused() {
    QFETCH(QList<int>, accounts);
    QFETCH(bool, opens);
    FakeShell shell;
    for (int i = 0; i < accounts.size(); ++i) {
        Account* a = shell.account(QStringLiteral("A%1").arg(i), 10000);
        a->setHidden(accounts[i] == 1);
        a->setReadOnly(accounts[i] == 2);
    }
    AccountEnvelope* food = shell.envelope(shell.folder("Home"), "Food", 5000);
    bool opened = false;
    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        opened = true;
        typeInto(d->amountField(), "10");
        typeInto(d->payeeField(), "Shop");
        d->okButton()->click();
    });
    QCOMPARE(recordExpense(shell, food), opens);
    QCOMPARE(opened, opens);
    if (opens) {
        QCOMPARE(food->getBalance(), Amount(4000));
        return;
    }
    QCOMPARE(shell.questions.titles(), QStringList{"Transaction"});
    QCOMPARE(shell.questions.texts(),
             QStringList{"You must have at least one account that is not hidden or read-only to "
                         "pay this expense from"});
    QCOMPARE(food->getBalance(), Amount(5000));
    QVERIFY(shell.model.transactions().empty());
    QCOMPARE(shell.calls, QStringList{});
}

// The amount field shows the locale's currency text; what the user types there is read in
// the same locale. The fault: "45,00 €" changed to "44,00 €" recorded 4.400,00 €.
void TestOpsTransactions::amountsTypedInLocale_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed"); // empty: the shown text with 45 changed to 44
    QTest::addColumn<Amount>("recorded");
    const QString narrow(QChar(0x202F)), nbsp(QChar(0x00A0)), minus(QChar(0x2212));
    QTest::newRow("de_DE edited") << "de_DE" << QString() << 4400;
    QTest::newRow("de_DE grouped") << "de_DE"
                                   << "1.234,5" << 123450;
    QTest::newRow("fr_FR edited") << "fr_FR" << QString() << 4400;
    QTest::newRow("fr_FR grouped") << "fr_FR"
                                   << "1" + narrow + "234,56" + nbsp + "€" << 123456;
    QTest::newRow("sv_SE U+2212") << "sv_SE" << minus + "12,50 kr" << -1250;
    QTest::newRow("en_US edited") << "en_US" << QString() << 4400;
    QTest::newRow("en_US grouped") << "en_US"
                                   << "1,234.5" << 123450;
}

void TestOpsTransactions::amountsTypedInLocale() {
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(Amount, recorded);
    QLocale::setDefault(QLocale(locale));
    FakeShell shell;
    Account* a = shell.account("A", 10000);
    const Transaction* deposit = createTransaction(shell.model, TransactionType::Deposit, 4500,
                                                   kNoId, a->id(), kNoId, "Pay", "", march(1));
    applyTransaction(shell.model, *deposit, false);
    QString shown;
    driveDialogs<DepositDialog>([&](DepositDialog* d) {
        shown = d->amountField()->text();
        // insert(), as key clicks carry only Latin-1 text.
        d->amountField()->selectAll();
        d->amountField()->insert(typed.isEmpty() ? QString(shown).replace("45", "44") : typed);
        d->okButton()->click();
    });
    const bool edited = editTransaction(shell, deposit);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(edited);
    QVERIFY2(shown.contains("45"), qPrintable(shown));
    QCOMPARE(deposit->amount, recorded);
    QCOMPARE(a->getBalance(), Amount(10000 + recorded));
}

void TestOpsTransactions::expenseNoKeepsDialogOpen() {
    FakeShell shell;
    shell.account("Checking", 100000);
    AccountEnvelope* food = shell.envelope(shell.folder("Home"), "Food", 100000);
    shell.questions.answers = {false, true};
    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        typeInto(d->amountField(), "0");
        d->payeeField()->setEditText("Shop");
        d->okButton()->click(); // zero question: No
        QVERIFY(!d->isVisible() && d->result() == QDialog::Rejected);
        QCOMPARE(d->amountField()->text(), QString("0")); // entries kept
        typeInto(d->amountField(), "3");
        d->okButton()->click(); // nothing to ask now
    });
    QVERIFY(recordExpense(shell, food));
    QCOMPARE(shell.questions.titles(), QStringList{"Zero Sum Transaction"});
    QCOMPARE(shell.model.transactions().back()->amount, Amount(-300));
}

void TestOpsTransactions::editExpenseAsksNothingAndKeepsDate() {
    FixedClock clock(march(2));
    FakeShell shell;
    Account* account = shell.account("Checking", 10000);
    AccountEnvelope* food = shell.envelope(shell.folder("Home"), "Food", 10000);
    AccountEnvelope* fuel = shell.envelope(nullptr, "Fuel", 10000);
    const Transaction* t = createTransaction(shell.model, TransactionType::Expense, -2500,
                                             account->id(), kNoId, food->id(), "Shop", "old");
    applyTransaction(shell.model, *t, false);
    QCOMPARE(account->getBalance(), Amount(7500));

    FixedClock later(march(20));
    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        QCOMPARE(d->amountField()->text(), money(2500));
        QCOMPARE(d->envelopeField()->currentText(), QString("Food"));
        typeInto(d->amountField(), "0");
        typeInto(d->payeeField(), "");
        selectText(d->envelopeField(), "Fuel");
        typeInto(d->descriptionField(), "new");
        d->okButton()->click();
    });
    QVERIFY(editTransaction(shell, t));
    QCOMPARE(shell.questions.records.size(), 0);
    QCOMPARE(t->amount, Amount(0));
    QCOMPARE(t->payee, QString());
    QCOMPARE(t->description, QString("new"));
    QCOMPARE(t->category, fuel->id());
    QCOMPARE(t->transactionTime.day, quint16(2));
    QCOMPARE(account->getBalance(), Amount(10000));
    QCOMPARE(food->getBalance(), Amount(10000));
}

void TestOpsTransactions::expenseByKeyboardOnly() {
    FakeShell shell;
    shell.account("Checking", 100000);
    AccountEnvelope* food = shell.envelope(shell.folder("Home"), "Food", 100000);
    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d));
        d->activateWindow();
        QTRY_COMPARE(QApplication::focusWidget(), d->amountField());
        QTest::keyClicks(QApplication::focusWidget(), "12.5"); // replaces the selected text
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), "Baker");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    QVERIFY(recordExpense(shell, food));
    QCOMPARE(shell.model.transactions().back()->amount, Amount(-1250));
    QCOMPARE(shell.model.transactions().back()->payee, QString("Baker"));
}

void TestOpsTransactions::editExpenseKeepsHiddenAccount() {
    FakeShell shell;
    Account* old = shell.account("Old", 10000);
    shell.account("Newer", 10000);
    AccountEnvelope* food = shell.envelope(shell.folder("Home"), "Food", 10000);
    const Transaction* t = createTransaction(shell.model, TransactionType::Expense, -1000,
                                             old->id(), kNoId, food->id(), "Shop", "");
    applyTransaction(shell.model, *t, false);
    old->setHidden(true);

    driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
        QCOMPARE(d->accountField()->currentText(), QString("Old"));
        typeInto(d->descriptionField(), "typo fixed");
        d->okButton()->click();
    });
    QVERIFY(editTransaction(shell, t));
    QCOMPARE(t->accountFrom, old->id());
    QCOMPARE(old->getBalance(), Amount(9000));
}

void TestOpsTransactions::depositRecordsAsTyped() {
    FakeShell shell;
    Account* checking = shell.account("Checking", 1000);
    shell.account("Visa", 0, true);
    QStringList listed;
    driveDialogs<DepositDialog>([&](DepositDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Deposit"));
        QCOMPARE(d->accountField()->currentText(), QString("Checking"));
        for (int i = 0; i < d->accountField()->count(); ++i)
            listed << d->accountField()->itemText(i);
        QVERIFY(d->okButton()->isEnabled());
        typeInto(d->amountField(), "-20");
        typeInto(d->payerField(), "Employer");
        d->okButton()->click();
    });
    QVERIFY(recordDeposit(shell, checking));
    QCOMPARE(listed, QStringList{"Checking"});
    QCOMPARE(shell.calls, (QStringList{"help About Deposits", "restoreHelp"}));
    const Transaction& t = *shell.model.transactions().back();
    QCOMPARE(t.type, TransactionType::Deposit);
    QCOMPARE(t.amount, Amount(-2000));
    QCOMPARE(t.accountFrom, kNoId);
    QCOMPARE(t.accountTo, checking->id());
    QCOMPARE(t.category, kNoId);
    QCOMPARE(t.payee, QString("Employer"));
    QCOMPARE(checking->getBalance(), Amount(-1000));
}

void TestOpsTransactions::depositNeedsAnAccount() {
    FakeShell shell;
    Account* checking = shell.account("Checking", 0);
    checking->setHidden(true);
    driveDialogs<DepositDialog>([&](DepositDialog* d) {
        QCOMPARE(d->accountField()->count(), 0);
        QVERIFY(!d->okButton()->isEnabled());
        d->okButton()->click();
    });
    QVERIFY(!recordDeposit(shell, checking));
    QCOMPARE(shell.model.transactions().size(), std::size_t(0));
}

void TestOpsTransactions::editDepositMovesToOtherAccount() {
    FakeShell shell;
    Account* a = shell.account("A", 0);
    Account* b = shell.account("B", 0);
    const Transaction* t = createTransaction(shell.model, TransactionType::Deposit, 5000, kNoId,
                                             a->id(), kNoId, "Boss", "pay");
    applyTransaction(shell.model, *t, false);
    driveDialogs<DepositDialog>([&](DepositDialog* d) {
        QCOMPARE(d->amountField()->text(), money(5000));
        QCOMPARE(d->payerField()->currentText(), QString("Boss"));
        selectText(d->accountField(), "B");
        typeInto(d->amountField(), "60");
        d->okButton()->click();
    });
    QVERIFY(editTransaction(shell, t));
    QCOMPARE(a->getBalance(), Amount(0));
    QCOMPARE(b->getBalance(), Amount(6000));
    QCOMPARE(t->accountTo, b->id());
}

void TestOpsTransactions::transferRefusedWithoutTwoOrdinaryAccounts() {
    FakeShell shell;
    Account* checking = shell.account("Checking", 0);
    shell.account("Visa", 0, true);
    shell.account("Amex", 0, true);
    bool opened = false;
    driveDialogs<TransferDialog>([&](TransferDialog*) { opened = true; });
    QVERIFY(!recordTransfer(shell, checking));
    QVERIFY(!opened);
    QCOMPARE(shell.questions.records.size(), 1);
    QCOMPARE(shell.questions.records[0].title, QString("Transfer"));
    QCOMPARE(shell.questions.records[0].text,
             QString("You must have two or more accounts to perform a transfer"));
    QCOMPARE(shell.questions.records[0].icon, PromptIcon::None);
}

void TestOpsTransactions::transferCountsOrdinaryAccountsOfAnyState_data() {
    QTest::addColumn<int>("ordinary");
    QTest::addColumn<int>("hiddenOrdinary");
    QTest::addColumn<int>("cards");
    QTest::addColumn<bool>("opens");
    QTest::newRow("two and a card") << 2 << 0 << 1 << true;
    QTest::newRow("one and many cards") << 1 << 0 << 3 << false;
    QTest::newRow("one and a hidden one") << 1 << 1 << 0 << true;
}

void TestOpsTransactions::transferCountsOrdinaryAccountsOfAnyState() {
    QFETCH(int, ordinary);
    QFETCH(int, hiddenOrdinary);
    QFETCH(int, cards);
    QFETCH(bool, opens);
    FakeShell shell;
    Account* clicked = nullptr;
    for (int i = 0; i < ordinary; ++i)
        clicked = shell.account(QString("Bank %1").arg(i), 0);
    for (int i = 0; i < hiddenOrdinary; ++i)
        shell.account(QString("Old %1").arg(i), 0)->setHidden(true);
    for (int i = 0; i < cards; ++i)
        shell.account(QString("Card %1").arg(i), 0, true);
    bool opened = false;
    driveDialogs<TransferDialog>([&](TransferDialog* d) {
        opened = true;
        d->reject();
    });
    QVERIFY(!recordTransfer(shell, clicked));
    QCOMPARE(opened, opens);
    QCOMPARE(shell.questions.records.size(), opens ? 0 : 1);
}

void TestOpsTransactions::typedSigns_data() {
    QTest::addColumn<int>("kind"); // 0 deposit, 1 transfer, 2 card payment
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Amount>("recorded");
    QTest::newRow("deposit negative") << 0 << "-20" << -2000;
    QTest::newRow("transfer negative") << 1 << "-20" << -2000;
    QTest::newRow("transfer positive") << 1 << "20" << 2000;
    QTest::newRow("card payment positive") << 2 << "50" << -5000;
    QTest::newRow("card payment negative") << 2 << "-50" << -5000;
}

void TestOpsTransactions::typedSigns() {
    QFETCH(int, kind);
    QFETCH(QString, typed);
    QFETCH(Amount, recorded);
    FakeShell shell;
    Account* a = shell.account("A", 10000);
    shell.account("B", 10000);
    Account* visa = shell.account("Visa", -9000, true);
    DialogDriver::beforeExec = [&](QDialog* d) {
        QLineEdit* amount = d->findChildren<QLineEdit*>().value(0);
        typeInto(amount, typed);
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    };
    const bool done = kind == 0   ? recordDeposit(shell, a)
                      : kind == 1 ? recordTransfer(shell, a)
                                  : payCreditCard(shell, visa);
    QVERIFY(done);
    QCOMPARE(shell.questions.records.size(), 0);
    QCOMPARE(shell.model.transactions().back()->amount, recorded);
}

void TestOpsTransactions::transferDefaultsAndRecords() {
    FakeShell shell;
    Account* a = shell.account("A", 10000);
    Account* b = shell.account("B", 0);
    Account* c = shell.account("C", 0);
    shell.account("Visa", 0, true);
    driveDialogs<TransferDialog>([&](TransferDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Transfer"));
        QCOMPARE(d->fromField()->currentText(), QString("C"));
        QCOMPARE(d->toField()->currentText(), QString("B")); // highest id but the sender
        QVERIFY(d->warningLine()->isHidden());
        QVERIFY(d->okButton()->isEnabled());
        selectText(d->fromField(), "A");
        typeInto(d->amountField(), "40");
        d->okButton()->click();
    });
    QVERIFY(recordTransfer(shell, c));
    QCOMPARE(shell.questions.records.size(), 0);
    const Transaction& t = *shell.model.transactions().back();
    QCOMPARE(t.type, TransactionType::Transfer);
    QCOMPARE(t.payee, QString("Transfer"));
    QCOMPARE(t.accountFrom, a->id());
    QCOMPARE(t.accountTo, b->id());
    QCOMPARE(a->getBalance(), Amount(6000));
    QCOMPARE(b->getBalance(), Amount(4000));
}

void TestOpsTransactions::transferSameAccountDisablesOk() {
    FakeShell shell;
    Account* a = shell.account("A", 10000);
    shell.account("B", 0)->setHidden(true);
    driveDialogs<TransferDialog>([&](TransferDialog* d) {
        QCOMPARE(d->fromField()->currentText(), QString("A"));
        QCOMPARE(d->toField()->currentText(), QString("A"));
        QVERIFY(!d->warningLine()->isHidden());
        QCOMPARE(d->warningLine()->text(),
                 QString("Warning: The 'from' and 'to' accounts must be different."));
        QVERIFY(!d->okButton()->isEnabled());
        d->okButton()->click();
    });
    QVERIFY(!recordTransfer(shell, a));
    QCOMPARE(shell.model.transactions().size(), std::size_t(0));
}

void TestOpsTransactions::transferNegativeQuestion() {
    FakeShell shell;
    Account* a = shell.account("A", 5000);
    shell.account("B", 0);
    shell.questions.answers = {false, true};
    int clicks = 0;
    driveDialogs<TransferDialog>([&](TransferDialog* d) {
        typeInto(d->amountField(), "100");
        d->okButton()->click();
        ++clicks;
        QCOMPARE(d->result(), int(QDialog::Rejected));
        d->okButton()->click();
        ++clicks;
    });
    QVERIFY(recordTransfer(shell, a));
    QCOMPARE(clicks, 2);
    QCOMPARE(shell.questions.titles(), (QStringList{"Negative Transfer", "Negative Transfer"}));
    QCOMPARE(shell.questions.records[0].text,
             "Account 'A' has a balance of " + money(5000) + " and the transfer amount is " +
                 money(10000) +
                 ". This original account's resulting balance will be negative. Proceed?");
    QCOMPARE(a->getBalance(), Amount(-5000));
}

void TestOpsTransactions::editTransferAsksAgainstCurrentBalance() {
    FakeShell shell;
    Account* a = shell.account("A", 15000);
    Account* b = shell.account("B", 0);
    const Transaction* t = createTransaction(shell.model, TransactionType::Transfer, 10000, a->id(),
                                             b->id(), kNoId, "Transfer", "");
    applyTransaction(shell.model, *t, false);
    QCOMPARE(a->getBalance(), Amount(5000));
    shell.questions.answers = {true};
    driveDialogs<TransferDialog>([&](TransferDialog* d) {
        QCOMPARE(d->fromField()->currentText(), QString("A"));
        QCOMPARE(d->toField()->currentText(), QString("B"));
        typeInto(d->amountField(), "50");
        d->okButton()->click(); // 50.00 is not above the balance: no question
        QCOMPARE(d->result(), int(QDialog::Accepted));
    });
    QVERIFY(editTransaction(shell, t));
    QCOMPARE(shell.questions.records.size(), 0);
    QCOMPARE(a->getBalance(), Amount(10000));

    driveDialogs<TransferDialog>([&](TransferDialog* d) {
        typeInto(d->amountField(), "100.01");
        d->okButton()->click();
    });
    QVERIFY(editTransaction(shell, t));
    QCOMPARE(shell.questions.titles(), QStringList{"Negative Transfer"});
    QCOMPARE(t->amount, Amount(10001));
    QCOMPARE(b->getBalance(), Amount(10001));
    QCOMPARE(t->payee, QString("Transfer"));
}

void TestOpsTransactions::cardPaymentRefusedWithoutOrdinaryAccount() {
    FakeShell shell;
    Account* visa = shell.account("Visa", -5000, true);
    QVERIFY(!payCreditCard(shell, visa));
    QCOMPARE(shell.questions.records.size(), 1);
    QCOMPARE(shell.questions.records[0].title, QString("Credit Card Payment"));
    QCOMPARE(shell.questions.records[0].text,
             QString("You must have at least one non-credit card account to make this payment"));
    QCOMPARE(shell.questions.records[0].icon, PromptIcon::None);
}

void TestOpsTransactions::cardPaymentProposesDebtAndIgnoresSign() {
    FakeShell shell;
    Account* checking = shell.account("Checking", 100000);
    Account* visa = shell.account("Visa", -12345, true);
    ensureCardChargesEnvelope(shell.model, visa);
    AccountEnvelope* charges = shell.model.findEnvelope(kChargesEnvelopeId);
    charges->adjustBalance(12345);
    driveDialogs<CardPaymentDialog>([&](CardPaymentDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Pay Credit Card"));
        QCOMPARE(d->amountField()->text(), money(12345));
        QCOMPARE(d->cardField()->text(), QString("Visa"));
        QCOMPARE(d->envelopeField()->text(), QString("Credit card charges"));
        QVERIFY(d->cardField()->isReadOnly());
        QCOMPARE(d->payFromField()->currentText(), QString("Checking"));
        typeInto(d->amountField(), "-50");
        d->okButton()->click();
    });
    QVERIFY(payCreditCard(shell, visa));
    const Transaction& t = *shell.model.transactions().back();
    QCOMPARE(t.type, TransactionType::CCPayment);
    QCOMPARE(t.amount, Amount(-5000));
    QCOMPARE(t.accountFrom, checking->id());
    QCOMPARE(t.accountTo, visa->id());
    QCOMPARE(t.category, kChargesEnvelopeId);
    QCOMPARE(t.payee, QString("Visa"));
    QCOMPARE(checking->getBalance(), Amount(95000));
    QCOMPARE(visa->getBalance(), Amount(-7345));
    QCOMPARE(charges->getBalance(), Amount(7345));
}

void TestOpsTransactions::cardPaymentNeedsPayingAccount() {
    FakeShell shell;
    shell.account("Checking", 100000)->setHidden(true);
    Account* visa = shell.account("Visa", -5000, true);
    driveDialogs<CardPaymentDialog>([&](CardPaymentDialog* d) {
        QCOMPARE(d->payFromField()->count(), 0);
        QVERIFY(!d->okButton()->isEnabled());
        d->okButton()->click();
    });
    QVERIFY(!payCreditCard(shell, visa));
    QCOMPARE(visa->getBalance(), Amount(-5000));
}

void TestOpsTransactions::editCardPaymentChangesPayingAccount() {
    FakeShell shell;
    Account* a = shell.account("A", 10000);
    Account* b = shell.account("B", 10000);
    Account* visa = shell.account("Visa", -5000, true);
    const Transaction* t = createTransaction(shell.model, TransactionType::CCPayment, -2000,
                                             a->id(), visa->id(), kChargesEnvelopeId, "Visa", "");
    applyTransaction(shell.model, *t, false);
    driveDialogs<CardPaymentDialog>([&](CardPaymentDialog* d) {
        QCOMPARE(d->amountField()->text(), money(2000));
        QCOMPARE(d->payFromField()->currentText(), QString("A"));
        selectText(d->payFromField(), "B");
        d->okButton()->click();
    });
    QVERIFY(editTransaction(shell, t));
    QCOMPARE(a->getBalance(), Amount(10000));
    QCOMPARE(b->getBalance(), Amount(8000));
    QCOMPARE(visa->getBalance(), Amount(-3000));
    QCOMPARE(t->accountTo, visa->id());
    QCOMPARE(t->payee, QString("Visa"));
}

QTEST_MAIN(TestOpsTransactions)
#include "test_ops_transactions.moc"
