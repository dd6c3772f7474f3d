// QIF statements: which lines make a record, how values are decoded, dates in both day/month
// orders, and files that are missing, huge or hostile.

#include "import/qifreader.h"
#include "statementskips.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using Records = std::vector<ImportRecord>;

class TestQif : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void records_data();
    void records();
    void dates_data();
    void dates();
    void sampleStatementFile();
    void statementSet_data();
    void statementSet();
    void failuresLeaveListEmpty_data();
    void failuresLeaveListEmpty();
    void longPayeeIsCut();
    void hugeGarbageFile();
    void tooManyTransactionsRefused();
    void randomBytesNeverCrash();
};

// "payee|cents|yyyy-mm-dd" per expected record.
void TestQif::records_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("expected");
    const QString walmart = "WALMART #123|-4567|2024-12-15";
    QTest::newRow("one transaction")
        << QByteArray("!Type:Bank\nD12/15/2024\nT-45.67\nPWALMART #123\n^\n")
        << QStringList{walmart};
    QTest::newRow("field order does not matter")
        << QByteArray("PWALMART #123\nT-45.67\nD12/15/2024\n^\n") << QStringList{walmart};
    QTest::newRow("CR LF endings")
        << QByteArray("D12/15/2024\r\nT-45.67\r\nPWALMART #123\r\n") << QStringList{walmart};
    QTest::newRow("CR endings and blank lines")
        << QByteArray("\r\rD12/15/2024\r\r\rT-45.67\rPWALMART #123\r") << QStringList{walmart};
    QTest::newRow("lower-case tags")
        << QByteArray("d12/15/2024\nt-45.67\npWALMART #123\n") << QStringList{walmart};
    QTest::newRow("reserved characters")
        << QByteArray("D12/15/2024\nT-1\nPAMAZON.COM*AB12C <x>:\"\\/|?\n")
        << QStringList{"AMAZON.COM_AB12C _x_______|-100|2024-12-15"};
    QTest::newRow("grouping comma")
        << QByteArray("D1/2/2024\nT1,234.50\nPA\n") << QStringList{"A|123450|2024-01-02"};
    QTest::newRow("half") << QByteArray("D1/2/2024\nT-0.5\nPA\n")
                          << QStringList{"A|-50|2024-01-02"};
    QTest::newRow("third decimal dropped")
        << QByteArray("D1/2/2024\nT12.345\nPA\n") << QStringList{"A|1234|2024-01-02"};
    QTest::newRow("absurd amount clamped")
        << QByteArray("D1/2/2024\nT-99999999999999999999.99\nPA\n")
        << QStringList{"A|-2147483648|2024-01-02"};
    QTest::newRow("record end drops a transaction without amount")
        << QByteArray("D1/1/2024\nPFIRST\nT0.00\n^\nD1/5/2024\nT-2.00\nPSECOND\n^\n")
        << QStringList{"SECOND|-200|2024-01-05"};
    QTest::newRow("without record ends fields carry over")
        << QByteArray("D1/1/2024\nPFIRST\nT0.00\nD1/5/2024\nT-2.00\nPSECOND\n")
        << QStringList{"FIRST|-200|2024-01-05"};
    QTest::newRow("last line without break still counts")
        << QByteArray("D1/2/2024\nT-1\nPKEPT\n^\nD1/3/2024\nT-2\nPLAST")
        << QStringList{"KEPT|-100|2024-01-02", "LAST|-200|2024-01-03"};
    QTest::newRow("final caret without break")
        << QByteArray("D1/2/2024\nT-1\nPKEPT\n^") << QStringList{"KEPT|-100|2024-01-02"};
    QTest::newRow("unreadable date left out, never 1899")
        << QByteArray("Dsoon\nT-1\nPX\n^\nD1/2/2024\nT-2\nPY\n^\n")
        << QStringList{"Y|-200|2024-01-02"};
    QTest::newRow("apostrophe year")
        << QByteArray("D12/15' 4\nT-1\nPX\n") << QStringList{"X|-100|2004-12-15"};
    QTest::newRow("apostrophe between day and two-digit year")
        << QByteArray("D1/15'10\nT-1\nPX\n") << QStringList{"X|-100|2010-01-15"};
    QTest::newRow("apostrophe with padded day")
        << QByteArray("D1/ 5'24\nT-1\nPX\n") << QStringList{"X|-100|2024-01-05"};
    QTest::newRow("UTF-8 payee") << QByteArray("D1/2/2024\nT-1\nPCaf\xc3\xa9 \xe2\x82\xac\n")
                                 << QStringList{QString::fromUtf8(
                                        "Caf\xc3\xa9 \xe2\x82\xac|-100|2024-01-02")};
    // Older personal-finance programs write Windows-1252, which is no valid UTF-8.
    QTest::newRow("Windows-1252 payee")
        << QByteArray("D1/2/2024\nT-1\nPCaf\xe9 \x80 M\xfcller\n")
        << QStringList{QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac M\xc3\xbcller|-100|2024-01-02")};
    QTest::newRow("zero byte ends the input")
        << QByteArray("D1/2/2024\nT-1\nPA\n^\nD1/3/2024\nT-2\n\0PB\n", 38)
        << QStringList{"A|-100|2024-01-02", "|-200|2024-01-03"};
    QTest::newRow("zero byte ends the last line")
        << QByteArray("D1/2/2024\nT-1\nPA\0PB\n", 20) << QStringList{"A|-100|2024-01-02"};
    QTest::newRow("empty") << QByteArray() << QStringList{};
    QTest::newRow("starts with zero byte")
        << QByteArray("\0D1/2/2024\nT-1\nPA\n", 18) << QStringList{};
    QTest::newRow("other tags ignored")
        << QByteArray("!Type:CCard\nD1/2/2024\nU-1.00\nN12\nMmemo\nLcat\nCX\nT-1\nPA\n")
        << QStringList{"A|-100|2024-01-02"};
    QTest::newRow("empty payee line ends at the caret")
        << QByteArray("D1/2/2024\nT-1\nP\n^\n") << QStringList{"|-100|2024-01-02"};
    QTest::newRow("transfer without payee takes its memo")
        << QByteArray("D1/2/2024\nMto savings\nT-500.00\nL[Savings]\n^\n")
        << QStringList{"to savings|-50000|2024-01-02"};
    QTest::newRow("payee wins over memo")
        << QByteArray("D1/2/2024\nMmemo\nT-5\nPSHOP\n^\n") << QStringList{"SHOP|-500|2024-01-02"};
    QTest::newRow("last record without caret or payee")
        << QByteArray("D1/2/2024\nT-5\nN101") << QStringList{"|-500|2024-01-02"};
    QTest::newRow("day-first file in a US locale")
        << QByteArray("D11/09/2024\nT-1\nPA\n^\nD13/09/2024\nT-2\nPB\n^\n")
        << QStringList{"A|-100|2024-09-11", "B|-200|2024-09-13"};
    QTest::newRow("all dates fit both orders: the locale's")
        << QByteArray("D11/09/2024\nT-1\nPA\n^\nD01/02/2024\nT-2\nPB\n^\n")
        << QStringList{"A|-100|2024-11-09", "B|-200|2024-01-02"};
    QTest::newRow("decimal comma")
        << QByteArray("D1/2/2024\nT-12,50\nPA\n^\nD1/2/2024\nT1.234,56\nPB\n^\n")
        << QStringList{"A|-1250|2024-01-02", "B|123456|2024-01-02"};
    QTest::newRow("category list is no transactions")
        << QByteArray("!Type:Cat\nNFood\nD01/02/2024\nT\n^\n!Type:Bank\nD1/3/2024\nT-1\nPA\n^\n")
        << QStringList{"A|-100|2024-01-03"};
    QTest::newRow("byte order mark before a list")
        << QByteArray("\xEF\xBB\xBF!Type:Memorized\nD1/2/2024\nT-5\nPRENT\n^\n"
                      "!Type:Bank\nD1/3/2024\nT-1\nPA\n^\n")
        << QStringList{"A|-100|2024-01-03"};
}

void TestQif::records() {
    QFETCH(QByteArray, input);
    QFETCH(QStringList, expected);
    Records records(3); // emptied first
    QCOMPARE(readQifBytes(input, records), 0u);
    QStringList got;
    for (const ImportRecord& r : records) {
        got << QStringLiteral("%1|%2|%3-%4-%5")
                   .arg(r.incomingPayee)
                   .arg(r.amount)
                   .arg(r.date.year, 4, 10, QLatin1Char('0'))
                   .arg(r.date.month, 2, 10, QLatin1Char('0'))
                   .arg(r.date.day, 2, 10, QLatin1Char('0'));
        QVERIFY(r.mappedPayee.isEmpty());
        QVERIFY(r.matchString.isEmpty());
        QCOMPARE(r.envelopeId, kNoId);
        QCOMPARE(r.date.hour + r.date.minute + r.date.second, 0);
    }
    QCOMPARE(got, expected);
}

void TestQif::dates_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // yyyy-MM-dd or "" for rejected
    QTest::newRow("US four-digit") << "en_US"
                                   << "12/15/2024"
                                   << "2024-12-15";
    QTest::newRow("US two-digit") << "en_US"
                                  << "12/15/24"
                                  << "2024-12-15";
    QTest::newRow("window 29") << "en_US"
                               << "1/2/29"
                               << "2029-01-02";
    QTest::newRow("window 30") << "en_US"
                               << "1/2/30"
                               << "1930-01-02";
    QTest::newRow("time ignored") << "en_US"
                                  << "12/15/2024 10:30:00"
                                  << "2024-12-15";
    QTest::newRow("padded") << "en_US"
                            << " 1/ 5/2024"
                            << "2024-01-05";
    QTest::newRow("dashes") << "en_US"
                            << "12-15-2024"
                            << "2024-12-15";
    QTest::newRow("year first") << "en_US"
                                << "2024/12/15"
                                << "2024-12-15";
    QTest::newRow("US rejects day first") << "en_US"
                                          << "15/12/2024"
                                          << "";
    QTest::newRow("GB day first") << "en_GB"
                                  << "15/12/2024"
                                  << "2024-12-15";
    QTest::newRow("GB two-digit") << "en_GB"
                                  << "05/01/99"
                                  << "1999-01-05";
    QTest::newRow("GB rejects month first") << "en_GB"
                                            << "12/15/2024"
                                            << "";
    QTest::newRow("no such day") << "en_US"
                                 << "2/30/2024"
                                 << "";
    QTest::newRow("leap day") << "en_US"
                              << "2/29/2024"
                              << "2024-02-29";
    QTest::newRow("mixed separators") << "en_US"
                                      << "12/15-2024"
                                      << "";
    QTest::newRow("no year") << "en_US"
                             << "12/15"
                             << "";
    QTest::newRow("three-digit year") << "en_US"
                                      << "12/15/202"
                                      << "";
    QTest::newRow("words") << "en_US"
                           << "yesterday"
                           << "";
    QTest::newRow("empty") << "en_US"
                           << ""
                           << "";
    QTest::newRow("huge numbers") << "en_US"
                                  << "99999999/99999999/99999999"
                                  << "";
}

void TestQif::dates() {
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    const DateTime dt = parseQifDate(text);
    const QString got = dt.isSet() ? QStringLiteral("%1-%2-%3")
                                         .arg(dt.year, 4, 10, QLatin1Char('0'))
                                         .arg(dt.month, 2, 10, QLatin1Char('0'))
                                         .arg(dt.day, 2, 10, QLatin1Char('0'))
                                   : QString();
    QCOMPARE(got, expected);
}

void TestQif::sampleStatementFile() {
    Records records;
    QCOMPARE(readQifFile(QStringLiteral(TALLYKEEP_TEST_DATA "/statement.qif"), records), 0u);
    QCOMPARE(int(records.size()), 5);
    QCOMPARE(records[0].incomingPayee, QStringLiteral("WALMART #123"));
    QCOMPARE(records[3].incomingPayee, QStringLiteral("AMAZON.COM_AB12C"));
    QCOMPARE(records[2].amount, 150000);
    QCOMPARE(records[4].date.day, 12);
}

// Statements as banks and other programs write them, each beside the rows it must give. A
// file reads the same in every locale: the day/month order comes from the file's dates.
void TestQif::statementSet_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("locale");
    const QDir folder(QStringLiteral(TALLYKEEP_TEST_DATA "/statements"));
    const QStringList files = folder.entryList({QStringLiteral("*.qif")}, QDir::Files);
    QVERIFY(files.size() >= 5);
    for (const QString& file : files)
        for (const char* locale : {"en_US", "de_DE", "C", "sv_SE", "fr_FR"})
            QTest::newRow(qPrintable(file + " " + locale)) << file.chopped(4) << QString(locale);
}

void TestQif::statementSet() {
    QFETCH(QString, name);
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    const QString base = QStringLiteral(TALLYKEEP_TEST_DATA "/statements/") + name;
    QFile expectedFile(base + ".expected");
    QVERIFY(expectedFile.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList expectedRows, expectedSkips;
    for (const QString& line : QString::fromUtf8(expectedFile.readAll()).split(u'\n')) {
        // The balance change is the import command's to check.
        if (line.startsWith(u'#') || line.isEmpty() || line.startsWith(QLatin1String("balance ")) ||
            line.startsWith(QLatin1String("not imported ")))
            continue;
        (line.startsWith(QLatin1String("skipped ")) ? expectedSkips : expectedRows) << line;
    }

    Records records;
    StatementSkips skips;
    QCOMPARE(readQifFile(base + ".qif", records, &skips), 0u);
    QStringList rows;
    for (const ImportRecord& r : records)
        rows << QStringLiteral("%1-%2-%3|%4|%5")
                    .arg(r.date.year, 4, 10, QLatin1Char('0'))
                    .arg(r.date.month, 2, 10, QLatin1Char('0'))
                    .arg(r.date.day, 2, 10, QLatin1Char('0'))
                    .arg(r.amount)
                    .arg(r.incomingPayee);
    QCOMPARE(rows, expectedRows);
    QCOMPARE(skippedLines(skips), expectedSkips);
}

void TestQif::failuresLeaveListEmpty_data() {
    QTest::addColumn<QString>("which");
    QTest::addColumn<quint32>("status");
    QTest::newRow("missing") << "missing" << quint32(ENOENT);
    QTest::newRow("folder") << "folder" << quint32(EISDIR);
    QTest::newRow("empty path") << "" << quint32(ENOENT);
}

void TestQif::failuresLeaveListEmpty() {
    QFETCH(QString, which);
    QFETCH(quint32, status);
    QTemporaryDir dir;
    const QString path = which.isEmpty()     ? QString()
                         : which == "folder" ? dir.path()
                                             : dir.filePath("nothing.qif");
    Records records(2);
    QCOMPARE(readQifFile(path, records), status);
    QVERIFY(records.empty());
}

void TestQif::longPayeeIsCut() {
    QByteArray input = "D1/2/2024\nT-1\nP";
    input += QByteArray(5000, 'x') + "\n";
    // A payee of four-byte characters: cut on a character boundary.
    input += "D1/3/2024\nT-2\nP";
    for (int i = 0; i < 2000; ++i)
        input += "\xf0\x9f\x92\xb3";
    input += "\n";
    Records records;
    QCOMPARE(readQifBytes(input, records), 0u);
    QCOMPARE(int(records.size()), 2);
    QCOMPARE(records[0].incomingPayee, QString(kMaxQifValueLength, QLatin1Char('x')));
    const QString cards = records[1].incomingPayee;
    QCOMPARE(cards.size(), kMaxQifValueLength - 1);
    QVERIFY(!cards.back().isHighSurrogate());
    QCOMPARE(cards.toUcs4().count(0x1F4B3), (kMaxQifValueLength - 1) / 2);
}

void TestQif::hugeGarbageFile() {
    // 50 MB of lines that look nearly right: read in pieces, nothing comes of them.
    QTemporaryDir dir;
    const QString path = dir.filePath("big.qif");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray block;
    while (block.size() < (1 << 20))
        block += "D13/45/2024\nT0.00\nX" + QByteArray(300, 'y') + "\n";
    block.truncate(1 << 20);
    block.back() = '\n';
    for (int i = 0; i < 50; ++i)
        QCOMPARE(file.write(block), qint64(block.size()));
    // One line longer than any buffer at the end, then one transaction.
    QCOMPARE(file.write(QByteArray(3 << 20, 'M')), qint64(3 << 20));
    file.write("\nD1/2/2024\nT-1\nPEND\n");
    file.close();

    QElapsedTimer timer;
    timer.start();
    Records records;
    QCOMPARE(readQifFile(path, records), 0u);
    QCOMPARE(int(records.size()), 1);
    QCOMPARE(records[0].incomingPayee, QStringLiteral("END"));
    qInfo("53 MB statement read in %lld ms", timer.elapsed());
}

void TestQif::tooManyTransactionsRefused() {
    QByteArray input;
    for (int i = 0; i <= kMaxQifRecords; ++i)
        input += "D1/2/2024\nT-1\nPSHOP\n";
    Records records(1);
    QCOMPARE(readQifBytes(input, records), quint32(EFBIG));
    QVERIFY(records.empty());

    input.truncate(input.size() - qsizetype(strlen("D1/2/2024\nT-1\nPSHOP\n")));
    QCOMPARE(readQifBytes(input, records), 0u);
    QCOMPARE(int(records.size()), kMaxQifRecords);
}

void TestQif::randomBytesNeverCrash() {
    QRandomGenerator random(20241215);
    for (int round = 0; round < 50; ++round) {
        QByteArray input(4096, Qt::Uninitialized);
        for (char& c : input) {
            c = char(random.bounded(256));
            if (c == '\0')
                c = '\n';
        }
        Records records;
        QCOMPARE(readQifBytes(input, records), 0u);
        for (const ImportRecord& r : records) {
            QVERIFY(r.amount != 0);
            QVERIFY(r.date.isSet());
            QVERIFY(r.incomingPayee.size() <= kMaxQifValueLength);
        }
    }
}

QTEST_GUILESS_MAIN(TestQif)
#include "test_qif.moc"
