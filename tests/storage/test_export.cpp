// The export command: the JSON it prints, its --save copy, and its answers to bad files.

#include "storage/budgetfile.h"
#include "storagetestkit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace kit;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QStringList& args, int timeoutMs = 60000) {
    QProcess p;
    p.start(QStringLiteral(TALLYKEEP_EXPORT_COMMAND), args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace

class ExportTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

private slots:
    void printsTheBudget() {
        auto b = richBudget();
        const QString file = dir_.filePath("budget.xlsx");
        QCOMPARE(writeWorkbookReplacing(file, *b, b->topLevelItemsForSave()), 0);
        const Run r = run({file});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QJsonParseError error;
        const QJsonObject root = QJsonDocument::fromJson(r.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(root["version"].toString(), QStringLiteral("1.0.23.88"));
        QCOMPARE(root["availableForBudgeting"].toInt(), b->availableForBudgeting());

        // Accounts in row order (visible ones as shown, then the hidden one), then folders.
        const QJsonArray top = root["topLevel"].toArray();
        QCOMPARE(top.size(), 8);
        const QJsonArray items = root["items"].toArray();
        QCOMPARE(items.size(), 13);
        QMap<qint64, QJsonObject> byId;
        qint64 previous = -1;
        for (const QJsonValue& v : items) {
            const QJsonObject o = v.toObject();
            QVERIFY(o["id"].toInteger() > previous);
            previous = o["id"].toInteger();
            byId[previous] = o;
        }
        QCOMPARE(byId[top[0].toInteger()]["name"].toString(), QStringLiteral("Checking é"));
        QCOMPARE(byId[top[0].toInteger()]["type"].toString(), QStringLiteral("account"));
        QCOMPARE(byId[top[0].toInteger()]["lastImport"].toString(),
                 QStringLiteral("2024-04-30T00:00:00"));
        QVERIFY(byId[top[1].toInteger()]["lastImport"].isNull());
        QCOMPARE(byId[top[0].toInteger()]["statementColumns"].toString(),
                 QStringLiteral("delimiter=semicolon header=yes dates=dmy"));
        QCOMPARE(byId[top[2].toInteger()]["isCCAccount"].toBool(), true);
        QCOMPARE(byId[top[3].toInteger()]["hidden"].toBool(), true);
        const QJsonObject bills = byId[top[4].toInteger()];
        QCOMPARE(bills["type"].toString(), QStringLiteral("folder"));
        QCOMPARE(bills["expenseLimit"].toInt(), -15000);
        const QJsonObject rent = byId[bills["children"].toArray()[0].toInteger()];
        QCOMPARE(rent["name"].toString(), QStringLiteral("Rent"));
        QCOMPARE(rent["budgeted"].toInt(), -150000);
        QCOMPARE(rent["defaultPayFromAccount"].toInteger(), top[0].toInteger());
        QCOMPARE(rent["createdDate"].toString(), QStringLiteral("2023-01-01T00:00:00"));
        QVERIFY(byId.contains(kChargesEnvelopeId));
        QVERIFY(byId[kChargesEnvelopeId]["defaultPayFromAccount"].isNull());

        const QJsonArray transactions = root["transactions"].toArray();
        QCOMPARE(transactions.size(), 6);
        const QJsonObject first = transactions[0].toObject();
        QCOMPARE(first["type"].toString(), QStringLiteral("Deposit"));
        QCOMPARE(first["amount"].toInt(), 250000);
        QVERIFY(first["category"].isNull());
        QVERIFY(first["accountFrom"].isNull());
        QCOMPARE(first["time"].toString(), QStringLiteral("2024-01-31T00:00:00"));
        QCOMPARE(transactions[4].toObject()["type"].toString(), QStringLiteral("CC Payment"));
        QCOMPARE(transactions[4].toObject()["category"].toInteger(), qint64(kChargesEnvelopeId));
        QStringList bankIds;
        for (const QJsonValue& t : transactions)
            if (!t.toObject()["bankId"].toString().isEmpty())
                bankIds << t.toObject()["bankId"].toString();
        QCOMPARE(bankIds, QStringList{QStringLiteral("20240201-0001 é")});
        // Each side an account has: the deposit's one, the transfer's two, none for no account.
        QStringList cleared;
        for (const QJsonValue& t : transactions)
            cleared << t.toObject()["clearedFrom"].toString("-") + u'/' +
                           t.toObject()["clearedTo"].toString("-");
        QCOMPARE(cleared,
                 QStringList({"-/reconciled", "cleared/-", "uncleared/-", "reconciled/cleared",
                              "uncleared/reconciled", "uncleared/-"}));
        const QJsonObject checking = byId[top[0].toInteger()];
        QCOMPARE(checking["reconciledDate"].toString(), QStringLiteral("2024-02-29T00:00:00"));
        QCOMPARE(checking["statementBalance"].toInt(), -129456);
        const QJsonArray rules = root["rules"].toArray();
        QCOMPARE(rules.size(), 3);
        QCOMPARE(rules[0].toObject()["deposit"].toBool(), false);
        QCOMPARE(rules[0].toObject()["match"].toString(), QStringLiteral("AMAZON*"));
        QCOMPARE(rules[0].toObject()["payee"].toString(), QStringLiteral("Amazon"));
    }

    void unreadableRowsHaveTheirOwnKey() {
        // Scripts must see what was left out, and still get the budget that was read.
        const QString file = dir_.filePath("edited.xlsx");
        QVERIFY(writeWorkbook(file, {{"Transactions",
                                      {{S("Date"), S("Payee"), S("Amount")},
                                       {N(45000), S("kept"), N(1)},
                                       {S("someday"), S("left out"), N(2)},
                                       {N(45001), S("after it"), N(3)}}}}));
        const Run r = run({file});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject root = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(root["transactions"].toArray().size(), 2);
        const QJsonArray rows = root["unreadableRows"].toArray();
        QCOMPARE(rows.size(), 1);
        const QJsonObject row = rows[0].toObject();
        QCOMPARE(row["sheet"].toString(), QStringLiteral("Transactions"));
        QCOMPARE(row["row"].toInt(), 3);
        QCOMPARE(row["cell"].toString(), QStringLiteral("A3"));
        QCOMPARE(row["content"].toString(), QStringLiteral("\"someday\""));
        QCOMPARE(row["kept"].toBool(), false);
    }

    void savesACopyWithTheSameWriter() {
        auto b = richBudget();
        const QString file = dir_.filePath("source.xlsx");
        const QString copy = dir_.filePath("copy.xlsx");
        QCOMPARE(writeWorkbookReplacing(file, *b, b->topLevelItemsForSave()), 0);
        const Run first = run({file, "--save", copy});
        QVERIFY2(first.exitCode == 0, first.err.constData());
        const Run second = run({copy});
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.out, first.out);
        QVERIFY(!QDir(dir_.filePath("TallykeepBackup")).exists()); // no backups for a copy
    }

    void readsTheLegacyFormat() {
        const Run r = run({QStringLiteral(TALLYKEEP_TEST_DATA "/legacy_full.xml")});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QJsonObject root = QJsonDocument::fromJson(r.out).object();
        QVERIFY(root["version"].isNull());
        QCOMPARE(root["items"].toArray()[0].toObject()["id"].toInt(), 1);
        QCOMPARE(root["transactions"].toArray().size(), 5);
    }

    void corruptPartEndsPromptly() {
        // One flipped byte in a sheet's compressed data once made the reader spin for ever.
        // Flips in the first bytes of the sheet's data keep the deflate stream going to the
        // end, where the CRC then fails.
        auto b = richBudget();
        const QString good = dir_.filePath("good.xlsx");
        QCOMPARE(writeWorkbookReplacing(good, *b, b->topLevelItemsForSave()), 0);
        const QString file = dir_.filePath("flipped.xlsx");
        for (qint64 offset = 0; offset < 64; offset += 8) {
            QFile::remove(file);
            QVERIFY(QFile::copy(good, file));
            QVERIFY(flipCompressedByte(file, "xl/worksheets/sheet5.xml", offset) > offset);
            const Run r = run({file}, 10000);
            QVERIFY2(r.exitCode == 1, qPrintable(QStringLiteral("flipped at %1").arg(offset)));
            QVERIFY(r.out.isEmpty());
        }
    }

    // Short of memory at any point of reading a big workbook (the inflated sheet, the cells on
    // the reading threads, the budget, the output), the command says so; it is never killed.
    void shortOfMemoryIsAnErrorNotACrash() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer's shadow memory does not fit in a limited address space");
#endif
        const QString prlimit = QStandardPaths::findExecutable(QStringLiteral("prlimit"));
        if (prlimit.isEmpty())
            QSKIP("prlimit is not installed");
        auto b = richBudget();
        for (int i = 0; i < 30000; ++i)
            createTransaction(*b, TransactionType::Expense, -100 - i, 0, kNoId, kChargesEnvelopeId,
                              QStringLiteral("payee %1").arg(i % 500),
                              QStringLiteral("memo %1").arg(i),
                              date(2020 + i % 5, 1 + i % 12, 1 + i % 28));
        const QString file = dir_.filePath("big.xlsx");
        QCOMPARE(writeWorkbookReplacing(file, *b, b->topLevelItemsForSave()), 0);
        // Saving a copy too: a save that runs out of memory leaves no half-written file.
        const QString copy = dir_.filePath("copy.xlsx");
        const QString saving = dir_.filePath(".copy.xlsx.saving");
        int refused = 0;
        for (int mib = 40; mib <= 400; mib += 20) {
            const QString limit = QStringLiteral("--as=%1").arg(qint64(mib) << 20);
            QProcess p;
            QStringList args = {limit, QStringLiteral(TALLYKEEP_EXPORT_COMMAND), file};
            if (mib % 40 == 0)
                args << QStringLiteral("--save") << copy;
            p.start(prlimit, args);
            QVERIFY(p.waitForFinished(60000));
            QVERIFY2(!QFile::exists(saving), qPrintable(QString::number(mib)));
            const QByteArray err = p.readAllStandardError();
            QVERIFY2(p.exitStatus() == QProcess::NormalExit,
                     qPrintable(QStringLiteral("%1 MiB: %2").arg(mib).arg(QString::fromUtf8(err))));
            if (err.contains("error while loading shared libraries"))
                continue; // too little for the program to start at all
            if (p.exitCode() != 0) {
                ++refused;
                QVERIFY2(err.contains("memory") || err.contains("Memory"), err.constData());
            }
        }
        QVERIFY(refused > 0); // the sweep reached limits the reading does not fit in
    }

    void refusesWhatItCannotLoad_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("broken workbook") << QStringList{"broken.xlsx"} << QByteArray("garbage");
        QTest::newRow("broken legacy") << QStringList{"broken.xml"} << QByteArray("<unclosed");
        QTest::newRow("missing") << QStringList{"absent.xlsx"} << QByteArray();
        QTest::newRow("no arguments") << QStringList{} << QByteArray();
        QTest::newRow("--save without a name") << QStringList{"x.xlsx", "--save"} << QByteArray();
    }

    void refusesWhatItCannotLoad() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, content);
        if (!content.isEmpty()) {
            QFile f(dir_.filePath(args[0]));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        if (!args.isEmpty())
            args[0] = dir_.filePath(args[0]);
        const Run r = run(args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY(!r.err.isEmpty());
    }
};

QTEST_GUILESS_MAIN(ExportTest)
#include "test_export.moc"
