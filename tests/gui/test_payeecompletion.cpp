// Payee drop-downs: contents, order, preselection and completion.

#include "gui/payeecompletion.h"
#include "model/budget.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QTest>

class TestPayeeCompletion : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void distinctInCodeUnitOrder();
    void preselection_data();
    void preselection();
    void dropDownSortedIgnoringCase();
    void completionIsCaseInsensitivePrefix();
    void textsAreLimited();
    void typedTextKeepsItsCase_data();
    void typedTextKeepsItsCase();

private:
    static void addPayees(Budget& budget, const QStringList& payees) {
        for (const QString& p : payees)
            createTransaction(budget, TransactionType::Expense, -1, kNoId, kNoId, kNoId, p, "");
    }
};

void TestPayeeCompletion::distinctInCodeUnitOrder() {
    Budget budget;
    addPayees(budget, {"Shell", "SHELL", "", "Amazon", "Shell", "amazon"});
    QCOMPARE(distinctPayees(budget), (QStringList{"Amazon", "SHELL", "Shell", "amazon"}));
}

void TestPayeeCompletion::preselection_data() {
    QTest::addColumn<QString>("preselect");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QString>("shown");
    QTest::newRow("case variant") << "shell" << true << "Shell"; // the later variant wins
    QTest::newRow("exact") << "Amazon" << true << "Amazon";
    QTest::newRow("absent") << "Costco" << false << "";
    QTest::newRow("none") << QString() << false << "";
    QTest::newRow("empty never matches") << "" << false << "";
    QTest::newRow("only a-z fold") << "éclair" << false << "";
    QTest::newRow("accented exact") << "Éclair" << true << "Éclair";
}

void TestPayeeCompletion::preselection() {
    QFETCH(QString, preselect);
    QFETCH(bool, selected);
    QFETCH(QString, shown);
    Budget budget;
    addPayees(budget, {"Shell", "SHELL", "", "Amazon", "Éclair"});
    QComboBox combo;
    QCOMPARE(fillPayeeChoices(&combo, budget, preselect), selected);
    QCOMPARE(combo.count(), 4);
    QCOMPARE(combo.currentText(), shown);
    QCOMPARE(combo.currentIndex() >= 0, selected);
}

void TestPayeeCompletion::dropDownSortedIgnoringCase() {
    Budget budget;
    addPayees(budget, {"zoo", "Bank", "apple", "Éclair", "banana", "Apple"});
    QComboBox combo;
    fillPayeeChoices(&combo, budget, QString());
    QStringList shown;
    for (int i = 0; i < combo.count(); ++i)
        shown << combo.itemText(i);
    QCOMPARE(shown, (QStringList{"Apple", "apple", "banana", "Bank", "Éclair", "zoo"}));
    QVERIFY(combo.isEditable());
}

void TestPayeeCompletion::completionIsCaseInsensitivePrefix() {
    Budget budget;
    addPayees(budget, {"Shell", "SHELL", "Shop", "Amazon", "Mshell"});
    QComboBox combo;
    fillPayeeChoices(&combo, budget, QString());
    QCompleter* completer = combo.completer();
    QVERIFY(completer);
    QCOMPARE(completer->caseSensitivity(), Qt::CaseInsensitive);
    completer->setCompletionPrefix("sh");
    QStringList offered;
    for (int i = 0; completer->setCurrentRow(i); ++i)
        offered << completer->currentCompletion();
    QCOMPARE(offered, (QStringList{"SHELL", "Shell", "Shop"}));
}

void TestPayeeCompletion::textsAreLimited() {
    Budget budget;
    QComboBox combo;
    fillPayeeChoices(&combo, budget, QString());
    combo.setEditText(QString(2000, u'x'));
    QCOMPARE(combo.currentText().size(), 1023);
}

void TestPayeeCompletion::typedTextKeepsItsCase_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("enter") << int(Qt::Key_Return);
    QTest::newRow("tab") << int(Qt::Key_Tab);
}

void TestPayeeCompletion::typedTextKeepsItsCase() {
    QFETCH(int, key);
    Budget budget;
    addPayees(budget, {"Amazon", "Shell"});
    QWidget window;
    auto* combo = new QComboBox(&window);
    new QLineEdit(&window); // somewhere for Tab to go
    fillPayeeChoices(combo, budget, QString());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    combo->setFocus();
    combo->lineEdit()->setText("amazon");
    QTest::keyClick(combo->lineEdit(), Qt::Key(key));
    QCOMPARE(combo->currentText(), QString("amazon"));
}

QTEST_MAIN(TestPayeeCompletion)
#include "test_payeecompletion.moc"
