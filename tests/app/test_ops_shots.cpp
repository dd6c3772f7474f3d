// Every operation dialog at its natural size: nothing cut off, the first field focused, and
// a picture of each in <build>/shots for a look by eye.

#include "app/fundingdialogs.h"
#include "app/moneydialogs.h"
#include "app/pickers.h"
#include "app/settingsdialogs.h"
#include "app/transactiondialog.h"
#include "fakeshell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <memory>

class TestOpsShots : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void dialogs_data();
    void dialogs();

private:
    FakeShell shell_;
    QString folder_;
};

void TestOpsShots::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    folder_ = QCoreApplication::applicationDirPath() + "/../../shots";
    QDir().mkpath(folder_);

    Account* checking = shell_.account("Everyday checking", 254321);
    shell_.account("Rainy-day savings", 1200000);
    Account* visa = shell_.account("Visa", -45678, true);
    ensureCardChargesEnvelope(shell_.model, visa);
    AccountGroup* bills = shell_.folder("Monthly bills");
    AccountEnvelope* rent = shell_.envelope(bills, "Rent and utilities", 50000, -120000);
    rent->setDefaultPayee("Property management company");
    rent->setDefaultPayFromAccount(checking->id());
    rent->setDefaultAmount(-120000);
    shell_.envelope(bills, "Car insurance", 30000, -10000)->setSavingsGoal(60000);
    createTransaction(shell_.model, TransactionType::Expense, -1000, checking->id(), kNoId,
                      rent->id(), "Property management company", "");
}

void TestOpsShots::dialogs_data() {
    QTest::addColumn<int>("which");
    const char* names[] = {"transaction",  "deposit",       "transfer",   "paycard",
                           "fundenvelope", "fundenvelopes", "account",    "folder",
                           "envelope",     "movemoney",     "newenvelope"};
    for (int i = 0; i < 11; ++i)
        QTest::newRow(names[i]) << i;
}

void TestOpsShots::dialogs() {
    QFETCH(int, which);
    Budget& b = shell_.model;
    const auto accounts = pickableAccounts(b, false);
    auto* rent = static_cast<AccountEnvelope*>(b.folderOrder().back()->children().front());
    std::unique_ptr<QDialog> dialog;
    QWidget* first = nullptr;
    switch (which) {
    case 0: {
        ExpenseForm form{-120000, "Property management company", "", 0, rent->id(), true};
        auto* d = new TransactionDialog(b, shell_.questions, form);
        first = d->amountField();
        dialog.reset(d);
        break;
    }
    case 1: {
        auto* d = new DepositDialog(b, accounts, DepositForm{0, 150000, "Employer", "Salary"});
        first = d->amountField();
        dialog.reset(d);
        break;
    }
    case 2: {
        auto* d = new TransferDialog(b, shell_.questions, accounts, TransferForm{kNoId, 1, 0, ""});
        first = d->amountField();
        dialog.reset(d);
        break;
    }
    case 3: {
        auto* d = new CardPaymentDialog(b, accounts, CardPaymentForm{-45678, 2, "", kNoId});
        first = d->amountField();
        dialog.reset(d);
        break;
    }
    case 4: {
        auto* d = new FundEnvelopeDialog(*rent);
        first = d->setToBudgetedChoice();
        dialog.reset(d);
        break;
    }
    case 5:
        dialog.reset(new FundEnvelopesDialog(b, *b.folderOrder().back()));
        break;
    case 6: {
        auto* d =
            new AccountSettingsDialog(shell_.questions, AccountForm{-45678, "Visa", false, true});
        first = d->nameField();
        dialog.reset(d);
        break;
    }
    case 7: {
        auto* d = new FolderDialog(FolderForm{-250000, "Monthly bills"});
        first = d->nameField();
        dialog.reset(d);
        break;
    }
    case 8: {
        EnvelopeForm form{
            "Rent and utilities", 0, "Property management company", -120000, -120000, 0, false};
        auto* d = new EnvelopeDialog(b, form);
        first = d->nameField();
        dialog.reset(d);
        break;
    }
    case 9: {
        auto* d = new MoveMoneyDialog(b, shell_.questions, MoveMoneyForm{rent->id(), kNoId, 2500});
        first = d->toField();
        dialog.reset(d);
        break;
    }
    case 10: {
        EnvelopeForm form;
        for (const AccountGroup* folder : b.folderOrder())
            form.folders.push_back(folder->id());
        form.folder = b.folderOrder().back()->id();
        auto* d = new EnvelopeDialog(b, form);
        first = d->nameField();
        dialog.reset(d);
        break;
    }
    }
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->activateWindow();
    QCoreApplication::processEvents();
    if (first)
        QTRY_COMPARE(QApplication::focusWidget(), first);

    const QString file = QString("%1/%2.png").arg(folder_, QTest::currentDataTag());
    QVERIFY(dialog->grab().save(file));

    // Nothing cut off: every label, box and button gets at least the width it asks for.
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        auto* label = qobject_cast<QLabel*>(w);
        if (label && label->wordWrap()) {
            QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                     qPrintable(label->text()));
            continue;
        }
        if (label || qobject_cast<QAbstractButton*>(w))
            QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            const int room = edit->contentsRect().width() - 8;
            QVERIFY2(edit->fontMetrics().horizontalAdvance(edit->text()) <= room,
                     qPrintable(QString("%1 in %2").arg(edit->text()).arg(room)));
        }
    }
}

QTEST_MAIN(TestOpsShots)
#include "test_ops_shots.moc"
