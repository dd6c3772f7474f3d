// Funding envelopes and folders, and the account, folder and envelope settings commands.

#include "app/fundingdialogs.h"
#include "app/operations.h"
#include "app/operations_logic.h"
#include "app/pickers.h"
#include "app/settingsdialogs.h"
#include "fakeshell.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {
QString money(Amount a) {
    return formatAmount(a, true);
}

void typeInto(QLineEdit* field, const QString& text) {
    field->clear();
    QTest::keyClicks(field, text);
}
} // namespace

class TestOpsItems : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { DialogDriver::beforeExec = nullptr; }

    void fundEnvelopeChoices_data();
    void fundEnvelopeChoices();
    void fundEnvelopeArbitraryRecomputesLive();
    void fundEnvelopeCancelChangesNothing();
    void fundFolderSummaryAndEffect();
    void availableDollarsCountsOnlyInBudgetNonCards();

    void addAccountInOrder();
    void cardBoxClearsInBudget();
    void cardBalanceQuestion_data();
    void cardBalanceQuestion();
    void secondCardReusesChargesEnvelope();
    void existingCardsFolderIsReused();
    void untickingLastCardRetiresChargesEnvelope();
    void untickingWithAnotherCardKeepsEnvelope();
    void accountNameRequired();

    void addFolderAndEdit();
    void addEnvelopeFieldsAndOrder();
    void envelopeGoalBoxRules();
    void editEnvelopeWithoutAccountTakesFirst();
    void chargesEnvelopeGoalBoxDisabled();
    void negativeTypedLimitsAreMagnitudes_data();
    void negativeTypedLimitsAreMagnitudes();
};

void TestOpsItems::fundEnvelopeChoices_data() {
    QTest::addColumn<Amount>("budgeted");
    QTest::addColumn<Amount>("balance");
    QTest::addColumn<Amount>("goal");
    QTest::addColumn<int>("preselected"); // 0 add, 1 set, 2 arbitrary
    QTest::addColumn<Amount>("shownNew");
    QTest::addColumn<Amount>("addNew"); // new balance after clicking "Add budgeted amount"
    QTest::addColumn<bool>("addFieldsEnabled");

    QTest::newRow("ordinary") << -20000 << 5000 << 0 << 1 << 20000 << 25000 << true;
    QTest::newRow("savings goal") << -10000 << 30000 << 100000 << 0 << 40000 << 40000 << true;
    QTest::newRow("no budget") << 0 << 700 << 0 << 2 << 0 << 700 << false;
    QTest::newRow("over funded") << -5000 << 8000 << 0 << 1 << 5000 << 13000 << true;
}

void TestOpsItems::fundEnvelopeChoices() {
    QFETCH(Amount, budgeted);
    QFETCH(Amount, balance);
    QFETCH(Amount, goal);
    QFETCH(int, preselected);
    QFETCH(Amount, shownNew);
    QFETCH(Amount, addNew);
    QFETCH(bool, addFieldsEnabled);

    FakeShell shell;
    AccountEnvelope* e = shell.envelope(shell.folder("F"), "E", balance, budgeted);
    e->setSavingsGoal(goal);
    driveDialogs<FundEnvelopeDialog>([&](FundEnvelopeDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Fund Envelope"));
        const QRadioButton* choices[] = {d->addBudgetedChoice(), d->setToBudgetedChoice(),
                                         d->arbitraryChoice()};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(choices[i]->isChecked(), i == preselected);
        QCOMPARE(d->addBudgetedField()->text(), money(-budgeted));
        QCOMPARE(d->setToBudgetedField()->text(), money(-budgeted - balance));
        QCOMPARE(d->addBudgetedField()->isEnabled(), addFieldsEnabled);
        QCOMPARE(d->setToBudgetedField()->isEnabled(), addFieldsEnabled);
        QCOMPARE(d->currentBalanceField()->text(), money(balance));
        QCOMPARE(d->arbitraryField()->text(), money(0));
        QCOMPARE(d->newBalanceField()->text(), money(shownNew));
        QTest::mouseClick(d->addBudgetedChoice(), Qt::LeftButton);
        QCOMPARE(d->newBalanceField()->text(), money(addNew));
        d->okButton()->click();
    });
    QVERIFY(fundEnvelope(shell, e));
    QCOMPARE(e->getBalance(), addNew);
    QCOMPARE(shell.calls, (QStringList{"help About Envelope Funding", "restoreHelp"}));
    QCOMPARE(shell.helpBody.size(), 2);
}

void TestOpsItems::fundEnvelopeArbitraryRecomputesLive() {
    FakeShell shell;
    AccountEnvelope* e = shell.envelope(shell.folder("F"), "E", 5000, -20000);
    driveDialogs<FundEnvelopeDialog>([&](FundEnvelopeDialog* d) {
        QTest::mouseClick(d->arbitraryChoice(), Qt::LeftButton);
        QCOMPARE(d->newBalanceField()->text(), money(0));
        typeInto(d->arbitraryField(), "12.34");
        QCOMPARE(d->newBalanceField()->text(), money(1234));
        typeInto(d->arbitraryField(), "-3");
        // What will happen: an envelope never holds less than nothing.
        QCOMPARE(d->newBalanceField()->text(), money(0));
        d->okButton()->click();
    });
    QVERIFY(fundEnvelope(shell, e));
    QCOMPARE(e->getBalance(), Amount(0)); // never below zero
}

void TestOpsItems::fundEnvelopeCancelChangesNothing() {
    FakeShell shell;
    AccountEnvelope* e = shell.envelope(shell.folder("F"), "E", 5000, -20000);
    driveDialogs<FundEnvelopeDialog>([](FundEnvelopeDialog* d) { d->reject(); });
    QVERIFY(!fundEnvelope(shell, e));
    QCOMPARE(e->getBalance(), Amount(5000));
    QVERIFY(!fundEnvelope(shell, shell.folder("not an envelope")));
}

void TestOpsItems::fundFolderSummaryAndEffect() {
    FakeShell shell;
    shell.account("Checking", 100000);
    AccountGroup* f = shell.folder("Bills");
    AccountEnvelope* over = shell.envelope(f, "Over", 8000, -5000);
    AccountEnvelope* goal = shell.envelope(f, "Goal", 30000, -10000);
    goal->setSavingsGoal(100000);
    AccountEnvelope* hidden = shell.envelope(f, "Hidden", 0, -2500);
    hidden->setHidden(true);
    AccountEnvelope* elsewhere = shell.envelope(shell.folder("Other"), "Elsewhere", 1000);

    // Available: 1000.00 - (80 + 300 + 0 + 10) = 610.00; cost: (50 - 80) + 100 + 25 = 95.00
    QCOMPARE(availableDollars(shell.model), Amount(61000));
    QCOMPARE(costToFullyFund(*f), Amount(9500));
    QString summary;
    driveDialogs<FundEnvelopesDialog>([&](FundEnvelopesDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Fund Envelopes"));
        summary = d->summaryLabel()->text();
        d->okButton()->click();
    });
    QVERIFY(fundFolder(shell, f));
    QCOMPARE(summary,
             "Available dollars: " + money(61000) + "\nCost to fully fund: " + money(9500) + "\n");
    QCOMPARE(over->getBalance(), Amount(5000));
    QCOMPARE(goal->getBalance(), Amount(40000));
    QCOMPARE(hidden->getBalance(), Amount(2500));
    QCOMPARE(elsewhere->getBalance(), Amount(1000));
    QCOMPARE(shell.windowCalls(), QStringList{});
}

void TestOpsItems::availableDollarsCountsOnlyInBudgetNonCards() {
    FakeShell shell;
    shell.account("Checking", 100000);
    shell.account("Visa", 50000, true)->setContributesToBudget(true);
    shell.account("Savings", 700000)->setContributesToBudget(false);
    Account* hidden = shell.account("Hidden", 2000);
    hidden->setHidden(true);
    QCOMPARE(availableDollars(shell.model), Amount(102000));
}

void TestOpsItems::addAccountInOrder() {
    FakeShell shell;
    shell.account("Existing", 0);
    driveDialogs<AccountSettingsDialog>([&](AccountSettingsDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Account Settings"));
        QVERIFY(d->inBudgetBox()->isChecked());
        QVERIFY(!d->creditCardBox()->isChecked());
        QCOMPARE(d->balanceField()->text(), money(0));
        QTest::keyClicks(d->nameField(), "Savings");
        typeInto(d->balanceField(), "$1,234.50");
        QTest::mouseClick(d->inBudgetBox(), Qt::LeftButton);
        d->okButton()->click();
    });
    QVERIFY(addAccount(shell));
    Account* a = shell.model.accountOrder().back();
    QCOMPARE(a->getName(), QString("Savings"));
    QCOMPARE(a->getBalance(), Amount(123450));
    QVERIFY(!a->contributesToBudget());
    QVERIFY(!a->isCCAccount());
    QCOMPARE(shell.calls, (QStringList{"help About Accounts", "restoreHelp",
                                       QString("showItem %1").arg(a->id())}));
    QCOMPARE(shell.helpBody.size(), 5);
}

void TestOpsItems::cardBoxClearsInBudget() {
    FakeShell shell;
    driveDialogs<AccountSettingsDialog>([&](AccountSettingsDialog* d) {
        QTest::keyClicks(d->nameField(), "Visa");
        QTest::mouseClick(d->creditCardBox(), Qt::LeftButton);
        QVERIFY(!d->inBudgetBox()->isChecked());
        QVERIFY(!d->inBudgetBox()->isEnabled());
        QTest::mouseClick(d->creditCardBox(), Qt::LeftButton);
        QVERIFY(d->inBudgetBox()->isEnabled());
        QVERIFY(!d->inBudgetBox()->isChecked()); // cleared stays cleared
        QTest::mouseClick(d->creditCardBox(), Qt::LeftButton);
        d->okButton()->click();
    });
    QVERIFY(addAccount(shell));
    Account* visa = shell.model.accountOrder().back();
    QVERIFY(visa->isCCAccount());
    QVERIFY(!visa->contributesToBudget());
    AccountEnvelope* charges = shell.model.findEnvelope(kChargesEnvelopeId);
    QVERIFY(charges);
    AccountGroup* folder = charges->getParent();
    QVERIFY(folder);
    QCOMPARE(folder->getName(), QString("Credit cards"));
    QVERIFY(folder->isReadOnly());
    QCOMPARE(charges->defaultPayToAccount(), visa->id());
    QCOMPARE(shell.windowCalls(), (QStringList{QString("showItem %1").arg(folder->id()),
                                               QString("showItem %1").arg(visa->id())}));
}

void TestOpsItems::cardBalanceQuestion_data() {
    QTest::addColumn<QString>("balance");
    QTest::addColumn<bool>("card");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<int>("asked");
    QTest::addColumn<bool>("saved");
    QTest::newRow("card at zero") << "0" << true << QList<bool>{} << 0 << true;
    QTest::newRow("card in debt") << "-12" << true << QList<bool>{} << 0 << true;
    QTest::newRow("card positive yes") << "12" << true << QList<bool>{true} << 1 << true;
    QTest::newRow("card positive no") << "12" << true << QList<bool>{false} << 1 << false;
    QTest::newRow("ordinary positive") << "12" << false << QList<bool>{} << 0 << true;
}

void TestOpsItems::cardBalanceQuestion() {
    QFETCH(QString, balance);
    QFETCH(bool, card);
    QFETCH(QList<bool>, answers);
    QFETCH(int, asked);
    QFETCH(bool, saved);
    FakeShell shell;
    shell.questions.answers = answers;
    driveDialogs<AccountSettingsDialog>([&](AccountSettingsDialog* d) {
        QTest::keyClicks(d->nameField(), "Visa");
        typeInto(d->balanceField(), balance);
        d->creditCardBox()->setChecked(card);
        d->okButton()->click();
    });
    QCOMPARE(addAccount(shell), saved);
    QCOMPARE(shell.questions.records.size(), asked);
    if (asked) {
        QCOMPARE(shell.questions.records[0].title, QString("Confirm Balance"));
        QCOMPARE(shell.questions.records[0].text,
                 QString("Balances on credit cards are usually zero or negative. The balance for "
                         "this credit card is positive. Is that intended?"));
    }
}

void TestOpsItems::secondCardReusesChargesEnvelope() {
    FakeShell shell;
    for (const char* name : {"Visa", "Amex"}) {
        driveDialogs<AccountSettingsDialog>([&](AccountSettingsDialog* d) {
            QTest::keyClicks(d->nameField(), name);
            d->creditCardBox()->setChecked(true);
            d->okButton()->click();
        });
        QVERIFY(addAccount(shell));
    }
    QCOMPARE(shell.model.itemsOfType(ItemType::Envelope).size(), std::size_t(1));
    QCOMPARE(shell.model.itemsOfType(ItemType::Folder).size(), std::size_t(1));
    QCOMPARE(shell.model.findEnvelope(kChargesEnvelopeId)->defaultPayToAccount(),
             shell.model.accountOrder().front()->id());
    // The second card brings nothing new on screen but its own row.
    QCOMPARE(shell.windowCalls().filter("showItem").size(), 3);
}

void TestOpsItems::existingCardsFolderIsReused() {
    FakeShell shell;
    AccountGroup* mine = shell.folder("CREDIT CARDS");
    Account* visa = shell.account("Visa", 0);
    driveDialogs<AccountSettingsDialog>([&](AccountSettingsDialog* d) {
        QCOMPARE(d->nameField()->text(), QString("Visa"));
        d->creditCardBox()->setChecked(true);
        d->okButton()->click();
    });
    QVERIFY(editAccount(shell, visa));
    QCOMPARE(shell.model.findEnvelope(kChargesEnvelopeId)->getParent(), mine);
    QVERIFY(mine->isReadOnly());
    QCOMPARE(shell.windowCalls(), (QStringList{QString("showItem %1").arg(kChargesEnvelopeId)}));
}

void TestOpsItems::untickingLastCardRetiresChargesEnvelope() {
    FakeShell shell;
    Account* visa = shell.account("Visa", -5000, true);
    ensureCardChargesEnvelope(shell.model, visa);
    AccountEnvelope* charges = shell.model.findEnvelope(kChargesEnvelopeId);
    charges->adjustBalance(5000);
    AccountGroup* folder = charges->getParent();
    driveDialogs<AccountSettingsDialog>([&](AccountSettingsDialog* d) {
        QVERIFY(d->creditCardBox()->isChecked());
        QCOMPARE(d->balanceField()->text(), money(-5000));
        typeInto(d->balanceField(), "-70");
        d->creditCardBox()->setChecked(false);
        d->okButton()->click();
    });
    QVERIFY(editAccount(shell, visa));
    QVERIFY(!visa->isCCAccount());
    QCOMPARE(visa->getBalance(), Amount(-7000));
    QCOMPARE(shell.model.transactions().size(), std::size_t(0));
    QVERIFY(charges->isHidden());
    QVERIFY(folder->isHidden());
    QCOMPARE(charges->getBalance(), Amount(0));
    QCOMPARE(shell.windowCalls(), (QStringList{QString("removeItem %1").arg(folder->id())}));
}

void TestOpsItems::untickingWithAnotherCardKeepsEnvelope() {
    FakeShell shell;
    Account* visa = shell.account("Visa", 0, true);
    Account* amex = shell.account("Amex", 0, true);
    ensureCardChargesEnvelope(shell.model, visa);
    ensureCardChargesEnvelope(shell.model, amex);
    driveDialogs<AccountSettingsDialog>([&](AccountSettingsDialog* d) {
        d->creditCardBox()->setChecked(false);
        d->okButton()->click();
    });
    QVERIFY(editAccount(shell, visa));
    QVERIFY(!shell.model.findEnvelope(kChargesEnvelopeId)->isHidden());
    QCOMPARE(shell.windowCalls().filter("removeItem").size(), 0);
}

void TestOpsItems::accountNameRequired() {
    FakeShell shell;
    driveDialogs<AccountSettingsDialog>([&](AccountSettingsDialog* d) {
        QVERIFY(!d->okButton()->isEnabled());
        QTest::keyClicks(d->nameField(), "x");
        QVERIFY(d->okButton()->isEnabled());
        QTest::keyClick(d->nameField(), Qt::Key_Backspace);
        QVERIFY(!d->okButton()->isEnabled());
        d->okButton()->click();
    });
    QVERIFY(!addAccount(shell));
    QCOMPARE(shell.model.itemsOfType(ItemType::Account).size(), std::size_t(0));
}

void TestOpsItems::addFolderAndEdit() {
    FakeShell shell;
    shell.folder("First");
    driveDialogs<FolderDialog>([&](FolderDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Folder"));
        QVERIFY(!d->okButton()->isEnabled());
        QTest::keyClicks(d->nameField(), "Paycheck");
        typeInto(d->limitField(), "1500");
        d->show(); // the default button answers Enter only on screen
        QTest::keyClick(d->nameField(), Qt::Key_Return);
    });
    QVERIFY(addFolder(shell));
    AccountGroup* f = shell.model.folderOrder().back();
    QCOMPARE(f->getName(), QString("Paycheck"));
    QCOMPARE(f->expenseLimit(), Amount(-150000));
    QCOMPARE(shell.windowCalls(), (QStringList{QString("showItem %1").arg(f->id())}));

    shell.calls.clear();
    driveDialogs<FolderDialog>([&](FolderDialog* d) {
        QCOMPARE(d->limitField()->text(), money(150000));
        QCOMPARE(d->nameField()->text(), QString("Paycheck"));
        typeInto(d->nameField(), "Paycheck 1");
        d->okButton()->click();
    });
    QVERIFY(editFolder(shell, f));
    QCOMPARE(f->getName(), QString("Paycheck 1"));
    QCOMPARE(f->expenseLimit(), Amount(-150000));
    QCOMPARE(shell.windowCalls(), QStringList{});

    driveDialogs<FolderDialog>([&](FolderDialog* d) {
        d->show();
        typeInto(d->nameField(), "ignored");
        QTest::keyClick(d->nameField(), Qt::Key_Escape);
        QVERIFY(!d->isVisible());
    });
    QVERIFY(!editFolder(shell, f));
    QCOMPARE(f->getName(), QString("Paycheck 1"));
}

void TestOpsItems::addEnvelopeFieldsAndOrder() {
    FakeShell shell;
    shell.account("Zed", 0);
    Account* hidden = shell.account("hidden one", 0);
    hidden->setHidden(true);
    AccountGroup* f = shell.folder("Bills");
    AccountEnvelope* first = shell.envelope(f, "First", 0);
    QStringList listed;
    driveDialogs<EnvelopeDialog>([&](EnvelopeDialog* d) {
        QCOMPARE(d->windowTitle(), QString("Envelope"));
        for (int i = 0; i < d->accountField()->count(); ++i)
            listed << d->accountField()->itemText(i);
        QCOMPARE(d->accountField()->currentText(), QString("hidden one"));
        QVERIFY(!d->goalBox()->isChecked());
        QVERIFY(!d->goalField()->isEnabled());
        QVERIFY(d->goalField()->text().isEmpty());
        QTest::keyClicks(d->nameField(), "Rent");
        typeInto(d->budgetField(), "250.00");
        QTest::keyClicks(d->payeeField()->lineEdit(), "Landlord");
        typeInto(d->amountField(), "-900");
        selectItemId(d->accountField(), 0);
        d->okButton()->click();
    });
    QVERIFY(addEnvelope(shell, f));
    QCOMPARE(listed, (QStringList{"hidden one", "Zed"}));
    QCOMPARE(f->children().size(), std::size_t(2));
    QCOMPARE(f->children().front(), first);
    auto* rent = static_cast<AccountEnvelope*>(f->children().back());
    QCOMPARE(rent->getName(), QString("Rent"));
    QCOMPARE(rent->getBudgeted(), Amount(-25000));
    QCOMPARE(rent->defaultPayee(), QString("Landlord"));
    QCOMPARE(rent->defaultAmount(), Amount(-90000));
    QCOMPARE(rent->defaultPayFromAccount(), ItemId(0));
    QCOMPARE(rent->savingsGoal(), Amount(0));
    QVERIFY(rent->virtualAccount());
    QVERIFY(rent->isExpense());
    QCOMPARE(shell.windowCalls(), QStringList{QString("showItem %1").arg(rent->id())});

    // Shown again as typed.
    driveDialogs<EnvelopeDialog>([&](EnvelopeDialog* d) {
        QCOMPARE(d->budgetField()->text(), money(25000));
        QCOMPARE(d->amountField()->text(), money(90000));
        QCOMPARE(d->payeeField()->currentText(), QString("Landlord"));
        QCOMPARE(d->accountField()->currentText(), QString("Zed"));
        d->reject();
    });
    QVERIFY(!editEnvelope(shell, rent));
}

void TestOpsItems::envelopeGoalBoxRules() {
    FakeShell shell;
    AccountEnvelope* e = shell.envelope(shell.folder("F"), "Car", 0, -5000);
    e->setSavingsGoal(120000);
    driveDialogs<EnvelopeDialog>([&](EnvelopeDialog* d) {
        QVERIFY(d->goalBox()->isChecked());
        QVERIFY(d->goalField()->isEnabled());
        QCOMPARE(d->goalField()->text(), money(120000));
        d->goalField()->clear();
        QVERIFY(!d->okButton()->isEnabled());
        QTest::keyClicks(d->goalField(), "2000");
        QVERIFY(d->okButton()->isEnabled());
        d->nameField()->clear();
        QVERIFY(!d->okButton()->isEnabled());
        QTest::keyClicks(d->nameField(), "Car fund");
        d->okButton()->click();
    });
    QVERIFY(editEnvelope(shell, e));
    QCOMPARE(e->savingsGoal(), Amount(200000));
    QCOMPARE(e->getName(), QString("Car fund"));
    QCOMPARE(shell.windowCalls(), QStringList{});

    driveDialogs<EnvelopeDialog>([&](EnvelopeDialog* d) {
        QTest::mouseClick(d->goalBox(), Qt::LeftButton);
        QVERIFY(!d->goalField()->isEnabled());
        QVERIFY(d->okButton()->isEnabled());
        d->okButton()->click();
    });
    QVERIFY(editEnvelope(shell, e));
    QCOMPARE(e->savingsGoal(), Amount(0));
}

void TestOpsItems::editEnvelopeWithoutAccountTakesFirst() {
    FakeShell shell;
    shell.account("bravo", 0);
    Account* alpha = shell.account("Alpha", 0);
    AccountEnvelope* e = shell.envelope(shell.folder("F"), "E", 0);
    driveDialogs<EnvelopeDialog>([&](EnvelopeDialog* d) { d->okButton()->click(); });
    QVERIFY(editEnvelope(shell, e));
    QCOMPARE(e->defaultPayFromAccount(), alpha->id());
}

void TestOpsItems::chargesEnvelopeGoalBoxDisabled() {
    FakeShell shell;
    Account* visa = shell.account("Visa", 0, true);
    ensureCardChargesEnvelope(shell.model, visa);
    driveDialogs<EnvelopeDialog>([&](EnvelopeDialog* d) {
        QVERIFY(!d->goalBox()->isEnabled());
        QVERIFY(!d->goalField()->isEnabled());
        d->okButton()->click();
    });
    QVERIFY(editEnvelope(shell, shell.model.findEnvelope(kChargesEnvelopeId)));
    QCOMPARE(shell.model.findEnvelope(kChargesEnvelopeId)->savingsGoal(), Amount(0));
}

// Limits, budgets and goals are amounts of money, not directions: a typed "-" must not
// turn a limit of 500 into one of -500 stored with the opposite sign.
void TestOpsItems::negativeTypedLimitsAreMagnitudes_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Amount>("stored");
    for (const char* typed : {"-500", "500", "(500.00)"}) {
        QTest::newRow(qPrintable(QString("limit ") + typed)) << "limit" << typed << -50000;
        QTest::newRow(qPrintable(QString("budget ") + typed)) << "budget" << typed << -50000;
        QTest::newRow(qPrintable(QString("goal ") + typed)) << "goal" << typed << 50000;
    }
}

void TestOpsItems::negativeTypedLimitsAreMagnitudes() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(Amount, stored);
    FakeShell shell;
    AccountGroup* folder = shell.folder("Bills");
    if (field == "limit") {
        driveDialogs<FolderDialog>([&](FolderDialog* d) {
            typeInto(d->limitField(), typed);
            d->okButton()->click();
        });
        QVERIFY(editFolder(shell, folder));
        QCOMPARE(folder->expenseLimit(), stored);
        return;
    }
    AccountEnvelope* e = shell.envelope(folder, "Rent", 0);
    driveDialogs<EnvelopeDialog>([&](EnvelopeDialog* d) {
        if (field == "goal") {
            d->goalBox()->setChecked(true);
            typeInto(d->goalField(), typed);
        } else {
            typeInto(d->budgetField(), typed);
        }
        d->okButton()->click();
    });
    QVERIFY(editEnvelope(shell, e));
    QCOMPARE(field == "goal" ? e->savingsGoal() : e->getBudgeted(), stored);
}

QTEST_MAIN(TestOpsItems)
#include "test_ops_items.moc"
