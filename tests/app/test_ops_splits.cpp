// Split payments through the dialogs and the register: typing the parts, Distribute, the
// questions each part asks, editing and deleting the whole payment, and the register's one
// row per payment that opens to its parts.

#include "app/operations.h"
#include "app/splitdialog.h"
#include "app/transactiondialog.h"
#include "app/transactionlist.h"
#include "fakeshell.h"
#include "model/clock.h"
#include "model/split.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
QString money(Amount a) {
    return formatAmount(a, true);
}
void typeInto(QLineEdit* field, const QString& text) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}
void choose(QComboBox* field, const QString& text) {
    field->setCurrentIndex(field->findText(text));
}
// Shots of the windows when TALLYKEEP_SHOTS names a folder (to look at them).
void shoot(QWidget* w, const QString& name) {
    if (qEnvironmentVariableIsSet("TALLYKEEP_SHOTS"))
        w->grab().save(qEnvironmentVariable("TALLYKEEP_SHOTS") + "/" + name + ".png");
}

struct Store {
    FakeShell shell;
    Account* checking = shell.account("Checking", 100000);
    Account* visa = shell.account("Visa", 0, true);
    AccountGroup* home = shell.folder("Home");
    AccountEnvelope* groceries = shell.envelope(home, "Groceries", 6000);
    AccountEnvelope* household = shell.envelope(home, "Household", 3000);
    AccountEnvelope* gifts = shell.envelope(home, "Gifts", 1000);
    Store() { ensureCardChargesEnvelope(shell.model, visa); }
    // card, groceries, household, gifts, charges.
    QString figures() const {
        return QStringLiteral("%1 %2 %3 %4 %5")
            .arg(visa->getBalance())
            .arg(groceries->getBalance())
            .arg(household->getBalance())
            .arg(gifts->getBalance())
            .arg(shell.model.findEnvelope(kChargesEnvelopeId)->getBalance());
    }
};

// Each dialog that opens goes to the handler for its kind.
void drive(std::function<void(TransactionDialog*)> transaction,
           std::function<void(SplitDialog*)> split) {
    DialogDriver::beforeExec = [=](QDialog* d) {
        if (auto* t = qobject_cast<TransactionDialog*>(d))
            transaction(t);
        else if (auto* s = qobject_cast<SplitDialog*>(d))
            split(s);
    };
}
} // namespace

class TestOpsSplits : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { DialogDriver::beforeExec = nullptr; }

    // What is left shows as the parts are typed; Distribute shares it out to the cent; OK
    // waits until the parts add up and each has an envelope.
    void typingTheParts() {
        Store s;
        SplitDialog d(s.shell.model, -10000, {{s.groceries->id(), 0, {}}});
        d.show();
        typeInto(d.amountField(0), "33.33");
        QCOMPARE(d.remainingLabel()->text(), "Remaining: " + money(6667));
        d.distributeButton()->click();
        QCOMPARE(d.amountField(1)->text() + " " + d.amountField(2)->text(),
                 money(3334) + " " + money(3333));
        QVERIFY(!d.okButton()->isEnabled()); // two parts without an envelope
        choose(d.envelopeField(1), "Household");
        choose(d.envelopeField(2), "Gifts");
        QVERIFY(d.okButton()->isEnabled());
        shoot(&d, "split-dialog");
        typeInto(d.amountField(2), "38.33");
        QCOMPARE(d.remainingLabel()->text(), "Remaining: " + money(-500));
        QVERIFY(!d.okButton()->isEnabled());
        d.amountField(2)->setFocus(); // "Remove part" takes the focused part
        QApplication::processEvents();
        d.removeButton()->click();
        QCOMPARE(d.parts(), (std::vector<SplitPart>{{s.groceries->id(), -3333, {}},
                                                    {s.household->id(), -3334, {}}}));
    }

    // A card payment split three ways asks only about the envelope it over-spends (never
    // about the card); an edit changes a part and drops one, asking nothing; an amount that
    // no longer matches its parts is refused; deleting any part asks once for the whole.
    void recordEditDeleteOnCard() {
        FixedClock clock(DateTime{2026, 3, 0, 14, 12, 0, 0, 0});
        Store s;
        const auto& list = s.shell.model.transactions();
        drive(
            [&](TransactionDialog* d) {
                typeInto(d->amountField(), "105");
                d->payeeField()->setEditText("Market");
                choose(d->accountField(), "Visa");
                d->splitButton()->click();
                QVERIFY(!d->envelopeField()->isEnabled());
                QCOMPARE(d->envelopeField()->placeholderText(), QString("Split (3)"));
                shoot(d, "transaction-split");
                d->okButton()->click();
            },
            [&](SplitDialog* d) {
                QCOMPARE(d->envelopeField(0)->currentText(), QString("Groceries"));
                typeInto(d->amountField(0), "50");
                choose(d->envelopeField(1), "Household");
                typeInto(d->amountField(1), "45");
                choose(d->envelopeField(2), "Gifts");
                typeInto(d->amountField(2), "10");
                typeInto(d->descriptionField(2), "for Ann");
                d->okButton()->click();
            });
        QVERIFY(recordExpense(s.shell, s.groceries));
        QCOMPARE(s.shell.questions.texts(),
                 QStringList{"The 'Household' envelope has a balance of " + money(3000) +
                             ", which is less than the transaction amount of " + money(4500) +
                             ". Record anyway?"});
        QVERIFY(list.size() == 3 && list[0]->split != 0 && list[0]->split == list[2]->split);
        QCOMPARE(list[2]->description, QString("for Ann"));
        QCOMPARE(s.figures(), QString("-10500 1000 0 0 10500"));

        s.shell.questions.records.clear();
        drive(
            [&](TransactionDialog* d) {
                QCOMPARE(d->amountField()->text(), money(10500));
                typeInto(d->amountField(), "85");
                d->splitButton()->click();
                d->okButton()->click();
            },
            [&](SplitDialog* d) {
                QCOMPARE(d->remainingLabel()->text(), "Remaining: " + money(-2000));
                typeInto(d->amountField(0), "40");
                typeInto(d->amountField(2), "");
                d->okButton()->click();
            });
        QVERIFY(editTransaction(s.shell, list[1]));
        QVERIFY(s.shell.questions.records.isEmpty());
        QCOMPARE(list.size(), size_t(2));
        QCOMPARE(s.figures(), QString("-8500 2000 0 1000 8500"));

        drive(
            [&](TransactionDialog* d) {
                typeInto(d->amountField(), "90");
                d->okButton()->click();
                QCOMPARE(s.shell.questions.titles(), QStringList{"Split"});
                d->reject();
            },
            {});
        QVERIFY(!editTransaction(s.shell, list[0]));
        QCOMPARE(s.figures(), QString("-8500 2000 0 1000 8500"));

        s.shell.questions.records.clear();
        QVERIFY(deleteTransactions(s.shell, {list[1]}));
        QCOMPARE(
            s.shell.questions.texts(),
            QStringList{"Delete the transaction of 3/14/26 to Market for " + money(8500) + "?"});
        QVERIFY(list.empty());
    }

    // The register: one row per payment with its whole amount, the account's balance after
    // it counted once; clicking "Split (2)" or Right shows the parts, Left hides them; a
    // search or an envelope filter that finds a part, or the whole amount, shows the payment.
    void registerRows() {
        Store s;
        Budget& b = s.shell.model;
        const auto day = [](int d) { return DateTime{2026, 3, 0, quint16(d), 9, 0, 0, 0}; };
        b.recordTransaction(makeTransaction(TransactionType::Expense, -2000, s.checking->id(),
                                            kNoId, s.gifts->id(), "Florist", {}, day(1)));
        recordSplit(b,
                    makeTransaction(TransactionType::Expense, -7000, s.checking->id(), kNoId, kNoId,
                                    "Market", {}, day(2)),
                    {{s.groceries->id(), -5000, "food"}, {s.household->id(), -2000, "soap"}});
        b.recordTransaction(makeTransaction(TransactionType::Deposit, 10000, kNoId,
                                            s.checking->id(), kNoId, "Employer", {}, day(3)));
        TransactionList list(b);
        list.resize(900, 300);
        list.show();
        const auto rows = [&] {
            QStringList out;
            for (int r = 0; r < list.model()->rowCount(); ++r) {
                QStringList cells;
                for (int c : {PayeeColumn, EnvelopeColumn, DescriptionColumn, OutflowColumn,
                              InflowColumn, BalanceColumn})
                    cells << list.model()->index(r, c).data().toString();
                out << cells.join('|');
            }
            return out;
        };
        TransactionFilter f;
        f.byAccount = true;
        f.account = s.checking;
        list.showTransactions(f);
        // Checking is 1000.00 - 20 - 70 + 100 = 1010.00 now; back from there by hand.
        const QStringList closed{"Employer->Checking|--deposit--|||$100.00|$1,010.00",
                                 "Market|Split (2)||$70.00||$910.00",
                                 "Florist|Gifts||$20.00||$980.00"};
        QCOMPARE(rows(), closed);
        const QRect cell = list.visualRect(list.model()->index(1, EnvelopeColumn));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
        const QStringList open{closed[0], closed[1], "|    Groceries|food|$50.00||",
                               "|    Household|soap|$20.00||", closed[2]};
        QCOMPARE(rows(), open);
        shoot(&list, "register-split");
        list.setCurrentIndex(list.model()->index(3, PayeeColumn));
        QTest::keyClick(&list, Qt::Key_Left);
        QCOMPARE(rows(), closed);
        QTest::keyClick(&list, Qt::Key_Right);
        QCOMPARE(rows(), open);

        for (const char* search : {"soap", "70.00"}) {
            TransactionFilter found;
            found.search = search;
            list.showTransactions(found);
            QCOMPARE(rows().size(), 3);
            QCOMPARE(rows()[0], QString("Market|Split (2)||$70.00||"));
        }
        TransactionFilter byGroceries;
        byGroceries.byEnvelope = true;
        byGroceries.envelopeItem = s.groceries;
        list.showTransactions(byGroceries);
        QCOMPARE(rows().size(), 3);
    }
};

QTEST_MAIN(TestOpsSplits)
#include "test_ops_splits.moc"
