// What an import decides without a window: the bank's transaction ids settle duplicates,
// rules make deposits only where money comes into an ordinary account, and what is recorded.

#include "import/importplan.h"
#include "model/budget.h"

#include <QTest>

namespace {
DateTime day(int y, int m, int d, int h = 0) {
    return fromQDateTime(QDateTime(QDate(y, m, d), QTime(h, 0)));
}

ImportRecord row(const QString& payee, Amount amount, const DateTime& date,
                 const QString& bankId = QString()) {
    ImportRecord r;
    r.incomingPayee = payee;
    r.amount = amount;
    r.date = date;
    r.bankId = bankId;
    return r;
}

struct Fixture {
    Budget budget;
    Account* checking = budget.createAccount();
    Account* savings = budget.createAccount();
    Account* card = budget.createAccount();
    AccountEnvelope* food = budget.createEnvelope();
    Fixture() {
        card->setCCAccount(true);
        checking->setLastImport(day(2024, 12, 1));
        // Imported from the bank before: FITID 9001 in checking, 9002 in savings.
        add(checking, -2599, "Grocer", day(2024, 11, 20), "9001");
        add(savings, -1000, "Fee", day(2024, 11, 21), "9002");
    }
    const Transaction* add(Account* a, Amount amount, const QString& payee, const DateTime& when,
                           const QString& bankId = QString()) {
        Transaction t = makeTransaction(TransactionType::Expense, amount, a->id(), kNoId,
                                        food->id(), payee, "", when);
        t.bankId = bankId;
        return budget.loadTransaction(t);
    }
};
} // namespace

class TestImportPlan : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void bankIdDuplicates_data();
    void bankIdDuplicates();
    void depositRules_data();
    void depositRules();
    void recordsDepositsAndBankIds();
};

void TestImportPlan::bankIdDuplicates_data() {
    QTest::addColumn<QString>("bankId");
    QTest::addColumn<int>("amount");
    QTest::addColumn<int>("daysAfter"); // after 20 November
    QTest::addColumn<QString>("reason");
    QTest::newRow("same id, other amount and month")
        << "9001" << -1 << 40 << "matches 11/20/24 Grocer -$25.99";
    QTest::newRow("id of another account's transaction") << "9002" << -777 << 15 << "";
    QTest::newRow("new id, same money two days on")
        << "9003" << -2599 << 2 << "matches 11/20/24 Grocer -$25.99";
    QTest::newRow("no id, same money") << "" << -2599 << 0 << "matches 11/20/24 Grocer -$25.99";
    QTest::newRow("no id, other money") << "" << -2598 << 20 << "";
}

void TestImportPlan::bankIdDuplicates() {
    QFETCH(QString, bankId);
    QFETCH(int, amount);
    QFETCH(int, daysAfter);
    QFETCH(QString, reason);
    Fixture f;
    const ImportPlan plan(f.budget, *f.checking);
    const DateTime when =
        fromQDateTime(QDateTime(QDate(2024, 11, 20).addDays(daysAfter), QTime(0, 0)));
    // An import-after date long before, so only the duplicate check speaks.
    const RowState state = plan.evaluate(row("GROCER 12", amount, when, bankId), day(2024, 1, 1));
    QCOMPARE(state.reason, reason);
    QCOMPARE(state.checked, reason.isEmpty());
    QCOMPARE(state.duplicateOf != nullptr, !reason.isEmpty());
}

void TestImportPlan::depositRules_data() {
    QTest::addColumn<bool>("card");
    QTest::addColumn<int>("amount");
    QTest::addColumn<bool>("deposit");
    QTest::addColumn<bool>("assigned");
    QTest::newRow("pay into checking") << false << 250000 << true << true;
    QTest::newRow("money out under a deposit rule") << false << -250000 << false << false;
    QTest::newRow("refund onto a card") << true << 250000 << false << false;
}

void TestImportPlan::depositRules() {
    QFETCH(bool, card);
    QFETCH(int, amount);
    QFETCH(bool, deposit);
    QFETCH(bool, assigned);
    Fixture f;
    f.budget.rules().addMappingRule("ACME*", kNoId, false, "Acme", true);
    const ImportPlan plan(f.budget, card ? *f.card : *f.checking);
    std::vector<ImportRecord> records{row("ACME PAYROLL", amount, day(2024, 12, 5))};
    plan.map(records);
    QCOMPARE(records[0].mappedPayee, QStringLiteral("Acme"));
    QCOMPARE(records[0].deposit, deposit);
    QCOMPARE(plan.assigned(records[0]), assigned);
}

void TestImportPlan::recordsDepositsAndBankIds() {
    Fixture f;
    f.budget.showTopLevel(f.checking);
    std::vector<ImportRecord> chosen{row("ACME PAYROLL", 250000, day(2024, 12, 5), "A-1"),
                                     row("GROCER 7", -1250, day(2024, 12, 6), "A-2")};
    chosen[0].deposit = true;
    chosen[0].memo = "Salary December";
    chosen[1].envelopeId = f.food->id();
    chosen[1].mappedPayee = "Grocer";
    const Amount available = f.budget.availableForBudgeting();
    recordRows(f.budget, *f.checking, {chosen[0]}, day(2024, 12, 9));
    // The pay is money to budget.
    QCOMPARE(f.budget.availableForBudgeting(), available + 250000);
    recordRows(f.budget, *f.checking, {chosen[1]}, day(2024, 12, 9));
    const auto& all = f.budget.transactions();
    QCOMPARE(all.size(), std::size_t(4));
    const Transaction& pay = *all[2];
    QCOMPARE(pay.type, TransactionType::Deposit);
    QCOMPARE(pay.accountTo, f.checking->id());
    QCOMPARE(pay.accountFrom, kNoId);
    QCOMPARE(pay.category, kNoId);
    QCOMPARE(pay.bankId, QStringLiteral("A-1"));
    QCOMPARE(pay.payee, QStringLiteral("ACME PAYROLL"));
    QCOMPARE(pay.description, QStringLiteral("Salary December"));
    const Transaction& food = *all[3];
    QCOMPARE(food.type, TransactionType::Expense);
    QCOMPARE(food.bankId, QStringLiteral("A-2"));
    QCOMPARE(food.payee, QStringLiteral("Grocer"));
    QCOMPARE(f.checking->getBalance(), 250000 - 1250);
    QCOMPARE(f.checking->lastImport().day, quint16(9));
    // The next statement finds both by their ids, however the bank rewrote them.
    const ImportPlan plan(f.budget, *f.checking);
    QVERIFY(plan.evaluate(row("ACME CORP", 249999, day(2025, 1, 5), "A-1"), day(2024, 1, 1))
                .duplicateOf == &pay);
    QVERIFY(plan.hadEarlierImport());
}

QTEST_MAIN(TestImportPlan)
#include "test_importplan.moc"
