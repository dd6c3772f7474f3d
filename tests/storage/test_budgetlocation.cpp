// Which budget the program opens (a named file, the one beside a program kept in the user's
// own folder, else the one in the per-user data folder), and that the single-instance lock,
// the legacy file, the backups and the watcher all follow the budget actually opened.

#include "fakeprompter.h"
#include "model/budget.h"
#include "storage/budgetfile.h"
#include "storage/budgetlocation.h"
#include "storage/singleinstance.h"
#include "storagetestkit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <pwd.h>
#include <unistd.h>

namespace {

const char* const kUnset = "<unset>";

// Sets or removes an environment variable for one test and puts the old value back after it.
class EnvironmentGuard {
public:
    explicit EnvironmentGuard(const char* name)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {}
    ~EnvironmentGuard() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    void set(const QString& value) {
        if (value == QLatin1String(kUnset))
            qunsetenv(name_);
        else
            qputenv(name_, QFile::encodeName(value));
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

} // namespace

using namespace kit;

class BudgetLocationTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString root_;
    QString savedCwd_;

    QString expand(QString text) const {
        const passwd* pw = ::getpwuid(::getuid());
        return text.replace(QLatin1String("<tmp>"), root_)
            .replace(QLatin1String("<installed>"), QStringLiteral(TALLYKEEP_INSTALLED_BINDIR))
            .replace(QLatin1String("<account home>"), pw ? QFile::decodeName(pw->pw_dir) : "?");
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        // Canonical, so that expected paths compare equal to what the links resolve to.
        root_ = QDir(dir_->path()).canonicalPath();
        for (const char* sub : {"bin", "books", "home", "readonly"})
            QVERIFY(QDir(root_).mkdir(sub));
        savedCwd_ = QDir::currentPath();
    }

    void cleanup() {
        QFile::setPermissions(root_ + "/readonly",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir::setCurrent(savedCwd_);
    }

    void chosenBudget_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("cwd");
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("xdgDataHome");
        QTest::addColumn<QString>("expected");
        const QString own = "<tmp>/bin/tallykeep";
        const QString installed = "<installed>/tallykeep";
        const QString homeData = "<tmp>/home/.local/share/tallykeep/tallykeep.xlsx";

        QTest::newRow("named absolute")
            << "<tmp>/books/home.xlsx"
            << "<tmp>" << own << "<tmp>/home" << kUnset << "<tmp>/books/home.xlsx";
        QTest::newRow("named relative to the working folder")
            << "home.xlsx"
            << "<tmp>/books" << installed << "<tmp>/home" << kUnset << "<tmp>/books/home.xlsx";
        QTest::newRow("named without an extension")
            << "<tmp>/books/household"
            << "<tmp>" << own << "<tmp>/home" << kUnset << "<tmp>/books/household";
        QTest::newRow("named legacy budget opens the workbook beside it")
            << "<tmp>/books/old.xml"
            << "<tmp>" << own << "<tmp>/home" << kUnset << "<tmp>/books/old.xlsx";
        QTest::newRow("program in the user's folder") << ""
                                                      << "<tmp>" << own << "<tmp>/home"
                                                      << "<tmp>/xdg"
                                                      << "<tmp>/bin/tallykeep.xlsx";
        QTest::newRow("program folder read-only") << ""
                                                  << "<tmp>"
                                                  << "<tmp>/readonly/tallykeep"
                                                  << "<tmp>/home"
                                                  << "<tmp>/xdg"
                                                  << "<tmp>/xdg/tallykeep/tallykeep.xlsx";
        QTest::newRow("program folder gone") << ""
                                             << "<tmp>"
                                             << "<tmp>/deleted/tallykeep"
                                             << "<tmp>/home" << kUnset << homeData;
        // Even where the user may write there (root), an installed program keeps no budget in
        // its own folder.
        QTest::newRow("installed, data home set") << ""
                                                  << "<tmp>" << installed << "<tmp>/home"
                                                  << "<tmp>/xdg"
                                                  << "<tmp>/xdg/tallykeep/tallykeep.xlsx";
        QTest::newRow("installed, data home unset")
            << ""
            << "<tmp>" << installed << "<tmp>/home" << kUnset << homeData;
        QTest::newRow("installed, data home empty") << ""
                                                    << "<tmp>" << installed << "<tmp>/home"
                                                    << "" << homeData;
        QTest::newRow("installed, data home relative is ignored")
            << ""
            << "<tmp>/books" << installed << "<tmp>/home"
            << "data" << homeData;
        QTest::newRow("installed, no HOME")
            << ""
            << "<tmp>" << installed << kUnset << kUnset
            << "<account home>/.local/share/tallykeep/tallykeep.xlsx";
    }

    void chosenBudget() {
        QFETCH(QString, argument);
        QFETCH(QString, cwd);
        QFETCH(QString, executable);
        QFETCH(QString, home);
        QFETCH(QString, xdgDataHome);
        QFETCH(QString, expected);
        if (executable.contains("readonly")) {
            if (::geteuid() == 0)
                QSKIP("root may write in any folder");
            QVERIFY(QFile::setPermissions(root_ + "/readonly", QFile::ReadOwner | QFile::ExeOwner));
        }
        EnvironmentGuard homeVar("HOME");
        EnvironmentGuard xdgVar("XDG_DATA_HOME");
        homeVar.set(expand(home));
        xdgVar.set(expand(xdgDataHome));
        QVERIFY(QDir::setCurrent(expand(cwd)));
        QCOMPARE(chooseBudgetPath(expand(argument), expand(executable)), expand(expected));
    }

    void oneInstancePerBudgetFile() {
        const QString budget = root_ + "/books/home.xlsx";
        writeAll(budget, "budget");
        QVERIFY(QFile::link(root_ + "/books/home.xlsx", root_ + "/home/linked.xlsx"));
        QVERIFY(QFile::link(root_ + "/books", root_ + "/shelf"));
        QVERIFY(QDir::setCurrent(root_ + "/bin"));

        SingleInstance first(budgetIdentity(chooseBudgetPath(budget, {})));
        QVERIFY(first.tryAcquire());
        const QStringList sameFile = {"../books/home.xlsx", root_ + "/home/linked.xlsx",
                                      root_ + "/shelf/home.xlsx",
                                      root_ + "/bin/../books/./home.xlsx"};
        for (const QString& spelling : sameFile) {
            SingleInstance again(budgetIdentity(chooseBudgetPath(spelling, {})));
            QVERIFY2(!again.tryAcquire(), qPrintable(spelling));
        }
        // Another budget in the same folder, or beside another copy of the program, is free.
        SingleInstance other(budgetIdentity(root_ + "/books/other.xlsx"));
        QVERIFY(other.tryAcquire());
        SingleInstance besideProgram(
            budgetIdentity(chooseBudgetPath({}, root_ + "/bin/tallykeep")));
        QVERIFY(besideProgram.tryAcquire());
    }

    void identityOfANewBudgetSurvivesItsFirstSave() {
        // A second start after the first save must find the lock the first start took.
        const QString viaLink = root_ + "/shelf/new.xlsx";
        QVERIFY(QFile::link(root_ + "/books", root_ + "/shelf"));
        const QString before = budgetIdentity(viaLink);
        QCOMPARE(before, root_ + "/books/new.xlsx");
        FakePrompter prompter;
        BudgetFile file(BudgetPath{viaLink});
        Budget b;
        QCOMPARE(file.load(b), int(LoadOk));
        b.showTopLevel(b.createAccount());
        QCOMPARE(file.save(b, prompter), 0);
        QVERIFY(QFile::exists(root_ + "/books/new.xlsx"));
        QCOMPARE(budgetIdentity(viaLink), before);
        QCOMPARE(budgetIdentity(root_ + "/books/new.xlsx"), before);
    }

    void legacyBackupsAndWatcherFollowTheBudget() {
        // "tallykeep old.xml": the legacy budget is read, the workbook is written beside it and
        // the old file is left exactly as it was; nothing lands beside the program.
        const QByteArray legacy =
            "<b><accounts><accountItem type=\"0\" id=\"1\" name=\"Checking\"/></accounts></b>";
        writeAll(root_ + "/books/old.xml", legacy);
        writeAll(root_ + "/bin/tallykeep.xml",
                 "<b><accounts><accountItem type=\"0\" id=\"1\" name=\"Wrong\"/></accounts></b>");
        const QString path = chooseBudgetPath(root_ + "/books/old.xml", root_ + "/bin/tallykeep");
        BudgetFile file(BudgetPath{path});
        QCOMPARE(file.workbookPath(), root_ + "/books/old.xlsx");
        QCOMPARE(file.legacyPath(), root_ + "/books/old.xml");
        Budget b;
        QCOMPARE(file.load(b), int(LoadOk));
        QCOMPARE(b.accountOrder().size(), size_t(1));
        QCOMPARE(b.accountOrder().front()->getName(), QStringLiteral("Checking"));

        std::atomic<int> outside{0};
        file.startWatcher([&] { ++outside; });
        FakePrompter prompter;
        QCOMPARE(file.save(b, prompter), 0);
        const QByteArray firstSave = readAll(path);
        QCOMPARE(file.save(b, prompter), 0);
        QVERIFY(prompter.records.isEmpty());
        QVERIFY(readAll(path).startsWith("PK"));
        QCOMPARE(readAll(root_ + "/books/old.xml"), legacy);
        QCOMPARE(QDir(root_ + "/books/TallykeepBackup").entryList(QDir::Files),
                 QStringList({"old.xlsx.bak.1"}));
        QCOMPARE(readAll(root_ + "/books/TallykeepBackup/old.xlsx.bak.1"), firstSave);
        QCOMPARE(QDir(root_ + "/bin").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({"tallykeep.xml"}));

        // A budget of the same name beside the program is not the one being watched.
        writeAll(root_ + "/bin/tallykeep.xlsx", "another budget");
        writeAll(root_ + "/bin/old.xlsx", "another budget");
        QTest::qWait(300);
        QCOMPARE(outside.load(), 0);
        QByteArray changed = readAll(path);
        changed[changed.size() / 2] = char(changed[changed.size() / 2] ^ 1);
        writeAll(path, changed);
        QTRY_COMPARE_WITH_TIMEOUT(outside.load(), 1, 5000);
        file.stopWatcher();
    }
};

QTEST_GUILESS_MAIN(BudgetLocationTest)
#include "test_budgetlocation.moc"
