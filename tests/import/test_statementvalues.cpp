// Values in statements other programs wrote: dates in every form and order banks use, the
// one order chosen for a whole file, amounts with a decimal comma, and the message that
// tells what was left out.

#include "import/statementvalues.h"

#include <QLocale>
#include <QTest>

Q_DECLARE_METATYPE(DateOrder)

class TestStatementValues : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void dates_data();
    void dates();
    void fileOrder_data();
    void fileOrder();
    void localeOrder_data();
    void localeOrder();
    void amounts_data();
    void amounts();
    void strictAmounts_data();
    void strictAmounts();
    void skippedMessage();
};

void TestStatementValues::dates_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<DateOrder>("order");
    QTest::addColumn<QString>("expected"); // yyyy-MM-dd, "" when not a date in that order
    const DateOrder mdy = DateOrder::MonthDayYear, dmy = DateOrder::DayMonthYear,
                    ymd = DateOrder::YearMonthDay;
    QTest::newRow("compact") << "20241215" << dmy << "2024-12-15";
    QTest::newRow("compact with time") << "20241215093000" << mdy << "2024-12-15";
    QTest::newRow("compact with zone") << "20241215093000.000[-5:EST]" << mdy << "2024-12-15";
    QTest::newRow("compact no such day") << "20240230" << mdy << "";
    QTest::newRow("compact nine digits") << "202412150" << mdy << "";
    QTest::newRow("iso dashes") << "2024-12-15" << mdy << "2024-12-15";
    QTest::newRow("iso with time") << "2024-12-15T10:30:00" << dmy << "2024-12-15";
    QTest::newRow("apostrophes") << "2024'12'15" << dmy << "2024-12-15";
    QTest::newRow("points") << "2024.12.15" << mdy << "2024-12-15";
    QTest::newRow("points and final point") << "2024.12.15." << mdy << "2024-12-15";
    QTest::newRow("month first") << "11/09/2024" << mdy << "2024-11-09";
    QTest::newRow("day first") << "11/09/2024" << dmy << "2024-09-11";
    QTest::newRow("day first points") << "15.12.2024" << dmy << "2024-12-15";
    QTest::newRow("day 15 cannot be a month") << "15/12/2024" << mdy << "";
    QTest::newRow("apostrophe year") << "1/15'10" << mdy << "2010-01-15";
    QTest::newRow("apostrophe and blank") << "12/15' 4" << mdy << "2004-12-15";
    QTest::newRow("two-digit year first") << "24/12/15" << ymd << "2024-12-15";
    QTest::newRow("mixed separators") << "12/15-2024" << mdy << "";
    QTest::newRow("no separator at all") << "12/152024" << mdy << "";
    QTest::newRow("three-digit year first") << "202/12/15" << ymd << "";
    QTest::newRow("year before 100") << "1/2/0024" << mdy << "";
    QTest::newRow("words") << "last Tuesday" << mdy << "";
    QTest::newRow("empty") << "" << dmy << "";
    // Month names, in whatever order the file's numbers go: the name says which is the month.
    QTest::newRow("English short, two-digit year") << "10 Feb 18" << mdy << "2018-02-10";
    QTest::newRow("dashes") << "03-Mar-2024" << mdy << "2024-03-03";
    QTest::newRow("German long, day with a point") << "3. März 2024" << mdy << "2024-03-03";
    QTest::newRow("German umlaut written out") << "28. Maerz 2024" << dmy << "2024-03-28";
    QTest::newRow("French short with a point") << "15 janv. 2024" << ymd << "2024-01-15";
    QTest::newRow("French accents") << "1 févr. 2024" << dmy << "2024-02-01";
    QTest::newRow("Dutch") << "5 mrt 2024" << dmy << "2024-03-05";
    QTest::newRow("Spanish short") << "07-ene-2024" << dmy << "2024-01-07";
    QTest::newRow("Italian long") << "12 dicembre 2023" << dmy << "2023-12-12";
    QTest::newRow("Portuguese") << "9 out 2024" << dmy << "2024-10-09";
    QTest::newRow("month first with a comma") << "March 3, 2024" << dmy << "2024-03-03";
    QTest::newRow("year first") << "2024-Mar-03" << dmy << "2024-03-03";
    QTest::newRow("with a time") << "10 Feb 2018 14:22" << dmy << "2018-02-10";
    QTest::newRow("no such month") << "10 Foo 2018" << dmy << "";
    QTest::newRow("no such day") << "30 Feb 2024" << dmy << "";
    // Nothing before 1900 is a statement date; 30 December 1899 would reload as the 31st.
    QTest::newRow("day zero of the serial days") << "12/30/1899" << mdy << "";
    QTest::newRow("1899 with a month name") << "31 Dec 1899" << dmy << "";
    QTest::newRow("first day read") << "1900-01-01" << dmy << "1900-01-01";
    QTest::newRow("last day read") << "9999-12-31" << dmy << "9999-12-31";
}

void TestStatementValues::dates() {
    QFETCH(QString, text);
    QFETCH(DateOrder, order);
    QFETCH(QString, expected);
    const QDate date = readStatementDate(text, order);
    QCOMPARE(date.isValid() ? date.toString(Qt::ISODate) : QString(), expected);
}

void TestStatementValues::fileOrder_data() {
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<DateOrder>("locale");
    QTest::addColumn<DateOrder>("expected");
    const DateOrder mdy = DateOrder::MonthDayYear, dmy = DateOrder::DayMonthYear,
                    ymd = DateOrder::YearMonthDay;
    const QStringList us{"11/09/2024", "12/15/2024"};
    const QStringList european{"11/09/2024", "15/12/2024"};
    const QStringList ambiguous{"11/09/2024", "01/02/2024"};
    QTest::newRow("US file, US locale") << us << mdy << mdy;
    QTest::newRow("US file, day-first locale") << us << dmy << mdy;
    QTest::newRow("US file, year-first locale") << us << ymd << mdy;
    QTest::newRow("European file, US locale") << european << mdy << dmy;
    QTest::newRow("European file, year-first locale") << european << ymd << dmy;
    QTest::newRow("both fit: the locale's") << ambiguous << dmy << dmy;
    QTest::newRow("both fit, US locale") << ambiguous << mdy << mdy;
    QTest::newRow("compact dates fit any") << QStringList{"20241215"} << ymd << ymd;
    QTest::newRow("none fits all: the most")
        << QStringList{"soon", "12/15/2024", "12/16/2024", "13/12/2024"} << dmy << mdy;
    QTest::newRow("none fits at all: the locale's") << QStringList{"soon"} << dmy << dmy;
    QTest::newRow("no dates") << QStringList{} << mdy << mdy;
}

void TestStatementValues::fileOrder() {
    QFETCH(QStringList, dates);
    QFETCH(DateOrder, locale);
    QFETCH(DateOrder, expected);
    QCOMPARE(chooseDateOrder(dates, locale), expected);
}

void TestStatementValues::localeOrder_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<DateOrder>("expected");
    QTest::newRow("en_US") << "en_US" << DateOrder::MonthDayYear;
    QTest::newRow("de_DE") << "de_DE" << DateOrder::DayMonthYear;
    QTest::newRow("en_GB") << "en_GB" << DateOrder::DayMonthYear;
    QTest::newRow("C") << "C" << DateOrder::DayMonthYear;
    QTest::newRow("sv_SE") << "sv_SE" << DateOrder::YearMonthDay;
    QTest::newRow("ja_JP") << "ja_JP" << DateOrder::YearMonthDay;
}

void TestStatementValues::localeOrder() {
    QFETCH(QString, locale);
    QFETCH(DateOrder, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(localeDateOrder(), expected);
}

void TestStatementValues::amounts_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    // The statement says what it means; the reader's locale changes nothing.
    for (const char* locale : {"en_US", "de_DE", "fr_FR"}) {
        const QString l = QString::fromLatin1(locale);
        QTest::newRow(qPrintable(l + " decimal comma")) << l << "-12,50" << -1250;
        QTest::newRow(qPrintable(l + " grouped decimal comma")) << l << "1.234,56" << 123456;
        QTest::newRow(qPrintable(l + " grouping comma")) << l << "1,234.56" << 123456;
        QTest::newRow(qPrintable(l + " dollar")) << l << "-$41.94" << -4194;
        QTest::newRow(qPrintable(l + " thousands only")) << l << "1,234" << 123400;
    }
    QTest::newRow("millions decimal comma") << "en_US"
                                            << "-1.234.567,89" << -123456789;
    // A group separator out of its place makes the text no amount.
    QTest::newRow("comma and one digit") << "en_US"
                                         << "12,5" << 0;
    QTest::newRow("comma and three digits") << "en_US"
                                            << "12,500" << 1250000;
    QTest::newRow("point after the comma") << "en_US"
                                           << "1,23.45" << 0;
    QTest::newRow("blanks around") << "en_US"
                                   << "  -7,99 " << -799;
    QTest::newRow("minus after blank counts") << "en_US"
                                              << " -5.00" << -500;
    QTest::newRow("comma at the end") << "en_US"
                                      << "12," << 0;
    QTest::newRow("zero") << "en_US"
                          << "0,00" << 0;
    QTest::newRow("empty") << "en_US"
                           << "" << 0;
}

void TestStatementValues::amounts() {
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(int, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(readStatementAmount(text), expected);
}

// Only what is an amount reads as one; dropping what is not a digit made money up.
void TestStatementValues::strictAmounts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("decimalComma");
    QTest::addColumn<int>("state"); // AmountText::State
    QTest::addColumn<qint64>("cents");
    QTest::addColumn<bool>("tooLarge");
    const int read = AmountText::Read, bad = AmountText::Unreadable;
    QTest::newRow("exponent") << "1e308" << false << bad << qint64(0) << false;
    QTest::newRow("small exponent") << "-1e-300" << false << bad << qint64(0) << false;
    QTest::newRow("hex") << "0x10" << false << bad << qint64(0) << false;
    QTest::newRow("two points") << "1.2.3" << false << bad << qint64(0) << false;
    QTest::newRow("groups out of place") << "12,34.00" << false << bad << qint64(0) << false;
    QTest::newRow("a date") << "12/31/2024" << false << bad << qint64(0) << false;
    QTest::newRow("two signs") << "--5.00" << false << bad << qint64(0) << false;
    QTest::newRow("words") << "five dollars" << false << bad << qint64(0) << false;
    QTest::newRow("empty") << "  " << false << int(AmountText::Empty) << qint64(0) << false;
    QTest::newRow("dollar after the sign") << "-$41.94" << false << read << qint64(-4194) << false;
    QTest::newRow("sign after the dollar") << "$-41.94" << false << read << qint64(-4194) << false;
    QTest::newRow("brackets") << "($1,234.56)" << false << read << qint64(-123456) << false;
    QTest::newRow("euro after") << "1.234,56 €" << true << read << qint64(123456) << false;
    QTest::newRow("code before") << "EUR -12,50" << true << read << qint64(-1250) << false;
    QTest::newRow("real") << "R$ 1.234,56" << true << read << qint64(123456) << false;
    QTest::newRow("Swiss") << "CHF 1'234.50" << false << read << qint64(123450) << false;
    QTest::newRow("blank groups") << "-2 310,00" << true << read << qint64(-231000) << false;
    QTest::newRow("minus after") << "12,50-" << true << read << qint64(-1250) << false;
    QTest::newRow("Indian groups") << "1,23,456.78" << false << read << qint64(12345678) << false;
    QTest::newRow("third decimal dropped") << "12.345" << false << read << qint64(1234) << false;
    // Read, so the row is shown, but no transaction: never imported.
    QTest::newRow("20 digits") << "12345678901234567890" << false << read << (qint64(1) << 56)
                               << true;
    QTest::newRow("just beyond") << "-21474836.49" << false << read << qint64(-2147483649) << true;
    QTest::newRow("the most that fits")
        << "21,474,836.47" << false << read << qint64(2147483647) << false;
}

void TestStatementValues::strictAmounts() {
    QFETCH(QString, text);
    QFETCH(bool, decimalComma);
    QFETCH(int, state);
    QFETCH(qint64, cents);
    QFETCH(bool, tooLarge);
    const AmountText got = readAmountText(text, decimalComma);
    QCOMPARE(int(got.state), state);
    QCOMPARE(got.cents, cents);
    QCOMPARE(got.tooLarge, tooLarge);
}

void TestStatementValues::skippedMessage() {
    QCOMPARE(skippedRecordsMessage(StatementSkips()), QString());
    StatementSkips skips;
    skips.unreadableDate = 2;
    skips.listEntries = 1201;
    QCOMPARE(skippedRecordsMessage(skips),
             QStringLiteral("1,203 record(s) in this statement will not be imported:\n"
                            "\n2 with a date that cannot be read"
                            "\n1,201 in lists of categories, classes, accounts or memorized "
                            "transactions, which are not transactions"));
    QCOMPARE(tooManyTransactionsMessage(20000),
             QStringLiteral("This statement holds more than 20,000 transactions, and Tallykeep "
                            "imports at most 20,000 at a time. Split the statement into smaller "
                            "ones and import each of them."));
}

QTEST_GUILESS_MAIN(TestStatementValues)
#include "test_statementvalues.moc"
