// Dated entries, date edits and deletes through the real dialogs and operations.

#include "app/moneydialogs.h"
#include "app/operations.h"
#include "app/operations_logic.h"
#include "app/transactiondialog.h"
#include "fakeshell.h"
#include "model/clock.h"
#include "testdates.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
enum Kind { Expense, CardExpense, Deposit, Transfer, CardPayment };

struct Books {
    FakeShell shell;
    Account* checking;
    Account* savings;
    Account* visa;
    AccountEnvelope* food;
    AccountEnvelope* charges;
    Books() {
        checking = shell.account("Checking", 100000);
        savings = shell.account("Savings", 50000);
        visa = shell.account("Visa", 0, true);
        food = shell.envelope(shell.folder("Home"), "Food", 40000);
        ensureCardChargesEnvelope(shell.model, visa);
        charges = shell.model.findEnvelope(kChargesEnvelopeId);
        charges->setStoredBalance(5000); // a payment must not hit the envelope's floor
        for (int day : {5, 10, 15})
            createTransaction(shell.model, TransactionType::Expense, 0, checking->id(), kNoId,
                              food->id(), QString("Day %1").arg(day), "",
                              makeDate(2026, 3, day, 9));
    }
    // Opens the kind's dialog, sets its date and amount, presses OK. A typed date is typed
    // into the field entered with Tab from the field before it (or Shift+Tab from OK).
    bool record(Kind kind, const QDate& day, const QString& amount, const QString& typed = {},
                bool backwards = false) {
        auto fill = [&](auto* d) {
            d->amountField()->setText(amount);
            if (typed.isEmpty()) {
                d->dateField()->setDate(day);
            } else {
                d->show();
                QVERIFY(QTest::qWaitForWindowExposed(d));
                d->activateWindow();
                QWidget* from = backwards ? static_cast<QWidget*>(d->okButton())
                                          : static_cast<QWidget*>(d->descriptionField());
                from->setFocus();
                QTest::keyClick(from, backwards ? Qt::Key_Backtab : Qt::Key_Tab);
                QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d->dateField()));
                QTest::keyClicks(QApplication::focusWidget(), typed);
            }
            d->okButton()->click();
        };
        switch (kind) {
        case Expense:
        case CardExpense:
            driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
                const int i = d->accountField()->findText(kind == Expense ? "Checking" : "Visa",
                                                          Qt::MatchEndsWith);
                d->accountField()->setCurrentIndex(i);
                fill(d);
            });
            return recordExpense(shell, food);
        case Deposit:
            driveDialogs<DepositDialog>(fill);
            return recordDeposit(shell, checking);
        case Transfer:
            driveDialogs<TransferDialog>([&](TransferDialog* d) {
                d->toField()->setCurrentIndex(d->toField()->findText("Savings", Qt::MatchEndsWith));
                fill(d);
            });
            return recordTransfer(shell, checking);
        case CardPayment:
            driveDialogs<CardPaymentDialog>([&](CardPaymentDialog* d) {
                d->payFromField()->setCurrentIndex(
                    d->payFromField()->findText("Checking", Qt::MatchEndsWith));
                fill(d);
            });
            return payCreditCard(shell, visa);
        }
        return false;
    }
    QStringList payees() const {
        QStringList out;
        for (const auto& t : shell.model.transactions())
            out << t->payee;
        return out;
    }
    // checking, savings, visa, food, charges
    QList<Amount> balances() const {
        return {checking->getBalance(), savings->getBalance(), visa->getBalance(),
                food->getBalance(), charges->getBalance()};
    }
};

void addKinds() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("payee");
    // Balances after recording 25.00: checking, savings, visa, food, charges.
    QTest::addColumn<QList<Amount>>("after");
    QTest::newRow("expense") << int(Expense) << "" << QList<Amount>{97500, 50000, 0, 37500, 5000};
    QTest::newRow("card expense") << int(CardExpense) << ""
                                  << QList<Amount>{100000, 50000, -2500, 37500, 7500};
    QTest::newRow("deposit") << int(Deposit) << "" << QList<Amount>{102500, 50000, 0, 40000, 5000};
    QTest::newRow("transfer") << int(Transfer) << "Transfer"
                              << QList<Amount>{97500, 52500, 0, 40000, 5000};
    QTest::newRow("card payment") << int(CardPayment) << "Visa"
                                  << QList<Amount>{97500, 50000, 2500, 40000, 2500};
}
} // namespace

class TestOpsDates : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        DialogDriver::beforeExec = nullptr;
        Clock::release();
    }

    void newEntryTakesChosenDayAndPresentTime_data() { addKinds(); }
    void newEntryTakesChosenDayAndPresentTime() {
        QFETCH(int, kind);
        QFETCH(QString, payee);
        QFETCH(QList<Amount>, after);
        Clock::fix(makeDate(2026, 3, 20, 14, 30, 5));
        Books b;
        QVERIFY(b.record(Kind(kind), QDate(2026, 3, 10), "25.00"));
        // After the morning entry of the 10th, before the 15th.
        QCOMPARE(b.payees(), (QStringList{"Day 5", "Day 10", payee, "Day 15"}));
        const Transaction& t = *b.shell.model.transactions()[2];
        QCOMPARE(dateText(t.transactionTime), QString("2026-03-10 14:30:05.000"));
        QCOMPARE(b.balances(), after);
    }

    // A whole date typed in the locale's short form, with its separators, is the date saved.
    void typedDatesAreTaken_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        const char* const kinds[] = {"expense", "card expense", "deposit", "transfer",
                                     "card payment"};
        const struct {
            const char* locale;
            const char* typed;
            const char* saved;
        } dates[] = {{"en_US", "11/25/26", "2026-11-25"},   {"en_US", "12/1/26", "2026-12-01"},
                     {"de_DE", "25.11.26", "2026-11-25"},   {"de_DE", "1.12.26", "2026-12-01"},
                     {"fr_FR", "25/11/2026", "2026-11-25"}, {"fr_FR", "01/12/2026", "2026-12-01"}};
        for (int kind = Expense; kind <= CardPayment; ++kind)
            for (const auto& d : dates)
                QTest::addRow("%s %s %s", kinds[kind], d.locale, d.typed)
                    << kind << d.locale << d.typed << d.saved;
    }
    void typedDatesAreTaken() {
        QFETCH(int, kind);
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QLocale::setDefault(QLocale(locale));
        Clock::fix(makeDate(2026, 3, 20, 14, 30));
        Books b;
        for (bool backwards : {false, true}) {
            QVERIFY(b.record(Kind(kind), QDate(), "1", typed, backwards));
            const Transaction& t = *b.shell.model.transactions().back();
            QCOMPARE(dateText(t.transactionTime).left(10), saved);
        }
    }

    void dialogsOfferTodayAndAnEditsOwnDay() {
        Clock::fix(makeDate(2026, 3, 20, 14, 30));
        Books b;
        QDate shown;
        driveDialogs<DepositDialog>([&](DepositDialog* d) {
            shown = d->dateField()->date();
            QVERIFY(d->dateField()->calendarPopup());
            d->reject();
        });
        QVERIFY(!recordDeposit(b.shell, b.checking));
        QCOMPARE(shown, QDate(2026, 3, 20));
        driveDialogs<TransactionDialog>([&](TransactionDialog* d) {
            shown = d->dateField()->date();
            d->reject();
        });
        QVERIFY(!editTransaction(b.shell, b.shell.model.transactions()[1]));
        QCOMPARE(shown, QDate(2026, 3, 10));
    }

    void todaysEntriesKeepTheirOrder() {
        Books b;
        Clock::fix(makeDate(2026, 3, 20, 8));
        QVERIFY(b.record(Deposit, QDate(2026, 3, 20), "1"));
        Clock::fix(makeDate(2026, 3, 20, 9));
        QVERIFY(b.record(Transfer, QDate(2026, 3, 20), "2"));
        QCOMPARE(b.payees().mid(3), (QStringList{"", "Transfer"}));
    }

    // A new day moves the entry but keeps its time, and the money is as if it had always
    // been on that day.
    void editedDayKeepsMoneyRight_data() { addKinds(); }
    void editedDayKeepsMoneyRight() {
        QFETCH(int, kind);
        QFETCH(QString, payee);
        QFETCH(QList<Amount>, after);
        Clock::fix(makeDate(2026, 3, 20, 14, 30));
        Books b;
        QVERIFY(b.record(Kind(kind), QDate(2026, 3, 20), "25.00"));
        const Transaction* t = b.shell.model.transactions().back();
        auto moveDay = [](auto* d) {
            d->dateField()->setDate(QDate(2026, 3, 1));
            d->okButton()->click();
        };
        driveDialogs<TransactionDialog>(moveDay);
        if (kind == Deposit)
            driveDialogs<DepositDialog>(moveDay);
        if (kind == Transfer)
            driveDialogs<TransferDialog>(moveDay);
        if (kind == CardPayment)
            driveDialogs<CardPaymentDialog>(moveDay);
        QVERIFY(editTransaction(b.shell, t));
        QCOMPARE(b.payees().first(), payee);
        QCOMPARE(dateText(t->transactionTime), QString("2026-03-01 14:30:00.000"));
        QCOMPARE(b.balances(), after);
    }

    // Deleting gives back exactly what recording took, card charges included.
    void deleteReversesEachKind_data() { addKinds(); }
    void deleteReversesEachKind() {
        QFETCH(int, kind);
        Clock::fix(makeDate(2026, 3, 20, 14, 30));
        Books b;
        const QList<Amount> before = b.balances();
        QVERIFY(b.record(Kind(kind), QDate(2026, 3, 20), "25.00"));
        b.shell.questions.answers = {true};
        QVERIFY(deleteTransactions(b.shell, {b.shell.model.transactions().back()}));
        QCOMPARE(b.balances(), before);
        QCOMPARE(b.shell.model.transactions().size(), std::size_t(3));
    }

    void deleteAsksOnceAndNoKeepsAll() {
        Clock::fix(makeDate(2026, 3, 20, 14, 30));
        Books b;
        QVERIFY(b.record(Expense, QDate(2026, 3, 12), "12.34"));
        const Transaction* t = b.shell.model.transactions()[2];
        Transaction renamed = *t;
        renamed.payee = "Food Mart";
        QVERIFY(b.shell.model.editTransaction(t, renamed));
        b.shell.questions.records.clear();
        b.shell.questions.answers = {false};
        QVERIFY(!deleteTransactions(b.shell, {t}));
        QCOMPARE(b.shell.questions.texts(),
                 QStringList{"Delete the transaction of 3/12/26 to Food Mart for $12.34?"});
        QCOMPARE(b.shell.model.transactions().size(), std::size_t(4));

        const auto& list = b.shell.model.transactions();
        const std::vector<const Transaction*> several{list[0], t, list[0]};
        b.shell.questions.records.clear();
        b.shell.questions.answers = {true};
        QVERIFY(deleteTransactions(b.shell, several));
        QCOMPARE(b.shell.questions.texts(), QStringList{"Delete these 2 transactions?"});
        QCOMPARE(b.payees(), (QStringList{"Day 10", "Day 15"}));
        QCOMPARE(b.checking->getBalance(), Amount(100000));
        QCOMPARE(b.food->getBalance(), Amount(40000));
    }
};

QTEST_MAIN(TestOpsDates)
#include "test_ops_dates.moc"
