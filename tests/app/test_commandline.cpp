// The program's command line: --help and --version answer in a terminal without a display, and
// a command line that cannot be followed is refused before any window or file is touched.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void answers_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stdoutHas");
        QTest::addColumn<QString>("stderrHas");
        // "xcb" without DISPLAY: any attempt to open a window would abort the program.
        QTest::newRow("version") << QStringList{"--version"} << "xcb" << 0
                                 << "Tallykeep 1.0.23.88\n"
                                 << "";
        QTest::newRow("short version") << QStringList{"-v"} << "xcb" << 0 << "Tallykeep 1.0.23.88"
                                       << "";
        QTest::newRow("help") << QStringList{"--help"} << "xcb" << 0 << "[options] [BUDGET.xlsx]"
                              << "";
        QTest::newRow("help after a budget")
            << QStringList{"<tmp>/b.xlsx", "-h"} << "xcb" << 0 << "--version"
            << "";
        QTest::newRow("two budgets")
            << QStringList{"<tmp>/a.xlsx", "<tmp>/b.xlsx"} << "offscreen" << 1 << ""
            << "open one budget at a time";
        QTest::newRow("a folder") << QStringList{"<tmp>"} << "offscreen" << 1 << ""
                                  << "is a folder, not a budget file";
        QTest::newRow("missing folder")
            << QStringList{"<tmp>/nowhere/b.xlsx"} << "offscreen" << 1 << ""
            << "/nowhere does not exist";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "offscreen" << 1 << ""
                                        << "Unknown option 'frobnicate'";
    }

    void answers() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, platform);
        QFETCH(int, exitCode);
        QFETCH(QString, stdoutHas);
        QFETCH(QString, stderrHas);
        QTemporaryDir dir;
        for (QString& a : arguments)
            a.replace("<tmp>", dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", platform);
        env.insert("HOME", dir.path());
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TALLYKEEP_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(20000));
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == exitCode, qPrintable(out + err));
        QVERIFY2(out.contains(stdoutHas), qPrintable(out));
        QVERIFY2(err.contains(stderrHas), qPrintable(err));
        // Nothing was written: no budget, no backup folder, no data folder.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
