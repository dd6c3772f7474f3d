// Payee drop-downs: contents, order, preselection and completion.

#include "import/payeecompletion.h"
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
}

void TestPayeeCompletion::preselection() {
    QFETCH(QString, preselect);
    QFETCH(bool, selected);
    QFETCH(QString, shown);
    Budget budget;
    addPayees(budget, {"Shell", "SHELL", "", "Amazon"});
    QComboBox combo;
    QCOMPARE(fillPayeeChoices(&combo, budget, preselect), selected);
    QCOMPARE(combo.count(), 3);
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

QTEST_MAIN(TestPayeeCompletion)
#include "test_payeecompletion.moc"
