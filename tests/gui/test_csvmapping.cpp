// The CSV step before the review: what it proposes for statements as banks write them, the
// preview as the import will read it, and the mapping kept with the account.

#include "fakeprompter.h"
#include "gui/csvmappingdialog.h"
#include "gui/importreview.h"
#include "model/budget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

namespace {
const QString kStatements = QStringLiteral(TALLYKEEP_TEST_DATA "/statements/");

QByteArray bytesOf(const QString& name) {
    QFile file(kStatements + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList previewRow(const CsvMappingDialog& dialog, int row) {
    QStringList texts;
    for (int c = 0; c < dialog.preview()->columnCount(); ++c)
        texts << (dialog.preview()->item(row, c) ? dialog.preview()->item(row, c)->text()
                                                 : QString("<none>"));
    return texts;
}

QStringList roles(const CsvMappingDialog& dialog) {
    QStringList texts;
    for (int role = 0; role < CsvMappingDialog::RoleCount; ++role)
        texts << dialog.roleField(role)->currentText();
    return texts;
}
} // namespace

class TestCsvMapping : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { DialogDriver::beforeExec = nullptr; }
    void proposal_data();
    void proposal();
    void previewFollowsChoices();
    void mappingIsRememberedPerAccount();
    void screenshot();
    void cardChargesAndEmptyRole();
};

void TestCsvMapping::proposal_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("dateOrder");
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QStringList>("roles"); // date, payee, memo, amount, out or in, debit, credit
    QTest::addColumn<QStringList>("firstRow");
    QTest::addColumn<QString>("summary");
    QTest::newRow("US bank")
        << "us_bank.csv"
        << "Comma"
        << "Month/day/year"
        << "Point (1,234.56)" << QStringList{"1: Date", "2: Description", "(none)", "3: Amount",
                                             "(none)",  "(none)",         "(none)"}
        << QStringList{"12/2/24", "WHOLEFDS MKT #10234, SEATTLE WA", "-$87.45", ""}
        << "4 transactions will be read; 2 rows are left out (no readable date or amount).";
    QTest::newRow("German bank")
        << "german_giro.csv"
        << "Semicolon"
        << "Day/month/year"
        << "Comma (1.234,56)" << QStringList{"1: Buchungstag",
                                             "3: Auftraggeber/Empfänger",
                                             "4: Verwendungszweck",
                                             "(none)",
                                             "(none)",
                                             "5: Soll",
                                             "6: Haben"}
        << QStringList{"12/2/24", "Bäckerei Müller GmbH", "-$12.50", "Kartenzahlung 01.12."}
        << "4 transactions will be read; 2 rows are left out (no readable date or amount).";
}

void TestCsvMapping::proposal() {
    QFETCH(QString, file);
    QFETCH(QString, delimiter);
    QFETCH(QString, dateOrder);
    QFETCH(QString, decimal);
    QFETCH(QStringList, roles);
    QFETCH(QStringList, firstRow);
    QFETCH(QString, summary);
    const QByteArray bytes = bytesOf(file);
    CsvMappingDialog dialog(bytes, detectCsvColumns(bytes));
    QCOMPARE(dialog.delimiterField()->currentText(), delimiter);
    QVERIFY(dialog.headerField()->isChecked());
    QCOMPARE(dialog.dateOrderField()->currentText(), dateOrder);
    QCOMPARE(dialog.decimalField()->currentText(), decimal);
    QCOMPARE(::roles(dialog), roles);
    QCOMPARE(previewRow(dialog, 0), firstRow);
    QCOMPARE(dialog.preview()->rowCount(), 4);
    QCOMPARE(dialog.summary()->text(), summary);
    QVERIFY(dialog.okButton()->isEnabled());
    QCOMPARE(dialog.columns(), detectCsvColumns(bytes));
}

// Every change is read again at once, the way the import will read the file.
void TestCsvMapping::previewFollowsChoices() {
    const QByteArray bytes = bytesOf("us_bank.csv");
    CsvMappingDialog dialog(bytes, detectCsvColumns(bytes));
    // Day first: 12/02 is the 12th of February, 13/01 becomes readable, 12/13 and 12/15 not.
    dialog.dateOrderField()->setCurrentText("Day/month/year");
    QCOMPARE(previewRow(dialog, 0).first(), QStringLiteral("2/12/24"));
    QCOMPARE(dialog.preview()->rowCount(), 3);
    dialog.dateOrderField()->setCurrentText("Month/day/year");
    // The running balance taken for the amount: the balance line now has money.
    dialog.roleField(CsvMappingDialog::AmountRole)->setCurrentIndex(4);
    QCOMPARE(previewRow(dialog, 0).at(2), QStringLiteral("$1,912.55"));
    QCOMPARE(dialog.preview()->rowCount(), 5);
    // No money column: nothing to import, and OK says so by being off.
    dialog.roleField(CsvMappingDialog::AmountRole)->setCurrentIndex(0);
    QVERIFY(!dialog.okButton()->isEnabled());
    QCOMPARE(dialog.preview()->rowCount(), 0);
    // The wrong delimiter leaves one column: the roles fall back to what exists.
    dialog.delimiterField()->setCurrentText("Semicolon");
    QCOMPARE(dialog.roleField(CsvMappingDialog::DateRole)->count(), 2);
    QVERIFY(!dialog.okButton()->isEnabled());
}

// The columns confirmed for an account are where its next CSV import starts; cancelling the
// step ends the import and remembers nothing.
void TestCsvMapping::mappingIsRememberedPerAccount() {
    Budget budget;
    Account* checking = budget.createAccount();
    Account* savings = budget.createAccount();
    FakePrompter prompter;
    ImportHooks hooks;
    hooks.prompter = &prompter;
    hooks.chooseFile = [] { return kStatements + "us_bank.csv"; };
    QStringList seen;
    DialogDriver::beforeExec = [&](QDialog* d) {
        if (auto* step = qobject_cast<CsvMappingDialog*>(d)) {
            seen << step->roleField(CsvMappingDialog::MemoRole)->currentText();
            step->roleField(CsvMappingDialog::MemoRole)->setCurrentIndex(4);
            step->okButton()->click();
        } else if (auto* review = qobject_cast<ImportReviewDialog*>(d)) {
            seen << review->transactionList()->item(0, 1)->text();
            review->reject();
        }
    };
    QVERIFY(!importTransactions(budget, checking, hooks));
    const std::optional<CsvColumns> kept = CsvColumns::fromText(checking->statementColumns());
    QVERIFY(kept);
    QCOMPARE(kept->memoColumn, 3);
    QCOMPARE(kept->amountColumn, 2);
    QVERIFY(savings->statementColumns().isEmpty());

    QVERIFY(!importTransactions(budget, checking, hooks));
    QVERIFY(!importTransactions(budget, savings, hooks));
    QCOMPARE(seen, (QStringList{"(none)", "WHOLEFDS MKT #10234, SEATTLE WA", "4: Running Bal.",
                                "WHOLEFDS MKT #10234, SEATTLE WA", "(none)",
                                "WHOLEFDS MKT #10234, SEATTLE WA"}));

    DialogDriver::beforeExec = [&](QDialog* d) {
        if (auto* step = qobject_cast<CsvMappingDialog*>(d))
            step->reject();
        else
            QFAIL("no review after a cancelled column step");
    };
    const QString before = savings->statementColumns();
    QVERIFY(!importTransactions(budget, savings, hooks));
    QCOMPARE(savings->statementColumns(), before);
}

void TestCsvMapping::screenshot() {
    const QString folder = QCoreApplication::applicationDirPath() + "/../../shots";
    QDir().mkpath(folder);
    const QByteArray bytes = bytesOf("german_giro.csv");
    CsvMappingDialog dialog(bytes, detectCsvColumns(bytes));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.width() >= dialog.minimumSizeHint().width());
    // Every column of the preview in view: the amounts are never cut off by a long memo.
    const QHeaderView* header = dialog.preview()->horizontalHeader();
    QVERIFY(header->sectionViewportPosition(3) + header->sectionSize(3) <=
            dialog.preview()->viewport()->width());
    QVERIFY(dialog.grab().save(folder + "/csv_columns.png"));
}

// A card statement that writes charges as positive numbers: the step proposes "charges" for
// a card account, the review shows it and can turn it back, and the account keeps the
// choice. A file whose money columns cannot be told apart opens with the amount empty; a
// balance history opens nothing.
void TestCsvMapping::cardChargesAndEmptyRole() {
    Budget budget;
    Account* card = budget.createAccount();
    card->setCCAccount(true);
    FakePrompter prompter;
    ImportHooks hooks;
    hooks.prompter = &prompter;
    hooks.chooseFile = [] { return kStatements + "amex_title_charges.csv"; };
    QStringList seen;
    DialogDriver::beforeExec = [&](QDialog* d) {
        if (auto* step = qobject_cast<CsvMappingDialog*>(d)) {
            seen << (step->chargesField()->isChecked() ? "step: charges" : "step: as written");
            seen << previewRow(*step, 1).at(2);
            step->okButton()->click();
        } else if (auto* review = qobject_cast<ImportReviewDialog*>(d)) {
            QVERIFY(review->chargesField());
            seen << review->transactionList()->item(1, 4)->text();
            review->chargesField()->click();
            seen << review->transactionList()->item(1, 4)->text();
            review->chargesField()->click();
            review->reject();
        }
    };
    QVERIFY(!importTransactions(budget, card, hooks));
    QCOMPARE(seen, (QStringList{"step: charges", "-$412.30", "-$412.30", "$412.30"}));
    QVERIFY(CsvColumns::fromText(card->statementColumns())->charges);

    // The same file into an ordinary account: amounts as written.
    Account* checking = budget.createAccount();
    seen.clear();
    QVERIFY(!importTransactions(budget, checking, hooks));
    QCOMPARE(seen.mid(0, 2), (QStringList{"step: as written", "$412.30"}));

    const QString folder = QCoreApplication::applicationDirPath() + "/../../shots";
    const QByteArray twoAmounts = "Date;Text;Sum A;Sum B\n02.01.2025;Baker;-5,00;-7,00\n"
                                  "03.01.2025;Butcher;-6,00;-9,00\n15.01.2025;Salary;100,00;"
                                  "120,00\n";
    CsvColumns start = detectCsvColumns(twoAmounts);
    start.charges = true;
    CsvMappingDialog dialog(twoAmounts, start);
    QCOMPARE(dialog.roleField(CsvMappingDialog::AmountRole)->currentText(), QString("(none)"));
    QVERIFY(!dialog.okButton()->isEnabled());
    QVERIFY(dialog.summary()->text().contains("could not tell which column holds the amount"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.grab().save(folder + "/csv_columns_empty_role.png"));
    // Once named, the charges choice turns the amounts of the preview.
    dialog.roleField(CsvMappingDialog::AmountRole)->setCurrentIndex(4);
    QCOMPARE(previewRow(dialog, 2).at(2), QString("-$120.00"));
    QVERIFY(dialog.okButton()->isEnabled());
    QVERIFY(dialog.grab().save(folder + "/csv_columns_charges.png"));

    DialogDriver::beforeExec = [](QDialog*) { QFAIL("a balance history opens no dialog"); };
    hooks.chooseFile = [] { return kStatements + "daily_balance.csv"; };
    QVERIFY(!importTransactions(budget, checking, hooks));
    QCOMPARE(prompter.texts().last(), QString("No transactions in this file."));
}

QTEST_MAIN(TestCsvMapping)
#include "test_csvmapping.moc"
