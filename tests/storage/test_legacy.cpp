// The older XML budget: every attribute of a hand-written file, the id allocator around it, and
// files that cannot be read.

#include "storage/legacybudget.h"
#include "storage/workbook.h"
#include "storagetestkit.h"

#include <QTemporaryDir>
#include <QTest>

using namespace kit;

class LegacyTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    QString write(const QByteArray& content) {
        static int n = 0;
        const QString path = dir_.filePath(QStringLiteral("legacy%1.xml").arg(++n));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write");
        f.write(content);
        return path;
    }

private slots:
    void readsEveryAttribute() {
        const DateTime now = date(2024, 6, 10, 14, 15, 16);
        FixedClock clock(now);
        Budget b;
        LegacyLoad r = loadLegacyBudget(QStringLiteral(TALLYKEEP_TEST_DATA "/legacy_full.xml"), b);
        QCOMPARE(r.status, 0);

        // Top level in document order; the loose envelope goes into a folder of its own.
        QStringList top;
        for (const AccountBase* item : r.items)
            top << item->getName();
        QCOMPARE(top, QStringList({"Checking", "Old card 💳", "Savings", "Bills", "Credit cards",
                                   "Late account", unfiledFolderName()}));

        Account* checking = b.findAccount(1);
        QCOMPARE(checking->getBalance(), 123456);
        QVERIFY(checking->contributesToBudget());
        QVERIFY(!checking->isCCAccount());
        QCOMPARE(ymd(checking->lastImport()), QStringLiteral("2024-06-10")); // no attribute: now
        Account* card = b.findAccount(2);
        QVERIFY(card->isCCAccount()); // the older card mark wins over isCCAccount="false"
        QVERIFY(card->isHidden());
        QVERIFY(!card->contributesToBudget());
        QVERIFY(b.findAccount(3)->isCCAccount());

        AccountGroup* bills = b.findFolder(4);
        QCOMPARE(bills->expenseLimit(), -15000);
        QCOMPARE(bills->children().size(), size_t(2)); // the unknown kind is skipped
        auto* groceries = b.findEnvelope(5);
        QCOMPARE(groceries->getBalance(), 2500);
        QCOMPARE(groceries->getBudgeted(), -40000);
        QCOMPARE(groceries->defaultPayFromAccount(), ItemId(1));
        QCOMPARE(groceries->defaultPayToAccount(), ItemId(3));
        QCOMPARE(groceries->defaultAmount(), -2500);
        QCOMPARE(groceries->defaultPayee(), QStringLiteral("Grocer é"));
        QVERIFY(groceries->isExpense());
        QVERIFY(groceries->virtualAccount());
        QCOMPARE(groceries->savingsGoal(), 0);
        auto* rent = b.findEnvelope(6);
        QCOMPARE(rent->getBalance(), 0);
        QVERIFY(rent->isHidden());
        QVERIFY(!rent->isExpense());
        QVERIFY(!rent->virtualAccount());
        QCOMPARE(rent->defaultPayFromAccount(), kNoId); // id 4 is a folder

        AccountGroup* cards = b.findFolder(7);
        QVERIFY(cards->isReadOnly());
        QVERIFY(cards->isHidden());
        auto* charges = b.findEnvelope(kChargesEnvelopeId);
        QCOMPARE(charges->getParent(), cards);
        QCOMPARE(charges->defaultPayToAccount(), ItemId(2));
        QCOMPARE(charges->defaultPayFromAccount(), kNoId); // account 8 comes later in the file

        auto* loose = b.findEnvelope(10);
        QCOMPARE(loose->getParent()->getName(), unfiledFolderName());
        QCOMPARE(b.findItem(11), loose->getParent()); // the untyped item with id 11 was skipped
        QVERIFY(!b.findItem(20));

        const auto& t = b.transactions();
        QCOMPARE(t.size(), size_t(5));
        // The file time wins over the text; no zone change, milliseconds kept.
        QCOMPARE(t[0]->transactionTime.year, quint16(2021));
        QCOMPARE(t[0]->transactionTime.month, quint16(1));
        QCOMPARE(t[0]->transactionTime.day, quint16(15));
        QCOMPARE(t[0]->transactionTime.hour, quint16(10));
        QCOMPARE(t[0]->transactionTime.minute, quint16(20));
        QCOMPARE(t[0]->transactionTime.second, quint16(30));
        QCOMPARE(t[0]->transactionTime.milliseconds, quint16(123));
        QCOMPARE(t[0]->transactionTime.dayOfWeek, quint16(5));
        QCOMPARE(t[0]->payee, QStringLiteral("Grocer é"));
        QCOMPARE(t[0]->description, QStringLiteral("weekly"));
        QCOMPARE(t[0]->amount, -2550);
        QCOMPARE(t[0]->accountTo, kNoId);
        QCOMPARE(t[0]->category, ItemId(5));
        QCOMPARE(t[1]->accountTo, kNoId); // absent "to": none
        QCOMPARE(t[1]->transactionTime.hour, quint16(8));
        QCOMPARE(t[1]->transactionTime.minute, quint16(30));
        QCOMPARE(ymd(t[1]->transactionTime), QStringLiteral("2019-03-15"));
        QCOMPARE(t[2]->category, ItemId(0)); // absent category: id 0
        QCOMPARE(int(t[2]->type), 2);
        QCOMPARE(ymd(t[2]->transactionTime), QStringLiteral("2019-02-01"));
        QCOMPARE(t[2]->transactionTime.hour, now.hour); // the time fields were missing
        QCOMPARE(t[3]->accountFrom, ItemId(0));
        QCOMPARE(t[3]->description, QStringLiteral("salary 中文"));
        QCOMPARE(ymd(t[3]->transactionTime), QStringLiteral("2024-06-10")); // no date in the text
        QCOMPARE(int(t[4]->type), 3);
        QCOMPARE(t[4]->transactionTime.second, quint16(58)); // a zero file time counts as absent

        // The file has no created dates: the moment of loading, not a transaction's date that a
        // later correction would leave behind (the averages reach back to older expenses).
        QCOMPARE(ymd(groceries->createdDate()), QStringLiteral("2024-06-10"));
        QCOMPARE(ymd(rent->createdDate()), QStringLiteral("2024-06-10"));
        QCOMPARE(ymd(charges->createdDate()), QStringLiteral("2024-06-10"));

        const auto rules = b.rules().rules();
        QCOMPARE(rules.size(), size_t(3));
        QCOMPARE(rules[0].match, QStringLiteral("GROCER*")); // no reserved-character replacement
        QCOMPARE(rules[0].envelopeId, ItemId(5));
        QCOMPARE(rules[2].match, QStringLiteral("no envelope"));
        QCOMPARE(rules[2].envelopeId, ItemId(0));

        // Ids 1 to 10 are taken (the folder for the loose envelope got 11).
        QCOMPARE(b.itemsOfType(ItemType::Folder).back()->id(), ItemId(11));
        QCOMPARE(b.createAccount()->id(), ItemId(12));
    }

    void allocatorResumesAfterTheLargestId() {
        Budget b;
        const QString path =
            write("<b><accounts><accountItem type=\"0\" id=\"3\"/><accountItem type=\"1\" id=\"7\">"
                  "<accountItem type=\"2\" id=\"2147483646\"/></accountItem></accounts></b>");
        QCOMPARE(loadLegacyBudget(path, b).status, 0);
        QCOMPARE(b.createEnvelope()->id(), ItemId(8));
    }

    void itemWithoutIdGetsAFreshOne() {
        Budget b;
        const QString path = write(
            "<b><accounts><accountItem type=\"0\" id=\"4\"/><accountItem type=\"0\" name=\"x\"/>"
            "</accounts></b>");
        LegacyLoad r = loadLegacyBudget(path, b);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.items.size(), size_t(2));
        QCOMPARE(r.items[1]->id(), ItemId(5));
        QCOMPARE(b.findItem(5), r.items[1]);
    }

    void duplicateIdsAreMadeUnique() {
        Budget b;
        const QString path =
            write("<b><accounts><accountItem type=\"0\" id=\"3\" name=\"first\"/>"
                  "<accountItem type=\"0\" id=\"3\" name=\"second\"/></accounts></b>");
        LegacyLoad r = loadLegacyBudget(path, b);
        QCOMPARE(r.status, 0);
        QCOMPARE(b.findItem(3)->getName(), QStringLiteral("first"));
        QCOMPARE(b.findItem(4)->getName(), QStringLiteral("second"));
    }

    void transactionTimes_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected"); // y-m-d h:m:s
        QTest::newRow("full") << QByteArray("03-15-2019 08:30:00") << "2019-03-15 08:30:00";
        QTest::newRow("no seconds") << QByteArray("03-15-2019 08:30") << "2019-03-15 08:30:16";
        QTest::newRow("date only") << QByteArray("12-01-2018") << "2018-12-01 14:15:16";
        QTest::newRow("month only") << QByteArray("2") << "2024-02-10 14:15:16";
        QTest::newRow("impossible day")
            << QByteArray("02-30-2019 10:00:00") << "2024-06-10 14:15:16";
        QTest::newRow("garbage") << QByteArray("yesterday") << "2024-06-10 14:15:16";
    }

    void transactionTimes() {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        FixedClock clock(date(2024, 6, 10, 14, 15, 16));
        Budget b;
        const QString path = write("<b><transactions><transaction transactionTime=\"" + text +
                                   "\"/></transactions></b>");
        QCOMPARE(loadLegacyBudget(path, b).status, 0);
        const DateTime t = b.transactions().front()->transactionTime;
        QCOMPARE(QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                                   t.minute, t.second),
                 expected);
    }

    void numbersBeyond32BitsAreClamped_data() {
        QTest::addColumn<QByteArray>("number");
        QTest::addColumn<int>("expected");
        QTest::newRow("too large") << QByteArray("99999999999") << 2147483647;
        QTest::newRow("too small") << QByteArray("-99999999999") << -2147483647 - 1;
        QTest::newRow("beyond 64 bits") << QByteArray("99999999999999999999999") << 2147483647;
        QTest::newRow("largest") << QByteArray("2147483647") << 2147483647;
        QTest::newRow("ordinary") << QByteArray("-1234") << -1234;
    }

    void numbersBeyond32BitsAreClamped() {
        QFETCH(QByteArray, number);
        QFETCH(int, expected);
        Budget b;
        const QString path =
            write("<b><accounts><accountItem type=\"0\" id=\"1\" name=\"a\" balance=\"" + number +
                  "\"/><accountItem type=\"1\" id=\"2\" expenseLimit=\"" + number +
                  "\"/></accounts><transactions><transaction amount=\"" + number +
                  "\"/></transactions></b>");
        QCOMPARE(loadLegacyBudget(path, b).status, 0);
        QCOMPARE(b.findAccount(1)->getBalance(), expected);
        QCOMPARE(b.findFolder(2)->expenseLimit(), expected);
        QCOMPARE(b.transactions().front()->amount, expected);
    }

    // Only envelopes may sit in a folder: whatever walks a folder's children takes them for
    // envelopes. Anything else written inside one keeps its content at the top level.
    void itemsNestedInFolders() {
        Budget b;
        const LegacyLoad r = loadLegacyBudget(
            QStringLiteral(TALLYKEEP_TEST_DATA "/fuzz-regressions/legacy/folder-inside-folder.xml"),
            b);
        QCOMPARE(r.status, 0);
        QStringList top;
        for (const AccountBase* item : r.items)
            top << item->getName();
        QCOMPARE(top, QStringList({"Outer", "Inner", "Account in a folder"}));
        for (const AccountGroup* folder : {b.findFolder(2), b.findFolder(3)}) {
            QCOMPARE(folder->children().size(), size_t(1));
            QCOMPARE(folder->children()[0]->getType(), ItemType::Envelope);
        }
        QCOMPARE(b.findFolder(3)->children()[0]->getName(), QStringLiteral("Inner envelope"));
        QCOMPARE(b.findAccount(1)->getBalance(), 500);
    }

    void unreadableFiles_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not XML") << QByteArray("name,balance\nChecking,12\n");
        QTest::newRow("unclosed") << QByteArray("<budget><accounts>");
        QTest::newRow("no element") << QByteArray("<?xml version=\"1.0\"?><!-- nothing -->");
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\xff", 4);
    }

    void unreadableFiles() {
        QFETCH(QByteArray, content);
        Budget b;
        const LegacyLoad r = loadLegacyBudget(write(content), b);
        QVERIFY(r.status != 0);
        QVERIFY(r.status != 2); // 2 would mean "start empty"; a broken legacy file must be reported
        QVERIFY(b.registry().empty());
        QVERIFY(loadLegacyBudget(dir_.filePath("missing.xml"), b).status != 0);
    }

    // More elements than a budget can hold (it is saved in sheets of 1048576 rows) are
    // refused before the file is parsed: a tree of them took gigabytes.
    void filesNoBudgetCanBeAreRefusedUnparsed() {
        const QByteArray head = "<budget><accounts><accountItem type=\"0\" id=\"1\" "
                                "name=\"A\"/></accounts><transactions>";
        const QByteArray tail = "</transactions></budget>";
        QByteArray many = head;
        many.reserve(5 * (4 << 20) + 100);
        for (int i = 0; i < (4 << 20); ++i)
            many += "<t/>";
        many += tail;
        Budget b;
        const LegacyLoad r = loadLegacyBudget(write(many), b);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.error, QStringLiteral("file too large"));
        QVERIFY(b.registry().empty());
    }
};

QTEST_GUILESS_MAIN(LegacyTest)
#include "test_legacy.moc"
