// One instance per executable path: a second holder of the same path is refused, another
// path is not, and the lock of a killed process does not block the next start.

#include "platform/singleinstance.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>
#include <QUuid>
#include <QtTest>
#include <cstdio>

namespace {
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
        QTest::newRow("linux") << "/opt/budget/tallykeep"
                               << "_opt_budget_tallykeep";
        QTest::newRow("windows form") << "C:\\Apps\\budget.exe"
                                      << "C__Apps_budget.exe";
        QTest::newRow("dots stay") << "/home/a.b/tk.bin"
                                   << "_home_a.b_tk.bin";
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
