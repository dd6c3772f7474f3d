// The daily copies beside the rotating generations, and the list the restore dialog shows.

#include "model/budget.h"
#include "model/clock.h"
#include "storage/backups.h"
#include "storage/budgetfile.h"
#include "testdates.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

namespace {
void writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class TestBackups : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString xlsx_;
    QString daily_;

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        xlsx_ = dir_->filePath("tallykeep.xlsx");
        daily_ = dir_->filePath("TallykeepBackup/daily");
    }
    void cleanup() { Clock::release(); }

    // The first version of a day is kept; later saves that day leave it alone.
    void firstVersionOfEachDayIsKept() {
        writeAll(xlsx_, "monday morning");
        Clock::fix(makeDate(2026, 3, 2, 8));
        rotateBackups(xlsx_);
        writeAll(xlsx_, "monday noon");
        Clock::fix(makeDate(2026, 3, 2, 12));
        rotateBackups(xlsx_);
        writeAll(xlsx_, "tuesday");
        Clock::fix(makeDate(2026, 3, 3, 0, 0, 1));
        rotateBackups(xlsx_);
        QCOMPARE(QDir(daily_).entryList(QDir::Files, QDir::Name),
                 (QStringList{"tallykeep.xlsx.2026-03-02", "tallykeep.xlsx.2026-03-03"}));
        QCOMPARE(readAll(daily_ + "/tallykeep.xlsx.2026-03-02"), QByteArray("monday morning"));
        QCOMPARE(readAll(daily_ + "/tallykeep.xlsx.2026-03-03"), QByteArray("tuesday"));
    }

    void copiesOlderThanThirtyDaysGo_data() {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("kept");
        const QString a = "tallykeep.xlsx.";
        // Today is 2026-03-31; the 1st is 30 days back and stays, the day before it goes.
        QTest::newRow("edge") << QStringList{a + "2026-02-28", a + "2026-03-01"}
                              << QStringList{a + "2026-03-01", a + "2026-03-31"};
        QTest::newRow("year back")
            << QStringList{a + "2025-03-31"} << QStringList{a + "2026-03-31"};
        // Files that are not ours, or not dates, stay whatever they are called.
        QTest::newRow("foreign") << QStringList{"other.xlsx.2020-01-01", a + "notes",
                                                a + "2020-13-45"}
                                 << QStringList{"other.xlsx.2020-01-01", a + "2020-13-45",
                                                a + "2026-03-31", a + "notes"};
    }
    void copiesOlderThanThirtyDaysGo() {
        QFETCH(QStringList, present);
        QFETCH(QStringList, kept);
        QVERIFY(QDir().mkpath(daily_));
        for (const QString& name : present)
            writeAll(daily_ + '/' + name, "old");
        writeAll(xlsx_, "now");
        keepDailyBackup(xlsx_, QDate(2026, 3, 31));
        QCOMPARE(QDir(daily_).entryList(QDir::Files, QDir::Name), kept);
    }

    void noBudgetFileNoCopy() {
        keepDailyBackup(xlsx_, QDate(2026, 3, 31));
        QVERIFY(!QFileInfo::exists(daily_ + "/tallykeep.xlsx.2026-03-31"));
    }

    // Newest generation first, then the daily copies newest first; a damaged file is listed
    // but marked unreadable; a good one is summarised from its content.
    void listShowsGenerationsThenDays() {
        Budget b;
        Account* a = b.createAccount();
        a->setName("Checking");
        a->setStoredBalance(12345);
        b.showTopLevel(a);
        AccountGroup* f = b.createFolder();
        b.showTopLevel(f);
        AccountEnvelope* e = b.createEnvelope();
        e->setStoredBalance(345);
        f->addChild(e);
        createTransaction(b, TransactionType::Deposit, 100, kNoId, a->id(), kNoId, "P", "",
                          makeDate(2026, 1, 1));
        const QString backups = dir_->filePath("TallykeepBackup");
        QVERIFY(QDir().mkpath(daily_));
        QCOMPARE(
            writeWorkbookReplacing(backups + "/tallykeep.xlsx.bak.1", b, b.topLevelItemsForSave()),
            0);
        // A zip cut short, as a full disk would leave it.
        QByteArray damaged = readAll(backups + "/tallykeep.xlsx.bak.1");
        damaged.truncate(damaged.size() / 2);
        writeAll(backups + "/tallykeep.xlsx.bak.2", damaged);
        QFile::copy(backups + "/tallykeep.xlsx.bak.1", daily_ + "/tallykeep.xlsx.2026-03-01");
        QFile::copy(backups + "/tallykeep.xlsx.bak.1", daily_ + "/tallykeep.xlsx.2026-03-09");

        std::vector<BackupGeneration> list = listBackups(xlsx_);
        QStringList names;
        for (const BackupGeneration& g : list)
            names << g.name;
        QCOMPARE(names,
                 (QStringList{"Backup 1", "Backup 2", "First of 3/9/26", "First of 3/1/26"}));
        QVERIFY(!list[0].read);
        readBackup(list[0]);
        readBackup(list[1]);
        QVERIFY(list[0].readable);
        QVERIFY(!list[1].readable);
        QCOMPARE(list[0].summary.accounts, 1);
        QCOMPARE(list[0].summary.envelopes, 1);
        QCOMPARE(list[0].summary.transactions, 1);
        QCOMPARE(list[0].summary.available, Amount(12345 - 345));
    }
};

QTEST_GUILESS_MAIN(TestBackups)
#include "test_backups.moc"
