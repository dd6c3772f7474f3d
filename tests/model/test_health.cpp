#include "model/budget.h"
#include "model/clock.h"
#include "model/health.h"
#include "testdates.h"

#include <QLocale>
#include <QTest>

namespace {
const QString kHeading = QStringLiteral("State of the Budget\n");
const QString kTipText = QStringLiteral(
    "Right click accounts, folders, envelopes and transactions for more options\n\n");

QStringList texts(const StyledText& runs) {
    QStringList result;
    for (const StyledRun& run : runs)
        result << run.text;
    return result;
}

const StyledRun* findRun(const StyledText& runs, const QString& text) {
    for (const StyledRun& run : runs) {
        if (run.text == text)
            return &run;
    }
    return nullptr;
}

// One in-budget account, one folder, one envelope: the smallest budget past the setup texts.
struct SmallBudget {
    Budget budget;
    Account* checking;
    AccountGroup* folder;
    AccountEnvelope* envelope;
    SmallBudget() {
        checking = budget.createAccount();
        checking->setName(QStringLiteral("Checking"));
        folder = budget.createFolder();
        folder->setName(QStringLiteral("Home"));
        envelope = budget.createEnvelope();
        envelope->setName(QStringLiteral("Rent"));
        folder->addChild(envelope);
    }
    void spend(AccountEnvelope* e, Amount amount, const DateTime& when) {
        createTransaction(budget, TransactionType::Expense, amount, checking->id(), kNoId, e->id(),
                          {}, {}, when);
    }
};
} // namespace

class TestHealth : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }
    void setupTexts_data();
    void setupTexts();
    void negativeAccounts();
    void moneySummary_data();
    void moneySummary();
    void folderChecks_data();
    void folderChecks();
    void envelopeChecks_data();
    void envelopeChecks();
};

void TestHealth::setupTexts_data() {
    QTest::addColumn<int>("accounts");
    QTest::addColumn<int>("folders");
    QTest::addColumn<int>("envelopes");
    QTest::addColumn<bool>("hideAll");
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("tip");
    QTest::newRow("empty") << 0 << 0 << 0 << false << "You don't have any accounts." << false;
    QTest::newRow("only envelopes")
        << 0 << 0 << 1 << false << "You don't have any accounts." << true;
    QTest::newRow("hidden accounts count")
        << 1 << 0 << 0 << true << "You don't have any folders." << true;
    QTest::newRow("no envelopes") << 1 << 1 << 0 << false << "You don't have any envelopes."
                                  << true;
}

void TestHealth::setupTexts() {
    QFETCH(int, accounts);
    QFETCH(int, folders);
    QFETCH(int, envelopes);
    QFETCH(bool, hideAll);
    QFETCH(QString, start);
    QFETCH(bool, tip);
    Budget budget;
    for (int i = 0; i < accounts; ++i)
        budget.createAccount()->setHidden(hideAll);
    for (int i = 0; i < folders; ++i)
        budget.createFolder()->setHidden(hideAll);
    for (int i = 0; i < envelopes; ++i)
        budget.createEnvelope()->setHidden(hideAll);

    const StyledText runs = buildBudgetHealth(budget);
    QVERIFY(runs.size() >= 2);
    QCOMPARE(runs[0].text, kHeading);
    QVERIFY(runs[0].heading && runs[0].bold && runs[0].underline && !runs[0].red);
    QVERIFY(runs[1].text.startsWith(start));
    QVERIFY(runs[1].text.endsWith(QLatin1String("\n\n")));
    QVERIFY(!runs[1].red && !runs[1].bold && !runs[1].heading);
    QCOMPARE(findRun(runs, kTipText) != nullptr, tip);
    if (tip) {
        const StyledRun& tipRun = runs[runs.size() - 2];
        QCOMPARE(tipRun.text, QStringLiteral("TIP: "));
        QVERIFY(tipRun.bold && !tipRun.red);
        QCOMPARE(runs.back().text, kTipText);
    }
}

void TestHealth::negativeAccounts() {
    SmallBudget b;
    b.checking->adjustBalance(-1);
    Account* card = b.budget.createAccount();
    card->setName(QStringLiteral("Visa"));
    card->setCCAccount(true);
    card->adjustBalance(-50000);
    Account* hidden = b.budget.createAccount();
    hidden->setName(QStringLiteral("Old"));
    hidden->setHidden(true);
    hidden->setContributesToBudget(false);
    hidden->adjustBalance(-200);

    const StyledText runs = buildBudgetHealth(b.budget);
    const StyledRun* line =
        findRun(runs, QStringLiteral("Account 'Checking' has a negative balance -$0.01\n\n"));
    QVERIFY(line);
    QVERIFY(line->red);
    QVERIFY(findRun(runs, QStringLiteral("Account 'Old' has a negative balance -$2.00\n\n")));
    QVERIFY(!texts(runs).join(QString()).contains(QLatin1String("Visa")));
}

void TestHealth::moneySummary_data() {
    QTest::addColumn<int>("inBudget");
    QTest::addColumn<int>("assigned");
    QTest::addColumn<QString>("expected"); // empty: no summary line
    QTest::addColumn<bool>("red");
    QTest::newRow("all assigned") << 50000 << 50000
                                  << "You have $0.00 of $500.00 available for budgeting\n\n"
                                  << false;
    QTest::newRow("some left") << 50000 << 12345
                               << "You have $376.55 of $500.00 available for budgeting\n\n"
                               << false;
    QTest::newRow("over-assigned")
        << 40000 << 50000
        << "You have $500.00 assigned to envelopes but only $400.00 in in-budget accounts. "
           "Deposit $100.00 or remove funds from envelopes to correct this issue.\n\n"
        << true;
    QTest::newRow("overdrawn, nothing assigned") << -5000 << 0 << "" << false;
}

void TestHealth::moneySummary() {
    QFETCH(int, inBudget);
    QFETCH(int, assigned);
    QFETCH(QString, expected);
    QFETCH(bool, red);
    SmallBudget b;
    b.checking->setStoredBalance(inBudget);
    b.envelope->adjustBalance(assigned);
    Account* offBudget = b.budget.createAccount();
    offBudget->setContributesToBudget(false);
    offBudget->adjustBalance(999999);

    const StyledText runs = buildBudgetHealth(b.budget);
    QStringList summary;
    for (const StyledRun& run : runs) {
        if (run.text.startsWith(QLatin1String("You have"))) {
            summary << run.text;
            QCOMPARE(run.red, red);
        }
    }
    QCOMPARE(summary, expected.isEmpty() ? QStringList() : QStringList{expected});
}

void TestHealth::folderChecks_data() {
    QTest::addColumn<int>("budgeted");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("spent");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QStringList>("expected");
    const QString budgetLine = "Folder 'Home' - Monthly expenses are over budget by %1\n\n";
    const QString limitLine = "Folder 'Home' - Monthly expenses are over limit by %1\n\n";
    const QString budgetLimitLine = "Folder 'Home' - Monthly budget is over limit by %1\n\n";
    QTest::newRow("within budget") << -10000 << 0 << -8000 << false << QStringList();
    QTest::newRow("over budget") << -10000 << 0 << -15000 << false
                                 << QStringList{budgetLine.arg("$50.00")};
    QTest::newRow("budget over limit, no spending")
        << -25000 << -20000 << 0 << false << QStringList{budgetLimitLine.arg("$50.00")};
    QTest::newRow("over limit and budget")
        << -10000 << -12000 << -15000 << false
        << QStringList{budgetLine.arg("$50.00"), limitLine.arg("$30.00")};
    QTest::newRow("everything over")
        << -25000 << -20000 << -30000 << false
        << QStringList{budgetLine.arg("$50.00"), limitLine.arg("$100.00"),
                       budgetLimitLine.arg("$50.00")};
    QTest::newRow("read-only folder skipped")
        << -25000 << -20000 << -30000 << true << QStringList();
}

void TestHealth::folderChecks() {
    QFETCH(int, budgeted);
    QFETCH(int, limit);
    QFETCH(int, spent);
    QFETCH(bool, readOnly);
    QFETCH(QStringList, expected);
    FixedClock clock(makeDate(2024, 4, 10, 12));
    SmallBudget b;
    b.envelope->setName(QStringLiteral("Rent"));
    // Two envelopes share the budget; the spending sits on the second.
    AccountEnvelope* second = b.budget.createEnvelope();
    second->setName(QStringLiteral("Repairs"));
    b.folder->addChild(second);
    b.envelope->setBudgeted(budgeted / 2);
    second->setBudgeted(budgeted - budgeted / 2);
    b.folder->setExpenseLimit(limit);
    b.folder->setReadOnly(readOnly);
    b.spend(second, spent, makeDate(2024, 4, 2));
    b.spend(second, -77777, makeDate(2024, 3, 31, 23)); // last month: ignored

    QStringList folderLines;
    for (const StyledRun& run : buildBudgetHealth(b.budget)) {
        if (run.text.startsWith(QLatin1String("Folder "))) {
            QVERIFY(run.red);
            folderLines << run.text;
        }
    }
    QCOMPARE(folderLines, expected);
}

void TestHealth::envelopeChecks_data() {
    QTest::addColumn<int>("budgeted");
    QTest::addColumn<int>("spent");
    QTest::addColumn<bool>("charges");
    QTest::addColumn<QString>("expected");
    QTest::newRow("over budget")
        << -10000 << -15000 << false
        << "Envelope 'Rent' - Monthly expenses are over budget by $50.00\n\n";
    QTest::newRow("within budget") << -10000 << -8000 << false << "";
    QTest::newRow("exactly on budget") << -10000 << -10000 << false << "";
    QTest::newRow("no budget, some spending")
        << 0 << -1 << false << "Envelope 'Rent' - Monthly expenses are over budget by $0.01\n\n";
    QTest::newRow("charges envelope never") << -10000 << -15000 << true << "";
}

void TestHealth::envelopeChecks() {
    QFETCH(int, budgeted);
    QFETCH(int, spent);
    QFETCH(bool, charges);
    QFETCH(QString, expected);
    FixedClock clock(makeDate(2024, 4, 10, 12));
    SmallBudget b;
    AccountEnvelope* envelope = b.envelope;
    if (charges) {
        Account* card = b.budget.createAccount();
        card->setCCAccount(true);
        ensureCardChargesEnvelope(b.budget, card);
        envelope = b.budget.findEnvelope(kChargesEnvelopeId);
        envelope->setName(QStringLiteral("Rent"));
        envelope->getParent()->setReadOnly(false);
        b.envelope->setName(QStringLiteral("Other"));
    }
    envelope->setBudgeted(budgeted);
    b.spend(envelope, spent, makeDate(2024, 4, 9));

    QStringList lines;
    for (const StyledRun& run : buildBudgetHealth(b.budget)) {
        if (run.text.startsWith(QLatin1String("Envelope "))) {
            QVERIFY(run.red);
            lines << run.text;
        }
    }
    QCOMPARE(lines, expected.isEmpty() ? QStringList() : QStringList{expected});
}

QTEST_GUILESS_MAIN(TestHealth)
#include "test_health.moc"
