// Reading workbooks that our writer did not make: other programs' ways of storing cells, the
// reader's rules for odd content, and broken or hostile files.

#include "storage/budgetfile.h"
#include "storage/workbook.h"
#include "storagetestkit.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace kit;

Q_DECLARE_METATYPE(kit::Cell)

namespace {

const QList<Cell> kAccountHeads = {S("Account name"), S("Type"),   S("Balance"),
                                   S("InBudget"),     S("Hidden"), S("Last import")};
const QList<Cell> kFolderHeads = {S("Folder name"), S("Folder"), S("Hidden"), S("Read Only")};
const QList<Cell> kCategoryHeads = {S("Expense name"),  S("Folder Id"),      S("Budgeted"),
                                    S("Balance"),       S("Hidden"),         S("Read Only"),
                                    S("default Payee"), S("default Amount"), S("default Payer Id"),
                                    S("Flags"),         S("Savings goal"),   S("Created Date")};
const QList<Cell> kTransactionHeads = {S("Date"),        S("Payee"),        S("Amount"),
                                       S("Expense"),     S("Account From"), S("Account To"),
                                       S("Description"), S("Type")};

} // namespace

class WorkbookReaderTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    int counter_ = 0;

    QString file() { return dir_.filePath(QStringLiteral("wb%1.xlsx").arg(++counter_)); }

    std::unique_ptr<Budget> load(const QList<SheetSpec>& sheets, int* status = nullptr,
                                 const QByteArray& shared = {}) {
        const QString path = file();
        if (!writeWorkbook(path, sheets, shared))
            qFatal("cannot write the test workbook");
        auto b = std::make_unique<Budget>();
        WorkbookLoad r = loadWorkbook(path, *b);
        for (AccountBase* item : r.items)
            b->showTopLevel(item);
        if (status)
            *status = r.status;
        return b;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }

    void nameOnlyAccount() {
        FixedClock clock(date(2024, 7, 1));
        int status = -1;
        auto b = load({{"Accounts", {kAccountHeads, {S("Cash")}}}}, &status);
        QCOMPARE(status, 0);
        Account* a = b->findAccount(0);
        QVERIFY(a);
        QCOMPARE(a->getName(), QStringLiteral("Cash"));
        QCOMPARE(a->getBalance(), 0);
        QCOMPARE(a->contributesToBudget(), false);
        QCOMPARE(a->isHidden(), false);
        QCOMPARE(a->isCCAccount(), false);
        QVERIFY(!a->lastImport().isSet());
    }

    void yesNoCells_data() {
        QTest::addColumn<Cell>("cell");
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << S("yes") << true;
        QTest::newRow("true") << S("true") << true;
        QTest::newRow("TRUE text") << S("TRUE") << false;
        QTest::newRow("Yes") << S("Yes") << false;
        QTest::newRow("no") << S("no") << false;
        QTest::newRow("empty") << E() << false;
        QTest::newRow("number 1") << N(1) << false;
        QTest::newRow("boolean cell") << X(R"(t="b"><v>1</v>)") << true;
    }

    void yesNoCells() {
        QFETCH(Cell, cell);
        QFETCH(bool, yes);
        auto b = load({{"Accounts", {kAccountHeads, {S("A"), S("account"), N(1), cell, cell}}}});
        QCOMPARE(b->findAccount(0)->contributesToBudget(), yes);
        QCOMPARE(b->findAccount(0)->isHidden(), yes);
    }

    void accountTypes_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("card");
        QTest::newRow("credit card") << "credit card" << true;
        QTest::newRow("account") << "account" << false;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("expense") << "expense" << false;
        QTest::newRow("Credit Card") << "Credit Card" << false;
    }

    void accountTypes() {
        QFETCH(QString, type);
        QFETCH(bool, card);
        auto b = load({{"Accounts", {kAccountHeads, {S("A"), S(type)}}}});
        QCOMPARE(b->findAccount(0)->isCCAccount(), card);
    }

    void moneyCells_data() {
        QTest::addColumn<Cell>("cell");
        QTest::addColumn<int>("cents");
        QTest::newRow("float sum") << N(0.1 + 0.2) << 30;
        QTest::newRow("cut, not rounded") << N(12.349) << 1234;
        QTest::newRow("negative half") << N(-0.5) << -50;
        QTest::newRow("integer") << N(150) << 15000;
        QTest::newRow("text") << S("12.34") << 1234;
        QTest::newRow("text with symbol and grouping") << S(" $1,234.56 ") << 123456;
        QTest::newRow("text that is no amount") << S("twelve") << 0;
        QTest::newRow("boolean") << X(R"(t="b"><v>1</v>)") << 0;
        QTest::newRow("empty") << E() << 0;
        QTest::newRow("huge") << N(1e300) << int(kAmountMax);
        QTest::newRow("exponent form") << X(R"(><v>1.5E2</v>)") << 15000;
    }

    void moneyCells() {
        QFETCH(Cell, cell);
        QFETCH(int, cents);
        auto b = load({{"Accounts", {kAccountHeads, {S("A"), S("account"), cell}}}});
        QCOMPARE(b->findAccount(0)->getBalance(), cents);
    }

    void dateCells_data() {
        QTest::addColumn<Cell>("cell");
        QTest::addColumn<QString>("date");
        QTest::newRow("serial") << N(45000) << "2023-03-15";
        QTest::newRow("fraction dropped") << N(45000.99) << "2023-03-15";
        QTest::newRow("1 March 1900") << N(61) << "1900-03-01";
        QTest::newRow("zero") << N(0) << "unset";
        QTest::newRow("ISO text") << S("2023-03-15") << "2023-03-15";
        QTest::newRow("ISO text with a time") << S(" 2023-03-15T10:20:00 ") << "2023-03-15";
        QTest::newRow("short date text") << S("3/15/23") << "2023-03-15";
        QTest::newRow("text that is no date") << S("yesterday") << "unset";
        QTest::newRow("out of range") << N(1e12) << "unset";
        QTest::newRow("empty") << E() << "unset";
    }

    void dateCells() {
        QFETCH(Cell, cell);
        QFETCH(QString, date);
        auto b = load(
            {{"Accounts", {kAccountHeads, {S("A"), S("account"), N(0), S("yes"), S("no"), cell}}}});
        QCOMPARE(ymd(b->findAccount(0)->lastImport()), date);
    }

    void foldersAndEnvelopes() {
        FixedClock clock(date(2024, 7, 1));
        auto b = load({{"Accounts", {kAccountHeads, {S("Bank")}}},
                       {"Folders", {kFolderHeads, {S("Bills"), N(150), S("no"), S("yes")}}},
                       {"Categories",
                        {kCategoryHeads,
                         {S("Rent"), F("Folders!A2"), N(-50), N(-10), S("no"), S("no"),
                          S("Landlord"), N(-40), F("Accounts!A2"), N(0), N(100), N(45000)},
                         {S("Charges"), F("Folders!A2"), E(), N(5), E(), E(), E(), E(),
                          F("Categories!A2"), N(1), E(), E()}}},
                       {"Transactions",
                        {kTransactionHeads,
                         {N(44000), S("Shop"), N(-1), F("Categories!A3"), F("Accounts!A2"), E(),
                          E(), S("Expense")},
                         {N(44990), S("Landlord"), N(-2), F("Categories!A2"), E(), E(), E(),
                          S("Expense")}}}});
        AccountGroup* folder = b->findFolder(1);
        QVERIFY(folder);
        QCOMPARE(folder->expenseLimit(), -15000);
        QVERIFY(folder->isReadOnly());
        QCOMPARE(folder->children().size(), size_t(2));
        auto* rent = static_cast<AccountEnvelope*>(folder->children()[0]);
        QCOMPARE(rent->getBalance(), 0); // an envelope never holds less than nothing
        QCOMPARE(rent->getBudgeted(), -5000);
        QCOMPARE(rent->defaultPayee(), QStringLiteral("Landlord"));
        QCOMPARE(rent->defaultAmount(), -4000);
        QCOMPARE(rent->defaultPayFromAccount(), ItemId(0));
        QCOMPARE(rent->savingsGoal(), 10000);
        QVERIFY(rent->virtualAccount());
        // Kept as stored, though the transaction of 5 March 2023 is older.
        QCOMPARE(ymd(rent->createdDate()), QStringLiteral("2023-03-15"));
        auto* charges = static_cast<AccountEnvelope*>(folder->children()[1]);
        QCOMPARE(charges->id(), kChargesEnvelopeId);
        QCOMPARE(charges->defaultPayFromAccount(), kNoId); // a payer that is not an account
        // No stored created date: the moment of loading, whatever its transactions' dates.
        QCOMPARE(ymd(charges->createdDate()), QStringLiteral("2024-07-01"));
        QCOMPARE(b->transactions().size(), size_t(2));
        QCOMPARE(b->transactions()[0]->category, kChargesEnvelopeId);
        QCOMPARE(b->transactions()[1]->category, rent->id());
    }

    void envelopeWithoutItsFolderIsKept() {
        auto b =
            load({{"Folders", {kFolderHeads, {S("Bills")}}},
                  {"Categories",
                   {kCategoryHeads, {S("Lost"), F("Folders!A9"), E(), N(3)}, {S("Nowhere")}}}});
        const auto folders = b->itemsOfType(ItemType::Folder);
        QCOMPARE(folders.size(), size_t(2));
        auto* unfiled = static_cast<AccountGroup*>(folders[1]);
        QCOMPARE(unfiled->getName(), unfiledFolderName());
        QCOMPARE(unfiled->children().size(), size_t(2));
        QCOMPARE(unfiled->children()[0]->getBalance(), 300);
        QCOMPARE(b->folderOrder().size(), size_t(2));
    }

    void transactionsEndAtTheFirstEmptyDate() {
        auto b = load({{"Accounts", {kAccountHeads, {S("A")}}},
                       {"Transactions",
                        {kTransactionHeads,
                         {N(45000), S("a"), N(1), E(), E(), F("Accounts!A2"), E(), S("Deposit")},
                         {N(45001), S("b"), N(1), E(), E(), E(), E(), S("Transfer")},
                         {N(45002), S("c"), N(1), E(), E(), E(), E(), S("CC Payment")},
                         {E(), S("gap")},
                         {N(45003), S("after the gap")}}}});
        QCOMPARE(b->transactions().size(), size_t(3));
        QCOMPARE(b->transactions()[0]->payee, QStringLiteral("a"));
        QCOMPARE(int(b->transactions()[0]->type), 1);
        QCOMPARE(b->transactions()[0]->accountTo, ItemId(0));
        QCOMPARE(b->transactions()[0]->accountFrom, kNoId);
        QCOMPARE(int(b->transactions()[1]->type), 2);
        QCOMPARE(int(b->transactions()[2]->type), 3);
    }

    void filledDownColumnsAndIsoDates() {
        // What a spreadsheet program writes when the user fills a column down: one formula
        // shared by the column, and dates stored as ISO text.
        auto iso = [](const char* text) {
            return X(QStringLiteral("t=\"d\"><v>%1</v>").arg(QLatin1String(text)));
        };
        auto shared = [](int group, const char* masterFormula = nullptr, const char* ref = "") {
            if (!masterFormula)
                return X(
                    QStringLiteral("t=\"str\"><f t=\"shared\" si=\"%1\"/><v>x</v>").arg(group));
            return X(QStringLiteral("t=\"str\"><f t=\"shared\" ref=\"%1\" si=\"%2\">%3</f>"
                                    "<v>x</v>")
                         .arg(QLatin1String(ref))
                         .arg(group)
                         .arg(QLatin1String(masterFormula)));
        };
        auto b = load({{"Accounts", {kAccountHeads, {S("Checking")}, {S("Savings")}, {S("Cash")}}},
                       {"Transactions",
                        {kTransactionHeads,
                         {iso("2024-03-01"), S("a"), N(-1), E(),
                          shared(0, "Accounts!$A$2", "E2:E7"), shared(1, "Accounts!A3", "F2:F3")},
                         {iso("2024-03-02"), S("b"), N(-2), E(), shared(0), shared(1)},
                         {iso("2024-03-03"), S("c"), N(-3), E(), shared(0)},
                         {iso("2024-03-04"), S("d"), N(-4), E(), shared(0)},
                         {iso("2024-03-05"), S("e"), N(-5), E(), shared(0)},
                         {iso("2024-03-06T08:30:00"), S("f"), N(-6), E(), shared(0)}}}});
        QCOMPARE(b->transactions().size(), size_t(6));
        QStringList seen;
        for (const auto& t : b->transactions())
            seen << QStringLiteral("%1 %2 %3>%4")
                        .arg(t->payee, ymd(t->transactionTime), label(*b, t->accountFrom),
                             label(*b, t->accountTo));
        QCOMPARE(seen,
                 QStringList(
                     {"a 2024-03-01 account:Checking>account:Savings",
                      "b 2024-03-02 account:Checking>account:Cash",
                      "c 2024-03-03 account:Checking>none", "d 2024-03-04 account:Checking>none",
                      "e 2024-03-05 account:Checking>none", "f 2024-03-06 account:Checking>none"}));
    }

    void unreadableRowsAreLeftOutAndReported() {
        // What another spreadsheet program leaves in the sheets: error values, dates and amounts
        // typed as text, references to rows that are gone. Nothing after such a row is lost.
        const Cell error = X("t=\"e\"><v>#REF!</v>");
        const QString path = file();
        QVERIFY(writeWorkbook(
            path, {{"Accounts", {kAccountHeads, {S("Checking")}, {error}, {S("Cash")}}},
                   {"Folders", {kFolderHeads, {S("Bills")}, {X("t=\"e\"><v>#N/A</v>")}}},
                   {"Categories",
                    {kCategoryHeads, {S("Rent"), F("Folders!A2")}, {S("Phone"), F("Folders!A3")}}},
                   {"Transactions",
                    {kTransactionHeads,
                     {N(45000), S("a"), N(-1), F("Categories!A2"), F("Accounts!A2")},
                     {S("2023-03-16"), S("b"), N(-2)},
                     {S("3/17/2023"), S("c"), N(-3)},
                     {N(3000000), S("past 9999")},
                     {S("31/02/2023"), S("no such day")},
                     {X("t=\"b\"><v>1</v>"), S("a boolean")},
                     {N(45001), S("h"), S("12.50")},
                     {N(45002), S("twelve"), S("twelve")},
                     {N(45003), S("z"), N(-4), F("Categories!A9"), F("Accounts!A3")},
                     {E(), S("the end")},
                     {N(45004), S("after the end")}}},
                   {"Settings",
                    {{S("Imported payee"), S("Maps to payee"), S("Maps to expense")},
                     {S("SHOP*"), S("Shop"), F("Categories!A2")},
                     {S("GONE*"), S("Gone"), F("Categories!A7")},
                     {error, S("Err"), F("Categories!A2")}}}}));
        Budget b;
        const WorkbookLoad r = loadWorkbook(path, b);
        QCOMPARE(r.status, 0);
        QStringList items;
        for (AccountBase* item : r.items)
            items << label(b, item->id());
        QCOMPARE(items, QStringList({"account:Checking", "account:Cash", "folder:Bills",
                                     "folder:Unfiled envelopes"}));
        QStringList transactions;
        for (const auto& t : b.transactions())
            transactions << QStringLiteral("%1 %2 %3 %4 %5")
                                .arg(t->payee, ymd(t->transactionTime))
                                .arg(t->amount)
                                .arg(label(b, t->category), label(b, t->accountFrom));
        QCOMPARE(transactions,
                 QStringList({"a 2023-03-15 -100 envelope:Rent account:Checking",
                              "h 2023-03-16 1250 none none", "b 2023-03-16 -200 none none",
                              "c 2023-03-17 -300 none none", "z 2023-03-18 -400 none none"}));
        QCOMPARE(b.rules().size(), size_t(1));

        QStringList reported;
        for (const UnreadableRow& u : r.unreadable)
            reported << QStringLiteral("%1 %2 %3 %4%5")
                            .arg(u.sheet)
                            .arg(u.row)
                            .arg(u.cell, u.content,
                                 u.reference ? (u.kept ? " (kept)" : " (left out)") : "");
        QCOMPARE(reported,
                 QStringList({"Accounts 3 A3 #REF!", "Folders 3 A3 #N/A",
                              "Categories 3 B3 =Folders!A3 (kept)",
                              "Settings 3 C3 =Categories!A7 (left out)", "Settings 4 A4 #REF!",
                              "Transactions 5 A5 3000000", "Transactions 6 A6 \"31/02/2023\"",
                              "Transactions 7 A7 true", "Transactions 9 C9 \"twelve\"",
                              "Transactions 10 D10 =Categories!A9 (kept)",
                              "Transactions 10 E10 =Accounts!A3 (kept)"}));
        const QString text = describeUnreadableRows(r.unreadable, r.unreadableTotal, 2);
        QCOMPARE(text, QStringLiteral("Accounts row 3: Account name (A3) holds #REF!; the row was "
                                      "left out.\nFolders row 3: Folder name (A3) holds #N/A; "
                                      "the row was left out.\nand 9 more."));
    }

    void sharedFormulaReferencesMove_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cols");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sheet reference") << "Accounts!A2" << 3 << 0 << "Accounts!A5";
        QTest::newRow("absolute") << "'My Sheet'!$A$2" << 3 << 2 << "'My Sheet'!$A$2";
        QTest::newRow("mixed") << "A$1+$A1" << 1 << 1 << "B$1+$A2";
        QTest::newRow("range") << "SUM(A1:B2)" << 1 << 1 << "SUM(B2:C3)";
        QTest::newRow("text untouched") << "\"A1\"&A1" << 1 << 0 << "\"A1\"&A2";
        QTest::newRow("quoted sheet name") << "'B2'!B2" << 1 << 0 << "'B2'!B3";
        QTest::newRow("function with digits") << "LOG10(A1)" << 1 << 0 << "LOG10(A2)";
        QTest::newRow("would leave the sheet") << "A1" << -1 << 0 << "A1";
        QTest::newRow("column past Z") << "Z1" << 0 << 1 << "AA1";
    }

    void sharedFormulaReferencesMove() {
        QFETCH(QString, formula);
        QFETCH(int, rows);
        QFETCH(int, cols);
        QFETCH(QString, expected);
        QCOMPARE(shiftFormulaReferences(formula, rows, cols), expected);
    }

    void anUnnamedRecordDoesNotEndItsSheet() {
        auto b =
            load({{"Accounts", {kAccountHeads, {S("A")}, {E(), S("account"), N(2)}, {S("C")}}}});
        QCOMPARE(b->itemsOfType(ItemType::Account).size(), size_t(3));
        QCOMPARE(b->findAccount(1)->getBalance(), 200);
        QCOMPARE(b->findAccount(2)->getName(), QStringLiteral("C"));
    }

    void rulesDependOnTheWritingVersion_data() {
        QTest::addColumn<bool>("budgetSheet");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("match");
        QTest::newRow("no Budget sheet") << false << ""
                                         << "A_B";
        QTest::newRow("empty version") << true << ""
                                       << "A_B";
        QTest::newRow("1.0.23.84") << true << "1.0.23.84"
                                   << "A_B";
        QTest::newRow("1.0.23.88") << true << "1.0.23.88"
                                   << "A*B";
        QTest::newRow("1.0.20.90") << true << "1.0.20.90"
                                   << "A*B";
        QTest::newRow("1.2 is 1.0.0.2") << true << "1.2"
                                        << "A_B";
        QTest::newRow("2.0.0.0") << true << "2.0.0.0"
                                 << "A*B";
    }

    void rulesDependOnTheWritingVersion() {
        QFETCH(bool, budgetSheet);
        QFETCH(QString, version);
        QFETCH(QString, match);
        QList<SheetSpec> sheets;
        if (budgetSheet) {
            QList<QList<Cell>> rows(6);
            rows[5] = QList<Cell>(12, E()) << (version.isEmpty() ? E() : S(version));
            sheets.append({"Budget", rows});
        }
        sheets.append({"Folders", {kFolderHeads, {S("F")}}});
        sheets.append({"Categories", {kCategoryHeads, {S("E"), F("Folders!A2")}}});
        sheets.append({"Settings",
                       {{S("Imported payee")},
                        {S("A*B"), S("Payee"), F("Categories!A2")},
                        {S("skipped"), S("no envelope"), F("Categories!A7")}}});
        auto b = load(sheets);
        const auto rules = b->rules().rules();
        QCOMPARE(rules.size(), size_t(1));
        QCOMPARE(rules[0].match, match);
        QCOMPARE(rules[0].payee, QStringLiteral("Payee"));
        QCOMPARE(rules[0].envelopeId, ItemId(1));
    }

    // What imports leave in the file: the bank's transaction id, the CSV columns of an
    // account and deposit rules, which name no envelope. Files from before have none of them.
    void importFields() {
        auto b =
            load({{"Accounts",
                   {QList<Cell>(kAccountHeads) << S("Statement columns"),
                    {S("A"), S("account"), N(0), S("yes"), S("no"), N(0),
                     S("delimiter=tab date=0 amount=1")},
                    {S("Older")}}},
                  {"Folders", {kFolderHeads, {S("F")}}},
                  {"Categories", {kCategoryHeads, {S("E"), F("Folders!A2")}}},
                  {"Settings",
                   {{S("Imported payee")},
                    {S("ACME"), S("Acme"), E(), S("yes")},
                    {S("BOTH"), S("Both"), F("Categories!A2"), S("yes")},
                    {S("GONE"), S("Gone"), E(), S("no")},
                    {S("SHOP"), S("Shop"), F("Categories!A2"), S("no")},
                    {S("ZED"), S("Zed"), F("Categories!A2")}}},
                  {"Transactions",
                   {QList<Cell>(kTransactionHeads) << S("Bank Id"),
                    {N(45001), S("new"), N(-1), E(), F("Accounts!A2"), E(), E(), S("Expense"),
                     S("FIT-0042")},
                    {N(45000), S("old"), N(-1), E(), F("Accounts!A2"), E(), E(), S("Expense")}}}});
        QCOMPARE(b->accountOrder().size(), size_t(2));
        QCOMPARE(b->accountOrder()[0]->statementColumns(),
                 QStringLiteral("delimiter=tab date=0 amount=1"));
        QCOMPARE(b->accountOrder()[1]->statementColumns(), QString());
        QStringList rules;
        for (const PayeeMappingRule& r : b->rules().rules())
            rules << QStringLiteral("%1 %2 %3").arg(r.match).arg(r.deposit).arg(r.envelopeId);
        const PayeeMappingRule* shop = b->rules().find(QStringLiteral("SHOP"));
        QVERIFY(shop);
        const QString envelope = QString::number(shop->envelopeId);
        QCOMPARE(rules, QStringList({"ACME 1 " + QString::number(kNoId),
                                     "BOTH 1 " + QString::number(kNoId), "SHOP 0 " + envelope,
                                     "ZED 0 " + envelope}));
        QCOMPARE(b->transactions().size(), size_t(2));
        QCOMPARE(b->transactions()[0]->bankId, QString());
        QCOMPARE(b->transactions()[1]->bankId, QStringLiteral("FIT-0042"));
    }

    void otherProgramsCells() {
        // Shared strings with rich-text runs and pronunciation hints, inline rich text, formula
        // string results, escapes, prefixed elements, rows and cells without "r", absolute
        // references with quoted sheet names.
        const QByteArray shared =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<x:sst xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
            "<x:si><x:t>Plain</x:t></x:si>"
            "<x:si><x:r><x:rPr><x:b/></x:rPr><x:t>Rich </x:t></x:r><x:r><x:t "
            "xml:space=\"preserve\">text</x:t></x:r>"
            "<x:rPh sb=\"0\" eb=\"1\"><x:t>HINT</x:t></x:rPh></x:si>"
            "<x:si><x:t>Line_x000D_break_x005F_x</x:t></x:si>"
            "</x:sst>";
        const QByteArray sheet =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<x:worksheet "
            "xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><x:sheetData>"
            "<x:row><x:c t=\"inlineStr\"><x:is><x:t>Account name</x:t></x:is></x:c></x:row>"
            "<x:row><x:c t=\"s\"><x:v>0</x:v></x:c><x:c t=\"str\"><x:f>\"credit "
            "\"&amp;\"card\"</x:f>"
            "<x:v>credit card</x:v></x:c><x:c><x:v>12.5</x:v></x:c><x:c "
            "t=\"b\"><x:v>1</x:v></x:c></x:row>"
            "<x:row><x:c t=\"s\"><x:v>1</x:v></x:c></x:row>"
            "<x:row r=\"5\"><x:c r=\"A5\" t=\"s\"><x:v>2</x:v></x:c></x:row>"
            "</x:sheetData></x:worksheet>";
        const QByteArray categories =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<worksheet "
            "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
            "<row r=\"2\"><c r=\"A2\" "
            "t=\"inlineStr\"><is><r><t>Env</t></r><r><t>elope</t></r></is></c>"
            // Earlier versions wrote control characters of a name into formula results as they
            // are, which XML does not allow.
            "<c r=\"B2\" t=\"str\"><f>'Folders'!$A$2</f><v>F\x07\x1b</v></c>"
            "<c r=\"I2\"><f>Accounts!$A$3</f></c></row>"
            "</sheetData></worksheet>";
        const QString path = file();
        QVERIFY(writeZip(
            path,
            {{"xl/workbook.xml",
              "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
              "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
              "<sheets><sheet name=\"Accounts\" sheetId=\"1\" r:id=\"rId1\"/>"
              "<sheet name=\"Folders\" sheetId=\"2\" r:id=\"rId2\"/>"
              "<sheet name=\"Categories\" sheetId=\"3\" r:id=\"rId3\"/></sheets></workbook>"},
             {"xl/_rels/workbook.xml.rels",
              "<Relationships "
              "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
              "<Relationship Id=\"rId1\" Type=\"http://x/relationships/worksheet\" "
              "Target=\"/xl/worksheets/a.xml\"/>"
              "<Relationship Id=\"rId2\" Type=\"http://x/relationships/worksheet\" "
              "Target=\"worksheets/b.xml\"/>"
              "<Relationship Id=\"rId3\" Type=\"http://x/relationships/worksheet\" "
              "Target=\"worksheets/../worksheets/c.xml\"/>"
              "<Relationship Id=\"rId9\" Type=\"http://x/relationships/sharedStrings\" "
              "Target=\"strings.xml\"/></Relationships>"},
             {"xl/strings.xml", shared},
             {"xl/worksheets/a.xml", sheet},
             {"xl/worksheets/b.xml", sheetXml({"Folders", {kFolderHeads, {S("F")}}})},
             {"xl/worksheets/c.xml", categories}}));
        Budget b;
        WorkbookLoad r = loadWorkbook(path, b);
        QCOMPARE(r.status, 0);
        const auto accounts = b.itemsOfType(ItemType::Account);
        QCOMPARE(accounts.size(), size_t(2)); // row 4 is empty: the sheet ends there
        auto* first = static_cast<Account*>(accounts[0]);
        QCOMPARE(first->getName(), QStringLiteral("Plain"));
        QVERIFY(first->isCCAccount());
        QCOMPARE(first->getBalance(), 1250);
        QVERIFY(first->contributesToBudget());
        QCOMPARE(accounts[1]->getName(), QStringLiteral("Rich text"));
        const auto envelopes = b.itemsOfType(ItemType::Envelope);
        QCOMPARE(envelopes.size(), size_t(1));
        auto* e = static_cast<AccountEnvelope*>(envelopes[0]);
        QCOMPARE(e->getName(), QStringLiteral("Envelope"));
        QCOMPARE(e->getParent()->getName(), QStringLiteral("F"));
        QCOMPARE(e->defaultPayFromAccount(), accounts[1]->id());

        XlsxReader reader;
        QVERIFY(reader.open(path));
        QCOMPARE(reader.sheet("Accounts")->cell(5, 1).toText(), QStringLiteral("Line\rbreak_x"));
        QCOMPARE(reader.sheet("Accounts")->cell(2, 2).formula(),
                 QStringLiteral("\"credit \"&\"card\""));
        QCOMPARE(reader.sheet("Accounts")->cell(2, 4).valueType(), XlsxValueType::Boolean);
        QCOMPARE(reader.sheet("Categories")->cell(2, 2).toText(), QStringLiteral("F\x07\x1b"));
        QCOMPARE(XlsxReader::cellAddress(12, 28), QStringLiteral("AB12"));
    }

    void brokenFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("not a zip") << "text";
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("zip without workbook") << "nobook";
        QTest::newRow("workbook not XML") << "badbook";
        QTest::newRow("sheet not XML") << "badsheet";
        QTest::newRow("sheet missing") << "nosheet";
        QTest::newRow("bad cell reference") << "badref";
        QTest::newRow("row beyond the sheet") << "badrow";
        QTest::newRow("inflates too much") << "bomb";
        QTest::newRow("too many entries") << "entries";
        QTest::newRow("entity expansion") << "entities";
        QTest::newRow("big sheet, broken after its rows") << "bigtail";
        QTest::newRow("big sheet, broken row") << "bigrow";
        QTest::newRow("big sheet, second sheetData") << "bigtwice";
        QTest::newRow("second sheetData") << "twice";
        QTest::newRow("flipped byte in a big sheet") << "bigflip";
        QTest::newRow("Latin-1 bytes in a UTF-8 sheet") << "latin1";
        QTest::newRow("NUL character in a text") << "control";
        QTest::newRow("element inside a text run") << "runelement";
    }

    void brokenFiles() {
        QFETCH(QString, kind);
        const QString path = file();
        auto book = [](const QByteArray& sheet) -> QList<QPair<QString, QByteArray>> {
            return {{"xl/workbook.xml", "<workbook xmlns:r=\"urn:r\"><sheets><sheet "
                                        "name=\"Accounts\" r:id=\"rId1\"/></sheets></workbook>"},
                    {"xl/_rels/workbook.xml.rels",
                     "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" "
                     "Target=\"s.xml\"/></Relationships>"},
                    {"xl/s.xml", sheet}};
        };
        if (kind == "empty" || kind == "text") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (kind == "text")
                f.write("this is not a workbook\n");
        } else if (kind == "truncated") {
            auto b = richBudget();
            const QString whole = file();
            QCOMPARE(writeWorkbookReplacing(whole, *b, b->topLevelItemsForSave()), 0);
            QFile in(whole);
            QVERIFY(in.open(QIODevice::ReadOnly));
            const QByteArray data = in.readAll();
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(data.left(data.size() / 2));
        } else if (kind == "nobook") {
            QVERIFY(writeZip(path, {{"hello.txt", "hi"}}));
        } else if (kind == "badbook") {
            QVERIFY(writeZip(path, {{"xl/workbook.xml", "<workbook><sheets><sheet"}}));
        } else if (kind == "badsheet") {
            QVERIFY(writeZip(path, book("<worksheet><sheetData><row><c><v>1</c></row>")));
        } else if (kind == "nosheet") {
            auto entries = book("");
            entries.removeLast();
            QVERIFY(writeZip(path, entries));
        } else if (kind == "badref") {
            QVERIFY(writeZip(path, book("<worksheet><sheetData><row><c "
                                        "r=\"1A\"><v>1</v></c></row></sheetData></worksheet>")));
        } else if (kind == "badrow") {
            QVERIFY(writeZip(path,
                             book("<worksheet><sheetData><row "
                                  "r=\"99999999\"><c><v>1</v></c></row></sheetData></worksheet>")));
        } else if (kind == "bomb") {
            QVERIFY(
                writeZip(path, book("<worksheet>" + QByteArray(4 << 20, ' ') + "</worksheet>")));
        } else if (kind == "entries") {
            QList<QPair<QString, QByteArray>> entries = book("<worksheet/>");
            for (int i = 0; i < 10001; ++i)
                entries.append({QStringLiteral("junk/%1").arg(i), QByteArray()});
            QVERIFY(writeZip(path, entries));
        } else if (kind == "latin1" || kind == "control" || kind == "runelement") {
            const QByteArray text = kind == "latin1"    ? "caf\xe9"
                                    : kind == "control" ? QByteArray("nul\0x", 5)
                                                        : "a<b/>c";
            QVERIFY(writeZip(path, book("<worksheet><sheetData><row><c t=\"inlineStr\"><is><t>" +
                                        text + "</t></is></c></row></sheetData></worksheet>")));
        } else if (kind == "twice") {
            QVERIFY(writeZip(path, book("<worksheet><sheetData><row r=\"1\"><c><v>1</v></c></row>"
                                        "</sheetData><sheetData/></worksheet>")));
        } else if (kind == "bigtail" || kind == "bigrow" || kind == "bigtwice" ||
                   kind == "bigflip") {
            // Big enough to be parsed in pieces.
            QByteArray rows;
            for (int r = 1; rows.size() < (5 << 20); ++r)
                rows += "<row r=\"" + QByteArray::number(r) + "\"><c><v>" + QByteArray::number(r) +
                        "</v></c></row>";
            if (kind == "bigrow")
                rows.insert(rows.size() / 2 + 3, "<oops>");
            const QByteArray tail = kind == "bigtail"
                                        ? "<mergeCells><mergeCell ref=\"A1:B2\"></worksheet>"
                                    : kind == "bigtwice" ? "<sheetData/></worksheet>"
                                                         : "</worksheet>";
            QVERIFY(writeZip(path, book("<worksheet><sheetData>" + rows + "</sheetData>" + tail)));
            if (kind == "bigflip")
                QVERIFY(flipCompressedByte(path, "xl/s.xml", 5000) > 5000);
        } else if (kind == "entities") {
            QByteArray dtd =
                "<!DOCTYPE worksheet [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
            char prev = 'a';
            for (char e = 'b'; e <= 'k'; ++e) {
                dtd += QByteArray("<!ENTITY ") + e + " \"" + QByteArray("&") + prev + ";" + "&" +
                       prev + ";&" + prev + ";&" + prev + ";&" + prev + ";&" + prev + ";&" + prev +
                       ";&" + prev + ";\">";
                prev = e;
            }
            dtd += "]>";
            QVERIFY(writeZip(path,
                             book(dtd + "<worksheet><sheetData><row><c "
                                        "t=\"str\"><v>&k;</v></c></row></sheetData></worksheet>")));
        }
        Budget b;
        const WorkbookLoad r = loadWorkbook(path, b);
        QCOMPARE(r.status, 2);
        QVERIFY(b.registry().empty());
        QVERIFY(b.transactions().empty());
    }

    void everyFlippedByteFailsTheLoad() {
        // Depending on where it lies, one flipped byte breaks the deflate stream at once, only
        // at its end (a CRC mismatch), or not at all while the XML still parses; each way the
        // load must end, and refuse the file unless the content came out unchanged.
        auto b = richBudget();
        const QString good = file();
        QCOMPARE(writeWorkbookReplacing(good, *b, b->topLevelItemsForSave()), 0);
        QFile original(good);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray bytes = original.readAll();
        const QString path = file();
        for (const QByteArray entry : {"xl/worksheets/sheet5.xml", "xl/sharedStrings.xml"}) {
            for (qint64 offset = 0;; ++offset) {
                QFile copy(path);
                QVERIFY(copy.open(QIODevice::WriteOnly | QIODevice::Truncate));
                copy.write(bytes);
                copy.close();
                const qint64 size = flipCompressedByte(path, entry, offset);
                QVERIFY(size > 0);
                if (offset >= size - 1) // the last byte may end in unused padding bits
                    break;
                Budget loaded;
                const WorkbookLoad read = loadWorkbook(path, loaded);
                const QString where = QStringLiteral("%1 at %2").arg(entry).arg(offset);
                if (read.status == 2)
                    continue;
                // A flip in the end-of-block code near the end can leave every byte of the
                // content as it was (its CRC then matches too): such a file may be read, but
                // only as exactly the budget that was written.
                QVERIFY2(read.status == 0, qPrintable(where));
                loaded.showTopLevel(read.items);
                QVERIFY2(snapshot(loaded) == snapshot(*b), qPrintable(where));
            }
        }
    }

    void bigSheetsParsedInPiecesReadTheSame_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("our own workbook") << "ours";
        QTest::newRow("prefixed elements") << "prefixed";
        QTest::newRow("rows without numbers") << "unnumbered";
        QTest::newRow("a comment inside") << "comment";
        QTest::newRow("rows out of order") << "descending";
        QTest::newRow("rows in two parts") << "split";
        QTest::newRow("a byte that is not UTF-8") << "latin1";
    }

    void bigSheetsParsedInPiecesReadTheSame() {
        QFETCH(QString, kind);
        const QString path = file();
        QString sheetName = QStringLiteral("S");
        if (kind == "ours") {
            auto b = richBudget();
            for (int i = 0; i < 3000; ++i)
                createTransaction(*b, TransactionType::Expense, -i, 0, kNoId, kChargesEnvelopeId,
                                  QStringLiteral("payee %1 &<>\"").arg(i % 37), QString(),
                                  date(2022, 1 + i % 12, 1 + i % 28));
            QCOMPARE(writeWorkbookReplacing(path, *b, b->topLevelItemsForSave()), 0);
            sheetName = QStringLiteral("Transactions");
        } else {
            const QByteArray prefix = kind == "prefixed" ? "x:" : "";
            QByteArray xml = "<?xml version=\"1.0\"?><" + prefix + "worksheet xmlns" +
                             (prefix.isEmpty() ? "" : ":x") +
                             "=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><" +
                             prefix + "sheetData>";
            for (int i = 1; i <= 3000; ++i) {
                const int r = kind == "descending" ? 3001 - i : i;
                xml +=
                    "<" + prefix + "row" +
                    (kind == "unnumbered" ? QByteArray() : " r=\"" + QByteArray::number(r) + "\"") +
                    "><" + prefix + "c t=\"inlineStr\"><" + prefix + "is><" + prefix + "t>row " +
                    QByteArray::number(r) + " &amp; more</" + prefix + "t></" + prefix + "is></" +
                    prefix + "c>" +
                    (kind == "split" ? "</row><row r=\"" + QByteArray::number(r) + "\"><c r=\"B" +
                                           QByteArray::number(r) + "\"><v>"
                                     : "<" + prefix + "c><" + prefix + "v>") +
                    QByteArray::number(r * 1.5) + "</" + prefix + "v></" + prefix + "c><" + prefix +
                    "c><" + prefix + "f>S!A" + QByteArray::number(r) + "</" + prefix + "f></" +
                    prefix + "c></" + prefix + "row>";
                if (kind == "comment" && r == 1500)
                    xml += "<!-- <row r=\"1\"> -->";
                if (kind == "latin1" && r == 2000)
                    xml += "<row r=\"2000\"><c t=\"inlineStr\"><is><t>caf\xe9</t></is></c></row>";
            }
            xml += "</" + prefix + "sheetData></" + prefix + "worksheet>";
            QVERIFY(
                writeZip(path, {{"xl/workbook.xml", "<workbook xmlns:r=\"urn:r\"><sheets><sheet "
                                                    "name=\"S\" r:id=\"a\"/></sheets></workbook>"},
                                {"xl/_rels/workbook.xml.rels",
                                 "<Relationships><Relationship Id=\"a\" Type=\"x/worksheet\" "
                                 "Target=\"s.xml\"/></Relationships>"},
                                {"xl/s.xml", xml}}));
        }
        auto dump = [&](qint64 piecesFrom) {
            XlsxReader reader;
            XlsxReader::Limits limits;
            limits.piecesFrom = piecesFrom;
            limits.pieceBytes = 4096; // many pieces, cut while the sheet inflates
            reader.setLimits(limits);
            QStringList out;
            if (!reader.open(path))
                return QStringList{reader.errorText()};
            const XlsxSheet* s = reader.sheet(sheetName);
            out << QString::number(s->cellCount());
            for (int row = 1; row <= 3010; ++row)
                for (int col = 1; col <= 8; ++col) {
                    const XlsxCell c = s->cell(row, col);
                    out << QStringLiteral("%1|%2|%3")
                               .arg(int(c.valueType()))
                               .arg(c.toText(), c.formula());
                }
            return out;
        };
        const QStringList serial = dump(qint64(1) << 40);
        const QStringList pieces = dump(0);
        if (kind == "latin1") {
            QCOMPARE(serial.size(), 1);
            QVERIFY2(serial[0].contains("not UTF-8"), qPrintable(serial[0]));
            QCOMPARE(pieces, serial);
            return;
        }
        QVERIFY(serial.size() > 3000);
        QVERIFY(serial[0].toInt() >= 3000 * 3);
        QCOMPARE(pieces, serial);
    }

    // What cannot be a budget is refused as soon as it shows: the bound on cells counts over
    // all sheets as they are read, and a big sheet that cannot be cut into pieces is not
    // parsed into one tree of ten times its size. Sheets within the bounds read as ever.
    void boundsHoldWhileReading() {
        auto sheet = [](int rows, bool comments) {
            QByteArray xml = "<?xml version=\"1.0\"?><worksheet><sheetData>";
            for (int r = 1; r <= rows; ++r) {
                xml += "<row><c><v>" + QByteArray::number(r) +
                       "</v></c><c t=\"inlineStr\"><is><t>r" + QByteArray::number(r) +
                       "</t></is></c></row>";
                if (comments && r % 100 == 0)
                    xml += "<!-- a comment between rows -->";
            }
            return xml + "</sheetData></worksheet>";
        };
        auto workbook = [&](const QList<QByteArray>& sheets) {
            const QString path = file();
            QByteArray names, rels;
            QList<QPair<QString, QByteArray>> entries;
            for (int i = 0; i < sheets.size(); ++i) {
                const QByteArray n = QByteArray::number(i + 1);
                names += "<sheet name=\"S" + n + "\" r:id=\"r" + n + "\"/>";
                rels += "<Relationship Id=\"r" + n + "\" Type=\"x/worksheet\" Target=\"s" + n +
                        ".xml\"/>";
                entries.append({"xl/s" + n + ".xml", sheets[i]});
            }
            entries.append({"xl/workbook.xml", "<workbook xmlns:r=\"urn:r\"><sheets>" + names +
                                                   "</sheets></workbook>"});
            entries.append(
                {"xl/_rels/workbook.xml.rels", "<Relationships>" + rels + "</Relationships>"});
            if (!writeZip(path, entries))
                qFatal("cannot write");
            return path;
        };
        auto open = [](const QString& path, qint64 maxCells, qint64 maxTree) {
            XlsxReader reader;
            XlsxReader::Limits limits;
            limits.piecesFrom = 0;
            limits.pieceBytes = 4096;
            limits.maxCells = maxCells;
            limits.maxTreeBytes = maxTree;
            reader.setLimits(limits);
            if (!reader.open(path))
                return reader.errorText();
            const XlsxSheet* s = reader.sheet(reader.sheetNames().back());
            return QStringLiteral("%1 cells, %2 %3")
                .arg(s->cellCount())
                .arg(s->cell(2000, 1).toText(), s->cell(2000, 2).toText());
        };
        // Rows without numbers are cut into pieces too, and count on across them.
        const QString twoSheets = workbook({sheet(2000, false), sheet(2000, false)});
        QCOMPARE(open(twoSheets, 8000, 1 << 20), QStringLiteral("4000 cells, 2000 r2000"));
        QCOMPARE(open(twoSheets, 8000, 16384), QStringLiteral("4000 cells, 2000 r2000"));
        QCOMPARE(open(twoSheets, 7999, 1 << 20),
                 QStringLiteral("part xl/s2.xml is unreadable: too many cells"));
        QCOMPARE(open(twoSheets, 3000, 1 << 20),
                 QStringLiteral("part xl/s1.xml is unreadable: too many cells"));

        // Comments keep a sheet from being cut: it is read whole, up to the bound.
        const QString commented = workbook({sheet(2000, true)});
        QCOMPARE(open(commented, 8000, 1 << 20), QStringLiteral("4000 cells, 2000 r2000"));
        QCOMPARE(open(commented, 8000, 16384),
                 QStringLiteral("part xl/s1.xml is unreadable: too large to read in one piece"));
    }

    void zipWithoutSheetsIsAnEmptyBudget() {
        const QString path = file();
        QVERIFY(writeWorkbook(path, {}));
        Budget b;
        QCOMPARE(loadWorkbook(path, b).status, 0);
        QVERIFY(b.registry().empty());
    }

    void wrongTypesReadAsNothing() {
        auto b = load(
            {{"Accounts", {kAccountHeads, {S("A"), N(7), S("lots"), N(1), N(0), S("yesterday")}}},
             {"Folders", {kFolderHeads, {N(2024), S("x"), N(1)}}},
             {"Categories",
              {kCategoryHeads,
               {S("E"), S("Folders!A2"), S("a"), S("b"), E(), E(), N(5), S("c"), N(3), S("one"),
                S("d"), S("e")}}}});
        Account* a = b->findAccount(0);
        QCOMPARE(a->isCCAccount(), false);
        QCOMPARE(a->getBalance(), 0);
        QVERIFY(!a->lastImport().isSet());
        AccountGroup* f = b->findFolder(1);
        QCOMPARE(f->getName(), QStringLiteral("2024"));
        QCOMPARE(f->expenseLimit(), 0);
        // A text that looks like a reference is not a formula: the envelope lands unfiled.
        auto* e = static_cast<AccountEnvelope*>(b->itemsOfType(ItemType::Envelope).front());
        QCOMPARE(e->getParent()->getName(), unfiledFolderName());
        QCOMPARE(e->defaultPayee(), QStringLiteral("5"));
        QCOMPARE(e->id(), ItemId(2));
    }
};

QTEST_GUILESS_MAIN(WorkbookReaderTest)
#include "test_workbookreader.moc"
