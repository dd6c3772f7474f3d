// Payee mapping: rules first, then the earliest similar payee of the history; the rule
// editor's live check and what confirming it does to the rule set.

#include "gui/ruleeditor.h"
#include "import/mappayee.h"
#include "model/budget.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace {
// A budget with three envelopes (one hidden); "missing" names an id that no item has.
struct Fixture {
    Budget budget;
    QMap<QString, ItemId> ids;

    Fixture() {
        for (const char* name : {"Groceries", "Fuel", "Shopping"}) {
            AccountEnvelope* e = budget.createEnvelope();
            e->setName(name);
            ids[name] = e->id();
        }
        budget.findItem(ids["Shopping"])->setHidden(true);
        ids["missing"] = 999;
        ids[""] = kNoId;
    }
    ItemId id(const QString& name) const { return ids.value(name, kNoId); }
    QString nameOf(ItemId id) const { return ids.key(id, QStringLiteral("?")); }
    // "match|payee|envelope"
    void addRules(const QStringList& rules) {
        for (const QString& r : rules) {
            const QStringList f = r.split('|');
            budget.rules().addMappingRule(f[0], id(f[2]), false, f[1]);
        }
    }
    // "payee|envelope"
    void addHistory(const QStringList& history) {
        for (const QString& h : history) {
            const QStringList f = h.split('|');
            createTransaction(budget, TransactionType::Expense, -100, kNoId, kNoId, id(f[1]), f[0],
                              QString());
        }
    }
};
} // namespace

class TestRules : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { DialogDriver::beforeExec = nullptr; }
    void mapping_data();
    void mapping();
    void check_data();
    void check();
    void editorOpening_data();
    void editorOpening();
    void editorChecksLive();
    void editorPickers();
    void confirmReplacesEarlierRules();
    void confirmWithEmptyMatchUsesOriginal();
    void cancelChangesNothing();
    void depositRuleRoundTrip();
};

void TestRules::mapping_data() {
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<QString>("incoming");
    QTest::addColumn<QString>("payee");
    QTest::addColumn<QString>("envelope");
    QTest::newRow("first rule in set order wins")
        << QStringList{"AB*|Abc|Fuel", "A*|Alpha|Groceries"} << QStringList{} << "ABC STORE"
        << "Alpha"
        << "Groceries";
    QTest::newRow("whole text must match")
        << QStringList{"walmart|W|Groceries"} << QStringList{} << "Walmart 90210"
        << ""
        << "";
    QTest::newRow("wildcard ignores case")
        << QStringList{"walmart*|W|Groceries"} << QStringList{} << "Walmart 90210"
        << "W"
        << "Groceries";
    QTest::newRow("alternatives") << QStringList{"Shell*;Exxon*|Gas|Fuel"} << QStringList{}
                                  << "EXXON 123"
                                  << "Gas"
                                  << "Fuel";
    // The row must be assigned by hand rather than recorded into an envelope that is gone.
    QTest::newRow("rule to an envelope that is gone maps to none")
        << QStringList{"X*|Xavier|missing"} << QStringList{} << "XY"
        << "Xavier"
        << "";
    QTest::newRow("rule beats history")
        << QStringList{"Sh*|Shell Oil|Fuel"} << QStringList{"Shop|Groceries"} << "SHOP 1"
        << "Shell Oil"
        << "Fuel";
    QTest::newRow("history compares four characters")
        << QStringList{} << QStringList{"Costco Wholesale|Groceries"} << "COSTUME SHOP"
        << "Costco Wholesale"
        << "Groceries";
    QTest::newRow("five-character payee whole")
        << QStringList{} << QStringList{"Shell|Fuel"} << "SHELL OIL 123"
        << "Shell"
        << "Fuel";
    QTest::newRow("key longer than incoming")
        << QStringList{} << QStringList{"Shell|Fuel"} << "SHEL"
        << ""
        << "";
    QTest::newRow("store order decides")
        << QStringList{} << QStringList{"COST|Fuel", "Costco Wholesale|Groceries"} << "COSTX"
        << "COST"
        << "Fuel";
    QTest::newRow("history envelope gone")
        << QStringList{} << QStringList{"Amazon|missing"} << "AMAZON MKTP"
        << "Amazon"
        << "";
    QTest::newRow("empty payee qualifies for all")
        << QStringList{} << QStringList{"Shell|Fuel", "|Groceries"} << "ANYTHING"
        << ""
        << "Groceries";
    QTest::newRow("empty incoming skips rules")
        << QStringList{"*|Any|Fuel"} << QStringList{"|Groceries"} << ""
        << ""
        << "Groceries";
    QTest::newRow("only a-z fold") << QStringList{} << QStringList{"Émile's|Groceries"} << "éMILE"
                                   << ""
                                   << "";
    QTest::newRow("nothing") << QStringList{"Q*|Q|Fuel"} << QStringList{"Shell|Fuel"} << "TARGET"
                             << ""
                             << "";
}

void TestRules::mapping() {
    QFETCH(QStringList, rules);
    QFETCH(QStringList, history);
    QFETCH(QString, incoming);
    QFETCH(QString, payee);
    QFETCH(QString, envelope);
    Fixture f;
    f.addRules(rules);
    f.addHistory(history);
    const PayeeMapping direct = mapPayee(f.budget, incoming);
    QCOMPARE(direct.payee, payee);
    QCOMPARE(f.nameOf(direct.envelopeId), envelope);
    // The indexed mapper used for whole statements must agree.
    const PayeeMapping indexed = PayeeMapper(f.budget).map(incoming);
    QCOMPARE(indexed.payee, payee);
    QCOMPARE(indexed.envelopeId, direct.envelopeId);
}

void TestRules::check_data() {
    QTest::addColumn<QString>("match");
    QTest::addColumn<QString>("original");
    QTest::addColumn<QString>("test");
    QTest::addColumn<QString>("payee");
    QTest::addColumn<bool>("envelope");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");
    const QString fine = "The match string matches the current test text";
    const QString error = "ERROR! The pattern DOES NOT match the original payee [Walmart 90210].";
    const QString warning = "Warning! The pattern DOES NOT match the test payee [Target]";
    QTest::newRow("all good") << "Walmart*"
                              << "Walmart 90210"
                              << ""
                              << "Walmart" << true << true << fine;
    QTest::newRow("test payee matches") << "Walmart*"
                                        << ""
                                        << "WALMART"
                                        << "W" << true << true << fine;
    QTest::newRow("empty match with original") << ""
                                               << "Walmart 90210"
                                               << ""
                                               << "W" << true << false << error;
    QTest::newRow("empty match, nothing to compare") << ""
                                                     << ""
                                                     << ""
                                                     << "W" << true << false << fine;
    QTest::newRow("no envelope") << "Walmart*"
                                 << "Walmart 90210"
                                 << ""
                                 << "W" << false << false << fine;
    QTest::newRow("no payee") << "Walmart*"
                              << "Walmart 90210"
                              << ""
                              << "" << true << false << fine;
    QTest::newRow("original fails") << "walmart"
                                    << "Walmart 90210"
                                    << ""
                                    << "W" << true << false << error;
    QTest::newRow("test payee fails, still ok") << "Walmart*"
                                                << "Walmart 90210"
                                                << "Target"
                                                << "W" << true << true << warning;
    QTest::newRow("both fail") << "Costco*"
                               << "Walmart 90210"
                               << "Target"
                               << "W" << true << false << error + "\n" + warning;
}

void TestRules::check() {
    QFETCH(QString, match);
    QFETCH(QString, original);
    QFETCH(QString, test);
    QFETCH(QString, payee);
    QFETCH(bool, envelope);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    const RuleCheck result = checkRule(match, original, test, payee, envelope);
    QCOMPARE(result.ok, ok);
    QCOMPARE(result.message, message);
}

void TestRules::editorOpening_data() {
    QTest::addColumn<QString>("incoming");
    QTest::addColumn<QString>("original");
    QTest::addColumn<QString>("test");
    QTest::addColumn<QString>("payee");
    QTest::addColumn<QString>("envelope");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("moreRules");
    QTest::newRow("statement row") << "WALMART #123"
                                   << "WALMART #123"
                                   << ""
                                   << "Walmart"
                                   << "Groceries" << true << QStringList{};
    QTest::newRow("rule with wildcards") << "WALMART*"
                                         << ""
                                         << "WALMART_"
                                         << "Walmart"
                                         << "Groceries" << true << QStringList{};
    QTest::newRow("new rule") << ""
                              << ""
                              << ""
                              << ""
                              << "" << false << QStringList{};
    QTest::newRow("history guess") << "SHELL OIL"
                                   << "SHELL OIL"
                                   << ""
                                   << "Shell"
                                   << "Fuel" << true << QStringList{};
    QTest::newRow("unknown payee") << "TARGET 12"
                                   << "TARGET 12"
                                   << ""
                                   << ""
                                   << "" << false << QStringList{};
    // W* sorts before WALMART* and matches the pattern's text, yet the rule being edited
    // shows its own payee and envelope.
    QTest::newRow("rule behind a broader one")
        << "WALMART*"
        << ""
        << "WALMART_"
        << "Walmart"
        << "Groceries" << true << QStringList{"W*|Wide|Fuel"};
    // A statement row still takes the first matching rule; "Wide" is no payee of the budget.
    QTest::newRow("statement row behind a broader one")
        << "WALMART #9"
        << "WALMART #9"
        << ""
        << ""
        << "Fuel" << false << QStringList{"W*|Wide|Fuel"};
}

void TestRules::editorOpening() {
    QFETCH(QString, incoming);
    QFETCH(QString, original);
    QFETCH(QString, test);
    QFETCH(QString, payee);
    QFETCH(QString, envelope);
    QFETCH(bool, ok);
    QFETCH(QStringList, moreRules);
    Fixture f;
    f.addRules({"WALMART*|Walmart|Groceries"});
    f.addRules(moreRules);
    f.addHistory({"Walmart|Groceries", "Shell|Fuel"});
    RuleRequest request{incoming, QString(), QString(), kNoId};
    RuleEditorDialog dialog(f.budget, request);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Import Mapping Rule Editor"));
    QCOMPARE(dialog.matchField()->text(), incoming);
    QCOMPARE(dialog.originalField()->text(), original);
    QVERIFY(dialog.originalField()->isReadOnly());
    QCOMPARE(dialog.testField()->text(), test);
    QCOMPARE(dialog.payeeField()->currentText(), payee);
    QCOMPARE(dialog.envelopeField()->currentText(), envelope);
    QCOMPARE(dialog.okButton()->isEnabled(), ok);
    // The check has run once: the placeholder text is gone.
    QVERIFY(dialog.resultText()->text() != QStringLiteral("String Match Results\nLIne two"));
}

void TestRules::editorChecksLive() {
    Fixture f;
    f.addRules({"WALMART*|Walmart|Groceries"});
    f.addHistory({"Walmart|Groceries"});
    RuleRequest request{"WALMART #123", QString(), QString(), kNoId};
    RuleEditorDialog dialog(f.budget, request);
    QVERIFY(dialog.okButton()->isEnabled());

    dialog.matchField()->clear();
    QVERIFY(!dialog.okButton()->isEnabled());
    QCOMPARE(
        dialog.resultText()->text(),
        QStringLiteral("ERROR! The pattern DOES NOT match the original payee [WALMART #123]."));
    QTest::keyClicks(dialog.matchField(), "walmart*");
    QVERIFY(dialog.okButton()->isEnabled());
    QTest::keyClicks(dialog.testField(), "Target");
    QCOMPARE(dialog.resultText()->text(),
             QStringLiteral("Warning! The pattern DOES NOT match the test payee [Target]"));
    QVERIFY(dialog.okButton()->isEnabled());
    dialog.payeeField()->setEditText(QString());
    QVERIFY(!dialog.okButton()->isEnabled());
    QTest::keyClicks(dialog.payeeField()->lineEdit(), "Wal-Mart");
    QVERIFY(dialog.okButton()->isEnabled());
    dialog.envelopeField()->setCurrentIndex(-1);
    QVERIFY(!dialog.okButton()->isEnabled());
    dialog.envelopeField()->setCurrentIndex(0);
    QVERIFY(dialog.okButton()->isEnabled());
    // Fields hold at most 1023 characters.
    dialog.matchField()->setText(QString(5000, 'x'));
    QCOMPARE(dialog.matchField()->text().size(), 1023);
}

void TestRules::editorPickers() {
    Fixture f;
    f.addHistory({"shell|", "Amazon|", "|", "Costco|"});
    RuleRequest request;
    RuleEditorDialog dialog(f.budget, request);
    QStringList envelopes;
    for (int i = 0; i < dialog.envelopeField()->count(); ++i)
        envelopes << dialog.envelopeField()->itemText(i);
    // Every envelope, hidden ones too, sorted by name; then the choice of deposits.
    QCOMPARE(envelopes, (QStringList{"Fuel", "Groceries", "Shopping", "--deposit--"}));
    QVERIFY(!dialog.envelopeField()->isEditable());
    QCOMPARE(dialog.envelopeField()->itemData(1).value<quint32>(), f.id("Groceries"));
    QStringList payees;
    for (int i = 0; i < dialog.payeeField()->count(); ++i)
        payees << dialog.payeeField()->itemText(i);
    QCOMPARE(payees, (QStringList{"Amazon", "Costco", "shell"}));
    QVERIFY(dialog.payeeField()->isEditable());
}

void TestRules::confirmReplacesEarlierRules() {
    Fixture f;
    // An earlier rule saved for this row, a rule keyed by the row's payee in other case, and
    // an unrelated one.
    f.addRules({"OLD*|Old|Fuel", "walmart #123|W|Fuel", "Target*|Target|Shopping"});
    RuleRequest request{"WALMART #123", QString(), "OLD*", kNoId};
    DialogDriver::beforeExec = [](QDialog* d) {
        auto* editor = qobject_cast<RuleEditorDialog*>(d);
        QVERIFY(editor);
        editor->matchField()->setText("WALMART*");
        editor->payeeField()->setEditText("Walmart");
        editor->envelopeField()->setCurrentText("Groceries");
        QVERIFY(editor->okButton()->isEnabled());
        editor->okButton()->click();
    };
    QVERIFY(RuleEditorDialog::edit(f.budget, request, nullptr));
    QCOMPARE(request.matchString, QStringLiteral("WALMART*"));
    QCOMPARE(request.payee, QStringLiteral("Walmart"));
    QCOMPARE(request.incomingText, QStringLiteral("WALMART #123"));
    QCOMPARE(request.envelopeId, f.id("Groceries"));
    QStringList rules;
    for (const PayeeMappingRule& r : f.budget.rules().rules())
        rules << r.match + "|" + r.payee + "|" + f.nameOf(r.envelopeId);
    QCOMPARE(rules, (QStringList{"Target*|Target|Shopping", "WALMART*|Walmart|Groceries"}));
}

void TestRules::confirmWithEmptyMatchUsesOriginal() {
    // The editor cannot be confirmed with an empty match string; the plain function still
    // falls back to the original payee.
    Fixture f;
    RuleRequest request{"SHOP", QString(), QString(), kNoId};
    confirmRule(f.budget.rules(), request, "Shop", QString(), "SHOP", f.id("Fuel"));
    QCOMPARE(request.matchString, QStringLiteral("SHOP"));
    QVERIFY(f.budget.rules().find("SHOP"));
    QCOMPARE(f.budget.rules().find("SHOP")->envelopeId, f.id("Fuel"));
    // No envelope chosen: the request keeps its own.
    RuleRequest kept{"X", QString(), QString(), f.id("Groceries")};
    confirmRule(f.budget.rules(), kept, "X", "X*", "X", std::nullopt);
    QCOMPARE(f.budget.rules().find("X*")->envelopeId, f.id("Groceries"));
}

void TestRules::cancelChangesNothing() {
    Fixture f;
    f.addRules({"WALMART #123|W|Fuel"});
    RuleRequest request{"WALMART #123", QString(), QString(), kNoId};
    DialogDriver::beforeExec = [](QDialog* d) {
        auto* editor = qobject_cast<RuleEditorDialog*>(d);
        editor->matchField()->setText("WALMART*");
        editor->reject();
    };
    QVERIFY(!RuleEditorDialog::edit(f.budget, request, nullptr));
    QCOMPARE(f.budget.rules().size(), 1);
    QVERIFY(f.budget.rules().find("WALMART #123"));
    QVERIFY(request.matchString.isEmpty());
}

// "--deposit--" in the editor stores a deposit rule (no envelope); editing it again shows it
// as such, and picking an envelope makes it an expense rule once more.
void TestRules::depositRuleRoundTrip() {
    Fixture f;
    RuleRequest request{"ACME PAYROLL 0412", QString(), QString(), kNoId};
    DialogDriver::beforeExec = [](QDialog* d) {
        auto* editor = qobject_cast<RuleEditorDialog*>(d);
        editor->matchField()->setText("ACME PAYROLL*");
        editor->payeeField()->setEditText("Acme");
        editor->envelopeField()->setCurrentText("--deposit--");
        QVERIFY(editor->okButton()->isEnabled());
        editor->okButton()->click();
    };
    QVERIFY(RuleEditorDialog::edit(f.budget, request, nullptr));
    const PayeeMappingRule* rule = f.budget.rules().find("ACME PAYROLL*");
    QVERIFY(rule);
    QVERIFY(rule->deposit);
    QCOMPARE(rule->envelopeId, kNoId);
    QVERIFY(request.deposit);

    RuleRequest again{"ACME PAYROLL*", QString(), QString(), kNoId};
    QString shown;
    DialogDriver::beforeExec = [&](QDialog* d) {
        auto* editor = qobject_cast<RuleEditorDialog*>(d);
        shown = editor->envelopeField()->currentText();
        editor->payeeField()->setEditText("Acme");
        editor->envelopeField()->setCurrentText("Groceries");
        editor->okButton()->click();
    };
    QVERIFY(RuleEditorDialog::edit(f.budget, again, nullptr));
    QCOMPARE(shown, QStringLiteral("--deposit--"));
    rule = f.budget.rules().find("ACME PAYROLL*");
    QVERIFY(!rule->deposit);
    QCOMPARE(rule->envelopeId, f.id("Groceries"));
}

QTEST_MAIN(TestRules)
#include "test_rules.moc"
