// Writing the workbook and reading it back: round trips, the written layout, another reader's
// view of the file, and the limits of the format.

#include "storage/budgetfile.h"
#include "storage/workbook.h"
#include "storagetestkit.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

using namespace kit;

class WorkbookTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    static int save(const Budget& b, const QString& file) {
        return writeWorkbookReplacing(file, b, b.topLevelItemsForSave());
    }
    // Converts file into the folder out with LibreOffice headless and a fresh profile; what
    // it wrote to its error output.
    static QByteArray convertWithLibreOffice(const QString& soffice, const QString& filter,
                                             const QString& file, const QString& out) {
        QTemporaryDir home;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        p.setProcessEnvironment(env);
        p.start(soffice,
                {"--headless", "--norestore", "--convert-to", filter, "--outdir", out, file});
        if (!p.waitForFinished(300000))
            return "LibreOffice did not finish";
        return p.readAllStandardError();
    }

    static std::unique_ptr<Budget> load(const QString& file, int* status = nullptr) {
        auto b = std::make_unique<Budget>();
        WorkbookLoad r = loadWorkbook(file, *b);
        for (AccountBase* item : r.items)
            b->showTopLevel(item);
        if (status)
            *status = r.status;
        return b;
    }

private slots:
    void roundTripKeepsEverything() {
        FixedClock clock(date(2024, 6, 1, 9, 30));
        auto original = richBudget();
        const QString first = path("first.xlsx");
        QCOMPARE(save(*original, first), 0);
        int status = -1;
        auto loaded = load(first, &status);
        QCOMPARE(status, 0);
        QCOMPARE(snapshot(*loaded), snapshot(*original));
        QVERIFY(loaded->findEnvelope(kChargesEnvelopeId));

        // A second save of what was loaded writes the same cells.
        const QString second = path("second.xlsx");
        QCOMPARE(save(*loaded, second), 0);
        const QStringList a = cellDump(first);
        const QStringList b = cellDump(second);
        QVERIFY(a.size() > 100);
        QCOMPARE(b, a);
    }

    // A deposit rule has no envelope to refer to: its row says so in D and leaves C empty.
    void depositRulesRoundTrip() {
        auto original = richBudget();
        original->rules().addMappingRule(QStringLiteral("ACME PAYROLL*"), kNoId, false,
                                         QStringLiteral("Acme"), true);
        const QString file = path("deposit.xlsx");
        QCOMPARE(save(*original, file), 0);
        auto loaded = load(file);
        QCOMPARE(snapshot(*loaded), snapshot(*original));
        const PayeeMappingRule* rule = loaded->rules().find(QStringLiteral("ACME PAYROLL*"));
        QVERIFY(rule && rule->deposit);
        XlsxReader reader;
        QVERIFY(reader.open(file));
        const XlsxSheet* settings = reader.sheet(QStringLiteral("Settings"));
        QVERIFY(settings);
        QCOMPARE(settings->cell(2, 1).toText(), QStringLiteral("ACME PAYROLL*"));
        QCOMPARE(settings->cell(2, 3).valueType(), XlsxValueType::Empty);
        QVERIFY(!settings->cell(2, 3).hasFormula());
        QCOMPARE(settings->cell(2, 4).toText(), QStringLiteral("yes"));
        QVERIFY(settings->cell(3, 3).hasFormula());
        QCOMPARE(settings->cell(3, 4).toText(), QStringLiteral("no"));
    }

    void sameDayTransactionsKeepTheirOrder() {
        Budget b;
        Account* a = b.createAccount();
        a->setName(QStringLiteral("A"));
        b.showTopLevel(a);
        for (int i = 0; i < 5; ++i)
            createTransaction(b, TransactionType::Deposit, 100 + i, kNoId, a->id(), kNoId,
                              QStringLiteral("p%1").arg(i), QString(), date(2024, 2, 1));
        createTransaction(b, TransactionType::Deposit, 1, kNoId, a->id(), kNoId,
                          QStringLiteral("earlier"), QString(), date(2024, 1, 1));
        b.sortTransactionsByTime();
        const QStringList before = snapshot(b);
        QCOMPARE(save(b, path("order.xlsx")), 0);
        QCOMPARE(snapshot(*load(path("order.xlsx"))), before);
    }

    void placeholderDatesDoNotEndTheTransactions() {
        Budget b;
        Account* a = b.createAccount();
        b.showTopLevel(a);
        DateTime zero = date(1899, 12, 30);
        for (const DateTime& when : {DateTime(), zero, date(2024, 1, 2)})
            createTransaction(b, TransactionType::Deposit, 1, kNoId, a->id(), kNoId, QString(),
                              QString(), when);
        b.sortTransactionsByTime();
        QCOMPARE(save(b, path("placeholder.xlsx")), 0);
        auto loaded = load(path("placeholder.xlsx"));
        QCOMPARE(loaded->transactions().size(), size_t(3));
        QCOMPARE(ymd(loaded->transactions()[0]->transactionTime), QStringLiteral("1899-12-31"));
        QCOMPARE(ymd(loaded->transactions()[1]->transactionTime), QStringLiteral("1899-12-31"));
        QCOMPARE(ymd(loaded->transactions()[2]->transactionTime), QStringLiteral("2024-01-02"));
    }

    void nestedFoldersKeepTheirEnvelopes() {
        Budget b;
        AccountGroup* outer = b.createFolder();
        outer->setName(QStringLiteral("Outer"));
        b.showTopLevel(outer);
        AccountGroup* inner = b.createFolder();
        inner->setName(QStringLiteral("Inner"));
        outer->addChild(inner);
        AccountEnvelope* e = b.createEnvelope();
        e->setName(QStringLiteral("Deep"));
        inner->addChild(e);
        QCOMPARE(save(b, path("nested.xlsx")), 0);
        auto loaded = load(path("nested.xlsx"));
        const auto envelopes = loaded->itemsOfType(ItemType::Envelope);
        QCOMPARE(envelopes.size(), size_t(1));
        QCOMPARE(envelopes[0]->getParent()->getName(), QStringLiteral("Inner"));
        QCOMPARE(loaded->folderOrder().size(), size_t(2)); // the format has no nesting
    }

    void timesOfDayAreNotKept() {
        Budget b;
        Account* a = b.createAccount();
        a->setName(QStringLiteral("A"));
        a->setLastImport(date(2024, 2, 3, 13, 14, 15));
        b.showTopLevel(a);
        createTransaction(b, TransactionType::Deposit, 1, kNoId, a->id(), kNoId, QString(),
                          QString(), date(2024, 2, 3, 23, 59, 59));
        QCOMPARE(save(b, path("times.xlsx")), 0);
        auto loaded = load(path("times.xlsx"));
        const DateTime t = loaded->transactions().front()->transactionTime;
        QCOMPARE(ymd(t), QStringLiteral("2024-02-03"));
        QCOMPARE(t.hour + t.minute + t.second, 0);
        QCOMPARE(ymd(loaded->findAccount(0)->lastImport()), QStringLiteral("2024-02-03"));
    }

    // A wrongly early date, saved and corrected later, must not keep stretching the envelope's
    // averages: after the correction (or the delete) and another save and load, they count
    // from the envelope's creation again.
    void averagesRecoverFromACorrectedDate() {
        FixedClock clock(date(2026, 3, 31, 12));
        Budget b;
        Account* checking = b.createAccount();
        checking->setName(QStringLiteral("Checking"));
        b.showTopLevel(checking);
        AccountGroup* home = b.createFolder();
        home->setName(QStringLiteral("Home"));
        b.showTopLevel(home);
        for (const char* name : {"Groceries", "Dining"}) {
            AccountEnvelope* e = b.createEnvelope();
            e->setName(QString::fromLatin1(name));
            e->setCreatedDate(name[0] == 'G' ? date(2026, 1, 1) : date(2026, 2, 1));
            home->addChild(e);
        }
        auto envelope = [](const Budget& budget, const char* name) {
            for (AccountBase* e : budget.itemsOfType(ItemType::Envelope))
                if (e->getName() == QLatin1String(name))
                    return static_cast<AccountEnvelope*>(e);
            return static_cast<AccountEnvelope*>(nullptr);
        };
        auto spend = [&](const char* name, Amount amount, const DateTime& when) {
            createTransaction(b, TransactionType::Expense, amount, checking->id(), kNoId,
                              envelope(b, name)->id(), QStringLiteral("Shop"), QString(), when);
        };
        spend("Groceries", -10000, date(2026, 1, 15));
        spend("Groceries", -20000, date(2026, 2, 15));
        spend("Groceries", -30000, date(2012, 3, 15)); // meant 2026
        spend("Dining", -4000, date(2025, 11, 20));    // not a dining expense at all
        spend("Dining", -5000, date(2026, 3, 5));
        b.sortTransactionsByTime();
        QCOMPARE(save(b, path("typo.xlsx")), 0);

        auto loaded = load(path("typo.xlsx"));
        for (const Transaction* t : loaded->transactions()) {
            if (t->transactionTime.year == 2012) {
                Transaction corrected = *t;
                corrected.transactionTime = date(2026, 3, 15);
                loaded->editTransaction(t, corrected);
                break;
            }
        }
        for (const Transaction* t : loaded->transactions()) {
            if (t->transactionTime.year == 2025) {
                loaded->removeTransaction(t);
                break;
            }
        }
        QCOMPARE(save(*loaded, path("corrected.xlsx")), 0);
        auto again = load(path("corrected.xlsx"));

        // By hand. Groceries: 1 January to 31 March noon spans 3 months and 90 days; 600.00
        // spent gives 200.00 a month and 6.66 a day (cut toward zero).
        const SpendingAverages groceries =
            envelopeSpendingAverages(*again, *envelope(*again, "Groceries"), false, -1, -1);
        QCOMPARE(groceries.perMonth, Amount(-20000));
        QCOMPARE(groceries.days, 90);
        QCOMPARE(groceries.perDay, Amount(-666));
        QCOMPARE(ymd(envelope(*again, "Groceries")->createdDate()), QStringLiteral("2026-01-01"));
        // Dining: 1 February to 31 March noon, 2 months and 59 days, 50.00 spent.
        const SpendingAverages dining =
            envelopeSpendingAverages(*again, *envelope(*again, "Dining"), false, -1, -1);
        QCOMPARE(dining.perMonth, Amount(-2500));
        QCOMPARE(dining.days, 59);
        QCOMPARE(dining.perDay, Amount(-84));
    }

    void emptyBudgetHasAllSheets() {
        FixedClock clock(date(2025, 11, 5));
        Budget b;
        QCOMPARE(save(b, path("empty.xlsx")), 0);
        XlsxReader r;
        QVERIFY(r.open(path("empty.xlsx")));
        QCOMPARE(r.sheetNames(), QStringList({"Budget", "Accounts", "Folders", "Categories",
                                              "Transactions", "Settings"}));
        QCOMPARE(r.sheet("Accounts")->cell(1, 6).toText(), QStringLiteral("Last import"));
        QCOMPARE(r.sheet("Accounts")->cell(2, 1).valueType(), XlsxValueType::Empty);
        QCOMPARE(r.sheet("Categories")->cell(1, 12).toText(), QStringLiteral("Created Date"));
        QCOMPARE(r.sheet("Transactions")->cell(1, 8).toText(), QStringLiteral("Type"));
        QCOMPARE(r.sheet("Settings")->cell(1, 3).toText(), QStringLiteral("Maps to expense"));
        const XlsxSheet* o = r.sheet("Budget");
        QCOMPARE(o->cell(6, 13).toText(), QStringLiteral("1.0.23.88"));
        QCOMPARE(o->cell(10, 4).toInteger(), 11);
        QCOMPARE(o->cell(11, 4).toInteger(), 2025);
        QCOMPARE(o->cell(17, 2).toText(), QStringLiteral("Totals"));
        QCOMPARE(o->cell(17, 4).formula(), QStringLiteral("SUM(D15:D14)"));
        QCOMPARE(o->cell(15, 9).formula(), QStringLiteral("SUM(Folders!B:B)"));
        QCOMPARE(o->cell(17, 9).formula(), QStringLiteral("I16-I15"));
    }

    void writtenCells_data() {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("formula");
        // Rows follow the display order: checking, savings, card, then the hidden account.
        QTest::newRow("card type") << "Accounts"
                                   << "B4"
                                   << "credit card"
                                   << "";
        QTest::newRow("plain type") << "Accounts"
                                    << "B2"
                                    << "account"
                                    << "";
        QTest::newRow("hidden account last") << "Accounts"
                                             << "A5"
                                             << "Old account"
                                             << "";
        QTest::newRow("hidden yes") << "Accounts"
                                    << "E5"
                                    << "yes"
                                    << "";
        QTest::newRow("five cents") << "Accounts"
                                    << "C5"
                                    << "-0.05"
                                    << "";
        QTest::newRow("balance") << "Accounts"
                                 << "C2"
                                 << "1234.56"
                                 << "";
        QTest::newRow("in budget") << "Accounts"
                                   << "D3"
                                   << "no"
                                   << "";
        QTest::newRow("unset date is 0") << "Accounts"
                                         << "F3"
                                         << "0"
                                         << "";
        QTest::newRow("last import serial") << "Accounts"
                                            << "F2"
                                            << "45412"
                                            << "";
        QTest::newRow("folder limit negated") << "Folders"
                                              << "B2"
                                              << "150"
                                              << "";
        QTest::newRow("no limit") << "Folders"
                                  << "B3"
                                  << "0"
                                  << "";
        QTest::newRow("hidden folder after visible") << "Folders"
                                                     << "A5"
                                                     << "Archive"
                                                     << "";
        QTest::newRow("charges folder read only") << "Folders"
                                                  << "D4"
                                                  << "yes"
                                                  << "";
        QTest::newRow("envelope folder ref") << "Categories"
                                             << "B2"
                                             << ""
                                             << "Folders!A2";
        QTest::newRow("budgeted as stored") << "Categories"
                                            << "C2"
                                            << "-1500"
                                            << "";
        QTest::newRow("payer ref") << "Categories"
                                   << "I2"
                                   << ""
                                   << "Accounts!A2";
        QTest::newRow("no payer blank") << "Categories"
                                        << "I3"
                                        << ""
                                        << "";
        QTest::newRow("flags ordinary") << "Categories"
                                        << "J2"
                                        << "0"
                                        << "";
        QTest::newRow("flags charges") << "Categories"
                                       << "J5"
                                       << "1"
                                       << "";
        QTest::newRow("goal") << "Categories"
                              << "K4"
                              << "200"
                              << "";
        QTest::newRow("newest first") << "Transactions"
                                      << "B2"
                                      << "moved"
                                      << "";
        QTest::newRow("from an envelope") << "Transactions"
                                          << "E2"
                                          << ""
                                          << "Categories!A2";
        QTest::newRow("category none blank") << "Transactions"
                                             << "D7"
                                             << ""
                                             << "";
        QTest::newRow("deposit type") << "Transactions"
                                      << "H7"
                                      << "Deposit"
                                      << "";
        QTest::newRow("cc payment type") << "Transactions"
                                         << "H3"
                                         << "CC Payment"
                                         << "";
        QTest::newRow("charged to charges") << "Transactions"
                                            << "D3"
                                            << ""
                                            << "Categories!A5";
        QTest::newRow("rule ref") << "Settings"
                                  << "C2"
                                  << ""
                                  << "Categories!A4";
        QTest::newRow("rules in match order") << "Settings"
                                              << "A3"
                                              << "LANDLORD?"
                                              << "";
        QTest::newRow("overview line") << "Budget"
                                       << "B15"
                                       << ""
                                       << "Categories!A2";
        QTest::newRow("overview budget") << "Budget"
                                         << "D16"
                                         << ""
                                         << "-Categories!C3";
        QTest::newRow("overview diff") << "Budget"
                                       << "F17"
                                       << ""
                                       << "D17-E17";
        QTest::newRow("overview actual")
            << "Budget"
            << "E15"
            << ""
            << "-SUMIFS(Transactions!C:C, Transactions!D:D, Categories!A2, Transactions!A:A, \">= "
               "\" & "
               "DATE(D11, D10, 1), Transactions!A:A, \"< \" & EDATE(DATE(D11, D10, 1), 1))";
        // Five envelopes, hidden ones included: lines 15 to 19, totals in row 22.
        QTest::newRow("totals row") << "Budget"
                                    << "D22"
                                    << ""
                                    << "SUM(D15:D19)";
        QTest::newRow("totals label") << "Budget"
                                      << "B22"
                                      << "Totals"
                                      << "";
        QTest::newRow("banner") << "Budget"
                                << "A1"
                                << "TALLYKEEP BUDGET"
                                << "";
        QTest::newRow("version label") << "Budget"
                                       << "L6"
                                       << "version"
                                       << "";
    }

    void writtenCells() {
        QFETCH(QString, sheet);
        QFETCH(QString, address);
        QFETCH(QString, text);
        QFETCH(QString, formula);
        static const QString file = [this] {
            auto b = richBudget();
            // An unknown type value is written as "Unknown" (and reads back as an expense).
            const QString f = path("cells.xlsx");
            save(*b, f);
            return f;
        }();
        XlsxReader r;
        QVERIFY(r.open(file));
        const XlsxSheet* s = r.sheet(sheet);
        QVERIFY(s);
        int row = 0, col = 0;
        for (QChar ch : address) {
            if (ch.isLetter())
                col = col * 26 + (ch.unicode() - 'A' + 1);
            else
                row = row * 10 + ch.digitValue();
        }
        const XlsxCell c = s->cell(row, col);
        QCOMPARE(c.formula(), formula);
        if (formula.isEmpty()) // a formula's stored result is the library's placeholder
            QCOMPARE(c.toText(), text);
    }

    void unknownTypeIsWrittenAndReadAsExpense() {
        Budget b;
        Account* a = b.createAccount();
        b.showTopLevel(a);
        createTransaction(b, TransactionType(7), -5, a->id(), kNoId, kNoId, QString(), QString(),
                          date(2024, 1, 1));
        QCOMPARE(save(b, path("unknown.xlsx")), 0);
        XlsxReader r;
        QVERIFY(r.open(path("unknown.xlsx")));
        QCOMPARE(r.sheet("Transactions")->cell(2, 8).toText(), QStringLiteral("Unknown"));
        QCOMPARE(r.sheet("Transactions")->cell(2, 3).toDouble(), -0.05);
        auto loaded = load(path("unknown.xlsx"));
        QCOMPARE(int(loaded->transactions().front()->type), 0);
    }

    void spreadsheetProgramShowsNamesAndTotals() {
        // LibreOffice with a fresh profile does not recalculate an .xlsx on opening: it shows
        // the results stored with the formulas.
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice is not installed");
        auto b = richBudget();
        const QString file = path("office.xlsx");
        {
            FixedClock clock(date(2024, 2, 10)); // the overview totals February 2024
            QCOMPARE(save(*b, file), 0);
        }
        const QString out = path("office");
        const QByteArray errors = convertWithLibreOffice(
            soffice,
            "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1", file,
            out);
        auto sheet = [&](const char* name) {
            QFile f(out + QStringLiteral("/office-%1.csv").arg(QLatin1String(name)));
            QList<QStringList> rows;
            if (f.open(QIODevice::ReadOnly))
                for (const QByteArray& line : f.readAll().split('\n'))
                    rows << QString::fromUtf8(line).trimmed().split(u',');
            return rows;
        };
        auto rowWith = [](const QList<QStringList>& rows, int col, const QString& text) {
            for (const QStringList& r : rows)
                if (r.size() > col && r[col] == text)
                    return r;
            return QStringList();
        };
        const QList<QStringList> overview = sheet("Budget");
        QVERIFY2(!overview.isEmpty(), errors.constData());
        // Envelope lines: name, budgeted, actual (February's expenses), difference.
        const QList<QList<QVariant>> lines = {{"Rent", 1500, 1200, 300},
                                              {"Games 中文", 25, 43.21, -18.21},
                                              {"Power ⚡", 0, 0, 0},
                                              {"Totals", 1525, 1243.21, 281.79}};
        for (const QList<QVariant>& line : lines) {
            const QStringList row = rowWith(overview, 1, line[0].toString());
            QVERIFY2(row.size() > 5, qPrintable(line[0].toString()));
            for (int i = 1; i <= 3; ++i)
                QVERIFY2(qFuzzyCompare(1 + row[2 + i].toDouble(), 1 + line[i].toDouble()),
                         qPrintable(row.join(u',')));
        }
        const QStringList folderLimits = rowWith(overview, 7, "Budgeted");
        QCOMPARE(folderLimits.value(8).toDouble(), 150.0);
        QCOMPARE(rowWith(overview, 7, "Diff.").value(8).toDouble(), -150.0);
        // Reference cells show the names they point at.
        const QList<QStringList> transactions = sheet("Transactions");
        const QStringList games = rowWith(transactions, 1, "Shop 💳");
        QCOMPARE(games.value(3), QStringLiteral("Games 中文"));
        QCOMPARE(games.value(4), QStringLiteral("Visa 💳"));
        QCOMPARE(rowWith(sheet("Categories"), 0, "Rent").value(1), QStringLiteral("Bills"));
        QCOMPARE(rowWith(sheet("Categories"), 0, "Rent").value(8), QStringLiteral("Checking é"));
    }

    // Someone opens the budget in LibreOffice and saves it there: LibreOffice writes the
    // workbook its own way (shared strings, its styles, its formula texts), and every record
    // must read back the same.
    void spreadsheetProgramsResaveReadsTheSame() {
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice is not installed");
        auto b = richBudget();
        const QString file = path("resave.xlsx");
        QCOMPARE(save(*b, file), 0);
        const QString out = path("resaved");
        const QByteArray errors =
            convertWithLibreOffice(soffice, "xlsx:Calc MS Excel 2007 XML", file, out);
        const QString resaved = out + QStringLiteral("/resave.xlsx");
        QVERIFY2(QFile::exists(resaved), errors.constData());
        int status = -1;
        const auto again = load(resaved, &status);
        QCOMPARE(status, 0);
        QCOMPARE(snapshot(*again), snapshot(*load(file)));
    }

    void anotherReaderSeesTheLayout() {
        if (!QFile::exists("/usr/bin/python3"))
            QSKIP("python3 is not installed");
        auto b = richBudget();
        const QString file = path("openpyxl.xlsx");
        QCOMPARE(save(*b, file), 0);
        const char* script = R"PY(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
errors = []
def width(ws, letter):
    col = openpyxl.utils.column_index_from_string(letter)
    for dim in ws.column_dimensions.values():
        if dim.min and dim.max and dim.min <= col <= dim.max:
            return int(dim.width)  # the library stores widths with its padding added
    return None
def check(what, got, want):
    if got != want:
        errors.append("%s: got %r, want %r" % (what, got, want))
check("sheets", wb.sheetnames, ["Budget", "Accounts", "Folders", "Categories", "Transactions", "Settings"])
check("active", wb.active.title, "Budget")
heads = {
    "Accounts": ["Account name", "Type", "Balance", "InBudget", "Hidden", "Last import", "Statement columns"],
    "Folders": ["Folder name", "Folder", "Hidden", "Read Only"],
    "Categories": ["Expense name", "Folder Id", "Budgeted", "Balance", "Hidden", "Read Only", "default Payee",
                   "default Amount", "default Payer Id", "Flags", "Savings goal", "Created Date"],
    "Transactions": ["Date", "Payee", "Amount", "Expense", "Account From", "Account To", "Description", "Type",
                     "Bank Id"],
    "Settings": ["Imported payee", "Maps to payee", "Maps to expense", "Deposit"],
}
for name, want in heads.items():
    ws = wb[name]
    check(name + " headers", [c.value for c in ws[1]][:len(want)], want)
    check(name + " header bold", ws["A1"].font.b, True)
    check(name + " header fill", ws["A1"].fill.fgColor.rgb, "FFC8C8C8")
    check(name + " width", [width(ws, "A"), width(ws, "I")], [25, 25] if name == "Settings" else [15, 15])
acc = wb["Accounts"]
check("name", acc["A2"].value, "Checking \u00e9")
check("balance", acc["C2"].value, 1234.56)
check("money format", acc["C2"].number_format, "$#,##0.00")
check("date format", acc["F2"].number_format, "m/d/yyyy")
check("money centred", acc["C2"].alignment.horizontal, "center")
cat = wb["Categories"]
check("folder ref", cat["B2"].value, "=Folders!A2")
check("payer ref", cat["I2"].value, "=Accounts!A2")
check("width L", width(cat, "L"), 15)
tx = wb["Transactions"]
check("tx ref", tx["D3"].value, "=Categories!A5")
check("unicode", tx["B5"].value, "Shop \U0001F4B3")
bud = wb["Budget"]
merged = sorted(str(r) for r in bud.merged_cells.ranges)
for want in ["A1:D1", "H1:M1", "A3:M4", "A6:H6", "B8:E9", "H8:K9", "B12:F13", "H12:L13", "B14:C14", "B15:C15", "B19:C19"]:
    if want not in merged:
        errors.append("merged range %s missing from %s" % (want, merged))
check("version", bud["M6"].value, "1.0.23.88")
check("title", bud["A1"].value, "TALLYKEEP BUDGET")
check("title font", (bud["A1"].font.b, bud["A1"].font.i, bud["A1"].font.u, bud["A1"].font.sz), (True, True, "single", 12))
check("banner fill", bud["C5"].fill.fgColor.rgb, "FF334960")
check("banner font", bud["L6"].font.color.rgb, "FFCCE0F2")
check("heading", (bud["B8"].value, bud["B8"].font.sz, bud["B8"].font.color.rgb), ("Monthly Budget", 24, "FFF56424"))
link = bud["A6"]
check("no dead link", (link.value, link.hyperlink), (None, None))
check("link row fill", link.fill.fgColor.rgb, "FF334960")
check("blurb tells the platform", ("Linux" in bud["A3"].value, "Windows" in bud["A3"].value), (True, False))
check("blurb", (bud["A3"].alignment.wrap_text, bud["A3"].alignment.vertical, bud["A3"].font.sz), (True, "top", 11))
check("medium heading", (bud["B12"].value, bud["B12"].font.sz, bud["B12"].font.b, bud["B12"].font.color.rgb,
      bud["B12"].alignment.vertical), ("Expenses", 17, True, "FFF56424", "center"))
check("column head", (bud["D14"].value, bud["D14"].font.sz, bud["D14"].font.b, bud["D14"].alignment.vertical),
      ("Budgeted", 13, True, "center"))
check("line budget", (bud["D15"].value, bud["D15"].number_format), ("=-Categories!C2", "$#,##0.00"))
check("line actual", bud["E16"].value, '=-SUMIFS(Transactions!C:C, Transactions!D:D, Categories!A3, Transactions!A:A, ">= " & DATE(D11, D10, 1), Transactions!A:A, "< " & EDATE(DATE(D11, D10, 1), 1))')
check("line diff", bud["F17"].value, "=D17-E17")
check("folder budget", (bud["I15"].value, bud["I15"].number_format), ("=SUM(Folders!B:B)", "$#,##0.00"))
text = wb["Accounts"]["A2"]
check("text cell", (text.fill.fill_type, text.fill.fgColor.rgb, text.alignment.horizontal), ("solid", "FFEEEEEE", "left"))
check("header left", wb["Accounts"]["C1"].alignment.horizontal, "left")
check("deposit formula", bud["I16"].value, '=SUMIFS(Transactions!C:C, Transactions!H:H, "Deposit", Transactions!A:A, ">= " & DATE(D11, D10, 1), Transactions!A:A, "< " & EDATE(DATE(D11, D10, 1), 1))')
check("line", bud["B15"].value, "=Categories!A2")
check("totals", bud["F22"].value, "=SUM(F15:F19)")
check("width Z", [width(bud, "A"), width(bud, "Z")], [12, 12])
rules = [r for cf in bud.conditional_formatting for r in cf.rules]
ranges = sorted(str(cf.sqref) for cf in bud.conditional_formatting)
for want in ["E15", "F15", "E19", "F19", "D22", "E22", "F22", "I17"]:
    if want not in ranges:
        errors.append("conditional format on %s missing from %s" % (want, ranges))
if not all(r.dxf.font.color.rgb == "FFFF0000" and r.dxf.numFmt.formatCode == "$#,##0.00" for r in rules):
    errors.append("alert style: %r" % [(r.dxf.font.color.rgb, r.dxf.numFmt) for r in rules])
if not all(r.type == "cellIs" and r.operator == "lessThan" and r.formula == ["0"] for r in rules):
    errors.append("conditional rules: %r" % [(r.type, r.operator, r.formula) for r in rules])
print("\n".join(errors))
sys.exit(1 if errors else 0)
)PY";
        QProcess p;
        p.start("/usr/bin/python3", {"-c", QString::fromUtf8(script), file});
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        if (out.contains("No module named"))
            QSKIP("openpyxl is not installed");
        QVERIFY2(p.exitCode() == 0, qPrintable(out));
    }

    void numbersIgnoreTheNumericLocale() {
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            QSKIP("de_DE.UTF-8 is not installed (Debian package locales-all)");
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.2f", 1.5);
        QCOMPARE(QByteArray(probe), QByteArray("1,50"));
        auto b = richBudget();
        const int status = save(*b, path("de.xlsx"));
        std::setlocale(LC_NUMERIC, "C");
        QCOMPARE(status, 0);
        auto loaded = load(path("de.xlsx"));
        QCOMPARE(snapshot(*loaded), snapshot(*b));
        XlsxReader r;
        QVERIFY(r.open(path("de.xlsx")));
        QCOMPARE(r.sheet("Accounts")->cell(2, 3).valueType(), XlsxValueType::Float);
        QCOMPARE(r.sheet("Accounts")->cell(2, 3).toDouble(), 1234.56);
    }

    void longTextsAreCutAtACharacterBoundary_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ascii fits") << QString(1023, u'a') << QString(1023, u'a');
        QTest::newRow("ascii cut") << QString(1500, u'a') << QString(1023, u'a');
        QTest::newRow("two-byte") << QString(600, QChar(0xE9)) << QString(511, QChar(0xE9));
        QTest::newRow("three-byte") << QString(400, QChar(0x4E2D)) << QString(341, QChar(0x4E2D));
        const QString card = QString::fromUcs4(U"\U0001F4B3");
        QTest::newRow("four-byte") << card.repeated(300) << card.repeated(255);
    }

    void longTextsAreCutAtACharacterBoundary() {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QVERIFY(cellTextUtf8(name).size() <= 1023);
        Budget b;
        Account* a = b.createAccount();
        a->setName(name);
        b.showTopLevel(a);
        QCOMPARE(save(b, path("long.xlsx")), 0);
        auto loaded = load(path("long.xlsx"));
        QCOMPARE(loaded->findAccount(0)->getName(), expected);
    }

    void textsSurviveTheFormatsEscapes_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("escape-like text") << "_x0041_ stays";
        QTest::newRow("escaped underscore") << "a_x005F_b";
        QTest::newRow("two in a row") << "_x0041__x0042_";
        QTest::newRow("not an escape") << "_x12_ and _xZZZZ_";
        QTest::newRow("control characters") << QStringLiteral("tab\there\x01 bell\x07");
        QTest::newRow("xml specials") << "<a href=\"x\">&amp;</a>";
        QTest::newRow("spaces around") << "  padded \t";
    }

    // Names go through the shared string table, transaction texts are written inline: both
    // ways must give back the same text.
    void textsSurviveTheFormatsEscapes() {
        QFETCH(QString, name);
        Budget b;
        Account* a = b.createAccount();
        a->setName(name);
        b.showTopLevel(a);
        AccountGroup* folder = b.createFolder();
        folder->setName(name);
        b.showTopLevel(folder);
        AccountEnvelope* e = b.createEnvelope();
        e->setName(name);
        folder->addChild(e);
        // References to the named items carry the names as formula results.
        createTransaction(b, TransactionType::Expense, -1, a->id(), kNoId, e->id(), name,
                          name + name, date(2024, 1, 1));
        QCOMPARE(save(b, path("escapes.xlsx")), 0);
        const auto loaded = load(path("escapes.xlsx"));
        QCOMPARE(loaded->findAccount(0)->getName(), name);
        QCOMPARE(loaded->findEnvelope(e->id())->getName(), name);
        QCOMPARE(loaded->transactions().size(), size_t(1));
        const Transaction& t = *loaded->transactions().front();
        QCOMPARE(t.payee, name);
        QCOMPARE(t.description, name + name);
        QCOMPARE(loaded->findEnvelope(t.category)->getName(), name);
    }

    void beyondSixteenBitRows() {
        // More than 65534 records is fine with wide row counters.
        Budget b;
        Account* a = b.createAccount();
        a->setName(QStringLiteral("A"));
        b.showTopLevel(a);
        for (int i = 0; i < 70000; ++i)
            b.loadTransaction(Transaction{1, kNoId, kNoId, a->id(), QString(), QString(),
                                          date(2020, 1, 1 + i % 28), TransactionType::Deposit,
                                          QString()});
        b.sortTransactionsByTime();
        QCOMPARE(save(b, path("wide.xlsx")), 0);
        auto loaded = load(path("wide.xlsx"));
        QCOMPARE(loaded->transactions().size(), size_t(70000));
        QCOMPARE(loaded->transactions().back()->accountTo, loaded->findAccount(0)->id());
    }

    void tooManyRowsIsRefused() {
        Budget b;
        for (qint64 i = 0; i <= Workbook::kMaxDataRows; ++i)
            b.loadTransaction(Transaction());
        QFile f(path("full.xlsx"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("previous");
        f.close();
        QCOMPARE(save(b, path("full.xlsx")), int(Workbook::SaveTooManyRows));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("previous"));
        QVERIFY(saveErrorText(Workbook::SaveTooManyRows).contains("1048575"));
    }

    void errorTexts() {
        QCOMPARE(saveErrorText(2),
                 QStringLiteral("Error creating output xlsx file. Usually a permissions error."));
        QCOMPARE(saveErrorText(27), QStringLiteral("Unknown error number."));
        QCOMPARE(saveErrorText(64), QStringLiteral("Unknown error number."));
    }
};

QTEST_GUILESS_MAIN(WorkbookTest)
#include "test_workbook.moc"
