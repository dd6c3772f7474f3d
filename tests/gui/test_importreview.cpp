// The "Transaction Import" review and the import command: duplicates, automatic checks,
// balance line, rule actions, what gets recorded and the refresh/save sequence.

#include "budgetdump.h"
#include "fakeprompter.h"
#include "gui/importreview.h"
#include "model/budget.h"
#include "model/clock.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {
DateTime day(int y, int m, int d, int h = 0, int min = 0) {
    return fromQDateTime(QDateTime(QDate(y, m, d), QTime(h, min)));
}

const QString kStatement = QStringLiteral(TALLYKEEP_TEST_DATA "/statement.qif");

// Rows of statement.qif: Dec 1 WALMART -45.67, Dec 3 SHELL OIL -45.00, Dec 5 ACME PAYROLL
// +1,500.00, Dec 9 AMAZON.COM_AB12C -19.99, Dec 12 CORNER CAFE -8.25.
struct Fixture {
    Budget budget;
    Account* checking = nullptr;
    QMap<QString, ItemId> envelopes;

    Fixture() {
        checking = budget.createAccount();
        checking->setName("Everyday checking");
        checking->adjustBalance(50000);
        checking->setLastImport(day(2024, 12, 2, 10, 0));
        for (const char* name : {"Groceries", "Fuel", "Shopping", "Income"}) {
            AccountEnvelope* e = budget.createEnvelope();
            e->setName(name);
            envelopes[name] = e->id();
        }
        budget.findItem(envelopes["Income"])->adjustBalance(100000);
        rules().addMappingRule("WALMART*", envelopes["Groceries"], false, "Walmart");
        rules().addMappingRule("ACME*", envelopes["Income"], false, "Acme Corp");
        rules().addMappingRule("AMAZON*", envelopes["Shopping"], false, "Amazon");
        rules().addMappingRule("SHELL*", envelopes["Fuel"], false, "Shell");
        rules().addMappingRule("Shell*", envelopes["Fuel"], false, "Shell");
        rules().addMappingRule("OLD*", 999, false, "Old");
        // Imported with an earlier statement, before the last import.
        createTransaction(budget, TransactionType::Expense, -2000, checking->id(), kNoId,
                          envelopes["Groceries"], "Farmers market", "", day(2024, 11, 25));
        // Already recorded by hand: the fuel bill of the statement, a day later.
        createTransaction(budget, TransactionType::Expense, -4500, checking->id(), kNoId,
                          envelopes["Fuel"], "Shell", "", day(2024, 12, 4, 9, 0));
        // Something dated after the statement, to see the sort.
        createTransaction(budget, TransactionType::Expense, -100, checking->id(), kNoId,
                          envelopes["Groceries"], "Later", "", day(2024, 12, 20));
    }
    MappingRuleSet& rules() { return budget.rules(); }
    ImportBatch batch() {
        ImportBatch b;
        b.account = checking;
        readQifFile(kStatement, b.records);
        return b;
    }
};

QList<bool> checks(QTableWidget* table) {
    QList<bool> result;
    for (int row = 0; row < table->rowCount(); ++row)
        result << (table->item(row, 0)->checkState() == Qt::Checked);
    return result;
}

void setChecked(QTableWidget* table, int row, bool on) {
    table->item(row, 0)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

QStringList column(QTableWidget* table, int col) {
    QStringList result;
    for (int row = 0; row < table->rowCount(); ++row)
        result << table->item(row, col)->text();
    return result;
}

QString balanceLine(const QString& amount) {
    return "Account Everyday checking will have a balance of " + amount +
           " after importing selected transactions\n";
}
} // namespace

class TestImportReview : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { DialogDriver::beforeExec = nullptr; }
    void overlap_data();
    void overlap();
    void duplicates_data();
    void duplicates();
    void openingState();
    void checksDriveBalanceAndOk();
    void earlierDateRefills();
    void typedImportAfterDate_data();
    void typedImportAfterDate();
    void importAfterDefault_data();
    void importAfterDefault();
    void depositRows();
    void transfersPaymentsAndClosing();
    void handChoiceSurvives();
    void newEnvelopeFromReview();
    void opensAtScreenHeight();
    void ruleButtonsFollowSelection();
    void deleteRulesAsksFirst();
    void mapRowStoresRuleAndRemaps();
    void addAndEditRule();
    void importRecordsCheckedRows();
    void importAgainFindsEverything();
    void nothingChosenIsStillConfirmed();
    void endsQuietly_data();
    void endsQuietly();
    void leftOutRecordsAreTold_data();
    void leftOutRecordsAreTold();
    void goneEnvelopeIsUnassigned();
    void severalStatementsAskWhichOne();
    void guessIsShownAsGuess();
    void cancelKeepsRuleChanges();
    void bigStatementStaysQuick();
    void rowsHaveTheRoom();
    void screenshots();
};

void TestImportReview::overlap_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("count");
    QTest::newRow("shell") << "SHELL OIL"
                           << "Shell" << 4;
    QTest::newRow("none") << "AMAZON"
                          << "Walmart" << 0;
    QTest::newRow("empty a") << ""
                             << "Shell" << 0;
    QTest::newRow("empty b") << "Shell"
                             << "" << 0;
    QTest::newRow("short pieces at the end") << "ab"
                                             << "AB" << 2;
    QTest::newRow("beyond ASCII") << QString::fromUtf8("CAFÉ") << QString::fromUtf8("café") << 4;
}

void TestImportReview::overlap() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, count);
    QCOMPARE(payeeOverlap(a, b), count);
}

void TestImportReview::duplicates_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("from"); // "A", "B" or ""
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("storedPayee");
    QTest::addColumn<double>("daysLater"); // the row's date relative to the stored one
    QTest::addColumn<QString>("payee");
    QTest::addColumn<int>("amount");
    QTest::addColumn<bool>("duplicate");
    const int expense = 0, deposit = 1, transfer = 2, payment = 3;
    QTest::newRow("cents identify") << expense << -4567 << "A"
                                    << ""
                                    << "Walmart" << 2.0 << "ZZZ" << -4567 << true;
    QTest::newRow("whole amount, other payee") << expense << -4500 << "A"
                                               << ""
                                               << "Shell Oil" << 2.0 << "AMAZON" << -4500 << false;
    QTest::newRow("whole amount, similar payee")
        << expense << -4500 << "A"
        << ""
        << "Shell" << -2.0 << "SHELL OIL 5521" << -4500 << true;
    QTest::newRow("five and a half days") << expense << -4567 << "A"
                                          << ""
                                          << "X" << 5.5 << "Y" << -4567 << true;
    QTest::newRow("six days") << expense << -4567 << "A"
                              << ""
                              << "X" << 6.0 << "Y" << -4567 << false;
    QTest::newRow("other sign") << expense << -4567 << "A"
                                << ""
                                << "X" << 0.0 << "Y" << 4567 << false;
    QTest::newRow("other account") << expense << -4567 << "B"
                                   << ""
                                   << "X" << 0.0 << "Y" << -4567 << false;
    QTest::newRow("two characters need payee") << expense << -5 << "A"
                                               << ""
                                               << "Kiosk" << 0.0 << "Z" << -5 << false;
    QTest::newRow("odd cents identify") << expense << -105 << "A"
                                        << ""
                                        << "Kiosk" << 0.0 << "Z" << -105 << true;
    QTest::newRow("card payment into this card")
        << payment << -10000 << "B"
        << "A"
        << "Payment thanks" << 3.0 << "PAYMENT THANK YOU" << 10000 << true;
    // The other side of a payment or transfer carries the bank's own words: the amount and
    // the days settle it.
    QTest::newRow("card payment, other payee") << payment << -10000 << "B"
                                               << "A"
                                               << "Payment thanks" << 3.0 << "ZZZ" << 10000 << true;
    QTest::newRow("card payment from this account")
        << payment << -10000 << "A"
        << "B"
        << "Visa" << 1.0 << "VISA PAYMENT" << -10000 << true;
    QTest::newRow("deposit repeated") << deposit << 50000 << ""
                                      << "A"
                                      << "Employer" << 1.0 << "EMPLOYER PAYROLL" << 50000 << true;
    QTest::newRow("withdrawal is not a deposit")
        << deposit << 50000 << ""
        << "A"
        << "Employer" << 1.0 << "EMPLOYER" << -50000 << false;
    QTest::newRow("transfer out") << transfer << 30012 << "A"
                                  << "B"
                                  << "Transfer" << 0.0 << "X" << -30012 << true;
    QTest::newRow("transfer in") << transfer << 30012 << "B"
                                 << "A"
                                 << "Transfer" << 0.0 << "X" << 30012 << true;
}

void TestImportReview::duplicates() {
    QFETCH(int, type);
    QFETCH(int, stored);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, storedPayee);
    QFETCH(double, daysLater);
    QFETCH(QString, payee);
    QFETCH(int, amount);
    QFETCH(bool, duplicate);
    Budget budget;
    const ItemId a = budget.createAccount()->id();
    const ItemId b = budget.createAccount()->id();
    auto idOf = [&](const QString& s) { return s == "A" ? a : s == "B" ? b : kNoId; };
    const DateTime storedDate = day(2024, 6, 10, 12, 0);
    // Another transaction first, so that the walk has to pass it.
    createTransaction(budget, TransactionType::Expense, -1, b, kNoId, kNoId, "x", "", storedDate);
    const Transaction* t = createTransaction(budget, TransactionType(type), stored, idOf(from),
                                             idOf(to), kNoId, storedPayee, "", storedDate);
    const DateTime rowDate = fromSerialDay(toSerialDay(storedDate) + daysLater);
    const Transaction* found = findDuplicate(budget, a, payee, amount, rowDate);
    QCOMPARE(found, duplicate ? t : nullptr);
    QCOMPARE(DuplicateFinder(budget, a).find(payee, amount, rowDate), found);
}

void TestImportReview::openingState() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Transaction Import"));
    QCOMPARE(dialog.datePicker()->date(), QDate(2024, 12, 2));
    QTableWidget* rows = dialog.transactionList();
    QCOMPARE(column(rows, 0),
             (QStringList{"12/1/24", "12/3/24", "12/5/24", "12/9/24", "12/12/24"}));
    QCOMPARE(column(rows, 2), (QStringList{"Walmart", "Shell", "Acme Corp", "Amazon", ""}));
    QCOMPARE(column(rows, 3), (QStringList{"Groceries", "Fuel", "Income", "Shopping", ""}));
    QCOMPARE(column(rows, 4),
             (QStringList{"-$45.67", "-$45.00", "$1,500.00", "-$19.99", "-$8.25"}));
    // Dec 1 is before the last import; Dec 3 repeats the fuel bill recorded on Dec 4.
    QCOMPARE(checks(rows), (QList<bool>{false, false, true, true, true}));
    // Each unticked row says why, in plain sight.
    QCOMPARE(column(rows, 5),
             (QStringList{"on or before 12/2/24", "matches 12/4/24 Shell -$45.00", "", "", ""}));
    QCOMPARE(rows->horizontalHeaderItem(5)->text(), QStringLiteral("Note"));
    QCOMPARE(batch.latest.day, 12);
    // 500.00 + 1,500.00 - 19.99 - 8.25
    QCOMPARE(dialog.balanceText()->text(), balanceLine("$1,971.76"));
    QVERIFY(!dialog.okButton()->isEnabled()); // the café has no envelope

    QTableWidget* rules = dialog.ruleList();
    QCOMPARE(column(rules, 0),
             (QStringList{"ACME*", "AMAZON*", "OLD*", "SHELL*", "Shell*", "WALMART*"}));
    QCOMPARE(column(rules, 2),
             (QStringList{"Income", "Shopping", "", "Fuel", "Fuel", "Groceries"}));
    QCOMPARE(rules->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(rows->selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(rows->font().pixelSize() >= 13 || QFontInfo(rows->font()).pixelSize() >= 13);
}

void TestImportReview::checksDriveBalanceAndOk() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QTableWidget* rows = dialog.transactionList();
    setChecked(rows, 4, false);
    QVERIFY(dialog.okButton()->isEnabled());
    QCOMPARE(dialog.balanceText()->text(), balanceLine("$1,980.01"));
    setChecked(rows, 2, false);
    QCOMPARE(dialog.balanceText()->text(), balanceLine("$480.01"));
    setChecked(rows, 3, false);
    QCOMPARE(dialog.balanceText()->text(), balanceLine("$500.00"));
    QVERIFY(dialog.okButton()->isEnabled()); // nothing checked
    setChecked(rows, 0, true);
    QCOMPARE(dialog.balanceText()->text(), balanceLine("$454.33"));

    dialog.okButton()->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(int(batch.chosen.size()), 1);
    QCOMPARE(batch.chosen[0].incomingPayee, QStringLiteral("WALMART #123"));
    QCOMPARE(batch.chosen[0].envelopeId, f.envelopes["Groceries"]);
}

void TestImportReview::earlierDateRefills() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QTableWidget* rows = dialog.transactionList();
    setChecked(rows, 3, false); // by hand
    dialog.datePicker()->setDate(QDate(2024, 11, 1));
    QCOMPARE(checks(rows), (QList<bool>{true, false, true, true, true}));
    // The picker's day itself is not after it.
    dialog.datePicker()->setDate(QDate(2024, 12, 9));
    QCOMPARE(checks(rows), (QList<bool>{false, false, false, false, true}));
}

// A whole date typed into "Import transactions after:" in the locale's short form, entered by
// Tab or Shift+Tab, is the date the rows are checked against.
void TestImportReview::typedImportAfterDate_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("backwards");
    QTest::newRow("en_US") << "en_US"
                           << "11/30/24" << false;
    QTest::newRow("en_US, Shift+Tab") << "en_US"
                                      << "11/30/24" << true;
    QTest::newRow("de_DE") << "de_DE"
                           << "30.11.24" << false;
    QTest::newRow("de_DE, Shift+Tab") << "de_DE"
                                      << "30.11.24" << true;
    QTest::newRow("fr_FR") << "fr_FR"
                           << "30/11/2024" << false;
    QTest::newRow("fr_FR, Shift+Tab") << "fr_FR"
                                      << "30/11/2024" << true;
}

void TestImportReview::typedImportAfterDate() {
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(bool, backwards);
    Fixture f;
    ImportBatch batch = f.batch(); // the statement's own dates are read in en_US
    FakePrompter prompter;
    QLocale::setDefault(QLocale(locale));
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    dialog.datePicker()->setFocus(backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    QTest::keyClicks(QApplication::focusWidget(), typed);
    QCOMPARE(dialog.datePicker()->date(), QDate(2024, 11, 30));
    // The row of 1 December is now checked too; the hand-entered fuel bill stays out.
    QCOMPARE(checks(dialog.transactionList()), (QList<bool>{true, false, true, true, true}));
}

// Where the review's import-after date starts: at the account's last-import date, which
// before a first import is the moment the account was added (what came before is in its
// opening balance, and the note says so); the day before the statement's first row only
// when that date is unset.
void TestImportReview::importAfterDefault_data() {
    QTest::addColumn<QDateTime>("lastImport");     // invalid: unset
    QTest::addColumn<QList<QDateTime>>("entries"); // the account's transactions
    QTest::addColumn<QDate>("after");
    QTest::addColumn<QList<bool>>("checked");
    const QList<bool> all(5, true);
    QTest::newRow("opened after the statement, nothing entered")
        << QDateTime(QDate(2024, 12, 15), QTime(9, 30)) << QList<QDateTime>() << QDate(2024, 12, 15)
        << QList<bool>(5, false);
    QTest::newRow("opened before, entries from that day on")
        << QDateTime(QDate(2024, 11, 20), QTime(10, 0))
        << QList<QDateTime>{QDateTime(QDate(2024, 11, 20), QTime(0, 0)),
                            QDateTime(QDate(2024, 12, 4), QTime(18, 0))}
        << QDate(2024, 11, 20) << all;
    QTest::newRow("entries before the last import")
        << QDateTime(QDate(2024, 12, 2), QTime(0, 0))
        << QList<QDateTime>{QDateTime(QDate(2024, 11, 28), QTime(0, 0))} << QDate(2024, 12, 2)
        << QList<bool>{false, true, true, true, true};
    QTest::newRow("last import unset")
        << QDateTime() << QList<QDateTime>{QDateTime(QDate(2024, 10, 1), QTime(0, 0))}
        << QDate(2024, 11, 30) << all;
}

void TestImportReview::importAfterDefault() {
    QFETCH(QDateTime, lastImport);
    QFETCH(QList<QDateTime>, entries);
    QFETCH(QDate, after);
    QFETCH(QList<bool>, checked);
    FixedClock clock(day(2024, 12, 16, 12, 0));
    Fixture f;
    Account* savings = f.budget.createAccount();
    savings->setName("Savings");
    savings->setLastImport(lastImport.isValid() ? fromQDateTime(lastImport) : DateTime());
    for (const QDateTime& when : entries)
        createTransaction(f.budget, TransactionType::Expense, -1000, savings->id(), kNoId,
                          f.envelopes["Groceries"], "Bakery", "", fromQDateTime(when));
    ImportBatch batch = f.batch();
    batch.account = savings;
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QCOMPARE(dialog.datePicker()->date(), after);
    QCOMPARE(checks(dialog.transactionList()), checked);
    const QString note = dialog.transactionList()->item(0, 5)->text();
    if (!checked.first())
        QCOMPARE(note, entries.isEmpty()
                           ? kBeforeAddedText
                           : QStringLiteral("on or before %1")
                                 .arg(QLocale().toString(after, QLocale::ShortFormat)));
}

// Money coming into an ordinary account may be a deposit: no envelope needed, recorded as
// the program's own deposits are, into money available for budgeting.
void TestImportReview::depositRows() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QTableWidget* rows = dialog.transactionList();
    const QStringList envelopes{"Fuel", "Groceries", "Income", "Shopping"};
    QCOMPARE(dialog.envelopeChoices(2), envelopes + QStringList{"--deposit--"}); // +1,500.00
    QCOMPARE(dialog.envelopeChoices(3), envelopes);                              // -19.99
    dialog.chooseDeposit(3); // money out stays an expense
    QCOMPARE(rows->item(3, 3)->text(), QStringLiteral("Shopping"));

    // Picked in the list: the envelope cell of the selected row opens the choice.
    rows->selectRow(2);
    rows->edit(rows->model()->index(2, 3));
    auto* choice = rows->viewport()->findChild<QComboBox*>();
    QVERIFY(choice);
    QCOMPARE(choice->currentText(), QStringLiteral("Income"));
    choice->setCurrentIndex(choice->findText("--deposit--"));
    emit choice->activated(choice->currentIndex());
    QTest::qWait(0);
    QCOMPARE(rows->item(2, 3)->text(), QStringLiteral("--deposit--"));
    QVERIFY(batch.records[2].deposit);
    dialog.chooseDeposit(4); // the café, unassigned
    QVERIFY(!dialog.okButton()->isEnabled());
    dialog.choose(4, int(envelopes.indexOf("Groceries")));
    QCOMPARE(rows->item(4, 3)->text(), QStringLiteral("Groceries"));
    QVERIFY(dialog.okButton()->isEnabled());
    // Unchanged balance line: a deposit adds to the account as the expense row did.
    QCOMPARE(dialog.balanceText()->text(), balanceLine("$1,971.76"));

    // Only the deposit, into an account that counts for the budget.
    setChecked(rows, 3, false);
    setChecked(rows, 4, false);
    f.budget.showTopLevel(f.checking);
    const Amount available = f.budget.availableForBudgeting();
    dialog.okButton()->click();
    recordImport(f.budget, batch);
    const Transaction* payroll = nullptr;
    for (const auto& t : f.budget.transactions())
        if (t->payee == "Acme Corp")
            payroll = t;
    QVERIFY(payroll);
    QCOMPARE(payroll->type, TransactionType::Deposit);
    QCOMPARE(payroll->accountFrom, kNoId);
    QCOMPARE(payroll->accountTo, f.checking->id());
    QCOMPARE(payroll->category, kNoId);
    QCOMPARE(payroll->amount, 150000);
    QCOMPARE(f.budget.availableForBudgeting(), available + 150000);
    QCOMPARE(f.budget.findItem(f.envelopes["Income"])->getBalance(), 100000);
    QCOMPARE(f.checking->getBalance(), 50000 + 150000);

    // A card's statement has no deposits: money coming in is a payment or a refund.
    Account* card = f.budget.createAccount();
    card->setCCAccount(true);
    ImportBatch cardBatch = f.batch();
    cardBatch.account = card;
    ImportReviewDialog cardDialog(f.budget, cardBatch, &prompter);
    QCOMPARE(cardDialog.envelopeChoices(2),
             envelopes + QStringList{"--card payment from Everyday checking--"});
    cardDialog.chooseDeposit(2);
    QCOMPARE(cardDialog.transactionList()->item(2, 3)->text(), QStringLiteral("Income"));
}

// A row can be a transfer with another ordinary account (either way) or, going out, the
// payment of a card; the footer shows every account they move and the statement's closing
// balance; OK records them as the Transfer and Pay Credit Card dialogs do. An off-budget
// account's rows need no envelope.
void TestImportReview::transfersPaymentsAndClosing() {
    Fixture f;
    Account* savings = f.budget.createAccount();
    savings->setName("Savings");
    savings->adjustBalance(10000);
    Account* visa = f.budget.createAccount();
    visa->setName("Visa");
    visa->setCCAccount(true);
    visa->setContributesToBudget(false);
    ensureCardChargesEnvelope(f.budget, visa);
    visa->adjustBalance(-3000);
    f.budget.findItem(kChargesEnvelopeId)->adjustBalance(3000);
    ImportBatch batch = f.batch();
    batch.closing = StatementBalance{198000, QDate(2024, 12, 31)};
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QTableWidget* rows = dialog.transactionList();
    const QStringList in = dialog.envelopeChoices(2);  // ACME PAYROLL +1,500.00
    const QStringList out = dialog.envelopeChoices(3); // AMAZON -19.99
    QVERIFY(in.contains("--transfer from Savings--") && in.contains("--deposit--"));
    QVERIFY(!in.contains("--card payment Visa--") && !in.contains("--transfer to Savings--"));
    QVERIFY(out.contains("--transfer to Savings--") && out.contains("--card payment Visa--"));
    dialog.choose(3, out.indexOf("--transfer to Savings--"));
    dialog.choose(4, dialog.envelopeChoices(4).indexOf("--card payment Visa--"));
    QCOMPARE(rows->item(3, 3)->text(), QStringLiteral("--transfer to Savings--"));
    QCOMPARE(rows->item(4, 3)->text(), QStringLiteral("--card payment Visa--"));
    QVERIFY(dialog.okButton()->isEnabled());
    // 500.00 + 1,500.00 - 19.99 - 8.25 (WALMART is before the last import, SHELL is in).
    QCOMPARE(dialog.balanceText()->text(),
             balanceLine("$1,971.76") +
                 "Statement closing balance on 12/31/24: $1,980.00 (differs by -$8.24)\n"
                 "Account Savings will have a balance of $119.99\n"
                 "Account Visa will have a balance of -$21.75");
    dialog.okButton()->click();
    recordImport(f.budget, batch);
    QCOMPARE(f.checking->getBalance(), 197176);
    QCOMPARE(savings->getBalance(), 11999);
    QCOMPARE(visa->getBalance(), -2175);
    QCOMPARE(f.budget.findItem(kChargesEnvelopeId)->getBalance(), 2175);
    QStringList moved;
    for (const Transaction* t : f.budget.transactions())
        if (t->type == TransactionType::Transfer || t->type == TransactionType::CCPayment)
            moved << QStringLiteral("%1 %2 %3 %4 %5")
                         .arg(t->amount)
                         .arg(t->payee, f.budget.findItem(t->accountFrom)->getName(),
                              f.budget.findItem(t->accountTo)->getName(), t->description);
    QCOMPARE(moved, QStringList({"1999 Transfer Everyday checking Savings AMAZON.COM_AB12C",
                                 "-825 Visa Everyday checking Visa CORNER CAFE"}));

    // Off the budget: a row no rule maps needs no envelope and moves only the balance.
    savings->setContributesToBudget(false);
    ImportBatch offBatch = f.batch();
    offBatch.account = savings;
    ImportReviewDialog offDialog(f.budget, offBatch, &prompter);
    QCOMPARE(offDialog.transactionList()->item(4, 3)->text(), QStringLiteral("--no envelope--"));
    QVERIFY(offDialog.okButton()->isEnabled());
    const Amount available = f.budget.availableForBudgeting();
    // Every row is older than the new account: only the one ticked by hand goes in.
    setChecked(offDialog.transactionList(), 4, true);
    offDialog.okButton()->click();
    recordImport(f.budget, offBatch);
    QCOMPARE(savings->getBalance(), 11999 - 825);
    QCOMPARE(f.budget.availableForBudgeting(), available);
}

// What the user picked in the list is not undone by a new date or another rule; mapping
// the row itself replaces it.
void TestImportReview::handChoiceSurvives() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QTableWidget* rows = dialog.transactionList();
    dialog.chooseEnvelope(4, f.envelopes["Shopping"]);
    dialog.chooseDeposit(2);
    dialog.datePicker()->setDate(QDate(2024, 11, 1));
    f.rules().addMappingRule("CORNER*", f.envelopes["Fuel"], false, "Corner");
    dialog.ruleList()->selectRow(0);
    prompter.answers = {true};
    dialog.deleteRuleButton()->click(); // ACME*
    QCOMPARE(column(rows, 3),
             (QStringList{"Groceries", "Fuel", "--deposit--", "Shopping", "Shopping"}));
    DialogDriver::beforeExec = [](QDialog* d) {
        auto* editor = qobject_cast<RuleEditorDialog*>(d);
        editor->payeeField()->setEditText("Corner");
        editor->envelopeField()->setCurrentText("Fuel");
        editor->okButton()->click();
    };
    dialog.mapRow(4);
    QCOMPARE(rows->item(4, 3)->text(), QStringLiteral("Fuel"));
}

// "New envelope..." asks the window for a new envelope; cancelling leaves the row alone.
void TestImportReview::newEnvelopeFromReview() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    QList<ItemId> askedBeside;
    ItemId made = kNoId;
    ImportReviewDialog dialog(f.budget, batch, &prompter, nullptr, [&](ItemId beside) {
        askedBeside << beside;
        return made;
    });
    QTableWidget* rows = dialog.transactionList();
    const QStringList choices = dialog.envelopeChoices(4);
    QCOMPARE(choices.last(), QStringLiteral("New envelope..."));
    dialog.choose(3, int(choices.size()) - 1); // cancelled
    QCOMPARE(rows->item(3, 3)->text(), QStringLiteral("Shopping"));

    AccountEnvelope* cafes = f.budget.createEnvelope();
    cafes->setName("Cafes");
    made = cafes->id();
    QVERIFY(!dialog.okButton()->isEnabled());
    QVERIFY(dialog.chooseNewEnvelope(4));
    QCOMPARE(rows->item(4, 3)->text(), QStringLiteral("Cafes"));
    QCOMPARE(batch.records[4].envelopeId, cafes->id());
    QVERIFY(dialog.okButton()->isEnabled());
    QCOMPARE(askedBeside, (QList<ItemId>{f.envelopes["Shopping"], kNoId}));
    // The new envelope is offered to every row from now on.
    QVERIFY(dialog.envelopeChoices(0).contains("Cafes"));
}

// The review opens tall, and wide enough that no column of the statement rows is cut off.
void TestImportReview::opensAtScreenHeight() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QRect screen = dialog.screen()->availableGeometry();
    QVERIFY(dialog.height() >= screen.height() * 3 / 4);
    QVERIFY(dialog.height() <= screen.height());
    QTableWidget* rows = dialog.transactionList();
    const QHeaderView* header = rows->horizontalHeader();
    const int last = rows->columnCount() - 1;
    QVERIFY2(header->sectionViewportPosition(last) + header->sectionSize(last) <=
                 rows->viewport()->width(),
             qPrintable(QString::number(rows->viewport()->width())));
}

void TestImportReview::ruleButtonsFollowSelection() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QTableWidget* rules = dialog.ruleList();
    QVERIFY(!dialog.editRuleButton()->isEnabled());
    QVERIFY(!dialog.deleteRuleButton()->isEnabled());
    rules->selectRow(1);
    QVERIFY(dialog.editRuleButton()->isEnabled());
    QVERIFY(dialog.deleteRuleButton()->isEnabled());
    rules->selectionModel()->select(rules->model()->index(3, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QVERIFY(!dialog.editRuleButton()->isEnabled());
    QVERIFY(dialog.deleteRuleButton()->isEnabled());
}

void TestImportReview::deleteRulesAsksFirst() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    prompter.answers = {false, true};
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QTableWidget* rules = dialog.ruleList();
    rules->selectRow(3); // SHELL*
    rules->selectionModel()->select(rules->model()->index(1, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    dialog.deleteRuleButton()->click();
    QCOMPARE(f.rules().size(), 6);
    QCOMPARE(prompter.records.size(), 1);
    QCOMPARE(prompter.records[0].title, QStringLiteral("Confirm delete"));
    QCOMPARE(prompter.records[0].text,
             QStringLiteral("Are you sure you want to delete the selected mapping rules?"));
    QCOMPARE(prompter.records[0].icon, PromptIcon::Exclamation);

    dialog.deleteRuleButton()->click();
    // 'SHELL*' took its case variant 'Shell*' with it.
    QCOMPARE(column(rules, 0), (QStringList{"ACME*", "OLD*", "WALMART*"}));
    QCOMPARE(f.rules().size(), 3);
    // The fuel row now maps through the history (the hand-recorded "Shell"), the Amazon row
    // no longer maps at all.
    QCOMPARE(column(dialog.transactionList(), 2),
             (QStringList{"Walmart", "Shell", "Acme Corp", "", ""}));
    QCOMPARE(column(dialog.transactionList(), 3),
             (QStringList{"Groceries", "Fuel", "Income", "", ""}));
    QVERIFY(!dialog.deleteRuleButton()->isEnabled());
}

void TestImportReview::mapRowStoresRuleAndRemaps() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QStringList seen;
    DialogDriver::beforeExec = [&](QDialog* d) {
        auto* editor = qobject_cast<RuleEditorDialog*>(d);
        QVERIFY(editor);
        seen << editor->originalField()->text() << editor->matchField()->text();
        editor->matchField()->setText("CORNER*");
        editor->payeeField()->setEditText("Corner Cafe");
        editor->envelopeField()->setCurrentText("Groceries");
        editor->okButton()->click();
    };
    dialog.mapRow(4);
    QCOMPARE(seen, (QStringList{"CORNER CAFE", "CORNER CAFE"}));
    QCOMPARE(dialog.transactionList()->item(4, 2)->text(), QStringLiteral("Corner Cafe"));
    QCOMPARE(dialog.transactionList()->item(4, 3)->text(), QStringLiteral("Groceries"));
    QCOMPARE(batch.records[4].matchString, QStringLiteral("CORNER*"));
    QVERIFY(column(dialog.ruleList(), 0).contains("CORNER*"));
    QVERIFY(dialog.okButton()->isEnabled());
    QCOMPARE(checks(dialog.transactionList()), (QList<bool>{false, false, true, true, true}));

    // Mapping the same row again replaces the rule saved for it.
    DialogDriver::beforeExec = [&](QDialog* d) {
        auto* editor = qobject_cast<RuleEditorDialog*>(d);
        // The rule's payee is no payee of the history yet, so it is not offered again.
        QVERIFY(editor->payeeField()->currentText().isEmpty());
        editor->matchField()->setText("CORNER C*");
        editor->payeeField()->setEditText("Corner Cafe");
        editor->okButton()->click();
    };
    dialog.mapRow(4);
    QVERIFY(!f.rules().find("CORNER*"));
    QVERIFY(f.rules().find("CORNER C*"));
}

void TestImportReview::addAndEditRule() {
    Fixture f;
    ImportBatch batch = f.batch();
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    DialogDriver::beforeExec = [](QDialog* d) {
        auto* editor = qobject_cast<RuleEditorDialog*>(d);
        QVERIFY(editor->matchField()->text().isEmpty());
        editor->matchField()->setText("*CAFE");
        editor->payeeField()->setEditText("Cafe");
        editor->envelopeField()->setCurrentText("Shopping");
        editor->okButton()->click();
    };
    dialog.addRuleButton()->click();
    QCOMPARE(column(dialog.ruleList(), 0).first(), QStringLiteral("*CAFE"));
    QCOMPARE(dialog.transactionList()->item(4, 3)->text(), QStringLiteral("Shopping"));

    // Edit WALMART* into WAL*: the old rule goes, the row is rewritten in place.
    QTableWidget* rules = dialog.ruleList();
    const int walmartRow = int(column(rules, 0).indexOf("WALMART*"));
    rules->selectRow(walmartRow);
    QString shownTest;
    DialogDriver::beforeExec = [&](QDialog* d) {
        auto* editor = qobject_cast<RuleEditorDialog*>(d);
        shownTest = editor->testField()->text();
        QCOMPARE(editor->envelopeField()->currentText(), QStringLiteral("Groceries"));
        editor->matchField()->setText("WAL*");
        editor->payeeField()->setEditText("Walmart");
        editor->envelopeField()->setCurrentText("Shopping");
        editor->okButton()->click();
    };
    dialog.editRuleButton()->click();
    QCOMPARE(shownTest, QStringLiteral("WALMART_"));
    QVERIFY(!f.rules().find("WALMART*"));
    QCOMPARE(rules->item(walmartRow, 0)->text(), QStringLiteral("WAL*"));
    QCOMPARE(rules->item(walmartRow, 2)->text(), QStringLiteral("Shopping"));
    QCOMPARE(dialog.transactionList()->item(0, 3)->text(), QStringLiteral("Shopping"));

    // Editing SHELL* also drops Shell* from the set; its row must not stay behind.
    const int rowsBefore = rules->rowCount();
    const int shellRow = int(column(rules, 0).indexOf("SHELL*"));
    rules->clearSelection();
    rules->selectRow(shellRow);
    DialogDriver::beforeExec = [](QDialog* d) {
        auto* editor = qobject_cast<RuleEditorDialog*>(d);
        editor->payeeField()->setEditText("Shell");
        editor->okButton()->click();
    };
    dialog.editRuleButton()->click();
    QVERIFY(!f.rules().find("Shell*"));
    QCOMPARE(rules->rowCount(), rowsBefore - 1);
    QVERIFY(column(rules, 0).contains("SHELL*"));
    QVERIFY(!column(rules, 0).contains("Shell*"));
}

void TestImportReview::importRecordsCheckedRows() {
    Fixture f;
    f.rules().addMappingRule("CORNER*", f.envelopes["Groceries"], false, ""); // no payee
    const std::size_t before = f.budget.transactions().size();
    QStringList calls;
    ImportHooks hooks;
    hooks.chooseFile = [&] {
        calls << "choose";
        return kStatement;
    };
    DialogDriver::beforeExec = [&](QDialog* d) {
        calls << "dialog";
        qobject_cast<ImportReviewDialog*>(d)->okButton()->click();
    };
    QVERIFY(importTransactions(f.budget, f.checking, hooks));
    QCOMPARE(calls, (QStringList{"choose", "dialog"}));

    const auto& all = f.budget.transactions();
    QCOMPARE(all.size(), before + 3);
    QStringList got;
    for (const auto& t : all)
        got << QStringLiteral("%1 %2 %3").arg(t->transactionTime.day).arg(t->payee).arg(t->amount);
    // Sorted by date; the café keeps its incoming payee since the rule gives none.
    QCOMPARE(got, (QStringList{"25 Farmers market -2000", "4 Shell -4500", "5 Acme Corp 150000",
                               "9 Amazon -1999", "12 CORNER CAFE -825", "20 Later -100"}));
    const Transaction& deposit = *all[2];
    QCOMPARE(deposit.type, TransactionType::Expense);
    QCOMPARE(deposit.accountFrom, f.checking->id());
    QCOMPARE(deposit.accountTo, kNoId);
    QCOMPARE(deposit.category, f.envelopes["Income"]);
    QVERIFY(deposit.description.isEmpty());
    QCOMPARE(deposit.transactionTime.hour, quint16(0));
    // Balances moved: the deposit raised both the account and its envelope.
    QCOMPARE(f.checking->getBalance(), 50000 + 150000 - 1999 - 825);
    QCOMPARE(f.budget.findItem(f.envelopes["Income"])->getBalance(), 250000);
    QCOMPARE(f.checking->lastImport().day, quint16(12));
    QCOMPARE(f.checking->lastImport().month, quint16(12));
}

// A download holding a checking account and a card: the user picks the card by its number and
// the review shows the card's rows only.
void TestImportReview::severalStatementsAskWhichOne() {
    Fixture f;
    const std::size_t before = f.budget.transactions().size();
    ImportHooks hooks;
    hooks.chooseFile = [] {
        return QStringLiteral(TALLYKEEP_TEST_DATA "/statements/checking_and_card.ofx");
    };
    QStringList offered, reviewed;
    DialogDriver::beforeExec = [&](QDialog* d) {
        if (auto* review = qobject_cast<ImportReviewDialog*>(d)) {
            reviewed = column(review->transactionList(), 1);
            review->reject();
            return;
        }
        auto* list = d->findChild<QComboBox*>("statements");
        QVERIFY(list);
        for (int i = 0; i < list->count(); ++i)
            offered << list->itemText(i);
        list->setCurrentIndex(1);
        d->accept();
    };
    QVERIFY(!importTransactions(f.budget, f.checking, hooks));
    QCOMPARE(offered, (QStringList{"Checking 4417-CHK (2 transactions)",
                                   "Credit card 5500-0000-0000-9921 (3 transactions)"}));
    QCOMPARE(reviewed, (QStringList{"STREAMFLIX", "FRESHMART 0412", "PAYMENT THANK YOU"}));
    QCOMPARE(f.budget.transactions().size(), before);
}

void TestImportReview::importAgainFindsEverything() {
    Fixture f;
    f.rules().addMappingRule("CORNER*", f.envelopes["Groceries"], false, "Corner");
    ImportHooks hooks;
    hooks.chooseFile = [] { return kStatement; };
    DialogDriver::beforeExec = [](QDialog* d) {
        auto* dialog = qobject_cast<ImportReviewDialog*>(d);
        setChecked(dialog->transactionList(), 0, true); // the Dec 1 row too
        dialog->okButton()->click();
    };
    QVERIFY(importTransactions(f.budget, f.checking, hooks));
    const std::size_t count = f.budget.transactions().size();

    QList<bool> second;
    DialogDriver::beforeExec = [&](QDialog* d) {
        auto* dialog = qobject_cast<ImportReviewDialog*>(d);
        second = checks(dialog->transactionList());
        // Even with an early date every row is found to be a repeat.
        dialog->datePicker()->setDate(QDate(2000, 1, 1));
        second += checks(dialog->transactionList());
        dialog->okButton()->click();
    };
    QVERIFY(importTransactions(f.budget, f.checking, hooks));
    QCOMPARE(second, QList<bool>(10, false));
    QCOMPARE(f.budget.transactions().size(), count);
}

void TestImportReview::nothingChosenIsStillConfirmed() {
    Fixture f;
    const DateTime lastImport = f.checking->lastImport();
    ImportHooks hooks;
    hooks.chooseFile = [] { return kStatement; };
    DialogDriver::beforeExec = [](QDialog* d) {
        auto* dialog = qobject_cast<ImportReviewDialog*>(d);
        for (int row = 0; row < dialog->transactionList()->rowCount(); ++row)
            setChecked(dialog->transactionList(), row, false);
        dialog->okButton()->click();
    };
    QVERIFY(importTransactions(f.budget, f.checking, hooks));
    QCOMPARE(f.budget.transactions().size(), std::size_t(3));
    QVERIFY(isSameInstant(f.checking->lastImport(), lastImport));
}

void TestImportReview::endsQuietly_data() {
    QTest::addColumn<QByteArray>("content"); // "-" = no file chosen, "?" = missing file
    QTest::newRow("cancelled") << QByteArray("-");
    QTest::newRow("missing") << QByteArray("?");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << QByteArray("\x7f"
                                          "ELF\x02\x01\x01\xff\xfe\n\r\x01",
                                          12);
}

void TestImportReview::endsQuietly() {
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath("s.qif");
    if (content != "-" && content != "?") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    Fixture f;
    FakePrompter prompter;
    bool shown = false;
    ImportHooks hooks;
    hooks.prompter = &prompter;
    hooks.chooseFile = [&] { return content == "-" ? QString() : path; };
    DialogDriver::beforeExec = [&](QDialog*) { shown = true; };
    const QString before = budgetDump(f.budget);
    QVERIFY(!importTransactions(f.budget, f.checking, hooks));
    QVERIFY(!shown);
    QCOMPARE(budgetDump(f.budget), before);
    QVERIFY(prompter.records.isEmpty());
    QVERIFY(!importTransactions(f.budget, nullptr, hooks));
}

// Whatever a statement holds that is not imported is told, in one message, before the
// review opens; a refused statement is told too.
void TestImportReview::leftOutRecordsAreTold_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("reviewRows"); // -1: the review does not open
    const QString head = QStringLiteral(" record(s) in this statement will not be imported:\n");
    QTest::newRow("no complete transaction") << QByteArray("!Type:Bank\nD1/2/2024\nPX\n^\n")
                                             << "1" + head + "\n1 without an amount" << -1;
    QTest::newRow("unreadable date and no date")
        << QByteArray("D3/14/2024\nT-2\nPA\n^\nDsoon\nT-1\nPB\n^\nT-3\nPC\n^\n")
        << "2" + head + "\n1 without a date\n1 with a date that cannot be read" << 1;
    QTest::newRow("category list")
        << QByteArray("!Type:Cat\nNFood\nDGroceries\n^\n!Type:Bank\nD3/14/2024\nT-2\nPA\n^\n")
        << "1" + head +
               "\n1 in lists of categories, classes, accounts or memorized transactions, which "
               "are not transactions"
        << 1;
    QByteArray huge;
    for (int i = 0; i <= kMaxQifRecords; ++i)
        huge += "D1/2/2024\nT-1\nPSHOP\n^\n";
    QTest::newRow("too many")
        << huge
        << "This statement holds more than 20,000 transactions, and Tallykeep imports at most "
           "20,000 at a time. Split the statement into smaller ones and import each of them."
        << -1;
}

void TestImportReview::leftOutRecordsAreTold() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(int, reviewRows);
    QTemporaryDir dir;
    const QString path = dir.filePath("s.qif");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    Fixture f;
    FakePrompter prompter;
    ImportHooks hooks;
    hooks.prompter = &prompter;
    hooks.chooseFile = [&] { return path; };
    int rows = -1;
    qsizetype toldBefore = -1;
    DialogDriver::beforeExec = [&](QDialog* d) {
        auto* dialog = qobject_cast<ImportReviewDialog*>(d);
        toldBefore = prompter.records.size();
        rows = dialog->transactionList()->rowCount();
        dialog->reject();
    };
    QVERIFY(!importTransactions(f.budget, f.checking, hooks));
    QCOMPARE(prompter.titles(), QStringList{"Transaction Import"});
    QCOMPARE(prompter.texts(), QStringList{message});
    QCOMPARE(rows, reviewRows);
    if (reviewRows >= 0)
        QCOMPARE(toldBefore, 1);
}

// A rule whose envelope is gone maps to no envelope: the row must be assigned by hand
// before OK, instead of being recorded into an envelope that does not exist.
void TestImportReview::goneEnvelopeIsUnassigned() {
    Fixture f; // rule OLD* points to envelope 999, which does not exist
    ImportBatch batch;
    batch.account = f.checking;
    QCOMPARE(readQifBytes("D12/10/2024\nT-5.00\nPOLD TOWN DELI\n^\n", batch.records), 0u);
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QTableWidget* rows = dialog.transactionList();
    QCOMPARE(column(rows, 2), QStringList{"Old"});
    QCOMPARE(column(rows, 3), QStringList{""});
    QCOMPARE(batch.records[0].envelopeId, kNoId);
    QCOMPARE(checks(rows), QList<bool>{true});
    QVERIFY(!dialog.okButton()->isEnabled());
    dialog.okButton()->click();
    QVERIFY(batch.chosen.empty());

    // Pointing the rule at an envelope that exists assigns the row.
    f.rules().addMappingRule("OLD*", f.envelopes["Groceries"], false, "Old");
    dialog.datePicker()->setDate(QDate(2024, 12, 1)); // refills and re-maps the rows
    QCOMPARE(column(rows, 3), QStringList{"Groceries"});
    QVERIFY(dialog.okButton()->isEnabled());
}

// The history guess (an earlier payee beginning with the same letters) can pair unrelated
// payees; it is shown slanted, with where it came from, until a rule decides.
void TestImportReview::guessIsShownAsGuess() {
    Fixture f;
    AccountEnvelope* utilities = f.budget.createEnvelope();
    utilities->setName("Utilities");
    createTransaction(f.budget, TransactionType::Expense, -8000, f.checking->id(), kNoId,
                      utilities->id(), "City Power & Light", "", day(2024, 11, 20));
    ImportBatch batch;
    batch.account = f.checking;
    QCOMPARE(readQifFile(QStringLiteral(TALLYKEEP_TEST_DATA "/statements/us_checking.qif"),
                         batch.records),
             0u);
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    QTableWidget* rows = dialog.transactionList();
    QCOMPARE(column(rows, 1).at(2), QStringLiteral("CITY PARKING METER"));
    const QString tip = QStringLiteral("Guessed from earlier payee 'City Power & Light'");
    for (int col : {2, 3}) {
        QTableWidgetItem* guessed = rows->item(2, col);
        QVERIFY(guessed->font().italic());
        QCOMPARE(guessed->toolTip(), tip);
        QTableWidgetItem* ruled = rows->item(0, col); // WALMART* rule
        QVERIFY(!ruled->font().italic());
        QVERIFY(ruled->toolTip().isEmpty());
    }
    QCOMPARE(rows->item(2, 3)->text(), QStringLiteral("Utilities"));

    // A rule for the payee replaces the guess.
    f.rules().addMappingRule("CITY PARKING*", f.envelopes["Fuel"], false, "Parking");
    dialog.datePicker()->setDate(QDate(2024, 1, 1));
    QCOMPARE(rows->item(2, 3)->text(), QStringLiteral("Fuel"));
    QVERIFY(!rows->item(2, 3)->font().italic());
    QVERIFY(rows->item(2, 3)->toolTip().isEmpty());
}

void TestImportReview::cancelKeepsRuleChanges() {
    Fixture f;
    FakePrompter prompter;
    ImportHooks hooks;
    hooks.prompter = &prompter;
    hooks.chooseFile = [] { return kStatement; };
    DialogDriver::beforeExec = [](QDialog* d) {
        auto* dialog = qobject_cast<ImportReviewDialog*>(d);
        if (!dialog)
            return;
        dialog->ruleList()->selectRow(2); // OLD*
        dialog->deleteRuleButton()->click();
        dialog->reject();
    };
    QVERIFY(!importTransactions(f.budget, f.checking, hooks));
    QVERIFY(!f.rules().find("OLD*"));
    QCOMPARE(f.budget.transactions().size(), std::size_t(3));
}

void TestImportReview::bigStatementStaysQuick() {
    // The largest statement accepted, against a history of 100,000 transactions.
    Fixture f;
    const ItemId fuel = f.envelopes["Fuel"];
    for (int i = 0; i < 100000; ++i)
        createTransaction(f.budget, TransactionType::Expense, -(1000 + i % 5000), f.checking->id(),
                          kNoId, fuel, QStringLiteral("Payee %1").arg(i % 3000), "",
                          day(2020 + i % 5, 1 + i % 12, 1 + i % 28));
    ImportBatch batch;
    batch.account = f.checking;
    for (int i = 0; i < kMaxQifRecords; ++i) {
        ImportRecord r;
        r.incomingPayee = QStringLiteral("SHOP %1").arg(i);
        r.amount = -(1000 + i % 5000);
        r.date = day(2024, 1 + i % 12, 1 + i % 28);
        batch.records.push_back(r);
    }
    QElapsedTimer timer;
    timer.start();
    FakePrompter prompter;
    ImportReviewDialog dialog(f.budget, batch, &prompter);
    const qint64 opened = timer.restart();
    dialog.datePicker()->setDate(QDate(2019, 1, 1));
    const qint64 refilled = timer.restart();
    setChecked(dialog.transactionList(), 0, false);
    const qint64 toggled = timer.elapsed();
    qInfo("%d rows over 100,000 transactions: opened in %lld ms, refilled in %lld ms, one check "
          "box in %lld ms",
          kMaxQifRecords, opened, refilled, toggled);
    QCOMPARE(dialog.transactionList()->rowCount(), kMaxQifRecords);
    QVERIFY(opened < 20000);
}

// A 40-row statement at the size the review takes on a 1366x768 screen: the rows get the
// height, the empty-ish rules list only what its rules need. The size and the split the user
// leaves are where the next review opens, in this run and, through the file, the next.
void TestImportReview::rowsHaveTheRoom() {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("view.ini"));
    ImportReviewDialog::rememberLayoutIn(ini);
    Fixture f;
    f.rules().clear(); // a new user's: no rules yet
    ImportBatch batch = f.batch();
    std::vector<ImportRecord> month;
    QCOMPARE(readQifFile(QStringLiteral(TALLYKEEP_TEST_DATA "/statement_month.qif"), month), 0u);
    batch.records = month;
    batch.records.insert(batch.records.end(), month.begin(), month.end());
    QCOMPARE(int(batch.records.size()), 40);
    FakePrompter prompter;
    QList<int> split;
    {
        ImportReviewDialog review(f.budget, batch, &prompter);
        // 95% by 85% of a 1366x768 screen's room below a panel.
        review.resize(1298, 626);
        review.show();
        QVERIFY(QTest::qWaitForWindowExposed(&review));
        const QString folder = QCoreApplication::applicationDirPath() + "/../../shots";
        QDir().mkpath(folder);
        QVERIFY(review.grab().save(folder + "/import_review_1366x768.png"));
        QTableWidget* rows = review.transactionList();
        const int rowHeight = rows->verticalHeader()->defaultSectionSize();
        const int shown = rows->viewport()->height() / rowHeight;
        QVERIFY2(shown >= 16, qPrintable(QStringLiteral("%1 rows in %2x%3")
                                             .arg(shown)
                                             .arg(review.width())
                                             .arg(review.height())));
        QTableWidget* rules = review.ruleList();
        QVERIFY2(rules->viewport()->height() <= (rules->rowCount() + 2) * rowHeight,
                 qPrintable(QString::number(rules->viewport()->height())));

        review.resize(1100, 600);
        review.splitter()->setSizes({250, 250});
        split = review.splitter()->sizes();
        review.reject();
    }
    auto reopen = [&] {
        ImportReviewDialog again(f.budget, batch, &prompter);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.size(), QSize(1100, 600));
        QCOMPARE(again.splitter()->sizes(), split);
        again.reject();
    };
    reopen();
    // The next run: nothing in memory, the file holds the layout.
    ImportReviewDialog::rememberLayoutIn(ini);
    reopen();
    ImportReviewDialog::rememberLayoutIn(QString());
}

void TestImportReview::screenshots() {
    const QString folder = QCoreApplication::applicationDirPath() + "/../../shots";
    QDir().mkpath(folder);
    Fixture f;
    // A month of a real-looking statement, so the shot shows the lists as a user sees them.
    ImportBatch batch = f.batch();
    QCOMPARE(readQifFile(QStringLiteral(TALLYKEEP_TEST_DATA "/statement_month.qif"), batch.records),
             0u);
    QCOMPARE(int(batch.records.size()), 20);
    FakePrompter prompter;
    ImportReviewDialog review(f.budget, batch, &prompter);
    review.show();
    QVERIFY(QTest::qWaitForWindowExposed(&review));
    QVERIFY(review.grab().save(folder + "/import_review.png"));
    // However narrow the screen, the amounts and the notes stay in view.
    QTableWidget* rows = review.transactionList();
    const int last = rows->columnCount() - 1;
    QVERIFY(rows->horizontalHeader()->sectionViewportPosition(last) +
                rows->horizontalHeader()->sectionSize(last) <=
            rows->viewport()->width());
    // On a common desktop size, with the payroll taken as a deposit: the shot for the manual.
    review.chooseDeposit(5);
    review.resize(1060, 700);
    QVERIFY(review.grab().save(folder + "/import_review_explained.png"));

    RuleRequest request{batch.records[6].incomingPayee, QString(), QString(), kNoId};
    RuleEditorDialog editor(f.budget, request, &review);
    editor.testField()->setText("CORNER BAKERY");
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    // Nothing is squeezed below its size hint.
    QVERIFY(editor.width() >= editor.sizeHint().width());
    QVERIFY(editor.height() >= editor.minimumSizeHint().height());
    QVERIFY(editor.grab().save(folder + "/rule_editor.png"));

    // Both lines of the result at once.
    editor.matchField()->setText("CORNER");
    QCOMPARE(editor.resultText()->text().count(QLatin1Char('\n')), 1);
    // Wrapped, they still fit the result area instead of running over the test field.
    QLabel* result = editor.resultText();
    QVERIFY(result->heightForWidth(result->width()) <= result->height());
    QVERIFY(editor.grab().save(folder + "/rule_editor_two_lines.png"));
}

QTEST_MAIN(TestImportReview)
#include "test_importreview.moc"
