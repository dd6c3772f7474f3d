// The budget file beside the program: its paths, which file is loaded, the save sequence with
// backups and a safe replace, and the watcher that notices other programs' changes.

#include "fakeprompter.h"
#include "model/clock.h"
#include "storage/backups.h"
#include "storage/budgetfile.h"
#include "storage/filewatcher.h"
#include "storage/workbook.h"
#include "storagetestkit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kit;

class BudgetFileTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString exe_;
    QString xlsx_;
    QString xml_;
    QString backups_;

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        exe_ = dir_->filePath("tallykeep");
        xlsx_ = dir_->filePath("tallykeep.xlsx");
        xml_ = dir_->filePath("tallykeep.xml");
        backups_ = dir_->filePath("TallykeepBackup");
    }

    void paths_data() {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("xlsx");
        QTest::addColumn<QString>("xml");
        QTest::newRow("no extension") << "/opt/budget/tallykeep"
                                      << "/opt/budget/tallykeep.xlsx"
                                      << "/opt/budget/tallykeep.xml";
        QTest::newRow("extension") << "/apps/budget.exe"
                                   << "/apps/budget.xlsx"
                                   << "/apps/budget.xml";
        QTest::newRow("dot in folder") << "/opt/my.apps/tallykeep"
                                       << "/opt/my.apps/tallykeep.xlsx"
                                       << "/opt/my.apps/tallykeep.xml";
        QTest::newRow("last extension only") << "/a/b.c/x.tar.gz"
                                             << "/a/b.c/x.tar.xlsx"
                                             << "/a/b.c/x.tar.xml";
        QTest::newRow("dot file") << "/home/u/.tallykeep"
                                  << "/home/u/.tallykeep.xlsx"
                                  << "/home/u/.tallykeep.xml";
        QTest::newRow("bare name") << "tallykeep"
                                   << "tallykeep.xlsx"
                                   << "tallykeep.xml";
    }

    void paths() {
        QFETCH(QString, exe);
        QFETCH(QString, xlsx);
        QFETCH(QString, xml);
        QCOMPARE(budgetFilePath(exe), xlsx);
        QCOMPARE(legacyBudgetPath(exe), xml);
        QCOMPARE(backupFolderPath(budgetFilePath("/opt/my.apps/tallykeep")),
                 QStringLiteral("/opt/my.apps/TallykeepBackup"));
    }

    void whichFileIsLoaded_data() {
        QTest::addColumn<bool>("workbook");
        QTest::addColumn<QByteArray>("legacy");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("firstAccount");
        const QByteArray legacy =
            "<b><accounts><accountItem type=\"0\" id=\"1\" name=\"From XML\"/></accounts></b>";
        QTest::newRow("neither") << false << QByteArray() << 0 << "";
        QTest::newRow("legacy only") << false << legacy << 0 << "From XML";
        QTest::newRow("workbook wins") << true << legacy << 0 << "From workbook";
        QTest::newRow("broken legacy") << false << QByteArray("not xml") << 1 << "";
    }

    void whichFileIsLoaded() {
        QFETCH(bool, workbook);
        QFETCH(QByteArray, legacy);
        QFETCH(int, status);
        QFETCH(QString, firstAccount);
        if (workbook) {
            Budget b;
            Account* a = b.createAccount();
            a->setName("From workbook");
            b.showTopLevel(a);
            QCOMPARE(writeWorkbookReplacing(xlsx_, b, b.topLevelItemsForSave()), 0);
        }
        if (!legacy.isEmpty())
            writeAll(xml_, legacy);
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), status);
        if (firstAccount.isEmpty()) {
            QVERIFY(b.accountOrder().empty());
        } else {
            QCOMPARE(b.accountOrder().front()->getName(), firstAccount);
            QCOMPARE(file.loadedItems().size(), size_t(1));
        }
        QCOMPARE(file.loadedVersion(), workbook ? QStringLiteral("1.0.23.88") : QString());
    }

    void loadFillsTheDisplayOrder() {
        auto original = richBudget();
        QCOMPARE(writeWorkbookReplacing(xlsx_, *original, original->topLevelItemsForSave()), 0);
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), 0);
        QCOMPARE(snapshot(b), snapshot(*original));
        QCOMPARE(b.accountOrder().size(), size_t(3)); // the hidden account stays out of view
        QCOMPARE(b.folderOrder().size(), size_t(3));
    }

    void twelveSavesKeepTenGenerations() {
        FakePrompter prompter;
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), 0);
        Account* a = b.createAccount();
        b.showTopLevel(a);
        QList<QByteArray> versions; // versions[i]: the file after save i+1
        for (int i = 1; i <= 12; ++i) {
            a->setName(QStringLiteral("version %1").arg(i));
            QCOMPARE(file.save(b, prompter), 0);
            versions << readAll(xlsx_);
        }
        QVERIFY(prompter.records.isEmpty());
        QStringList names = QDir(backups_).entryList(QDir::Files, QDir::Name);
        QStringList expected;
        for (int n = 1; n <= 10; ++n)
            expected << QStringLiteral("tallykeep.xlsx.bak.%1").arg(n);
        expected.sort();
        QCOMPARE(names, expected);
        for (int n = 1; n <= 10; ++n)
            QCOMPARE(readAll(backups_ + QStringLiteral("/tallykeep.xlsx.bak.%1").arg(n)),
                     versions[11 - n]);
        // Nothing but the budget file is left beside it.
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"tallykeep.xlsx"}));
    }

    void failedWriteLeavesTheFileAlone() {
        FakePrompter prompter;
        BudgetFile file(exe_);
        Budget b;
        Account* a = b.createAccount();
        a->setName("first");
        b.showTopLevel(a);
        QCOMPARE(file.save(b, prompter), 0);
        const QByteArray before = readAll(xlsx_);
        // The temporary file cannot be created: a folder has taken its name.
        QVERIFY(QDir().mkdir(dir_->filePath(".tallykeep.xlsx.saving")));
        a->setName("second");
        QCOMPARE(file.save(b, prompter), 2);
        QCOMPARE(readAll(xlsx_), before);
        QCOMPARE(prompter.records.size(), 1);
        QCOMPARE(prompter.records[0].kind, PromptRecord::Message);
        QCOMPARE(prompter.records[0].title, QStringLiteral("Error saving"));
        QCOMPARE(
            prompter.records[0].text,
            QStringLiteral("Failed to save budget [%1] [Error creating output xlsx file. Usually a "
                           "permissions error.]!")
                .arg(xlsx_));
        QCOMPARE(prompter.records[0].icon, PromptIcon::Exclamation);
        // The generations move only for a file that was written whole; the budget in memory
        // is untouched.
        QVERIFY(!QFileInfo::exists(backups_ + "/tallykeep.xlsx.bak.1"));
        QCOMPARE(a->getName(), QStringLiteral("second"));
    }

    void privateFilesStayPrivate() {
        // A umask that would let everyone read what the program creates.
        const mode_t oldMask = ::umask(022);
        const auto restore = qScopeGuard([oldMask] { ::umask(oldMask); });
        auto mode = [](const QString& path) {
            struct stat st {};
            return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 1;
        };
        Budget b;
        b.showTopLevel(b.createAccount());
        // The temporary file is seen just before it takes the budget's name.
        unsigned tempMode = 1;
        auto seeTemp = [&] { return (tempMode = mode(dir_->filePath(".tallykeep.xlsx.saving"))); };
        QCOMPARE(writeWorkbookReplacing(xlsx_, b, b.topLevelItemsForSave(), seeTemp), 0);
        QCOMPARE(tempMode, 0600u);
        FakePrompter prompter;
        BudgetFile file(exe_);
        QCOMPARE(file.save(b, prompter), 0);
        const QString daily =
            backups_ + "/daily/" + QDir(backups_ + "/daily").entryList(QDir::Files).value(0);
        for (const QString& path : {xlsx_, backups_ + "/tallykeep.xlsx.bak.1", daily})
            QCOMPARE(mode(path), 0600u);
        QCOMPARE(mode(backups_), 0700u);
        QCOMPARE(mode(backups_ + "/daily"), 0700u);
        // A budget the user shares with the group keeps its mode, from the temporary file on.
        QCOMPARE(::chmod(QFile::encodeName(xlsx_).constData(), 0640), 0);
        QCOMPARE(writeWorkbookReplacing(xlsx_, b, b.topLevelItemsForSave(), seeTemp), 0);
        QCOMPARE(tempMode, 0640u);
        QCOMPARE(mode(xlsx_), 0640u);
    }

    void replacingKeepsPermissionsAndLinks() {
        Budget b;
        b.showTopLevel(b.createAccount());
        const QString real = dir_->filePath("real.xlsx");
        writeAll(real, "old");
        QVERIFY(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(QFile::link(real, xlsx_));
        FakePrompter prompter;
        BudgetFile file(exe_);
        QCOMPARE(file.save(b, prompter), 0);
        QVERIFY(QFileInfo(xlsx_).isSymLink());
        QVERIFY(readAll(real).startsWith("PK"));
        const QFile::Permissions perms = QFile::permissions(real);
        QVERIFY(perms.testFlags(QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(!(perms &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther)));
        QCOMPARE(readAll(backups_ + "/tallykeep.xlsx.bak.1"), QByteArray("old"));
    }

    void unreadableRowsAreReportedAndTheFileKept() {
        // A thousand transactions written by another program, a few of them edited there the
        // way people do: dates typed as text, a serial past the year 9999, amounts as text.
        if (!QFile::exists("/usr/bin/python3"))
            QSKIP("python3 is not installed");
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        const char* script = R"PY(
import sys, openpyxl
wb = openpyxl.Workbook()
wb.active.title = "Budget"
wb.create_sheet("Accounts").append(["Account name", "Type", "Balance"])
wb["Accounts"].append(["Checking", "account", 100])
wb.create_sheet("Folders").append(["Folder name"])
wb["Folders"].append(["Bills"])
wb.create_sheet("Categories").append(["Expense name", "Folder Id"])
wb["Categories"].append(["Rent", "=Folders!A2"])
t = wb.create_sheet("Transactions")
t.append(["Date", "Payee", "Amount", "Expense", "Account From", "Account To", "Description", "Type"])
for row in range(2, 1002):
    t.append([44000 + row, "p%d" % row, -row / 100, "=Categories!A2", "=Accounts!A2", None, None, "Expense"])
t["A200"] = "3/15/2023"
t["A400"] = "2023-03-16 08:30"
t["A500"] = 10**9
t["C600"] = "12.50"
t["C700"] = "twelve"
t["A800"] = "soon"
wb.save(sys.argv[1])
)PY";
        QProcess p;
        p.start("/usr/bin/python3", {"-c", QString::fromUtf8(script), xlsx_});
        QVERIFY(p.waitForFinished(60000));
        const QByteArray errors = p.readAllStandardError();
        if (errors.contains("No module named"))
            QSKIP("openpyxl is not installed");
        QVERIFY2(p.exitCode() == 0, errors.constData());
        const QByteArray original = readAll(xlsx_);

        FixedClock clock(date(2024, 6, 10, 14, 15, 16));
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), int(LoadOk));
        QCOMPARE(b.transactions().size(), size_t(997));
        QStringList odd; // the rows the spreadsheet program changed, as loaded
        for (const auto& t : b.transactions())
            if (t->payee == u"p200" || t->payee == u"p400" || t->payee == u"p600" ||
                t->payee == u"p1001")
                odd << QStringLiteral("%1 %2 %3")
                           .arg(t->payee, ymd(t->transactionTime))
                           .arg(t->amount);
        odd.sort();
        QCOMPARE(odd, QStringList({"p1001 2023-03-16 -1001", "p200 2023-03-15 -200",
                                   "p400 2023-03-16 -400", "p600 2022-02-08 1250"}));

        const QString kept = backups_ + "/tallykeep.xlsx.unreadable-20240610-141516";
        QCOMPARE(readAll(kept), original);
        const QString notice = file.takeNotice();
        QVERIFY2(notice.contains(kept), qPrintable(notice));
        for (const char* line : {"Transactions row 500: Date (A500) holds 1000000000;",
                                 "Transactions row 700: Amount (C700) holds \"twelve\";",
                                 "Transactions row 800: Date (A800) holds \"soon\";"})
            QVERIFY2(notice.contains(QLatin1String(line)), qPrintable(notice));
        QCOMPARE(notice.count(u"Transactions row "), 3);

        // The first save replaces the file; the copy stays as it was, and nothing is
        // reported again.
        FakePrompter prompter;
        QCOMPARE(file.save(b, prompter), 0);
        QCOMPARE(readAll(kept), original);
        BudgetFile again(exe_);
        Budget reloaded;
        QCOMPARE(again.load(reloaded), int(LoadOk));
        QCOMPARE(reloaded.transactions().size(), size_t(997));
        QVERIFY(again.takeNotice().isEmpty());
    }

    void unreadableWorkbookIsKeptBeforeTheFirstSave() {
        FixedClock clock(date(2024, 6, 10, 14, 15, 16));
        writeAll(xlsx_, "PK\x03\x04 precious but broken");
        writeAll(xml_,
                 "<b><accounts><accountItem type=\"0\" id=\"1\" name=\"legacy\"/></accounts></b>");
        FakePrompter prompter;
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), int(LoadWorkbookUnopenable));
        QVERIFY(b.registry().empty()); // the legacy file is not read when a workbook exists
        const QString kept = backups_ + "/tallykeep.xlsx.unreadable-20240610-141516";
        QCOMPARE(readAll(kept), QByteArray("PK\x03\x04 precious but broken"));
        const QString notice = file.takeNotice();
        QVERIFY2(notice.contains(kept), qPrintable(notice));
        QVERIFY(file.takeNotice().isEmpty());
        QCOMPARE(readAll(xlsx_), QByteArray("PK\x03\x04 precious but broken")); // not yet replaced
        b.showTopLevel(b.createAccount());
        for (int i = 0; i < 12; ++i)
            QCOMPARE(file.save(b, prompter), 0);
        QVERIFY(file.takeNotice().isEmpty());
        const QStringList unreadable = QDir(backups_).entryList({"*.unreadable-*"}, QDir::Files);
        QCOMPARE(unreadable, QStringList({"tallykeep.xlsx.unreadable-20240610-141516"}));
        QCOMPARE(readAll(kept), QByteArray("PK\x03\x04 precious but broken"));
    }

    void copyMadeOnlyAtTheFirstSaveIsStillReported() {
        // At start the copy cannot be written (a file size limit stands in for a full disk);
        // the first save makes it and must say where it is.
        FixedClock clock(date(2024, 6, 10, 14, 15, 16));
        const QByteArray broken = "PK\x03\x04" + QByteArray(64 * 1024, 'z');
        writeAll(xlsx_, broken);
        BudgetFile file(exe_);
        Budget b;
        struct rlimit old {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 16 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const int status = file.load(b);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previousHandler);
        QCOMPARE(status, int(LoadWorkbookUnopenable));
        QVERIFY(file.takeNotice().isEmpty());

        FakePrompter prompter;
        b.showTopLevel(b.createAccount());
        QCOMPARE(file.save(b, prompter), 0);
        const QString kept = backups_ + "/tallykeep.xlsx.unreadable-20240610-141516";
        QCOMPARE(readAll(kept), broken);
        QCOMPARE(prompter.records.size(), 1);
        QCOMPARE(prompter.records[0].icon, PromptIcon::Information);
        QVERIFY2(prompter.records[0].text.contains(kept), qPrintable(prompter.records[0].text));
    }

    void workbookWithoutBudgetDataIsKeptToo() {
        // Opens fine but holds none of the budget's sheets (another program's file).
        FixedClock clock(date(2024, 6, 10, 9, 0, 0));
        QVERIFY(writeWorkbook(xlsx_, {SheetSpec{"Sheet1", {{S("my"), S("notes")}}}}));
        const QByteArray original = readAll(xlsx_);
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), int(LoadOk));
        QVERIFY(b.registry().empty());
        const QString kept = backups_ + "/tallykeep.xlsx.unreadable-20240610-090000";
        QCOMPARE(readAll(kept), original);
        const QString notice = file.takeNotice();
        QVERIFY2(notice.contains("holds no accounts") && notice.contains(kept), qPrintable(notice));

        // A budget of our own is never copied aside, however small.
        FakePrompter prompter;
        b.showTopLevel(b.createAccount());
        QCOMPARE(file.save(b, prompter), 0);
        BudgetFile again(exe_);
        Budget reloaded;
        QCOMPARE(again.load(reloaded), int(LoadOk));
        QVERIFY(again.takeNotice().isEmpty());
        QCOMPARE(QDir(backups_).entryList({"*.unreadable-*"}, QDir::Files).size(), 1);
    }

    void unreadableWorkbookThatCannotBeKeptIsNotReplaced() {
        // Something that cannot be copied stands where the budget file belongs.
        QVERIFY(QDir().mkpath(xlsx_ + "/inside"));
        FakePrompter prompter;
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), int(LoadWorkbookUnopenable));
        QVERIFY(file.takeNotice().isEmpty());
        QCOMPARE(file.save(b, prompter), int(Workbook::SaveUnreadableNotKept));
        QVERIFY(QFileInfo(xlsx_ + "/inside").isDir());
        QCOMPARE(prompter.records.size(), 1);
        QVERIFY(prompter.records[0].text.contains(saveErrorText(Workbook::SaveUnreadableNotKept)));
        QVERIFY(!QFile::exists(backups_ + "/tallykeep.xlsx.bak.1"));
    }

    void refusedSavesKeepTheOldFile_data() {
        QTest::addColumn<QString>("why");
        QTest::newRow("outside change") << "outside";
        QTest::newRow("too many rows") << "rows";
        QTest::newRow("read-only file") << "readonly";
        QTest::newRow("link to a read-only file") << "readonlylink";
    }

    void refusedSavesKeepTheOldFile() {
        QFETCH(QString, why);
        const QString target = why == "readonlylink" ? dir_->filePath("elsewhere.xlsx") : xlsx_;
        writeAll(target, "someone else's budget");
        if (why == "readonlylink")
            QVERIFY(QFile::link(target, xlsx_));
        FakePrompter prompter;
        BudgetFile file(exe_);
        Budget b;
        int expected = 0;
        if (why == "outside") {
            file.setOutsideChangeReported(true);
            QVERIFY(file.outsideChangeReported());
            expected = Workbook::SaveOutsideChange;
        } else if (why == "rows") {
            for (qint64 i = 0; i <= Workbook::kMaxDataRows; ++i)
                b.loadTransaction(Transaction());
            expected = Workbook::SaveTooManyRows;
        } else {
            // chmod 444: even where the process could write it (as root), it is not replaced.
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadUser |
                                                      QFile::ReadGroup | QFile::ReadOther));
            b.showTopLevel(b.createAccount());
            expected = 2; // the library's "usually a permissions error"
        }
        const QFile::Permissions permissions = QFile::permissions(target);
        QCOMPARE(file.save(b, prompter), expected);
        QCOMPARE(readAll(target), QByteArray("someone else's budget"));
        QCOMPARE(QFile::permissions(target), permissions);
        QCOMPARE(QFileInfo(xlsx_).isSymLink(), why == "readonlylink");
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden).size(),
                 why == "readonlylink" ? 2 : 1);
        QVERIFY(!QFile::exists(backups_ + "/tallykeep.xlsx.bak.1"));
        QCOMPARE(prompter.records.size(), 1);
        QCOMPARE(prompter.records[0].title, QStringLiteral("Error saving"));
        QVERIFY(prompter.records[0].text.startsWith(
            QStringLiteral("Failed to save budget [%1] [").arg(xlsx_)));
        QVERIFY(prompter.records[0].text.contains(saveErrorText(expected)));
    }

    void danglingLinkIsReportedAndNeverReplaced() {
        // The budget lives on a drive that is not mounted now.
        const QString target = dir_->filePath("drive/budget.xlsx");
        QVERIFY(QFile::link(target, xlsx_));
        writeAll(xml_,
                 "<b><accounts><accountItem type=\"0\" id=\"1\" name=\"old\"/></accounts></b>");
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), int(LoadOk));
        QVERIFY(b.registry().empty());
        const QString notice = file.takeNotice();
        QVERIFY2(notice.contains(xlsx_) && notice.contains(target) &&
                     notice.contains("does not exist"),
                 qPrintable(notice));

        FakePrompter prompter;
        Account* a = b.createAccount();
        a->setName("new");
        b.showTopLevel(a);
        QCOMPARE(file.save(b, prompter), int(Workbook::SaveDanglingLink));
        QCOMPARE(QFileInfo(xlsx_).symLinkTarget(), target);
        QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(prompter.records.size(), 1);
        QVERIFY(prompter.records[0].text.contains(saveErrorText(Workbook::SaveDanglingLink)));
        QVERIFY(!QFileInfo::exists(dir_->filePath("drive")));

        // The drive is back: the save goes through the link.
        QVERIFY(QDir(dir_->path()).mkdir("drive"));
        writeAll(target, "");
        QCOMPARE(file.save(b, prompter), 0);
        QVERIFY(QFileInfo(xlsx_).isSymLink());
        QVERIFY(readAll(target).startsWith("PK"));
    }

    void saveWhoseTemporaryWritesFailKeepsTheOldFile() {
        // The library's temporary files stop growing part-way (a full disk; here a file size
        // limit, so the write fails with EFBIG after some bytes). The library still reports
        // success; the file it assembles must not replace the budget.
        FakePrompter prompter;
        BudgetFile file(exe_);
        auto b = richBudget();
        QCOMPARE(file.save(*b, prompter), 0);
        const QByteArray before = readAll(xlsx_);
        for (int i = 0; i < 12000; ++i)
            createTransaction(*b, TransactionType::Expense, -100 - i, kNoId, kNoId, kNoId,
                              QStringLiteral("payee %1").arg(i), QStringLiteral("note %1").arg(i),
                              date(2024, 1 + i % 12, 1 + i % 28));
        struct rlimit old {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 1 << 20; // the transactions sheet alone is several times that
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const int status = file.save(*b, prompter);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(status != 0);
        QCOMPARE(readAll(xlsx_), before);
        QCOMPARE(prompter.records.size(), 1);
        QVERIFY(prompter.records[0].text.startsWith(
            QStringLiteral("Failed to save budget [%1] [").arg(xlsx_)));
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"tallykeep.xlsx"}));
        // Without the limit the same budget saves and reads back whole.
        QCOMPARE(file.save(*b, prompter), 0);
        Budget reloaded;
        QCOMPARE(loadWorkbook(xlsx_, reloaded).status, 0);
        QCOMPARE(reloaded.transactions().size(), b->transactions().size());
    }

    void staleTemporaryFileIsRemovedAtStart() {
        writeAll(dir_->filePath(".tallykeep.xlsx.saving"), "PK half a save");
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), int(LoadOk));
        QVERIFY(!QFileInfo::exists(dir_->filePath(".tallykeep.xlsx.saving")));
    }

    void backupsGoBesideTheFileWhenTheFolderCannotBeMade() {
        writeAll(xlsx_, "v1");
        writeAll(backups_, "a file in the way");
        rotateBackups(xlsx_);
        QCOMPARE(readAll(dir_->filePath("tallykeep.xlsx.bak.1")), QByteArray("v1"));
        QCOMPARE(backupTargetFolder(xlsx_), dir_->path());
    }

    void checksums() {
        writeAll(dir_->filePath("digits"), "123456789");
        bool ok = false;
        QCOMPARE(fileCrc32(dir_->filePath("digits"), &ok), quint32(0xCBF43926));
        QVERIFY(ok);
        writeAll(dir_->filePath("empty"), "");
        QCOMPARE(fileCrc32(dir_->filePath("empty"), &ok), quint32(0));
        QVERIFY(ok);
        fileCrc32(dir_->filePath("absent"), &ok);
        QVERIFY(!ok);
    }

    void watcherTellsContentChangesFromTouches() {
        writeAll(xlsx_, "budget content");
        std::atomic<int> calls{0};
        FileWatcher watcher(xlsx_, [&] { ++calls; });
        QVERIFY(watcher.start());
        QCOMPARE(watcher.baseline(), fileCrc32(xlsx_));
        // The same bytes written again, a new modification time, another file changing.
        writeAll(xlsx_, "budget content");
        QFile f(xlsx_);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(60),
                              QFileDevice::FileModificationTime));
        f.close();
        writeAll(dir_->filePath("other.txt"), "unrelated");
        QTest::qWait(400);
        QCOMPARE(calls.load(), 0);
        QVERIFY(watcher.isRunning());
        // One changed byte is an outside change.
        writeAll(xlsx_, "budget contenT");
        QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, 5000);
        QTRY_VERIFY(!watcher.isRunning());
    }

    void inPlaceRewriteIsJudgedByItsResult() {
        // Another program rewrites the file in place (cat same.xlsx > budget.xlsx): truncated
        // first, then written in two chunks with a pause between.
        const QByteArray content = QByteArray(200000, 'x') + "end";
        writeAll(xlsx_, content);
        std::atomic<int> calls{0};
        FileWatcher watcher(xlsx_, [&] { ++calls; });
        QVERIFY(watcher.start());
        auto rewrite = [&](const QByteArray& bytes) {
            QFile f(xlsx_);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes.left(bytes.size() / 2));
            f.flush();
            QTest::qWait(100);
            f.write(bytes.mid(bytes.size() / 2));
        };
        rewrite(content);
        QTest::qWait(FileWatcher::kQuietMs + 500);
        QCOMPARE(calls.load(), 0);
        QVERIFY(watcher.isRunning());
        QByteArray changed = content;
        changed[10] = 'y';
        rewrite(changed);
        QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, 5000);
    }

    void savingStartsAWatcherWhereNoneRan() {
        FakePrompter prompter;
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), int(LoadOk));
        b.showTopLevel(b.createAccount());
        QCOMPARE(file.save(b, prompter), 0);
        QByteArray content = readAll(xlsx_);
        content[content.size() / 2] = char(content[content.size() / 2] ^ 1);
        writeAll(xlsx_, content);
        QTRY_VERIFY_WITH_TIMEOUT(file.outsideChangeReported(), 5000);
    }

    void watcherSeesChangesToALinkedFilesTarget() {
        // The budget file beside the program is a link into another folder (a synced one,
        // say): a change made there is an outside change.
        QDir(dir_->path()).mkdir("synced");
        const QString target = dir_->filePath("synced/real.xlsx");
        writeAll(target, "budget content");
        QFile::remove(xlsx_);
        QVERIFY(QFile::link(target, xlsx_));
        std::atomic<int> calls{0};
        FileWatcher watcher(xlsx_, [&] { ++calls; });
        QVERIFY(watcher.start());
        QCOMPARE(watcher.baseline(), fileCrc32(target));
        writeAll(dir_->filePath("synced/other.txt"), "unrelated");
        QTest::qWait(300);
        QCOMPARE(calls.load(), 0);
        writeAll(target, "budget contenT");
        QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, 5000);
    }

    void ownSavesAreNeverSeen() {
        FakePrompter prompter;
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), 0);
        std::atomic<int> calls{0};
        file.startWatcher([&] { ++calls; });
        Account* a = b.createAccount();
        b.showTopLevel(a);
        for (int i = 0; i < 5; ++i) {
            a->setName(QStringLiteral("save %1").arg(i));
            QCOMPARE(file.save(b, prompter), 0);
        }
        QTest::qWait(400);
        QCOMPARE(calls.load(), 0);
        QVERIFY(!file.outsideChangeReported());

        // Someone else writes the file: reported once, and this instance stops saving over it.
        QByteArray content = readAll(xlsx_);
        content[content.size() / 2] = char(content[content.size() / 2] ^ 1);
        writeAll(xlsx_, content);
        QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, 5000);
        QVERIFY(file.outsideChangeReported());
        QCOMPARE(file.save(b, prompter), int(Workbook::SaveOutsideChange));
        QCOMPARE(readAll(xlsx_), content);
        QElapsedTimer timer;
        timer.start();
        file.stopWatcher();
        QVERIFY(timer.elapsed() < 1000);
    }

    void stoppingIsPromptAndBounded() {
        writeAll(xlsx_, "x");
        {
            FileWatcher idle(xlsx_, {});
            QVERIFY(idle.start());
            QElapsedTimer timer;
            timer.start();
            QVERIFY(idle.stop());
            QVERIFY(timer.elapsed() < 1000);
        }
        // A watcher still showing its message is let go after the timeout.
        QSemaphore release;
        std::atomic<bool> inCallback{false};
        FileWatcher busy(xlsx_, [&] {
            inCallback = true;
            release.acquire();
        });
        QVERIFY(busy.start());
        writeAll(xlsx_, "y");
        QTRY_VERIFY_WITH_TIMEOUT(inCallback.load(), 5000);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!busy.stop(300));
        QVERIFY(timer.elapsed() >= 290 && timer.elapsed() < 2000);
        release.release();
        QTest::qWait(50);
    }

    // Background saves: the snapshot is the budget as it was, whatever happens to it after.
    void snapshotIsADeepCopyOfWhatIsWritten() {
        auto b = richBudget();
        const QStringList before = snapshot(*b);
        const FixedClock clock(date(2024, 3, 15, 10, 30));
        SaveSnapshot snap = takeSaveSnapshot(*b);
        QCOMPARE(snapshot(*snap.budget), before);
        QCOMPARE(snap.items.size(), b->topLevelItemsForSave().size());
        QCOMPARE(snap.budget->rules().rules().size(), b->rules().rules().size());
        QCOMPARE(snap.budget->registry().size(), b->registry().size());
        const QString original = dir_->filePath("original.xlsx");
        QCOMPARE(writeWorkbookFile(original, *b, b->topLevelItemsForSave()), 0);
        // The original changes in every way the writer could see; the copy does not.
        for (const auto& [id, item] : b->registry()) {
            item->setName(item->getName() + "!");
            item->setHidden(!item->isHidden());
        }
        Transaction changed = *b->transactions().front();
        changed.payee = "changed";
        b->editTransaction(b->transactions().front(), changed);
        createTransaction(*b, TransactionType::Expense, -1, kNoId, kNoId, kNoId, "late", "",
                          date(2024, 3, 2));
        b->rules().addMappingRule("NEW*", kNoId, false, "new");
        QCOMPARE(snapshot(*snap.budget), before);
        const QString copied = dir_->filePath("copied.xlsx");
        QCOMPARE(writeWorkbookFile(copied, *snap.budget, snap.items, {}, snap.now), 0);
        QCOMPARE(cellDump(copied), cellDump(original));
    }

    void quickChangesLandInOrderAndTheLastStateStays() {
        FakePrompter prompter;
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), 0);
        std::atomic<int> calls{0};
        file.startWatcher([&] { ++calls; });
        Account* a = b.createAccount();
        b.showTopLevel(a);
        qsizetype seen = -1;
        for (int i = 0; i < 150; ++i) {
            a->setName(QStringLiteral("change %1").arg(i));
            createTransaction(b, TransactionType::Deposit, 100 + i, kNoId, a->id(), kNoId,
                              QStringLiteral("payee %1").arg(i), {}, date(2024, 1, 1 + i % 28));
            QCOMPARE(file.saveInBackground(b, prompter), 0);
            if (i % 10 == 0)
                QThread::msleep(15); // let some saves start while others queue
            // Whatever is on disk at any moment is a whole, earlier state, never a later
            // one followed by an older one.
            if (i % 25 == 0 && QFileInfo::exists(xlsx_)) {
                Budget onDisk;
                QCOMPARE(loadWorkbook(xlsx_, onDisk).status, 0);
                const qsizetype n = qsizetype(onDisk.transactions().size());
                QVERIFY(n >= seen && n <= i + 1);
                seen = n;
            }
        }
        QCOMPARE(file.waitForSaves(), 0);
        Budget reloaded;
        QCOMPARE(BudgetFile(exe_).load(reloaded), 0);
        b.sortTransactionsByTime(); // as loading does
        QCOMPARE(snapshot(reloaded), snapshot(b));
        QCOMPARE(reloaded.transactions().size(), size_t(150));
        QTest::qWait(400);
        QCOMPARE(calls.load(), 0);
        QVERIFY(prompter.records.isEmpty());
    }

    void failureOnTheWorkerIsReportedOnceFromTheEventLoop() {
        FakePrompter prompter;
        BudgetFile file(exe_);
        Budget b;
        Account* a = b.createAccount();
        a->setName("first");
        b.showTopLevel(a);
        QCOMPARE(file.save(b, prompter), 0);
        const QByteArray before = readAll(xlsx_);
        QVERIFY(QDir().mkdir(dir_->filePath(".tallykeep.xlsx.saving")));
        a->setName("second");
        QCOMPARE(file.saveInBackground(b, prompter), 0);
        QCOMPARE(file.waitForSaves(), 2);
        QVERIFY(prompter.records.isEmpty()); // not from the worker thread
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(prompter.records.size(), 1);
        QCOMPARE(prompter.records[0].text,
                 QStringLiteral("Failed to save budget [%1] [Error creating output xlsx file. "
                                "Usually a permissions error.]!")
                     .arg(xlsx_));
        QCOMPARE(readAll(xlsx_), before);
        // Mended, the next change saves again.
        QVERIFY(QDir().rmdir(dir_->filePath(".tallykeep.xlsx.saving")));
        a->setName("third");
        QCOMPARE(file.saveInBackground(b, prompter), 0);
        QCOMPARE(file.waitForSaves(), 0);
        Budget reloaded;
        QCOMPARE(BudgetFile(exe_).load(reloaded), 0);
        QCOMPARE(snapshot(reloaded), snapshot(b));
    }

    void closingWhileASaveRunsLeavesTheWholeNewFile() {
        FakePrompter prompter;
        auto b = richBudget();
        for (int i = 0; i < 20000; ++i)
            createTransaction(*b, TransactionType::Expense, -100 - i, kNoId, kNoId, kNoId,
                              QStringLiteral("payee %1").arg(i), {}, date(2024, 1 + i % 12, 1));
        {
            BudgetFile file(exe_);
            QCOMPARE(file.saveInBackground(*b, prompter), 0);
        } // the file goes away at once, as at exit
        Budget reloaded;
        QCOMPARE(BudgetFile(exe_).load(reloaded), 0);
        b->sortTransactionsByTime(); // as loading does
        QCOMPARE(snapshot(reloaded), snapshot(*b));
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"tallykeep.xlsx"}));
    }

    void outsideChangeBeforeTheWatcherSpeaksIsNeverOverwritten() {
        FakePrompter prompter;
        BudgetFile file(exe_);
        Budget b;
        QCOMPARE(file.load(b), 0);
        std::atomic<int> calls{0};
        file.startWatcher([&] { ++calls; });
        Account* a = b.createAccount();
        b.showTopLevel(a);
        QCOMPARE(file.saveInBackground(b, prompter), 0);
        QCOMPARE(file.waitForSaves(), 0);
        // Another program writes; this instance saves before the watcher's quiet time is up.
        QByteArray theirs = readAll(xlsx_);
        theirs[theirs.size() / 2] = char(theirs[theirs.size() / 2] ^ 1);
        writeAll(xlsx_, theirs);
        for (int i = 0; i < 3; ++i) {
            a->setName(QStringLiteral("ours %1").arg(i));
            file.saveInBackground(b, prompter);
        }
        file.waitForSaves();
        QCOMPARE(readAll(xlsx_), theirs);
        QVERIFY(file.outsideChangeReported());
        QTest::qWait(FileWatcher::kQuietMs + 300);
        QCOMPARE(calls.load(), 1);
        QCOMPARE(file.save(b, prompter), int(Workbook::SaveOutsideChange));
        QCOMPARE(readAll(xlsx_), theirs);
    }
};

QTEST_GUILESS_MAIN(BudgetFileTest)
#include "test_budgetfile.moc"
