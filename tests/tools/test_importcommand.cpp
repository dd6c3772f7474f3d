// tallykeep-import run as a user runs it: on budgets written to disk and the statements in
// tests/data/statements, its JSON compared with answers written by hand.

#include "model/budget.h"
#include "storage/budgetfile.h"
#include "storage/budgetlocation.h"
#include "storage/singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <map>
#include <sys/stat.h>

namespace {
const QString kStatements = QStringLiteral(TALLYKEEP_TEST_DATA "/statements/");

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TALLYKEEP_IMPORT_COMMAND), args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

Account* addAccount(Budget& budget, const QString& name, Amount balance, bool card = false) {
    Account* a = budget.createAccount();
    a->setName(name);
    a->adjustBalance(balance);
    a->setCCAccount(card);
    return a;
}

DateTime at(int y, int m, int d, int h, int min) {
    return fromQDateTime(QDateTime(QDate(y, m, d), QTime(h, min)));
}

// Made in the order a loaded budget numbers its items (and tallykeep-export shows them):
// Checking 0, Visa 1, the folder 2, Groceries 3, Fuel 4, Housing 5. Both accounts were
// opened on 1 November 2024. Checking has one transaction entered by hand since (so nothing
// was imported yet): the parking meter of us_checking.qif, a day later. Visa has one
// imported from the bank: the fee that us_bank_sgml.ofx lists again (same FITID) with
// another amount and date. Payroll rows are deposits by rule.
void writeBudget(const QString& path) {
    Budget budget;
    Account* checking = addAccount(budget, "Checking", 100000);
    checking->setLastImport(at(2024, 11, 1, 8, 30));
    Account* visa = addAccount(budget, "Visa", 0, true);
    visa->setLastImport(at(2024, 11, 1, 8, 30));
    AccountGroup* folder = budget.createFolder();
    folder->setName("Everyday");
    for (const char* name : {"Groceries", "Fuel", "Housing"}) {
        AccountEnvelope* e = budget.createEnvelope();
        e->setName(name);
        folder->addChild(e);
    }
    budget.showTopLevel(std::vector<AccountBase*>{checking, visa, folder});
    QCOMPARE(budget.findItem(4)->getName(), QStringLiteral("Fuel"));
    budget.rules().addMappingRule("WALMART*", 3, false, "Walmart");
    budget.rules().addMappingRule("*ACME*", kNoId, false, "Acme Corp", true);
    budget.recordTransaction(makeTransaction(TransactionType::Expense, -4194, checking->id(), kNoId,
                                             4, "City parking", "", at(2024, 12, 3, 9, 15)));
    Transaction fee = makeTransaction(TransactionType::Expense, -500, visa->id(), kNoId, 5,
                                      "Service fee", "", at(2024, 12, 30, 10, 0));
    fee.bankId = "202412310004";
    budget.recordTransaction(fee);
    QCOMPARE(writeWorkbookReplacing(path, budget, budget.topLevelItemsForSave()), 0);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QJsonDocument expected(const QString& name) {
    QFile file(kStatements + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll());
}
} // namespace

class ImportCommandTest : public QObject {
    Q_OBJECT
private slots:
    void statements_data();
    void statements();
    void applyThenAgain();
    void refusesWhileOpen();
    void killedDuringAnOfxParse();
    void applyWithNothingToImportDoesNotSave();
    void saysWhatWentWrong_data();
    void saysWhatWentWrong();
    void exitCodes_data();
    void exitCodes();
    void everyStatementPutsInWhatItHolds_data();
    void everyStatementPutsInWhatItHolds();
    void csvOptions_data();
    void csvOptions();
    void severalStatementsInOneFile();
    void monthOfThreeStatements_data();
    void monthOfThreeStatements();
    void repeatsAreOneToOne();
};

void ImportCommandTest::statements_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("answer");
    QTest::newRow("US bank QIF") << "us_checking.qif" << QStringList() << "us_checking.import.json";
    QTest::newRow("European QIF, day first")
        << "european_giro.qif" << QStringList{"--date-order", "dmy"} << "european_giro.import.json";
    QTest::newRow("US bank CSV") << "us_bank.csv" << QStringList() << "us_bank.import.json";
    QTest::newRow("German bank CSV, Windows-1252")
        << "german_giro.csv" << QStringList() << "german_giro.import.json";
    QTest::newRow("OFX 1 SGML into the card, FITID seen before")
        << "us_bank_sgml.ofx" << QStringList{"--account", "Visa"} << "us_bank_sgml.import.json";
    QTest::newRow("OFX 2 XML") << "us_bank_xml.ofx" << QStringList() << "us_bank_xml.import.json";
    QTest::newRow("QFX") << "checking_download.qfx" << QStringList()
                         << "checking_download.import.json";
}

void ImportCommandTest::statements() {
    QFETCH(QString, statement);
    QFETCH(QStringList, options);
    QFETCH(QString, answer);
    QTemporaryDir dir;
    const QString budget = dir.filePath("budget.xlsx");
    writeBudget(budget);
    const QByteArray before = readAll(budget);
    const Run r =
        run(QStringList{budget, "--account", "Checking", kStatements + statement} + options);
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QJsonDocument got = QJsonDocument::fromJson(r.out);
    const QJsonDocument want = expected(answer);
    QVERIFY(!want.isNull());
    QVERIFY2(got == want, r.out.constData());
    // Without --apply the budget stays as it was, byte for byte.
    QCOMPARE(readAll(budget), before);
}

// --apply records the ticked, assigned rows and keeps the budget's previous version as a
// backup; the same statement a second time then finds every row imported before.
void ImportCommandTest::applyThenAgain() {
    QTemporaryDir dir;
    const QString budget = dir.filePath("budget.xlsx");
    writeBudget(budget);
    const QByteArray before = readAll(budget);
    const QStringList args{budget, "--account", "Checking", kStatements + "us_checking.qif"};
    Run r = run(args + QStringList{"--apply"});
    // Two ticked rows have no envelope: the others go in, those two are named, exit 1.
    QVERIFY2(r.exitCode == 1, r.err.constData());
    QJsonObject json = QJsonDocument::fromJson(r.out).object();
    QStringList left;
    for (const QJsonValue row : json.take("notImported").toArray())
        left << QStringLiteral("%1 %2 %3: %4")
                    .arg(row["row"].toInt())
                    .arg(row["payee"].toString())
                    .arg(row["amount"].toInteger())
                    .arg(row["reason"].toString());
    QCOMPARE(left, QStringList({"2 FIRST NATIONAL MORTGAGE -123456: no envelope or kind chosen",
                                "5 AMAZON.COM_AB12C -50: no envelope or kind chosen"}));
    QVERIFY(QJsonDocument(json) == expected("us_checking.import.json"));
    // The budget as it was before the import is the newest backup.
    QCOMPARE(readAll(dir.filePath("TallykeepBackup/budget.xlsx.bak.1")), before);

    Budget loaded;
    BudgetFile file(BudgetPath{budget});
    QCOMPARE(file.load(loaded), int(LoadOk));
    // The parking meter by hand, the card's fee, then Walmart and the payroll deposit (the
    // ticked rows with an envelope or a deposit).
    QCOMPARE(int(loaded.transactions().size()), 4);
    const Account* checking = loaded.findAccount(0);
    QVERIFY(checking);
    QCOMPARE(checking->getBalance(), 100000 - 4194 - 4567 + 250000);
    const Transaction& payroll = *loaded.transactions()[2];
    QCOMPARE(payroll.type, TransactionType::Deposit);
    QCOMPARE(payroll.payee, QStringLiteral("Acme Corp"));
    QCOMPARE(checking->lastImport().year, 2024);
    QCOMPARE(checking->lastImport().month, 12);
    QCOMPARE(checking->lastImport().day, 10);

    r = run(args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(QJsonDocument::fromJson(r.out) == expected("us_checking.again.import.json"),
             r.out.constData());
}

void ImportCommandTest::refusesWhileOpen() {
    QTemporaryDir dir;
    const QString budget = dir.filePath("budget.xlsx");
    writeBudget(budget);
    // The program holds its budget's lock for as long as it runs.
    SingleInstance program(budgetIdentity(budget));
    QVERIFY(program.tryAcquire());
    // A lock taken by this very process counts as someone else's for the child.
    const Run r =
        run({budget, "--account", "Checking", kStatements + "us_checking.qif", "--apply"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("open in Tallykeep"));
    QVERIFY(r.out.isEmpty());
}

// The processes whose parent is pid, from their /proc/PID/stat lines.
QList<qint64> childrenOf(qint64 pid) {
    QList<qint64> out;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!entry.front().isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest[1].toLongLong() == pid)
            out << entry.toLongLong();
    }
    return out;
}

// Running, not gone or a zombie waiting for its new parent to collect it.
bool isRunning(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

// Killed while libofx works, the command leaves nothing running and nothing behind: the
// helper ends too, it held no descriptor of the command's (the budget's lock is free), and
// no copy of the statement stays in the temporary folder.
void ImportCommandTest::killedDuringAnOfxParse() {
    QTemporaryDir dir;
    QTemporaryDir temp;
    const QString budget = dir.filePath("budget.xlsx");
    writeBudget(budget);
    // Thousands of unclosed elements keep libofx busy for minutes.
    QByteArray slow = "OFXHEADER:100\n\n<OFX>";
    for (int i = 0; i < 20000; ++i)
        slow += "<STMTTRN><TRNAMT>1";
    slow += "</OFX>";
    QFile statement(dir.filePath("slow.ofx"));
    QVERIFY(statement.open(QIODevice::WriteOnly));
    statement.write(slow);
    statement.close();

    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    const auto restoreTemp = qScopeGuard([&] {
        if (oldTemp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", oldTemp);
    });
    QProcess command;
    command.start(QStringLiteral(TALLYKEEP_IMPORT_COMMAND),
                  {budget, "--account", "Visa", statement.fileName()});
    QVERIFY(command.waitForStarted());
    QList<qint64> helpers;
    for (QDeadlineTimer wait(30000); helpers.isEmpty() && !wait.hasExpired(); QThread::msleep(20))
        helpers = childrenOf(command.processId());
    QCOMPARE(helpers.size(), 1);
    const qint64 helper = helpers.front();
    QThread::msleep(300); // well into the parse

    const QString lockPath = SingleInstance(budgetIdentity(budget)).lockFilePath();
    QStringList held;
    const QString fds = QStringLiteral("/proc/%1/fd").arg(helper);
    for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System))
        held << QFile::symLinkTarget(fds + u'/' + fd);
    QVERIFY(!held.isEmpty());
    QVERIFY2(!held.contains(lockPath), qPrintable(held.join(u' ')));
    QVERIFY2(!held.contains(budget), qPrintable(held.join(u' ')));

    ::kill(pid_t(command.processId()), SIGKILL);
    QVERIFY(command.waitForFinished());
    QThread::msleep(1000);
    QVERIFY(!isRunning(helper));
    QStringList left = QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    left.removeAll(QFileInfo(lockPath).fileName()); // the lock file itself, when it lives here
    QCOMPARE(left, QStringList());
    SingleInstance next(budgetIdentity(budget));
    QVERIFY2(next.tryAcquire(), qPrintable(next.failureText()));
}

void ImportCommandTest::applyWithNothingToImportDoesNotSave() {
    QTemporaryDir dir;
    const QString budget = dir.filePath("budget.xlsx");
    writeBudget(budget);
    const QStringList args{budget, "--account", "Checking", kStatements + "us_checking.qif",
                           "--apply"};
    QCOMPARE(run(args).exitCode, 1); // two ticked rows without an envelope
    const QByteArray imported = readAll(budget);
    // Every row was imported before: nothing is saved, no generation moves.
    QCOMPARE(run(args).exitCode, 0);
    QCOMPARE(readAll(budget), imported);
    QVERIFY(!QFile::exists(dir.filePath("TallykeepBackup/budget.xlsx.bak.2")));
}

void ImportCommandTest::saysWhatWentWrong_data() {
    QTest::addColumn<QString>("statement"); // written into the test's folder
    QTest::addColumn<QString>("says");
    QTest::newRow("unterminated quote") << "date,payee,amount\n2024-12-01,\"Shop,-5.00\n"
                                           "2024-12-02,Fuel,-30.00\n2024-12-03,Rent,-900.00\n"
                                        << "never closed";
    QTest::newRow("file too large") << "HUGE"
                                    << "too large";
    QTest::newRow("too many transactions") << "MANY"
                                           << "too large: more than 20000";
    QTest::newRow("another import holds the lock") << "date,payee,amount\n2024-12-01,Shop,-5.00\n"
                                                   << "another import of this budget is running";
    QTest::newRow("not a statement") << "just some words\n"
                                     << "not a statement";
}

void ImportCommandTest::saysWhatWentWrong() {
    QFETCH(QString, statement);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString budget = dir.filePath("budget.xlsx");
    writeBudget(budget);
    const QString path = dir.filePath("statement");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (statement == "HUGE") {
        QVERIFY(file.resize(65 << 20)); // sparse: takes no room
    } else if (statement == "MANY") {
        for (int i = 0; i < 20001; ++i)
            file.write("!Type:Bank\nD12/01/2024\nT-1.00\nPShop\n^\n" + (i ? 11 : 0));
    } else {
        file.write(statement.toUtf8());
    }
    file.close();
    // Another tallykeep-import takes the lock, then waits for its statement on a pipe.
    QProcess other;
    const QString pipe = dir.filePath("pipe");
    if (says.startsWith("another import")) {
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        other.start(QStringLiteral(TALLYKEEP_IMPORT_COMMAND),
                    {budget, "--account", "Checking", pipe});
        const QString lock = SingleInstance(budgetIdentity(budget)).lockFilePath();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);
    }
    const auto release = qScopeGuard([&] {
        if (other.state() == QProcess::NotRunning)
            return;
        QFile(pipe).open(QIODevice::WriteOnly); // an empty statement ends it
        other.waitForFinished(10000);
    });
    const QByteArray before = readAll(budget);
    const Run r = run({budget, "--account", "Checking", path, "--apply"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
    QVERIFY(r.out.isEmpty());
    QCOMPARE(readAll(budget), before);
}

void ImportCommandTest::exitCodes_data() {
    QTest::addColumn<QStringList>("args"); // "BUDGET" and "DIR" stand for the test's own
    QTest::addColumn<int>("code");
    const QString qif = kStatements + "us_checking.qif";
    QTest::newRow("no arguments") << QStringList() << 2;
    QTest::newRow("no account") << QStringList{"BUDGET", qif} << 2;
    QTest::newRow("unknown option")
        << QStringList{"BUDGET", "--account", "Checking", qif, "--x"} << 2;
    QTest::newRow("bad date order")
        << QStringList{"BUDGET", "--account", "Checking", qif, "--date-order", "dym"} << 2;
    QTest::newRow("account not in budget")
        << QStringList{"BUDGET", "--account", "Savings", qif} << 2;
    QTest::newRow("no such budget")
        << QStringList{"DIR/none.xlsx", "--account", "Checking", qif} << 1;
    QTest::newRow("budget is no workbook")
        << QStringList{"DIR/garbage.xlsx", "--account", "Checking", qif} << 1;
    QTest::newRow("no such statement")
        << QStringList{"BUDGET", "--account", "Checking", "DIR/none.qif"} << 1;
    QTest::newRow("statement is no statement")
        << QStringList{"BUDGET", "--account", "Checking", "DIR/garbage.xlsx"} << 1;
}

void ImportCommandTest::exitCodes() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QTemporaryDir dir;
    const QString budget = dir.filePath("budget.xlsx");
    writeBudget(budget);
    QFile garbage(dir.filePath("garbage.xlsx"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    static const char junk[] = "PK\x03\x04 not really a zip \x00\x01\x02";
    garbage.write(junk, sizeof junk - 1);
    garbage.close();
    for (QString& a : args)
        a.replace("BUDGET", budget).replace("DIR", dir.path());
    const Run r = run(args);
    QCOMPARE(r.exitCode, code);
    QVERIFY(r.out.isEmpty());
    QVERIFY(!r.err.isEmpty());
}

// Every sample statement through --apply into a budget whose rule gives every payee an
// envelope: the account's balance moves by exactly the sum written by hand in the
// statement's .expected file (no clamped, unreadable or misread amount gets in).
void ImportCommandTest::everyStatementPutsInWhatItHolds_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("card");
    QTest::addColumn<qint64>("change"); // -1 << 40: the file holds no transactions
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("left"); // ticked rows --apply cannot record
    const QStringList files =
        QDir(kStatements).entryList({"*.qif", "*.ofx", "*.qfx", "*.csv"}, QDir::Files);
    QVERIFY(files.size() >= 24);
    for (const QString& file : files) {
        const QByteArray expected =
            readAll(kStatements + file.left(file.lastIndexOf(u'.')) + ".expected");
        bool card = false, none = false;
        qint64 change = 0;
        QStringList options; // which statement of a file with several
        bool found = false;
        int left = 0;
        for (const QByteArray& line : expected.split('\n')) {
            card = card || line == "account card";
            none = none || line == "no transactions";
            if (line.startsWith("statement "))
                options = QStringList{"--statement", QString::fromLatin1(line.mid(10))};
            if (line.startsWith("balance ")) {
                change = line.mid(8).toLongLong(&found);
            }
            if (line.startsWith("not imported "))
                left = line.mid(13).toInt();
        }
        QVERIFY2(found, qPrintable(file + ": no balance line"));
        QTest::newRow(qPrintable(file))
            << file << card << (none ? qint64(-1) << 40 : change) << options << left;
    }
}

void ImportCommandTest::everyStatementPutsInWhatItHolds() {
    QFETCH(QString, statement);
    QFETCH(bool, card);
    QFETCH(qint64, change);
    QFETCH(QStringList, options);
    QFETCH(int, left);
    QTemporaryDir dir;
    const QString path = dir.filePath("budget.xlsx");
    {
        Budget budget;
        Account* checking = addAccount(budget, "Checking", 100000);
        Account* visa = addAccount(budget, "Visa", 0, true);
        AccountGroup* folder = budget.createFolder();
        folder->setName("Spending");
        AccountEnvelope* all = budget.createEnvelope();
        all->setName("Everything");
        folder->addChild(all);
        for (Account* a : {checking, visa})
            a->setLastImport(at(2000, 1, 1, 0, 0));
        budget.showTopLevel(std::vector<AccountBase*>{checking, visa, folder});
        budget.rules().addMappingRule("*", all->id(), false, "");
        QCOMPARE(writeWorkbookReplacing(path, budget, budget.topLevelItemsForSave()), 0);
    }
    const QString account = card ? "Visa" : "Checking";
    const Run r =
        run(QStringList{path, "--account", account, kStatements + statement, "--apply"} + options);
    Budget loaded;
    BudgetFile file(BudgetPath{path});
    QCOMPARE(file.load(loaded), int(LoadOk));
    const Account* changed = loaded.findAccount(card ? 1 : 0);
    QVERIFY(changed);
    if (change == qint64(-1) << 40) {
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("no transactions in this file"), r.err.constData());
        QCOMPARE(changed->getBalance(), card ? 0 : 100000);
        return;
    }
    // Exit 0 only when every ticked row is in the budget; the others are named.
    QCOMPARE(r.exitCode, left > 0 ? 1 : 0);
    QCOMPARE(int(QJsonDocument::fromJson(r.out)["notImported"].toArray().size()), left);
    QCOMPARE(qint64(changed->getBalance()) - (card ? 0 : 100000), change);
}

// A checking account and a card in one download: nothing is read until one is chosen, and the
// choice takes only that statement's rows.
void ImportCommandTest::severalStatementsInOneFile() {
    QTemporaryDir dir;
    const QString budget = dir.filePath("budget.xlsx");
    writeBudget(budget);
    const QByteArray before = readAll(budget);
    const QString file = kStatements + "checking_and_card.ofx";
    Run r = run({budget, "--account", "Checking", file, "--apply"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("holds 2 statements; choose one with --statement N:\n"
                            "  1: checking 4417-CHK, 2 transaction(s)\n"
                            "  2: credit card 5500-0000-0000-9921, 3 transaction(s)\n"),
             r.err.constData());
    QVERIFY(r.out.isEmpty());
    QCOMPARE(readAll(budget), before);

    r = run({budget, "--account", "Checking", file, "--statement", "1"});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QStringList payees;
    for (const QJsonValue row : QJsonDocument::fromJson(r.out)["rows"].toArray())
        payees << row["payee"].toString() + " " + QString::number(row["amount"].toInteger());
    QCOMPARE(payees, (QStringList{"CITY WATER DEPT -6420", "NORTHWIND PAYROLL 185000"}));
    // Each statement's own closing balance, with its day as written.
    for (const auto& [n, closing] :
         {std::pair{"1", "312044 2025-03-09"}, {"2", "-41019 2025-03-09"}}) {
        r = run(
            {budget, "--account", n == QString("1") ? "Checking" : "Visa", file, "--statement", n});
        const QJsonValue c = QJsonDocument::fromJson(r.out)["closing"];
        QCOMPARE(QString::number(c["amount"].toInteger()) + " " + c["date"].toString(),
                 QString(closing));
    }

    for (const char* wrong : {"3", "0"}) {
        r = run({budget, "--account", "Checking", file, "--statement", wrong});
        QCOMPARE(r.exitCode, *wrong == '3' ? 1 : 2);
    }
    QCOMPARE(readAll(budget), before);
}

// What the column step lets the user say, on the command line: the columns (numbered from
// 1), the delimiter, the decimal separator, the lines to pass over, charges; the JSON says
// what was used, in the same words.
void ImportCommandTest::csvOptions_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says"); // on standard error, or the mapping's columns
    QTest::addColumn<QString>("amounts");
    const QString noAmount = "Date;Text;Sum A;Sum B\n"
                             "02.01.2025;Baker;-5,00;-7,00\n"
                             "03.01.2025;Butcher;-6,00;-9,00\n"
                             "04.01.2025;Salary;100,00;120,00\n";
    QTest::newRow("two money columns, none named: no guess")
        << QStringList{noAmount} << 1 << "could not find the amount column"
        << "";
    QTest::newRow("named by the user")
        << QStringList{noAmount, "--columns", "date=1,payee=2,amount=4"} << 0
        << "date=1,payee=2,amount=4"
        << "-700,-900,12000";
    QTest::newRow("charges and a delimiter")
        << QStringList{noAmount,      "--columns", "date=1,payee=2,amount=3",
                       "--delimiter", "semicolon", "--charges"}
        << 0 << "date=1,payee=2,amount=3"
        << "500,600,-10000";
    QTest::newRow("point read as the decimal")
        << QStringList{noAmount, "--columns", "date=1,amount=3", "--decimal", "point"} << 0
        << "date=1,amount=3"
        << "";
    QTest::newRow("lines passed over")
        << QStringList{noAmount, "--columns", "date=1,payee=2,amount=3", "--skip", "2"} << 0
        << "date=1,payee=2,amount=3"
        << "-600,10000";
    QTest::newRow("a column that is no role")
        << QStringList{noAmount, "--columns", "sum=3"} << 2 << "--columns"
        << "";
}

void ImportCommandTest::csvOptions() {
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(QString, says);
    QFETCH(QString, amounts);
    QTemporaryDir dir;
    const QString budget = dir.filePath("budget.xlsx");
    writeBudget(budget);
    QFile csv(dir.filePath("s.csv"));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write(options.takeFirst().toUtf8());
    csv.close();
    const Run r = run(QStringList{budget, "--account", "Checking", csv.fileName()} + options);
    QCOMPARE(r.exitCode, code);
    if (code != 0) {
        QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
        return;
    }
    const QJsonObject json = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(json["mapping"].toObject()["columns"].toString(), says);
    QStringList got;
    for (const QJsonValue& row : json["rows"].toArray())
        got << QString::number(row.toObject()["amount"].toInteger());
    // "1,234" read with a decimal point is no amount: every row is left out.
    if (amounts.isEmpty())
        QVERIFY(got.isEmpty() && json["skipped"].toArray().size() == 3);
    else
        QCOMPARE(got.join(u','), amounts);
}

// A month of a checking account, a savings account and a card (tests/data/statements/month),
// the transfer and the card payment on both sides, imported in either order through rules
// that name the other account: every account ends at its statement's closing balance, each
// movement is in the budget once, and only the two deposits change the money available.
void ImportCommandTest::monthOfThreeStatements_data() {
    QTest::addColumn<QStringList>("order");
    QTest::newRow("checking, savings, card") << QStringList{"Checking", "Savings", "Visa"};
    QTest::newRow("card, savings, checking") << QStringList{"Visa", "Savings", "Checking"};
    QTest::newRow("savings, card, checking") << QStringList{"Savings", "Visa", "Checking"};
}

void ImportCommandTest::monthOfThreeStatements() {
    QFETCH(QStringList, order);
    QTemporaryDir dir;
    const QString path = dir.filePath("budget.xlsx");
    {
        Budget budget;
        Account* checking = addAccount(budget, "Checking", 100000);
        Account* savings = addAccount(budget, "Savings", 20000);
        // Read before as CSV, when no balance column was kept: the file's is found all the same.
        savings->setStatementColumns("delimiter=comma header=yes dates=mdy decimal=point date=0 "
                                     "payee=1 memo=-1 amount=2 debit=-1 credit=-1");
        Account* visa = addAccount(budget, "Visa", 0, true);
        visa->setContributesToBudget(false);
        ensureCardChargesEnvelope(budget, visa);
        visa->adjustBalance(-15000); // owed from October, its money set aside for it
        budget.findItem(kChargesEnvelopeId)->adjustBalance(15000);
        AccountGroup* folder = budget.createFolder();
        folder->setName("Everyday");
        std::map<QString, ItemId> envelope;
        for (const auto& [name, funded] :
             {std::pair{"Groceries", 30000}, {"Coffee", 5000}, {"Bank fees", 2000}}) {
            AccountEnvelope* e = budget.createEnvelope();
            e->setName(name);
            e->adjustBalance(funded);
            folder->addChild(e);
            envelope[name] = e->id();
        }
        for (Account* a : {checking, savings, visa})
            a->setLastImport(at(2026, 10, 31, 9, 0));
        budget.showTopLevel(std::vector<AccountBase*>{checking, savings, visa, folder});
        MappingRuleSet& rules = budget.rules();
        rules.addMappingRule("*PAYROLL*", kNoId, false, "Acme Corp", true);
        rules.addMappingRule("INTEREST*", kNoId, false, "Interest", true);
        rules.addMappingRule("GROCER*", envelope["Groceries"], false, "Grocer");
        rules.addMappingRule("COFFEE*", envelope["Coffee"], false, "Coffee House");
        rules.addMappingRule("SERVICE FEE*", envelope["Bank fees"], false, "Bank");
        rules.addMappingRule("TRANSFER TO SAVINGS*", savings->id(), false, "Savings");
        rules.addMappingRule("TRANSFER FROM CHECKING*", checking->id(), false, "Checking");
        rules.addMappingRule("ONLINE PAYMENT VISA*", visa->id(), false, "Visa");
        rules.addMappingRule("PAYMENT THANK YOU*", checking->id(), false, "Checking");
        QCOMPARE(budget.availableForBudgeting(), 68000); // 1,200.00 in, 520.00 in envelopes
        QCOMPARE(writeWorkbookReplacing(path, budget, budget.topLevelItemsForSave()), 0);
    }

    const QMap<QString, QString> statement{{"Checking", "month/checking.ofx"},
                                           {"Savings", "month/savings.csv"},
                                           {"Visa", "month/card.ofx"}};
    // The closing balances the banks print, and what the review would end at.
    const QMap<QString, qint64> closing{{"Checking", 241580}, {"Savings", 69925}, {"Visa", -4575}};
    QStringList sides; // the rows found to be the other side of a movement already in
    for (const QString& account : order) {
        const Run r =
            run({path, "--account", account, kStatements + statement[account], "--apply"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QJsonObject json = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(json["closing"]["amount"].toInteger(), closing[account]);
        QCOMPARE(json["closing"]["balanceAfter"].toInteger(), closing[account]);
        for (const QJsonValue row : json["rows"].toArray())
            if (!row["duplicateOf"].isNull())
                sides << account + ": " + row["reason"].toString();
    }

    Budget loaded;
    BudgetFile file(BudgetPath{path});
    QCOMPARE(file.load(loaded), int(LoadOk));
    QCOMPARE(loaded.findAccount(0)->getBalance(), 241580);
    QCOMPARE(loaded.findAccount(1)->getBalance(), 69925);
    QCOMPARE(loaded.findAccount(2)->getBalance(), -4575);
    // Payroll 2,150.00 and interest 1.25; the rest only moved money between envelopes,
    // accounts and the card.
    QCOMPARE(loaded.availableForBudgeting(), 68000 + 215000 + 125);
    QCOMPARE(loaded.findItem(kChargesEnvelopeId)->getBalance(), 4575);
    // Four checking rows, two of savings and two of the card besides the shared two.
    QCOMPARE(int(loaded.transactions().size()), 8);
    QStringList movements;
    for (const Transaction* t : loaded.transactions())
        if (t->type == TransactionType::Transfer || t->type == TransactionType::CCPayment)
            movements << transactionTypeName(t->type) +
                             QString::asprintf(" %d %u->%u ", t->amount, t->accountFrom,
                                               t->accountTo) +
                             t->payee;
    QCOMPARE(movements,
             QStringList({"Transfer 50000 0->1 Transfer", "CC Payment -15000 0->2 Visa"}));
    QVERIFY2(sides.size() == 2 && sides.filter(", the transfer ").size() == 1 &&
                 sides.filter(", the card payment ").size() == 1,
             qPrintable(sides.join('\n')));
}

// Three 5.75 coffees, two on one day, one of them entered by hand: that one is matched, the
// other two are new. A cheque of 905.00 beside the hand-entered rent of the same day waits
// unticked as a possible repeat. A salary is not guessed from an earlier expense whose payee
// begins alike. --apply records what it can, names the salary (no envelope) and exits 1.
void ImportCommandTest::repeatsAreOneToOne() {
    QTemporaryDir dir;
    const QString path = dir.filePath("budget.xlsx");
    {
        Budget budget;
        Account* checking = addAccount(budget, "Checking", 300000);
        checking->setLastImport(at(2026, 10, 31, 9, 0));
        AccountGroup* folder = budget.createFolder();
        folder->setName("Everyday");
        for (const char* name : {"Coffee", "Rent", "Vacation"}) { // ids 2, 3, 4
            AccountEnvelope* e = budget.createEnvelope();
            e->setName(name);
            folder->addChild(e);
        }
        budget.showTopLevel(std::vector<AccountBase*>{checking, folder});
        budget.recordTransaction(makeTransaction(TransactionType::Expense, -120000, 0, kNoId, 4,
                                                 "ACME TRAVEL AGENCY", "", at(2026, 9, 10, 0, 0)));
        budget.recordTransaction(makeTransaction(TransactionType::Expense, -90500, 0, kNoId, 3,
                                                 "Landlord", "", at(2026, 11, 1, 0, 0)));
        budget.recordTransaction(makeTransaction(TransactionType::Expense, -575, 0, kNoId, 2,
                                                 "Coffee Corner", "", at(2026, 11, 4, 0, 0)));
        QCOMPARE(writeWorkbookReplacing(path, budget, budget.topLevelItemsForSave()), 0);
    }
    QFile qif(dir.filePath("november.qif"));
    QVERIFY(qif.open(QIODevice::WriteOnly));
    qif.write("!Type:Bank\n"
              "D11/03/2026\nT-5.75\nPCOFFEE CORNER 12\n^\n"
              "D11/04/2026\nT-5.75\nPCOFFEE CORNER 12\n^\n"
              "D11/04/2026\nT-5.75\nPCOFFEE CORNER 12\n^\n"
              "D11/01/2026\nT-905.00\nPCHECK 1042\nMLANDLORD RENT DEC\n^\n"
              "D11/02/2026\nT2,150.00\nPACME CORP PAYROLL\n^\n");
    qif.close();
    const QStringList args{path, "--account", "Checking", qif.fileName()};
    Run r = run(args);
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QJsonDocument want = QJsonDocument::fromJson(R"({"format": "qif", "skipped": [], "rows": [
  {"date": "2026-11-03", "amount": -575, "payee": "COFFEE CORNER 12", "memo": "", "mappedPayee":
   "Coffee Corner", "envelope": 2, "kind": "expense", "duplicateOf": null, "checked": true,
   "cleared": true},
  {"date": "2026-11-04", "amount": -575, "payee": "COFFEE CORNER 12", "memo": "", "mappedPayee":
   "Coffee Corner", "envelope": 2, "kind": "expense", "duplicateOf": 2, "checked": false,
   "cleared": false,
   "reason": "matches 11/4/26 Coffee Corner -$5.75"},
  {"date": "2026-11-04", "amount": -575, "payee": "COFFEE CORNER 12", "memo": "", "mappedPayee":
   "Coffee Corner", "envelope": 2, "kind": "expense", "duplicateOf": null, "checked": true,
   "cleared": true},
  {"date": "2026-11-01", "amount": -90500, "payee": "CHECK 1042", "memo": "LANDLORD RENT DEC",
   "mappedPayee": "", "envelope": null, "kind": "expense", "duplicateOf": null,
   "possibleRepeatOf": 1, "checked": false, "cleared": false,
   "reason": "same amount as 11/1/26 Landlord, possibly the same"},
  {"date": "2026-11-02", "amount": 215000, "payee": "ACME CORP PAYROLL", "memo": "",
   "mappedPayee": "", "envelope": null, "kind": "expense", "duplicateOf": null, "checked": true,
   "cleared": false}
]})");
    QVERIFY(!want.isNull());
    QVERIFY2(QJsonDocument::fromJson(r.out) == want, r.out.constData());

    r = run(args + QStringList{"--apply"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("1 ticked row(s) not imported"), r.err.constData());
    QCOMPARE(QJsonDocument::fromJson(r.out)["notImported"].toArray(),
             QJsonDocument::fromJson(R"([{"row": 5, "date": "2026-11-02", "amount": 215000,
                 "payee": "ACME CORP PAYROLL", "reason": "no envelope or kind chosen"}])")
                 .array());
    Budget loaded;
    BudgetFile file(BudgetPath{path});
    QCOMPARE(file.load(loaded), int(LoadOk));
    QCOMPARE(int(loaded.transactions().size()), 5); // the two new coffees
    // 3,000.00 less the three entered by hand (889.25), less the two new coffees.
    QCOMPARE(loaded.findAccount(0)->getBalance(), 88925 - 575 - 575);
}

QTEST_GUILESS_MAIN(ImportCommandTest)
#include "test_importcommand.moc"
