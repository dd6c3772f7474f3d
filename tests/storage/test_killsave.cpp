// A save killed at any moment must leave a budget file that loads with either the content it
// had or the content being saved, and backups that all load. A child process (this program
// with --save-loop) saves a budget of 10,000 transactions over and over; the test kills it
// with SIGKILL at random moments and checks the folder after each kill.

#include "fakeprompter.h"
#include "storage/budgetfile.h"
#include "storage/workbook.h"
#include "storagetestkit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdio>

using namespace kit;

namespace {

const QString kPlainName = QStringLiteral("Checking");
const QString kSavedName = QStringLiteral("Checking (saved again)");
constexpr int kTransactions = 10000;
constexpr int kKills = 50;

std::unique_ptr<Budget> bigBudget() {
    FixedClock clock(date(2024, 6, 1));
    auto b = std::make_unique<Budget>();
    std::vector<Account*> accounts;
    for (const QString& name : {kPlainName, QStringLiteral("Savings"), QStringLiteral("Card")}) {
        Account* a = b->createAccount();
        a->setName(name);
        b->showTopLevel(a);
        accounts.push_back(a);
    }
    std::vector<AccountEnvelope*> envelopes;
    for (int f = 0; f < 4; ++f) {
        AccountGroup* folder = b->createFolder();
        folder->setName(QStringLiteral("Folder %1").arg(f));
        b->showTopLevel(folder);
        for (int e = 0; e < 5; ++e) {
            AccountEnvelope* env = b->createEnvelope();
            env->setName(QStringLiteral("Envelope %1.%2").arg(f).arg(e));
            env->setVirtualAccount(true);
            env->setCreatedDate(date(2020, 1, 1));
            folder->addChild(env);
            envelopes.push_back(env);
        }
    }
    for (int i = 0; i < kTransactions; ++i) {
        const DateTime when = date(2021 + i % 3, 1 + i % 12, 1 + i % 28);
        const Transaction* t =
            i % 5 == 0
                ? createTransaction(*b, TransactionType::Deposit, 100000 + i, kNoId,
                                    accounts[size_t(i % 2)]->id(), kNoId,
                                    QStringLiteral("Employer"), QStringLiteral("pay %1").arg(i),
                                    when)
                : createTransaction(*b, TransactionType::Expense, -(100 + i % 9000),
                                    accounts[0]->id(), kNoId, envelopes[size_t(i % 20)]->id(),
                                    QStringLiteral("Shop %1").arg(i % 300), QString(), when);
        applyTransaction(*b, *t, false);
    }
    return b;
}

QByteArray sha1(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
}

int loadInto(const QString& path, Budget& budget) {
    WorkbookLoad r = loadWorkbook(path, budget);
    for (AccountBase* item : r.items)
        budget.showTopLevel(item);
    return r.status;
}

Account* namedAccount(Budget& budget) {
    for (Account* a : budget.accountOrder())
        if (a->getName() == kPlainName || a->getName() == kSavedName)
            return a;
    return nullptr;
}

// The child: loads the budget beside exe and saves it, renamed back and forth, until killed.
int saveLoop(const QString& exe) {
    Budget budget;
    BudgetFile file(exe);
    Account* account = file.load(budget) == LoadOk ? namedAccount(budget) : nullptr;
    if (!account) {
        std::fputs("child: the budget did not load\n", stderr);
        return 3;
    }
    FakePrompter prompter;
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (;;) {
        account->setName(account->getName() == kPlainName ? kSavedName : kPlainName);
        if (file.save(budget, prompter) != 0) {
            std::fprintf(stderr, "child: save failed: %s\n",
                         qPrintable(prompter.texts().join(u' ')));
            return 4;
        }
    }
}

} // namespace

class KillSaveTest : public QObject {
    Q_OBJECT

private slots:
    void killedSavesLeaveLoadableFiles() {
        QTemporaryDir dir;
        const QString exe = dir.filePath(QStringLiteral("tallykeep"));
        const QString xlsx = dir.filePath(QStringLiteral("tallykeep.xlsx"));
        const QString backups = dir.filePath(QStringLiteral("TallykeepBackup"));
        {
            const auto budget = bigBudget();
            QCOMPARE(writeWorkbookReplacing(xlsx, *budget, budget->topLevelItemsForSave()), 0);
        }
        // The two contents the file may hold: as written, and with the account renamed.
        QStringList contents[2];
        QElapsedTimer saveTime;
        {
            Budget loaded;
            QCOMPARE(loadInto(xlsx, loaded), 0);
            QCOMPARE(loaded.transactions().size(), size_t(kTransactions));
            contents[0] = snapshot(loaded);
            namedAccount(loaded)->setName(kSavedName);
            contents[1] = snapshot(loaded);
            saveTime.start();
            QCOMPARE(writeWorkbookReplacing(dir.filePath(QStringLiteral("timing.xlsx")), loaded,
                                            loaded.topLevelItemsForSave()),
                     0);
        }
        // Kills spread over about two saves, so they land in every step of one.
        const int window = int(std::max<qint64>(saveTime.elapsed(), 20)) * 2;
        QFile::remove(dir.filePath(QStringLiteral("timing.xlsx")));

        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        QSet<QByteArray> goodBackups; // hashes of backup contents that loaded
        QElapsedTimer total;
        total.start();
        for (int kill = 0; kill < kKills; ++kill) {
            const QString where = QStringLiteral("kill %1 (seed %2)").arg(kill).arg(seed);
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--save-loop"), exe});
            QVERIFY2(child.waitForReadyRead(60000) && child.readLine() == "ready\n",
                     qPrintable(where + u' ' + child.readAllStandardError()));
            QThread::msleep(random.bounded(window));
            child.kill();
            QVERIFY(child.waitForFinished(10000));
            QVERIFY2(child.exitStatus() == QProcess::CrashExit,
                     qPrintable(where + QStringLiteral(": the child stopped by itself: ") +
                                child.readAllStandardError()));

            Budget budget;
            QVERIFY2(loadInto(xlsx, budget) == 0, qPrintable(where));
            const QStringList content = snapshot(budget);
            QVERIFY2(content == contents[0] || content == contents[1],
                     qPrintable(where + QStringLiteral(": the budget holds other content")));
            // The next save copies this file to the first backup; no need to load it again.
            goodBackups.insert(sha1(xlsx));

            const QDir folder(backups);
            for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden)) {
                const QString path = folder.filePath(name);
                QVERIFY2(name.startsWith(QStringLiteral("tallykeep.xlsx.bak.")),
                         qPrintable(where + QStringLiteral(": stray file ") + name));
                // A copy cut off by the kill stays under its own name, never a generation's.
                if (name.endsWith(QStringLiteral(".bak.new")))
                    continue;
                const QByteArray hash = sha1(path);
                if (goodBackups.contains(hash))
                    continue;
                Budget backup;
                QVERIFY2(loadInto(path, backup) == 0,
                         qPrintable(where + QStringLiteral(": backup does not load: ") + name));
                QCOMPARE(backup.transactions().size(), size_t(kTransactions));
                goodBackups.insert(hash);
            }
        }
        qInfo("%d kills in %lld ms (kills within %d ms of the child being ready); %lld distinct "
              "files "
              "verified",
              kKills, total.elapsed(), window, qint64(goodBackups.size()));
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--save-loop") == 0) {
        QCoreApplication app(argc, argv);
        return saveLoop(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    KillSaveTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_killsave.moc"
