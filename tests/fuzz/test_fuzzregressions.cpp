// Every input a fuzz target once failed on (a crash, a hang, a mismatch) stays here as test
// data: tests/data/fuzz-regressions/<target>/<file>, checked exactly as the target checks it.

#include "checks.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

class FuzzRegressionsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // As in the fuzz targets, which found these inputs under this locale.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void replay_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        const QDir root(QStringLiteral(TALLYKEEP_TEST_DATA "/fuzz-regressions"));
        for (const QString& target : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QDir folder(root.filePath(target));
            for (const QString& file : folder.entryList(QDir::Files))
                QTest::newRow(qPrintable(target + u'/' + file)) << target << folder.filePath(file);
        }
    }

    void replay() {
        QFETCH(QString, target);
        QFETCH(QString, path);
        const fuzzcheck::Check check = fuzzcheck::byTarget(target);
        QVERIFY2(check, qPrintable(QStringLiteral("no fuzz target is called ") + target));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString why = check(file.readAll());
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }
};

QTEST_GUILESS_MAIN(FuzzRegressionsTest)
#include "test_fuzzregressions.moc"
