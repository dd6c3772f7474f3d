// Statements in every form banks give (QIF, OFX, QFX, CSV): read by content whatever the file
// is called, each beside the rows it must give, in any locale; and broken, cut-off and
// oversized files.

#include "import/csvreader.h"
#include "import/csvrules.h"
#include "import/ofxreader.h"
#include "import/statementreader.h"
#include "statementskips.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

namespace {
const QString kFolder = QStringLiteral(TALLYKEEP_TEST_DATA "/statements/");

QByteArray contents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

QString dateText(const DateTime& d) {
    return QStringLiteral("%1-%2-%3")
        .arg(d.year, 4, 10, QLatin1Char('0'))
        .arg(d.month, 2, 10, QLatin1Char('0'))
        .arg(d.day, 2, 10, QLatin1Char('0'));
}

// "date|cents|payee|memo|bank id", cut to the fields the expected line has.
QStringList rowsOf(const StatementRead& read, int fields) {
    QStringList rows;
    for (const ImportRecord& r : read.records) {
        const QStringList all = {dateText(r.date), QString::number(r.amount), r.incomingPayee,
                                 r.memo, r.bankId};
        rows << QStringList(all.mid(0, fields)).join(u'|');
    }
    return rows;
}

} // namespace

class TestStatements : public QObject {
    Q_OBJECT

private slots:
    void statementSet_data();
    void statementSet();
    void formatByContentNotName_data();
    void formatByContentNotName();
    void brokenStatements_data();
    void brokenStatements();
    void everyCutOfAStatementIsSafe_data();
    void everyCutOfAStatementIsSafe();
    void csvLayouts_data();
    void csvLayouts();
    void csvColumnsText();
    void headerRoles_data();
    void headerRoles();
    void valuesConfirmRoles_data();
    void valuesConfirmRoles();
    void csvOutOrInMarks();
    void forcedDateOrder_data();
    void forcedDateOrder();
    void tooManyRows_data();
    void tooManyRows();
    void qifMemoStaysWithItsRecord();
    void ofxParseThatHangsIsStopped();
};

void TestStatements::statementSet_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("locale");
    const QStringList files =
        QDir(kFolder).entryList({QStringLiteral("*.qif"), QStringLiteral("*.ofx"),
                                 QStringLiteral("*.qfx"), QStringLiteral("*.csv")},
                                QDir::Files);
    QVERIFY(files.size() >= 24);
    for (const QString& file : files)
        for (const char* locale : {"en_US", "de_DE", "fr_FR"})
            QTest::newRow(qPrintable(file + " " + locale)) << file << QString(locale);
}

void TestStatements::statementSet() {
    QFETCH(QString, file);
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    const QString base = kFolder + file.left(file.lastIndexOf(u'.'));
    QString format = QStringLiteral("qif");
    QStringList expectedRows, expectedSkips;
    int fields = 3;
    bool noTransactions = false;
    StatementOptions options;
    for (const QString& line : QString::fromUtf8(contents(base + ".expected")).split(u'\n')) {
        // The account and the balance change are the import command's (tools test).
        if (line.startsWith(u'#') || line.isEmpty() || line.startsWith(QLatin1String("balance ")) ||
            line.startsWith(QLatin1String("not imported ")) ||
            line.startsWith(QLatin1String("account ")))
            continue;
        if (line == QLatin1String("no transactions"))
            noTransactions = true;
        else if (line.startsWith(QLatin1String("statement ")))
            options.statement = line.mid(10).toInt() - 1; // of an OFX file with several
        else if (line.startsWith(QLatin1String("format ")))
            format = line.mid(7);
        else if (line.startsWith(QLatin1String("skipped ")))
            expectedSkips << line;
        else
            expectedRows << line;
    }
    if (!expectedRows.isEmpty())
        fields = int(expectedRows.first().count(u'|')) + 1;

    const StatementRead read = readStatementFile(kFolder + file, options);
    QCOMPARE(statementFormatName(read.format), format);
    if (noTransactions) {
        QVERIFY(guessCsvColumns(contents(kFolder + file)).noTransactions);
        QVERIFY(read.records.empty());
        return;
    }
    QCOMPARE(read.status, 0u);
    QCOMPARE(rowsOf(read, fields), expectedRows);
    QCOMPARE(skippedLines(read.skips), expectedSkips);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

// Banks and browsers name downloads carelessly: the content decides.
void TestStatements::formatByContentNotName_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("savedAs");
    QTest::addColumn<QString>("format");
    QTest::newRow("OFX named .csv") << "us_bank_sgml.ofx"
                                    << "download.csv"
                                    << "ofx";
    QTest::newRow("XML OFX named .qif") << "us_bank_xml.ofx"
                                        << "export.qif"
                                        << "ofx";
    QTest::newRow("CSV named .qif") << "german_giro.csv"
                                    << "umsaetze.qif"
                                    << "csv";
    QTest::newRow("CSV named .ofx") << "us_bank.csv"
                                    << "stmt.ofx"
                                    << "csv";
    QTest::newRow("QIF named .csv") << "us_checking.qif"
                                    << "history.csv"
                                    << "qif";
    QTest::newRow("QFX without a name") << "checking_download.qfx"
                                        << "statement"
                                        << "ofx";
}

void TestStatements::formatByContentNotName() {
    QFETCH(QString, file);
    QFETCH(QString, savedAs);
    QFETCH(QString, format);
    QTemporaryDir dir;
    QVERIFY(QFile::copy(kFolder + file, dir.filePath(savedAs)));
    const StatementRead read = readStatementFile(dir.filePath(savedAs));
    QCOMPARE(read.status, 0u);
    QCOMPARE(statementFormatName(read.format), format);
    QVERIFY(!read.records.empty());
}

// Whatever arrives, the answer is a status and an empty list, never a crash or rows made up.
void TestStatements::brokenStatements_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint32>("status");
    const QByteArray sgml = contents(kFolder + "us_bank_sgml.ofx");
    const QByteArray xml = contents(kFolder + "us_bank_xml.ofx");
    QTest::newRow("empty") << QByteArray() << quint32(EINVAL);
    QTest::newRow("blank lines") << QByteArray("\r\n\n  \n") << quint32(EINVAL);
    QTest::newRow("a picture") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
                               << quint32(EINVAL);
    QTest::newRow("QIF without a header or record ends")
        << QByteArray("D1/2/2024\nT-1\nCX\nPX\n") << quint32(0);
    QTest::newRow("a letter") << QByteArray("Dear bank,\nthank you.\n") << quint32(EINVAL);
    QTest::newRow("OFX cut in half") << sgml.left(sgml.size() / 2) << quint32(EINVAL);
    QTest::newRow("XML OFX cut before its end") << xml.chopped(8) << quint32(EINVAL);
    QTest::newRow("OFX header only") << sgml.left(sgml.indexOf("<OFX>")) << quint32(EINVAL);
    QByteArray nested = "OFXHEADER:100\r\n\r\n<OFX>";
    for (int i = 0; i < 300; ++i)
        nested += "<STMTTRN><TRNAMT>1";
    QTest::newRow("OFX of endless open elements") << nested + "</OFX>" << quint32(EINVAL);
    QByteArray zeros = sgml;
    zeros.replace(zeros.indexOf("<BANKTRANLIST>"), 200, QByteArray(200, '\0'));
    QTest::newRow("OFX with zero bytes inside") << zeros << quint32(0);
}

void TestStatements::brokenStatements() {
    QFETCH(QByteArray, bytes);
    QFETCH(quint32, status);
    const StatementRead read = readStatement(bytes);
    QCOMPARE(read.status, status);
    for (const ImportRecord& r : read.records) {
        QVERIFY(r.amount != 0);
        QVERIFY(r.date.isSet());
    }
    if (status != 0)
        QVERIFY(read.records.empty());
}

// A download cut off anywhere: OFX is refused whole (libofx would read part of it without a
// word); CSV keeps the whole rows before the cut.
void TestStatements::everyCutOfAStatementIsSafe_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("sgml") << "us_bank_sgml.ofx";
    QTest::newRow("card") << "visa_card.ofx";
    QTest::newRow("csv") << "german_giro.csv";
}

void TestStatements::everyCutOfAStatementIsSafe() {
    QFETCH(QString, file);
    const QByteArray whole = contents(kFolder + file);
    const StatementRead full = readStatement(whole);
    QCOMPARE(full.status, 0u);
    const int step = file.endsWith(QLatin1String(".csv")) ? 7 : 97;
    for (int cut = 1; cut < whole.size() - 1; cut += step) {
        const QByteArray part = whole.left(cut);
        const StatementRead read = readStatement(part);
        if (read.format == StatementFormat::Ofx) {
            QCOMPARE(read.status, quint32(EINVAL));
            continue;
        }
        QVERIFY2(read.records.size() <= full.records.size(), qPrintable(QString::number(cut)));
        for (size_t i = 0; i + 1 < read.records.size(); ++i) {
            QCOMPARE(read.records[i].amount, full.records[i].amount);
            QCOMPARE(read.records[i].incomingPayee, full.records[i].incomingPayee);
        }
    }
}

// The proposal for layouts the sample statements do not show.
void TestStatements::csvLayouts_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("columns");
    QTest::addColumn<QString>("firstRow");
    QTest::newRow("French, UTF-8 with a byte order mark, Débit/Crédit")
        << QByteArray("\xEF\xBB\xBF"
                      "Date;Libellé;Débit;Crédit\n"
                      "03/01/2025;PRLV SEPA EDF;-54,20;\n"
                      "15/01/2025;VIR SALAIRE;;2 100,00\n")
        << "delimiter=semicolon header=yes dates=dmy decimal=comma date=0 payee=1 memo=-1 "
           "amount=-1 debit=2 credit=3"
        << "2025-01-03|-5420|PRLV SEPA EDF";
    QTest::newRow("tabs, no header, year first")
        << QByteArray("2025-01-03\tCOFFEE BAR\t-4.50\tcard\n"
                      "2025-01-04\tBOOK SHOP\t-19.99\tcard\n"
                      "2025-01-05\tREFUND\t19.99\tcard\n")
        << "delimiter=tab header=no dates=mdy decimal=point date=0 payee=1 memo=3 amount=2 "
           "debit=-1 credit=-1"
        << "2025-01-03|-450|COFFEE BAR";
    QTest::newRow("Dutch, amount first, quoted everything")
        << QByteArray("\"Bedrag (EUR)\",\"Datum\",\"Naam / Omschrijving\",\"Mededelingen\"\r\n"
                      "\"-12.30\",\"20250107\",\"Albert Heijn 1234\",\"Pasvolgnr 003\"\r\n")
        << "delimiter=comma header=yes dates=mdy decimal=point date=1 payee=2 memo=3 amount=0 "
           "debit=-1 credit=-1"
        << "2025-01-07|-1230|Albert Heijn 1234";
    QTest::newRow("German, account details above the table")
        << QByteArray("\"Kontonummer:\";\"DE12 1203 0000 1234 5678 90 / Girokonto\";\n"
                      "\n"
                      "\"Von:\";\"01.01.2025\";\n"
                      "\"Bis:\";\"31.01.2025\";\n"
                      "\"Kontostand vom 31.01.2025:\";\"1.234,56 EUR\";\n"
                      "\n"
                      "\"Buchungstag\";\"Wertstellung\";\"Buchungstext\";"
                      "\"Auftraggeber / Begünstigter\";\"Verwendungszweck\";\"Betrag (EUR)\";\n"
                      "\"15.01.2025\";\"15.01.2025\";\"Lastschrift\";\"Stadtwerke\";"
                      "\"Strom Januar\";\"-54,20\";\n"
                      "\"16.01.2025\";\"16.01.2025\";\"Gutschrift\";\"Arbeitgeber AG\";"
                      "\"Gehalt\";\"2.100,00\";\n")
        // Blank lines are no rows.
        << "delimiter=semicolon header=yes dates=dmy decimal=comma date=0 payee=3 memo=4 "
           "amount=5 debit=-1 credit=-1 skip=4"
        << "2025-01-15|-5420|Stadtwerke";
    QTest::newRow("a first transaction with its empty fields left off")
        << QByteArray("01/14/2025,Coffee,-4.50\n"
                      "01/15/2025,Gas Station,-40.00,fuel,Car\n"
                      "01/16/2025,Book,-12.00,gift,Fun\n")
        << "delimiter=comma header=no dates=mdy decimal=point date=0 payee=1 memo=3 amount=2 "
           "debit=-1 credit=-1"
        << "2025-01-14|-450|Coffee";
    QTest::newRow("money out in parentheses, header words in the data, no header")
        << QByteArray("01/14/2025,Mobile Deposit,(40.00)\n01/15/2025,Gas Station,100.00\n")
        << "delimiter=comma header=no dates=mdy decimal=point date=0 payee=1 memo=-1 amount=2 "
           "debit=-1 credit=-1"
        << "2025-01-14|-4000|Mobile Deposit";
}

void TestStatements::csvLayouts() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, columns);
    QFETCH(QString, firstRow);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const CsvColumns detected = detectCsvColumns(bytes);
    QCOMPARE(detected.toText(), columns);
    const StatementRead read = readStatement(bytes);
    QCOMPARE(read.status, 0u);
    QCOMPARE(read.format, StatementFormat::Csv);
    QVERIFY(!read.records.empty());
    QCOMPARE(rowsOf(read, 3).first(), firstRow);
}

Q_DECLARE_METATYPE(CsvRole)

// Header names as banks in seven languages write them, and the longer headers that hold a
// role's word without naming that role.
void TestStatements::headerRoles_data() {
    QTest::addColumn<QString>("header");
    QTest::addColumn<CsvRole>("role");
    const struct {
        const char* header;
        CsvRole role;
    } cases[] = {
        {"Transaction Date", CsvRole::Date},
        {"Buchungstag", CsvRole::Date},
        {"Date opération", CsvRole::Date},
        {"Transactiedatum", CsvRole::Date},
        {"Fecha Operación", CsvRole::Date},
        {"Data contabile", CsvRole::Date},
        {"Data Lançamento", CsvRole::Date},
        {"Betrag (EUR)", CsvRole::Amount},
        {"Amount in USD", CsvRole::Amount},
        {"Importe", CsvRole::Amount},
        {"Umsatz", CsvRole::Amount},
        {"Debit Amount", CsvRole::Debit},
        {"Credit Amount", CsvRole::Credit},
        {"Paid out", CsvRole::Debit},
        {"Money in", CsvRole::Credit},
        {"Soll", CsvRole::Debit},
        {"Af", CsvRole::Debit},
        {"Débit", CsvRole::Debit},
        {"Crédit", CsvRole::Credit},
        {"Af Bij", CsvRole::Sign},
        {"CreditDebet", CsvRole::Sign},
        {"Running Bal.", CsvRole::Balance},
        {"Saldo", CsvRole::Balance},
        {"Auftraggeber / Begünstigter", CsvRole::Payee},
        {"Naam / Omschrijving", CsvRole::Payee},
        {"Libellé", CsvRole::Payee},
        {"Verwendungszweck", CsvRole::Memo},
        {"Mededelingen", CsvRole::Memo},
        // A word inside a longer header that means something else.
        {"Account Name", CsvRole::Other},
        {"Shipping and Handling Amount", CsvRole::Other},
        {"Year to Date Fees", CsvRole::Other},
        {"Umsatz getätigt von", CsvRole::Other},
        {"Umsatz getaetigt von", CsvRole::Other},
        {"Local Currency Amount", CsvRole::Other},
        {"Card Number", CsvRole::Other},
        {"IBAN", CsvRole::Other},
        {"Datenschutz", CsvRole::None},
        {"Updated", CsvRole::None},
        {"Betragsart", CsvRole::None},
    };
    for (const auto& c : cases)
        QTest::newRow(c.header) << QString::fromUtf8(c.header) << c.role;
}

void TestStatements::headerRoles() {
    QFETCH(QString, header);
    QFETCH(CsvRole, role);
    QCOMPARE(headerRole(header), role);
}

// The header proposes, the values decide; a role nothing passes for stays empty.
void TestStatements::valuesConfirmRoles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("roles"); // date,payee,amount,debit,credit (0-based, -1 none)
    QTest::addColumn<bool>("noTransactions");
    QTest::newRow("an 'Amount' of IBANs is no amount; the balance is never it")
        << QByteArray("Date,Name,Amount,Balance\n"
                      "01/14/2025,A,DE89370400440532013000,10.00\n"
                      "01/15/2025,B,DE89370400440532013001,12.00\n")
        << "0,1,-1,-1,-1" << true;
    QTest::newRow("two unnamed money columns: no guess")
        << QByteArray("Date,Text,X,Y\n01/14/2025,A,-5.00,-7.00\n01/15/2025,B,6.00,9.00\n"
                      "01/16/2025,C,1.00,3.00\n")
        << "0,1,-1,-1,-1" << false;
    QTest::newRow("no header: the amount beside its running balance")
        << QByteArray("01/14/2025,A,1000.00,-5.00\n01/15/2025,B,1006.00,6.00\n"
                      "01/16/2025,C,1003.00,-3.00\n")
        << "0,1,3,-1,-1" << false;
    QTest::newRow("no header: ISINs and quantities beside the money")
        << QByteArray("01/14/2025,US0378331005,BUY APPLE,10,-1850.20\n"
                      "01/15/2025,US5949181045,BUY MSFT,3,-1210.55\n"
                      "01/21/2025,US0378331005,DIVIDEND,0,4.80\n")
        << "0,2,4,-1,-1" << false;
    QTest::newRow("no header: money out and in in turn")
        << QByteArray("14/01/2025;Baker;5,00;\n15/01/2025;Salary;;100,00\n"
                      "16/01/2025;Butcher;7,50;\n")
        << "0,1,-1,2,3" << false;
    // (The memo then stands in for the payee.)
    QTest::newRow("a payee column of numbers is no payee")
        << QByteArray("Date,Payee,Memo,Amount\n01/14/2025,123456,Coffee,-4.50\n"
                      "01/15/2025,123457,Books,-9.00\n")
        << "0,-1,3,-1,-1" << false;
}

void TestStatements::valuesConfirmRoles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, roles);
    QFETCH(bool, noTransactions);
    const CsvGuess guess = guessCsvColumns(bytes);
    const CsvColumns& c = guess.columns;
    QCOMPARE(QStringLiteral("%1,%2,%3,%4,%5")
                 .arg(c.dateColumn)
                 .arg(c.payeeColumn)
                 .arg(c.amountColumn)
                 .arg(c.debitColumn)
                 .arg(c.creditColumn),
             roles);
    QCOMPARE(guess.noTransactions, noTransactions);
    QCOMPARE(guess.missingRole().isEmpty(), c.usable());
}

void TestStatements::csvColumnsText() {
    CsvColumns c;
    c.delimiter = QLatin1Char('\t');
    c.headerRow = false;
    c.dateOrder = DateOrder::YearMonthDay;
    c.decimalComma = true;
    c.dateColumn = 3;
    c.debitColumn = 5;
    c.creditColumn = 6;
    c.memoColumn = 0;
    QCOMPARE(CsvColumns::fromText(c.toText()), std::optional<CsvColumns>(c));
    c.amountColumn = 1;
    c.signColumn = 2;
    c.skipRows = 4;
    QCOMPARE(CsvColumns::fromText(c.toText()), std::optional<CsvColumns>(c));
    // Kept in the budget file, so whatever stands there must not be taken for a mapping.
    for (const char* broken :
         {"", "delimiter=pipe date=0 amount=1", "date=0 amount=1",
          "delimiter=comma date=x amount=1", "delimiter=comma amount=1", "delimiter=comma date=0",
          "delimiter=comma date=99999 amount=1", "garbage"})
        QVERIFY2(!CsvColumns::fromText(QString::fromLatin1(broken)), broken);
}

// Banks that write every amount without a sign and say in a column of its own which way the
// money went: every amount read as money in would misstate the whole statement.
void TestStatements::csvOutOrInMarks() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QByteArray dutch =
        "\"Datum\",\"Naam / Omschrijving\",\"Rekening\",\"Tegenrekening\",\"Code\",\"Af Bij\","
        "\"Bedrag (EUR)\",\"Mutatiesoort\",\"Mededelingen\"\r\n"
        "\"20250107\",\"Albert Heijn 1234\",\"NL01INGB0001234567\",\"\",\"BA\",\"Af\",\"12,30\","
        "\"Betaalautomaat\",\"Pasvolgnr 003\"\r\n"
        "\"20250108\",\"Werkgever BV\",\"NL01INGB0001234567\",\"NL02RABO0123456789\",\"OV\","
        "\"Bij\",\"2.100,00\",\"Overschrijving\",\"Salaris januari\"\r\n";
    QCOMPARE(detectCsvColumns(dutch).toText(),
             QStringLiteral("delimiter=comma header=yes dates=mdy decimal=comma date=0 payee=1 "
                            "memo=8 amount=6 debit=-1 credit=-1 sign=5"));
    StatementRead read = readStatement(dutch);
    QCOMPARE(read.status, 0u);
    QCOMPARE(rowsOf(read, 4), (QStringList{"2025-01-07|-1230|Albert Heijn 1234|Pasvolgnr 003",
                                           "2025-01-08|210000|Werkgever BV|Salaris januari"}));

    // The mark wins over a sign; an amount without a known mark keeps its own.
    const QByteArray marked = "Date;D/C;Amount;Text\n"
                              "02.01.2025;D;5,00;out\n"
                              "03.01.2025; c ;-6,00;in\n"
                              "04.01.2025;S;7,00;soll\n"
                              "05.01.2025;?;-8,00;unknown\n"
                              "06.01.2025;;9,00;none\n";
    const CsvColumns columns = detectCsvColumns(marked);
    QCOMPARE(columns.signColumn, 1);
    QCOMPARE(columns.amountColumn, 2);
    read = readStatement(marked);
    QCOMPARE(read.status, 0u);
    QStringList amounts;
    for (const ImportRecord& r : read.records)
        amounts << QString::number(r.amount);
    QCOMPARE(amounts, (QStringList{"-500", "600", "-700", "-800", "900"}));
}

// The command-line import's --date-order wins over what the file's dates suggest.
void TestStatements::forcedDateOrder_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("forcedDayFirst");
    QTest::newRow("qif") << QByteArray("!Type:Bank\nD02/03/2025\nT-1.00\nPA\n^\n") << "2025-02-03"
                         << "2025-03-02";
    QTest::newRow("csv") << QByteArray("Date,Payee,Amount\n02/03/2025,A,-1.00\n") << "2025-02-03"
                         << "2025-03-02";
}

void TestStatements::forcedDateOrder() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, chosen);
    QFETCH(QString, forcedDayFirst);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    StatementRead read = readStatement(bytes);
    QCOMPARE(read.records.size(), size_t(1));
    QCOMPARE(dateText(read.records[0].date), chosen);
    StatementOptions options;
    options.dateOrder = DateOrder::DayMonthYear;
    read = readStatement(bytes, options);
    QCOMPARE(read.records.size(), size_t(1));
    QCOMPARE(dateText(read.records[0].date), forcedDayFirst);
}

void TestStatements::tooManyRows_data() {
    QTest::addColumn<QByteArray>("bytes");
    QByteArray csv = "Date,Payee,Amount\n";
    QByteArray ofx = "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\n\n<OFX><BANKMSGSRSV1><STMTTRNRS>"
                     "<STMTRS><CURDEF>USD<BANKACCTFROM><BANKID>1<ACCTID>2<ACCTTYPE>CHECKING"
                     "</BANKACCTFROM><BANKTRANLIST>";
    for (int i = 0; i <= kMaxQifRecords; ++i) {
        csv += "01/02/2025,A,-1.00\n";
        ofx += "<STMTTRN><TRNTYPE>DEBIT<DTPOSTED>20250102<TRNAMT>-1<FITID>" +
               QByteArray::number(i) + "<NAME>A</STMTTRN>\n";
    }
    ofx += "</BANKTRANLIST></STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>";
    QTest::newRow("csv") << csv;
    QTest::newRow("ofx") << ofx;
}

void TestStatements::tooManyRows() {
    QFETCH(QByteArray, bytes);
    const StatementRead read = readStatement(bytes);
    QCOMPARE(read.status, quint32(EFBIG));
    QVERIFY(read.records.empty());
}

// A QIF record is made as soon as its date, payee and amount are there; a memo line after
// them still belongs to it, and never to the next record.
void TestStatements::qifMemoStaysWithItsRecord() {
    const QByteArray qif = "!Type:Bank\nD01/02/2025\nMBefore\nT-1.00\nPA\n^\n"
                           "D01/03/2025\nT-2.00\nPB\nMAfter\n^\n"
                           "D01/04/2025\nT-3.00\nPC\n^\n";
    const StatementRead read = readStatement(qif);
    QCOMPARE(read.records.size(), size_t(3));
    QCOMPARE(read.records[0].memo, QStringLiteral("Before"));
    QCOMPARE(read.records[1].memo, QStringLiteral("After"));
    QCOMPARE(read.records[2].memo, QString());
}

// libofx takes minutes over some malformed files. The parse is stopped, nothing is left
// behind in the temporary folder, and the next statement reads as ever.
void TestStatements::ofxParseThatHangsIsStopped() {
    QByteArray endless = "OFXHEADER:100\n\n<OFX>";
    for (int i = 0; i < 20000; ++i)
        endless += "<STMTTRN><TRNAMT>1";
    endless += "</OFX>";
    QTemporaryDir temp;
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    std::vector<ImportRecord> records(1);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(readOfxBytes(endless, records, nullptr, 500), quint32(ETIMEDOUT));
    QVERIFY(clock.elapsed() < 10000);
    QVERIFY(records.empty());
    QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(readOfxBytes(contents(kFolder + "visa_card.ofx"), records), 0u);
    QCOMPARE(records.size(), size_t(4));
    QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    if (oldTemp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTemp);
}

QTEST_GUILESS_MAIN(TestStatements)
#include "test_statements.moc"
