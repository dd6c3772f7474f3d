// Saving onto a file system that runs out of room part-way: a small tmpfs of the test's own
// where it may mount one (root), else a file size limit. Wherever writing stops, the save fails
// and says so, and the budget and every backup keep their old content.

#include "fakeprompter.h"
#include "storage/backups.h"
#include "storage/budgetfile.h"
#include "storage/savecheck.h"
#include "storagetestkit.h"

#include <QDir>
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
    // stops every file at that length. 0 lifts both.
    void leaveRoom(qint64 bytes) {
        QFile::remove(root_ + "/filler");
        struct rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = bytes && !mounted_ ? rlim_t(bytes) : limit.rlim_max;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        const qint64 take = freeBytesIn(root_) - bytes;
        if (!mounted_ || !bytes || take <= 0)
            return;
        const int fd =
            ::open(QFile::encodeName(root_ + "/filler").constData(), O_CREAT | O_WRONLY, 0600);
        QCOMPARE(::posix_fallocate(fd, 0, take), 0);
        ::close(fd);
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
        // In a mount namespace of the test's own, the mount goes away with the process.
        mounted_ = qEnvironmentVariableIsEmpty("TALLYKEEP_TEST_NO_MOUNT") && ::geteuid() == 0 &&
                   ::unshare(CLONE_NEWNS) == 0 &&
                   ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount("tmpfs", QFile::encodeName(root_).constData(), "tmpfs", 0,
                           "size=48m,mode=0700") == 0;
        // The writer's temporary files must land on the full file system too.
        QVERIFY(QDir().mkdir(root_ + "/tmp"));
        qputenv("TMPDIR", QFile::encodeName(root_ + "/tmp"));
        std::signal(SIGXFSZ, SIG_IGN);
        if (!mounted_)
            qInfo("no small file system can be mounted here; a file size limit stands in");
    }
    void cleanupTestCase() {
        leaveRoom(0);
        if (mounted_)
            ::umount2(QFile::encodeName(root_).constData(), MNT_DETACH);
    }

    void saveThatRunsOutOfRoomKeepsBudgetAndBackups() {
        const QString xlsx = root_ + "/budget.xlsx", backups = root_ + "/TallykeepBackup";
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
        const QStringList daily = QDir(backups + "/daily").entryList(QDir::Files);
        QCOMPARE(daily.size(), 1);
        const QStringList kept = {xlsx, backups + "/budget.xlsx.bak.1",
                                  backups + "/budget.xlsx.bak.2", backups + "/daily/" + daily[0]};
        QList<QByteArray> before;
        for (const QString& path : kept)
            before << readAll(path);

        account->setName("fourth");
        addTransactions(b, 1000, 10000);
        const SaveRoom need = roomForSave(xlsx, b);
        // A size limit counts per file; the largest is the transactions sheet's XML.
        const qint64 total = mounted_ ? need.file + need.temporary : need.temporary / 2;
        // From no room to nearly enough: writing stops at the start, in the middle and at the
        // end of the transactions sheet, while packing, while the file is written. Past about
        // half of it the library reports success for a sheet that lost a piece of its middle.
        bool saved = false;
        for (int step = 0; step <= 17 && !saved; ++step) {
            prompter.records.clear();
            leaveRoom(std::max<qint64>(1, total * step / 20));
            const int status = file.save(b, prompter);
            leaveRoom(0);
            saved = status == 0;
            if (saved) {
                QVERIFY2(step >= 12, qPrintable(QString::number(step)));
                break;
            }
            QCOMPARE(prompter.records.size(), 1);
            const QString text = prompter.records[0].text;
            QVERIFY2(text.startsWith(QStringLiteral("Failed to save budget [%1] [").arg(xlsx)) &&
                         text.contains("is the disk full?"),
                     qPrintable(text));
            QVERIFY2(!mounted_ || (text.contains("needs about") && text.contains(root_)),
                     qPrintable(text));
            for (int i = 0; i < kept.size(); ++i)
                QVERIFY2(readAll(kept[i]) == before[i], qPrintable(kept[i]));
            QVERIFY(!QFileInfo::exists(backups + "/budget.xlsx.bak.3"));
            QVERIFY(!QFileInfo::exists(root_ + "/.budget.xlsx.saving"));
        }
        const char* names[] = {"third", "second", "first"};
        for (int i = 0; !saved && i < 3; ++i) {
            Budget copy;
            QCOMPARE(loadBudgetCopy(kept[i], copy), 0);
            QCOMPARE(copy.transactions().size(), size_t(10000));
            QCOMPARE(copy.itemsOfType(ItemType::Account).front()->getName(),
                     QString::fromLatin1(names[i]));
        }
        // With room again the save goes through, and the generations move by one.
        QVERIFY(saved || file.save(b, prompter) == 0);
        Budget reloaded;
        QCOMPARE(loadBudgetCopy(xlsx, reloaded), 0);
        QCOMPARE(reloaded.transactions().size(), size_t(11000));
        QCOMPARE(readAll(backups + "/budget.xlsx.bak.1"), before[0]);
        QCOMPARE(readAll(backups + "/budget.xlsx.bak.3"), before[2]);

        // With the system's temporary folder elsewhere and roomy, the writer's temporary
        // files go there: the budget's folder needs room for the file and its backup only.
        if (!mounted_)
            return;
        qputenv("TMPDIR", QFile::encodeName(outer_.path()));
        account->setName("fifth");
        leaveRoom(3 * readAll(xlsx).size());
        QCOMPARE(file.save(b, prompter), 0);
        leaveRoom(0);
        qputenv("TMPDIR", QFile::encodeName(root_ + "/tmp"));
    }

    void readBackFindsRowsMissingFromTheMiddle() {
        // The library packs whatever its temporary file holds: a sheet that lost a piece of its
        // middle arrives with right sizes and CRCs; only its rows show the loss.
        const QString path = outer_.filePath("whole.xlsx");
        Budget b;
        b.showTopLevel(b.createAccount());
        addTransactions(b, 3000, 0);
        QCOMPARE(writeWorkbookReplacing(path, b, b.topLevelItemsForSave()), 0);
        QList<QPair<QString, QByteArray>> parts;
        zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
        for (zip_int64_t i = 0; zip && i < zip_get_num_entries(zip, 0); ++i) {
            zip_stat_t st;
            zip_stat_index(zip, zip_uint64_t(i), 0, &st);
            QByteArray data(qsizetype(st.size), Qt::Uninitialized);
            zip_file_t* f = zip_fopen_index(zip, zip_uint64_t(i), 0);
            zip_fread(f, data.data(), st.size);
            zip_fclose(f);
            parts.append({QString::fromUtf8(st.name), data});
        }
        zip_discard(zip);
        auto whole = [&](auto change) {
            auto copy = parts;
            for (auto& [name, data] : copy)
                if (name == "xl/worksheets/sheet5.xml")
                    change(data);
            const QString repacked = outer_.filePath("repacked.xlsx");
            QFile::remove(repacked);
            writeZip(repacked, copy);
            return writtenWorkbookIsWhole(repacked, expectedTransactionsDigest(b));
        };
        QVERIFY(whole([](QByteArray&) {}));
        // 4 KiB gone from the middle, as a buffered write that failed drops it.
        QVERIFY(!whole([](QByteArray& d) { d.remove(d.size() / 2, 4096); }));
        // Whole rows gone, the XML still well-formed.
        QVERIFY(!whole([](QByteArray& d) {
            const qsizetype from = d.indexOf("<row r=\"1500\"");
            d.remove(from, d.indexOf("<row r=\"1503\"") - from);
        }));
        // One amount changed.
        QVERIFY(!whole([](QByteArray& d) {
            const qsizetype v = d.indexOf("<v>", d.indexOf("<c r=\"C2001\"")) + 3;
            d.replace(v, d.indexOf("</v>", v) - v, "-999.99");
        }));
    }
};

QTEST_GUILESS_MAIN(FullDiskTest)
#include "test_fulldisk.moc"
