#include "model/mappingrules.h"

#include <QTest>

class TestMappingRules : public QObject {
    Q_OBJECT
private slots:
    void wildcard_data();
    void wildcard();
    void reservedCharacters();
    void codeUnitOrder();
    void addReplacesAndKeepsOneRule();
    void addWithReservedReplacement();
    void removeIgnoringAsciiCase_data();
    void removeIgnoringAsciiCase();
};

void TestMappingRules::wildcard_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("prefix star") << "Walmart 90210"
                                 << "Walmart*" << true;
    QTest::newRow("case ignored") << "WALMART"
                                  << "Walmart*" << true;
    QTest::newRow("whole text") << "My Walmart"
                                << "Walmart*" << false;
    QTest::newRow("no star, longer text") << "Walmart 90210"
                                          << "walmart" << false;
    QTest::newRow("lower pattern with star") << "Walmart 90210"
                                             << "walmart*" << true;
    QTest::newRow("question mark") << "Lulu"
                                   << "?ulu" << true;
    QTest::newRow("question needs a character") << "ulu"
                                                << "?ulu" << false;
    QTest::newRow("alternatives") << "EXXON 123"
                                  << "Shell*;Exxon*" << true;
    QTest::newRow("alternative with leading blanks") << "EXXON 123"
                                                     << "Shell*;   Exxon*" << true;
    QTest::newRow("no alternative matches") << "BP 1"
                                            << "Shell*;Exxon*" << false;
    QTest::newRow("star dot star") << "anything"
                                   << "*.*" << true;
    QTest::newRow("star dot star as alternative") << "x"
                                                  << "abc; *.*" << true;
    QTest::newRow("empty text") << ""
                                << "*" << false;
    QTest::newRow("empty pattern") << "abc"
                                   << "" << false;
    QTest::newRow("star matches empty run") << "Shell"
                                            << "Shell*" << true;
    QTest::newRow("inner star") << "ABC STORE 12 MAIN"
                                << "abc*main" << true;
    QTest::newRow("inner star needs the end") << "ABC STORE 12 MAINE"
                                              << "abc*main" << false;
    QTest::newRow("backtracking") << "aaab"
                                  << "*a*ab" << true;
    QTest::newRow("many stars") << "abc"
                                << "***" << true;
    QTest::newRow("non-ASCII case") << "ÉCOLE"
                                    << "école" << true;
    QTest::newRow("question matches a whole emoji")
        << QString::fromUcs4(U"\U0001F4B3x") << "?x" << true;
    QTest::newRow("only blanks alternative") << "abc"
                                             << "   ;" << false;
}

void TestMappingRules::wildcard() {
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(wildcardMatch(text, pattern), matches);
}

void TestMappingRules::reservedCharacters() {
    QCOMPARE(replaceReservedCharacters(QStringLiteral("a<b>c:d\"e\\f/g|h?i*j")),
             QStringLiteral("a_b_c_d_e_f_g_h_i_j"));
    QCOMPARE(replaceReservedCharacters(QStringLiteral("Plain text; 1.5")),
             QStringLiteral("Plain text; 1.5"));
}

void TestMappingRules::codeUnitOrder() {
    MappingRuleSet set;
    for (const char* match : {"walmart", "ABC", "Walmart*", "AB", "\xc3\xa9"})
        set.addMappingRule(QString::fromUtf8(match), kNoId, false, {});
    QStringList order;
    for (const PayeeMappingRule& rule : set.rules())
        order << rule.match;
    QCOMPARE(order,
             (QStringList{"AB", "ABC", "Walmart*", "walmart", QString::fromUtf8("\xc3\xa9")}));
}

void TestMappingRules::addReplacesAndKeepsOneRule() {
    MappingRuleSet set;
    set.addMappingRule(QStringLiteral("Shell*"), 5, false, QStringLiteral("Shell"));
    set.addMappingRule(QStringLiteral("Shell*"), 6, false, QStringLiteral("Gas"));
    QCOMPARE(set.size(), 1);
    const PayeeMappingRule* rule = set.find(QStringLiteral("Shell*"));
    QVERIFY(rule);
    QCOMPARE(rule->payee, QStringLiteral("Gas"));
    QCOMPARE(rule->envelopeId, ItemId(6));
    QCOMPARE(set.find(QStringLiteral("shell*")), nullptr);
}

void TestMappingRules::addWithReservedReplacement() {
    MappingRuleSet set;
    set.addMappingRule(QStringLiteral("A/B*"), 1, true, QStringLiteral("P"));
    set.addMappingRule(QString(), 2, true, QStringLiteral("Q"));
    QVERIFY(set.find(QStringLiteral("A_B_")));
    QVERIFY(set.find(QString()));
    QCOMPARE(set.size(), 2);
}

void TestMappingRules::removeIgnoringAsciiCase_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("remaining");
    QTest::newRow("both cases go")
        << "shell*" << QStringList{"Exxon*", QString::fromUtf8("\xc3\xa9*")};
    QTest::newRow("length must match")
        << "shell" << QStringList{"Exxon*", "SHELL*", "Shell*", QString::fromUtf8("\xc3\xa9*")};
    QTest::newRow("only a-z are folded")
        << QString::fromUtf8("\xc3\x89*")
        << QStringList{"Exxon*", "SHELL*", "Shell*", QString::fromUtf8("\xc3\xa9*")};
    QTest::newRow("empty removes nothing")
        << "" << QStringList{"Exxon*", "SHELL*", "Shell*", QString::fromUtf8("\xc3\xa9*")};
}

void TestMappingRules::removeIgnoringAsciiCase() {
    QFETCH(QString, text);
    QFETCH(QStringList, remaining);
    MappingRuleSet set;
    for (const QString& match : {QStringLiteral("Shell*"), QStringLiteral("SHELL*"),
                                 QStringLiteral("Exxon*"), QString::fromUtf8("\xc3\xa9*")})
        set.addMappingRule(match, kNoId, false, {});
    set.removeRulesEqualTo(text);
    QStringList left;
    for (const PayeeMappingRule& rule : set.rules())
        left << rule.match;
    QCOMPARE(left, remaining);
}

QTEST_GUILESS_MAIN(TestMappingRules)
#include "test_mappingrules.moc"
