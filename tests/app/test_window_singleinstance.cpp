// One instance per budget file: a second holder of the same file is refused, another file is
// not, the lock lives where only the user writes, and the lock of a killed process does not
// block the next start.

#include "storage/singleinstance.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>
#include <QUuid>
#include <QtTest>
#include <cstdio>

namespace {
// Sets an environment variable (empty: unsets it) until the guard goes.
[[nodiscard]] auto setEnv(const char* name, const QByteArray& value) {
    const QByteArray old = qgetenv(name);
    const bool was = qEnvironmentVariableIsSet(name);
    value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
    return qScopeGuard([=] { was ? qputenv(name, old) : qunsetenv(name); });
}

const char* kHoldEnv = "TALLYKEEP_TEST_HOLD_INSTANCE";

QString uniquePath(const QString& name) {
    return QStringLiteral("/opt/tallykeep-test-%1/%2")
        .arg(QUuid::createUuid().toString(QUuid::Id128), name);
}

// Starts this test program as a holder of the lock for the given path.
bool startHolder(QProcess& process, const QString& path) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kHoldEnv), path);
    process.setProcessEnvironment(env);
    process.start(QCoreApplication::applicationFilePath(), {});
    return process.waitForStarted(5000) && process.waitForReadyRead(10000) &&
           process.readAll().startsWith("held");
}
} // namespace

class TestWindowSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void instanceName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        // SHA-256 as sha256sum prints it.
        QTest::newRow("linux")
            << "/opt/budget/tallykeep"
            << "tallykeep-a05ece54033ff58b69be5f28354bd17315e64e184d5e98519d44f8a0a16d6195";
        QTest::newRow("windows form")
            << "C:\\Apps\\budget.exe"
            << "tallykeep-42f1892b15b649c0f34811a9cd5915d72af83771a6dd641c60b33550ba4fa036";
    }
    void instanceName() {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(SingleInstance::instanceName(path), name);
    }

    void secondHolderIsRefused() {
        const QString path = uniquePath(QStringLiteral("tallykeep"));
        SingleInstance first(path);
        QVERIFY(first.tryAcquire());
        SingleInstance second(path);
        QVERIFY(!second.tryAcquire());
        SingleInstance elsewhere(uniquePath(QStringLiteral("tallykeep")));
        QVERIFY(elsewhere.tryAcquire());
    }

    void longPathsTakeTheLock() {
        // Past 255 bytes a name built from the path itself cannot be a file name.
        const QString path = uniquePath(QString(300, u'x'));
        SingleInstance first(path);
        QVERIFY(first.tryAcquire());
        SingleInstance second(path);
        QVERIFY(!second.tryAcquire());
        QVERIFY(second.heldElsewhere());
    }

    void aLockThatCannotBeMadeIsNotAnotherInstance() {
        // No runtime folder, and the cache "folder" is a file.
        QTemporaryFile notAFolder;
        QVERIFY(notAFolder.open());
        const auto runtime = setEnv("XDG_RUNTIME_DIR", {});
        const auto cache = setEnv("XDG_CACHE_HOME", QFile::encodeName(notAFolder.fileName()));
        SingleInstance instance(uniquePath(QStringLiteral("tallykeep")));
        QVERIFY(!instance.tryAcquire());
        QVERIFY(!instance.heldElsewhere());
        QVERIFY(instance.failureText().contains(instance.lockFilePath()));
    }

    void lockLivesWhereOnlyTheUserWrites() {
        QTemporaryDir dir;
        const QString budget = dir.filePath("budget.xlsx"), runtime = dir.filePath("runtime");
        QVERIFY(QDir(dir.path()).mkdir("runtime") && QDir(dir.path()).mkdir("other"));
        QVERIFY(QFile::setPermissions(runtime, QFile::Permissions(0x7777)));
        {
            // A runtime folder others may write in is passed over for a private one.
            const auto shared = setEnv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
            const auto cache = setEnv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("c")));
            QCOMPARE(SingleInstance(budget).lockFilePath().section(u'/', 0, -2),
                     dir.filePath("c/tallykeep-locks"));
            QCOMPARE(QFile::permissions(dir.filePath("c/tallykeep-locks")) & 0x77, 0);
        }
        QVERIFY(
            QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const auto env = setEnv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        SingleInstance first(budget);
        QCOMPARE(first.lockFilePath().section(u'/', 0, -2), runtime);
        QVERIFY(first.tryAcquire());
        // Another TMPDIR, and the budget replaced by a save (a new inode), find the same lock;
        // the same name in another folder is another budget.
        const auto tmp = setEnv("TMPDIR", QFile::encodeName(dir.filePath("other")));
        QVERIFY(QFile(budget).open(QIODevice::WriteOnly));
        SingleInstance second(budget);
        QVERIFY(!second.tryAcquire() && second.heldElsewhere());
        QVERIFY(SingleInstance(dir.filePath("other/budget.xlsx")).tryAcquire());
    }

    void anotherProcessIsRefusedUntilItDies() {
        const QString path = uniquePath(QStringLiteral("tallykeep"));
        QProcess holder;
        QVERIFY(startHolder(holder, path));
        {
            SingleInstance again(path);
            QVERIFY(!again.tryAcquire());
            SingleInstance copy(uniquePath(QStringLiteral("tallykeep")));
            QVERIFY(copy.tryAcquire());
        }
        // A crash leaves the lock file behind; it must not block the next start.
        holder.kill();
        QVERIFY(holder.waitForFinished(5000));
        SingleInstance next(path);
        QVERIFY(QFile::exists(next.lockFilePath()));
        QVERIFY(next.tryAcquire());
    }

    void lockOutlivesTheStaleTime() {
        // A long-running instance keeps the lock however old the file gets.
        const QString path = uniquePath(QStringLiteral("tallykeep"));
        QProcess holder;
        QVERIFY(startHolder(holder, path));
        QFile lock(SingleInstance(path).lockFilePath());
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTimeUtc().addDays(-2),
                                 QFileDevice::FileModificationTime));
        lock.close();
        SingleInstance again(path);
        QVERIFY(!again.tryAcquire());
        holder.kill();
        holder.waitForFinished(5000);
        // Taking the dead holder's lock over and releasing it leaves no file behind.
        QVERIFY(again.tryAcquire());
    }
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kHoldEnv)) {
        SingleInstance instance(qEnvironmentVariable(kHoldEnv));
        if (!instance.tryAcquire())
            return 3;
        std::fputs("held\n", stdout);
        std::fflush(stdout);
        QThread::sleep(120);
        return 0;
    }
    TestWindowSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_singleinstance.moc"
