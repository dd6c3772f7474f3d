// Saving onto a file system that runs out of room part-way through a save: on a small tmpfs of
// its own when the test may mount one (root), else under a file size limit. Whatever the point
// where writing stops, the save fails and says so, and the budget and every backup still load
// with their old content.

#include "fakeprompter.h"
#include "storage/backups.h"
#include "storage/budgetfile.h"
#include "storage/savecheck.h"
#include "storage/workbook.h"
#include "storagetestkit.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace kit;

class FullDiskTest : public QObject {
    Q_OBJECT

    QTemporaryDir outer_;
    QString root_; // the small file system, or a plain folder under a size limit
    bool mounted_ = false;

    // Leaves about `bytes` writable: a filler takes the rest of the tmpfs, or a size limit
    // stops every file at that length.
    void leaveRoom(qint64 bytes) {
        const QString filler = root_ + "/filler";
        QFile::remove(filler);
        if (!mounted_) {
            struct rlimit limit {};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = rlim_t(bytes);
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
            return;
        }
        const qint64 take = freeBytesIn(root_) - bytes;
        if (take <= 0)
            return;
        const int fd = ::open(QFile::encodeName(filler).constData(), O_CREAT | O_WRONLY, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::posix_fallocate(fd, 0, take), 0);
        ::close(fd);
    }
    void unlimited() {
        QFile::remove(root_ + "/filler");
        struct rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_FSIZE, &limit);
    }

    static void addTransactions(Budget& b, int count, int from) {
        for (int i = from; i < from + count; ++i)
            createTransaction(b, TransactionType::Expense, -(i % 9973) - 1, kNoId, kNoId, kNoId,
                              QStringLiteral("payee %1").arg(i % 500),
                              QStringLiteral("note %1").arg(i),
                              date(2020 + i % 5, 1 + i % 12, 1 + i % 28));
    }

private slots:
    void initTestCase() {
        root_ = outer_.filePath("fs");
        QVERIFY(QDir().mkdir(root_));
        // A mount of our own, in a mount namespace of our own: nobody else sees it, and it
        // goes away with the process even if the test crashes.
        mounted_ = qEnvironmentVariableIsEmpty("TALLYKEEP_TEST_NO_MOUNT") && ::geteuid() == 0 &&
                   ::unshare(CLONE_NEWNS) == 0 &&
                   ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount("tmpfs", QFile::encodeName(root_).constData(), "tmpfs", 0,
                           "size=48m,mode=0700") == 0;
        if (mounted_) {
            // The writer's temporary files must land on the full file system too.
            QVERIFY(QDir().mkdir(root_ + "/tmp"));
            qputenv("TMPDIR", QFile::encodeName(root_ + "/tmp"));
        } else {
            std::signal(SIGXFSZ, SIG_IGN);
            qInfo("cannot mount a small file system here; a file size limit stands in");
        }
    }
    void cleanupTestCase() {
        unlimited();
        if (mounted_)
            ::umount2(QFile::encodeName(root_).constData(), MNT_DETACH);
    }

    void saveThatRunsOutOfRoomKeepsBudgetAndBackups() {
        const QString xlsx = root_ + "/budget.xlsx";
        const QString backups = root_ + "/TallykeepBackup";
        BudgetFile file(BudgetPath{xlsx});
        FakePrompter prompter;
        Budget b;
        Account* account = b.createAccount();
        b.showTopLevel(account);
        addTransactions(b, 10000, 0);
        for (const char* name : {"first", "second", "third"}) {
            account->setName(QString::fromLatin1(name));
            QCOMPARE(file.save(b, prompter), 0);
        }
        const QStringList kept = {xlsx, backups + "/budget.xlsx.bak.1",
                                  backups + "/budget.xlsx.bak.2"};
        QList<QByteArray> before;
        for (const QString& path : kept)
            before << readAll(path);
        const QStringList daily = QDir(backups + "/daily").entryList(QDir::Files);
        QCOMPARE(daily.size(), 1);
        const QByteArray dailyBefore = readAll(backups + "/daily/" + daily[0]);
        const qint64 size = before[0].size();

        account->setName("fourth");
        addTransactions(b, 1000, 10000);
        const SaveRoom need = roomForSave(xlsx, b);
        // A size limit counts per file; the largest is the transactions sheet's XML.
        const qint64 total = mounted_ ? need.file + need.temporary : need.temporary / 2;
        // From no room at all to nearly what the save needs, so writing stops at the start,
        // in the middle and at the end of the transactions sheet, while packing and while the
        // file itself is written. Past about half of it the library reports success for a
        // file that lost a piece of the sheet's middle.
        int failures = 0;
        bool saved = false;
        for (int step = 0; step <= 17 && !saved; ++step) {
            const qint64 room = total * step / 20;
            prompter.records.clear();
            leaveRoom(room);
            const int status = file.save(b, prompter);
            unlimited();
            if (status == 0) {
                QVERIFY2(step >= 12, qPrintable(QString::number(step)));
                saved = true;
                break;
            }
            ++failures;
            QCOMPARE(prompter.records.size(), 1);
            const QString text = prompter.records[0].text;
            QVERIFY2(text.startsWith(QStringLiteral("Failed to save budget [%1] [").arg(xlsx)),
                     qPrintable(text));
            QVERIFY2(text.contains("is the disk full?"), qPrintable(text));
            if (mounted_)
                QVERIFY2(text.contains("needs about") && text.contains(root_), qPrintable(text));
            for (int i = 0; i < kept.size(); ++i)
                QVERIFY2(
                    readAll(kept[i]) == before[i],
                    qPrintable(QStringLiteral("%1 changed at step %2").arg(kept[i]).arg(step)));
            QCOMPARE(readAll(backups + "/daily/" + daily[0]), dailyBefore);
            QVERIFY(!QFileInfo::exists(backups + "/budget.xlsx.bak.3"));
            QVERIFY(!QFileInfo::exists(root_ + "/.budget.xlsx.saving"));
        }
        QVERIFY2(failures >= 10, qPrintable(QString::number(failures)));
        if (!saved) {
            // What was kept loads with its old content.
            const char* names[] = {"third", "second", "first"};
            for (int i = 0; i < kept.size(); ++i) {
                Budget copy;
                QCOMPARE(loadBudgetCopy(kept[i], copy), 0);
                QCOMPARE(copy.transactions().size(), size_t(10000));
                QCOMPARE(copy.itemsOfType(ItemType::Account).front()->getName(),
                         QString::fromLatin1(names[i]));
            }
            // With room again the save goes through.
            QCOMPARE(file.save(b, prompter), 0);
        }
        // The generations moved by one, once.
        Budget reloaded;
        QCOMPARE(loadBudgetCopy(xlsx, reloaded), 0);
        QCOMPARE(reloaded.transactions().size(), size_t(11000));
        QCOMPARE(readAll(backups + "/budget.xlsx.bak.1"), before[0]);
        QCOMPARE(readAll(backups + "/budget.xlsx.bak.3"), before[2]);

        if (!mounted_)
            return;
        // With the system's temporary folder on another, roomy file system the writer's
        // temporary files go there: the budget's folder needs room for the file and its
        // backup copy only, far less than the save took above.
        qputenv("TMPDIR", QFile::encodeName(outer_.path()));
        account->setName("fifth");
        prompter.records.clear();
        leaveRoom(3 * readAll(xlsx).size());
        const int status = file.save(b, prompter);
        unlimited();
        qputenv("TMPDIR", QFile::encodeName(root_ + "/tmp"));
        QVERIFY2(status == 0, qPrintable(prompter.texts().join(u'\n')));
        Budget fifth;
        QCOMPARE(loadBudgetCopy(xlsx, fifth), 0);
        QCOMPARE(fifth.itemsOfType(ItemType::Account).front()->getName(), QStringLiteral("fifth"));
    }

    void readBackFindsRowsMissingFromTheMiddle() {
        // The library packs whatever its temporary file holds, so a sheet that lost a piece
        // of its middle arrives with correct sizes and CRCs; only its rows show the loss.
        const QString path = outer_.filePath("whole.xlsx");
        Budget b;
        b.showTopLevel(b.createAccount());
        addTransactions(b, 3000, 0);
        QCOMPARE(writeWorkbookReplacing(path, b, b.topLevelItemsForSave()), 0);
        QVERIFY(writtenWorkbookIsWhole(path, expectedTransactionsDigest(b)));

        zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
        QVERIFY(zip);
        QList<QPair<QString, QByteArray>> parts;
        for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
            zip_stat_t st;
            zip_stat_index(zip, zip_uint64_t(i), 0, &st);
            QByteArray data(qsizetype(st.size), Qt::Uninitialized);
            zip_file_t* f = zip_fopen_index(zip, zip_uint64_t(i), 0);
            zip_fread(f, data.data(), st.size);
            zip_fclose(f);
            parts.append({QString::fromUtf8(st.name), data});
        }
        zip_discard(zip);
        auto sheetWith = [&](auto change) {
            auto copy = parts;
            for (auto& [name, data] : copy)
                if (name == "xl/worksheets/sheet5.xml")
                    change(data);
            const QString broken = outer_.filePath("broken.xlsx");
            QFile::remove(broken);
            writeZip(broken, copy);
            return writtenWorkbookIsWhole(broken, expectedTransactionsDigest(b));
        };
        QVERIFY(sheetWith([](QByteArray&) {}));
        // A 4 KiB piece gone from the middle, as a failed buffered write drops it.
        QVERIFY(!sheetWith([](QByteArray& d) { d.remove(d.size() / 2, 4096); }));
        // Whole rows gone, the XML still well-formed.
        QVERIFY(!sheetWith([](QByteArray& d) {
            const qsizetype from = d.indexOf("<row r=\"1500\"");
            const qsizetype to = d.indexOf("<row r=\"1503\"");
            d.remove(from, to - from);
        }));
        // One amount changed by a cent, one date by a day.
        QVERIFY(!sheetWith([](QByteArray& d) {
            const qsizetype row = d.indexOf("<row r=\"2001\"");
            const qsizetype c = d.indexOf("<c r=\"C2001\"", row);
            const qsizetype v = d.indexOf("<v>", c) + 3;
            d.replace(v, d.indexOf("</v>", v) - v, "-999.99");
        }));
        QVERIFY(!sheetWith([](QByteArray& d) {
            const qsizetype c = d.indexOf("<c r=\"A77\"");
            const qsizetype v = d.indexOf("<v>", c) + 3;
            d[v + 1] = d[v + 1] == '9' ? '8' : char(d[v + 1] + 1);
        }));
        // The end of the sheet cut off.
        QVERIFY(!sheetWith([](QByteArray& d) { d.truncate(d.lastIndexOf("<row")); }));
    }
};

QTEST_GUILESS_MAIN(FullDiskTest)
#include "test_fulldisk.moc"
