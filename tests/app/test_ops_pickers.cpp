// The account and envelope pickers and the amount fields shared by the operation dialogs.

#include "app/amountfield.h"
#include "app/operations_logic.h"
#include "app/pickers.h"
#include "model/budget.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

namespace {
QStringList texts(const QComboBox& combo) {
    QStringList out;
    for (int i = 0; i < combo.count(); ++i)
        out << combo.itemText(i);
    return out;
}
} // namespace

class TestOpsPickers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void pickableAccounts_data();
    void pickableAccounts();
    void fallbacks_data();
    void fallbacks();
    void keepAccountListedKeepsIdOrder();
    void envelopesIncludeHidden();
    void amountFields_data();
    void amountFields();
    void extremeAmountsDoNotOverflow();
    void cutsNeverSplitACharacter_data();
    void cutsNeverSplitACharacter();
    void untouchedAmountReadsBackInAnyLocale_data();
    void untouchedAmountReadsBackInAnyLocale();
};

void TestOpsPickers::pickableAccounts_data() {
    QTest::addColumn<bool>("includeCards");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("with cards") << true << QStringList{"Bank", "card", "Zeta"};
    QTest::newRow("without cards") << false << QStringList{"Bank", "Zeta"};
}

void TestOpsPickers::pickableAccounts() {
    QFETCH(bool, includeCards);
    QFETCH(QStringList, listed);
    Budget budget;
    const std::pair<const char*, int> made[] = {
        {"Zeta", 0}, {"card", 1}, {"hidden", 2}, {"readonly", 3}, {"Bank", 0}};
    for (const auto& [name, kind] : made) {
        Account* a = budget.createAccount();
        a->setName(name);
        a->setCCAccount(kind == 1);
        a->setHidden(kind == 2);
        a->setReadOnly(kind == 3);
    }
    QComboBox combo;
    fillAccountPicker(&combo, ::pickableAccounts(budget, includeCards), kNoId,
                      AccountFallback::FirstEntry);
    QCOMPARE(texts(combo), listed);
}

void TestOpsPickers::fallbacks_data() {
    QTest::addColumn<int>("wanted"); // index into the made accounts, -1 none
    QTest::addColumn<int>("fallback");
    QTest::addColumn<int>("excluded");
    QTest::addColumn<QString>("selected");
    // Accounts by id: 0 "delta", 1 "Alpha", 2 "charlie", 3 "Bravo"
    QTest::newRow("wanted listed") << 2 << int(AccountFallback::HighestId) << -1 << "charlie";
    QTest::newRow("highest id") << -1 << int(AccountFallback::HighestId) << -1 << "Bravo";
    QTest::newRow("highest but excluded")
        << -1 << int(AccountFallback::HighestIdThenFirst) << 3 << "charlie";
    QTest::newRow("excluded is only one")
        << -1 << int(AccountFallback::HighestIdThenFirst) << 9 << "Bravo";
    QTest::newRow("first entry") << -1 << int(AccountFallback::FirstEntry) << -1 << "Alpha";
}

void TestOpsPickers::fallbacks() {
    QFETCH(int, wanted);
    QFETCH(int, fallback);
    QFETCH(int, excluded);
    QFETCH(QString, selected);
    Budget budget;
    std::vector<Account*> accounts;
    for (const char* name : {"delta", "Alpha", "charlie", "Bravo"}) {
        accounts.push_back(budget.createAccount());
        accounts.back()->setName(name);
    }
    QComboBox combo;
    fillAccountPicker(&combo, accounts, wanted < 0 ? kNoId : accounts[wanted]->id(),
                      AccountFallback(fallback), excluded < 0 ? kNoId : ItemId(excluded));
    QCOMPARE(texts(combo), (QStringList{"Alpha", "Bravo", "charlie", "delta"}));
    QCOMPARE(combo.currentText(), selected);
    QCOMPARE(selectedItemId(&combo), combo.currentData().value<quint32>());
}

void TestOpsPickers::keepAccountListedKeepsIdOrder() {
    Budget budget;
    for (int i = 0; i < 3; ++i)
        budget.createAccount()->setName(QString::number(i));
    budget.findAccount(1)->setHidden(true);
    std::vector<Account*> accounts = ::pickableAccounts(budget, true);
    QCOMPARE(accounts.size(), std::size_t(2));
    keepAccountListed(accounts, budget, 1);
    keepAccountListed(accounts, budget, 1);
    keepAccountListed(accounts, budget, kNoId);
    QCOMPARE(accounts.size(), std::size_t(3));
    QCOMPARE(accounts[1]->id(), ItemId(1));
}

void TestOpsPickers::envelopesIncludeHidden() {
    Budget budget;
    for (const char* name : {"b", "A", "c"})
        budget.createEnvelope()->setName(name);
    budget.findEnvelope(2)->setHidden(true);
    QComboBox combo;
    fillEnvelopePicker(&combo, budget, 2);
    QCOMPARE(texts(combo), (QStringList{"A", "b", "c"}));
    QCOMPARE(combo.currentText(), QString("c"));
    fillEnvelopePicker(&combo, budget, 77);
    QCOMPARE(combo.currentIndex(), -1);
    QCOMPARE(selectedItemId(&combo), kNoId);
}

void TestOpsPickers::amountFields_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Amount>("cents");
    QTest::newRow("currency text") << "$1,234.56" << 123456;
    QTest::newRow("negative") << "-5.5" << -550;
    QTest::newRow("parenthesised is negative") << "(5.00)" << -500;
    QTest::newRow("no digits") << "abc" << 0;
    QTest::newRow("digits past the limit ignored") << QString(1023, u'0') + "7" << 0;
}

void TestOpsPickers::amountFields() {
    QFETCH(QString, typed);
    QFETCH(Amount, cents);
    QLineEdit field;
    field.setText(typed);
    QCOMPARE(readAmountFromControl(&field), cents);
    formatAmountIntoControl(&field, cents);
    QCOMPARE(field.text(), formatAmount(cents, true));
    QCOMPARE(readAmountFromControl(&field), cents);
}

void TestOpsPickers::extremeAmountsDoNotOverflow() {
    QCOMPARE(negatedAmount(kAmountMin), kAmountMax);
    QCOMPARE(amountMagnitude(kAmountMin), kAmountMax);
    QCOMPARE(amountMagnitude(-5), Amount(5));
    QLineEdit field;
    limitFieldText(&field);
    field.setText(QString(1500, u'a'));
    QCOMPARE(readFieldText(&field).size(), kFieldTextLimit);
}

void TestOpsPickers::cutsNeverSplitACharacter_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kept");
    const QString card = QString::fromUcs4(U"\U0001F4B3");
    QTest::newRow("short") << "abc" << 3;
    QTest::newRow("plain") << QString(1500, u'a') << 1023;
    QTest::newRow("pair across the cut") << QString(1022, u'a') + card + "b" << 1022;
    QTest::newRow("pair before the cut") << QString(1021, u'a') + card + "b" << 1023;
}

void TestOpsPickers::cutsNeverSplitACharacter() {
    QFETCH(QString, text);
    QFETCH(int, kept);
    QLineEdit field;
    field.setText(text); // not limited here: the reading cuts
    QCOMPARE(readFieldText(&field).size(), kept);
    QVERIFY(!readFieldText(&field).back().isHighSurrogate());
    QCOMPARE(formatMessage("%1", {text}).size(), kept);
}

void TestOpsPickers::untouchedAmountReadsBackInAnyLocale_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<Amount>("cents");
    QTest::addColumn<QString>("typed"); // typed over it afterwards: the typed-text rules apply
    QTest::addColumn<Amount>("typedCents");
    QTest::newRow("en_US") << "en_US" << 123456 << "12.5" << 1250;
    QTest::newRow("de_DE grouping dot") << "de_DE" << 123456 << "12.5" << 1250;
    QTest::newRow("de_DE negative") << "de_DE" << -550 << "-3" << -300;
    QTest::newRow("nl_NL sign after symbol") << "nl_NL" << -123456 << "7" << 700;
    QTest::newRow("fr_FR largest") << "fr_FR" << kAmountMax << "0" << 0;
}

void TestOpsPickers::untouchedAmountReadsBackInAnyLocale() {
    QFETCH(QString, locale);
    QFETCH(Amount, cents);
    QFETCH(QString, typed);
    QFETCH(Amount, typedCents);
    QLocale::setDefault(QLocale(locale));
    QLineEdit field;
    formatAmountIntoControl(&field, cents);
    const Amount shown = readAmountFromControl(&field);
    field.setText(typed);
    const Amount afterTyping = readAmountFromControl(&field);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(shown, cents);
    QCOMPARE(afterTyping, typedCents);
}

QTEST_MAIN(TestOpsPickers)
#include "test_ops_pickers.moc"
