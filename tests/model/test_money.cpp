#include "model/clock.h"
#include "model/money.h"
#include "testdates.h"

#include <QDateTime>
#include <QLocale>
#include <QTest>

class TestMoney : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }
    void cleanup() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }

    void parseAmount_data();
    void parseAmount();
    void plainForm_data();
    void plainForm();
    void currencyForm_data();
    void currencyForm();
    void parenthesisRule_data();
    void parenthesisRule();

    void serialDays_data();
    void serialDays();
    void serialRoundTrip_data();
    void serialRoundTrip();
    void comparisonsIgnoreDayOfWeek();
    void endOfPreviousMonth_data();
    void endOfPreviousMonth();
    void previousMonth_data();
    void previousMonth();
    void monthsSpanned_data();
    void monthsSpanned();
    void daysSpanned_data();
    void daysSpanned();
    void formatDate_data();
    void formatDate();
    void fixedClock();
};

void TestMoney::parseAmount_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("plain") << "12.34" << 1234;
    QTest::newRow("one fraction digit") << "12.5" << 1250;
    QTest::newRow("leading zero fraction") << "12.05" << 1205;
    QTest::newRow("third digit dropped") << "12.349" << 1234;
    QTest::newRow("truncated not rounded") << "12.999" << 1299;
    QTest::newRow("symbol and grouping") << "$1,234.56" << 123456;
    QTest::newRow("negative") << "-5.5" << -550;
    QTest::newRow("parentheses not negative") << "(5.00)" << 500;
    QTest::newRow("minus after blank ignored") << " -5" << 500;
    QTest::newRow("point first") << ".5" << 50;
    QTest::newRow("trailing point") << "5." << 500;
    QTest::newRow("second point ignored") << "1.2.3" << 123;
    QTest::newRow("no digits") << "abc" << 0;
    QTest::newRow("lone minus") << "-" << 0;
    QTest::newRow("smallest negative") << "-0.01" << -1;
    QTest::newRow("comma is no decimal point") << "1,5" << 1500;
    QTest::newRow("inner minus skipped") << "5-3" << 5300;
    QTest::newRow("largest") << "21474836.47" << kAmountMax;
    QTest::newRow("most negative") << "-21474836.48" << kAmountMin;
    QTest::newRow("too large clamps") << "99999999999999999999999999.99" << kAmountMax;
    QTest::newRow("too negative clamps") << "-99999999999999999999999999" << kAmountMin;
    QTest::newRow("just above max clamps") << "21474836.48" << kAmountMax;
}

void TestMoney::parseAmount() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(::parseAmount(text), expected);
}

void TestMoney::plainForm_data() {
    QTest::addColumn<int>("amount");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0 << "0.00";
    QTest::newRow("five cents") << 5 << "0.05";
    QTest::newRow("one unit") << 100 << "1.00";
    QTest::newRow("minus one cent") << -1 << "-0.01";
    QTest::newRow("negative no grouping") << -123456 << "-1234.56";
    QTest::newRow("max") << kAmountMax << "21474836.47";
    QTest::newRow("min") << kAmountMin << "-21474836.48";
}

void TestMoney::plainForm() {
    QFETCH(int, amount);
    QFETCH(QString, expected);
    QCOMPARE(formatAmount(amount, false), expected);
    // The plain form is what the workbook turns back into numbers: it must parse back.
    QCOMPARE(::parseAmount(expected), amount);
}

void TestMoney::currencyForm_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("amount");
    QTest::addColumn<QString>("expected");
    const QString nbsp = QString(QChar(0x00A0));
    QTest::newRow("en_US positive") << "en_US" << 123456 << "$1,234.56";
    QTest::newRow("en_US zero") << "en_US" << 0 << "$0.00";
    // en_US negatives come back parenthesised from the locale; they must show a minus.
    QTest::newRow("en_US negative") << "en_US" << -250 << "-$2.50";
    QTest::newRow("en_US min") << "en_US" << kAmountMin << "-$21,474,836.48";
    QTest::newRow("en_US max") << "en_US" << kAmountMax << "$21,474,836.47";
    QTest::newRow("de_DE positive") << "de_DE" << 123456 << "1.234,56" + nbsp + "€";
    QTest::newRow("de_DE negative") << "de_DE" << -123456 << "-1.234,56" + nbsp + "€";
    QTest::newRow("zh_CN negative") << "zh_CN" << -123456 << "-¥1,234.56";
}

void TestMoney::currencyForm() {
    QFETCH(QString, locale);
    QFETCH(int, amount);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    const QString text = formatAmount(amount, true);
    QCOMPARE(text, expected);
    QVERIFY(!text.contains(QLatin1Char('(')));
    QVERIFY(!text.contains(QLatin1Char(')')));
}

void TestMoney::parenthesisRule_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("accounting") << "($1,234.56)"
                                << "-$1,234.56";
    QTest::newRow("minus first unchanged") << "-1.234,56 €"
                                           << "-1.234,56 €";
    QTest::newRow("positive unchanged") << "$5.00"
                                        << "$5.00";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("lone parenthesis") << "("
                                      << "";
}

void TestMoney::parenthesisRule() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(applyParenthesisRule(text), expected);
}

void TestMoney::serialDays_data() {
    QTest::addColumn<DateTime>("date");
    QTest::addColumn<double>("serial");
    QTest::newRow("epoch") << makeDate(1899, 12, 30) << 0.0;
    QTest::newRow("1 Jan 1900") << makeDate(1900, 1, 1) << 2.0;
    QTest::newRow("noon 1 Mar 2024") << makeDate(2024, 3, 1, 12) << 45352.5;
    QTest::newRow("6 am 29 Feb 2024") << makeDate(2024, 2, 29, 6) << 45351.25;
    QTest::newRow("not set") << DateTime() << 0.0;
}

void TestMoney::serialDays() {
    QFETCH(DateTime, date);
    QFETCH(double, serial);
    QCOMPARE(toSerialDay(date), serial);
}

void TestMoney::serialRoundTrip_data() {
    QTest::addColumn<DateTime>("date");
    QTest::newRow("midnight") << makeDate(2024, 1, 1);
    QTest::newRow("last ms of the day") << makeDate(2024, 12, 31, 23, 59, 59, 999);
    QTest::newRow("leap day") << makeDate(2024, 2, 29, 13, 14, 15, 16);
    QTest::newRow("old date") << makeDate(1950, 6, 15, 8, 30);
}

void TestMoney::serialRoundTrip() {
    QFETCH(DateTime, date);
    QCOMPARE(dateText(fromSerialDay(toSerialDay(date))), dateText(date));
}

void TestMoney::comparisonsIgnoreDayOfWeek() {
    DateTime a = makeDate(2024, 3, 1, 10);
    DateTime b = a;
    b.dayOfWeek = 3;
    QVERIFY(isSameInstant(a, b));
    QVERIFY(!isEarlier(a, b));
    b.milliseconds = 1;
    QVERIFY(isEarlier(a, b));
    QVERIFY(isSameMonth(a, makeDate(2024, 3, 31)));
    QVERIFY(!isSameMonth(a, makeDate(2023, 3, 1)));
    // 1 March 2024 was a Friday; day of week is filled in on the way back from serial days.
    QCOMPARE(fromSerialDay(toSerialDay(a)).dayOfWeek, quint16(5));
    // A value a hair below midnight rounds to the next day, not to 24:00.
    const DateTime rounded = fromSerialDay(45352.0 - 1e-10);
    QCOMPARE(dateText(rounded), QStringLiteral("2024-03-01 00:00:00.000"));
}

void TestMoney::endOfPreviousMonth_data() {
    QTest::addColumn<DateTime>("date");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1 March 2024") << makeDate(2024, 3, 1) << "2024-02-29 23:59:59.000";
    QTest::newRow("31 March 2024")
        << makeDate(2024, 3, 31, 23, 59, 59, 999) << "2024-02-29 23:59:59.000";
    QTest::newRow("January 2025") << makeDate(2025, 1, 15, 8) << "2024-12-31 23:59:59.000";
    QTest::newRow("March 2023") << makeDate(2023, 3, 10) << "2023-02-28 23:59:59.000";
    QTest::newRow("May") << makeDate(2024, 5, 31) << "2024-04-30 23:59:59.000";
}

void TestMoney::endOfPreviousMonth() {
    QFETCH(DateTime, date);
    QFETCH(QString, expected);
    QCOMPARE(dateText(::endOfPreviousMonth(date)), expected);
}

void TestMoney::previousMonth_data() {
    QTest::addColumn<DateTime>("date");
    QTest::addColumn<QString>("expected");
    QTest::newRow("January") << makeDate(2025, 1, 20, 9) << "2024-12-20 09:00:00.000";
    QTest::newRow("March") << makeDate(2024, 3, 5) << "2024-02-05 00:00:00.000";
    // Only year and month matter; the day is kept even where the month lacks it.
    QTest::newRow("31st") << makeDate(2024, 12, 31) << "2024-11-31 00:00:00.000";
}

void TestMoney::previousMonth() {
    QFETCH(DateTime, date);
    QFETCH(QString, expected);
    QCOMPARE(dateText(::previousMonth(date)), expected);
}

void TestMoney::monthsSpanned_data() {
    QTest::addColumn<DateTime>("a");
    QTest::addColumn<DateTime>("b");
    QTest::addColumn<int>("expected");
    QTest::newRow("same month") << makeDate(2024, 3, 1) << makeDate(2024, 3, 31) << 1;
    QTest::newRow("January to March") << makeDate(2024, 1, 31) << makeDate(2024, 3, 1) << 3;
    QTest::newRow("November to February") << makeDate(2023, 11, 1) << makeDate(2024, 2, 1) << 4;
    QTest::newRow("March 2023 to May 2025") << makeDate(2023, 3, 1) << makeDate(2025, 5, 1) << 27;
}

void TestMoney::monthsSpanned() {
    QFETCH(DateTime, a);
    QFETCH(DateTime, b);
    QFETCH(int, expected);
    QCOMPARE(::monthsSpanned(a, b), expected);
}

void TestMoney::daysSpanned_data() {
    QTest::addColumn<DateTime>("a");
    QTest::addColumn<DateTime>("b");
    QTest::addColumn<int>("expected");
    QTest::newRow("same day") << makeDate(2024, 3, 1, 1) << makeDate(2024, 3, 1, 23) << 1;
    QTest::newRow("23 hours across midnight")
        << makeDate(2024, 3, 1, 12) << makeDate(2024, 3, 2, 11) << 1;
    QTest::newRow("reversed") << makeDate(2024, 3, 11) << makeDate(2024, 3, 1) << 11;
    QTest::newRow("across leap day") << makeDate(2024, 2, 28) << makeDate(2024, 3, 1) << 3;
    QTest::newRow("across year end")
        << makeDate(2024, 12, 31) << makeDate(2025, 1, 1, 0, 0, 1) << 2;
}

void TestMoney::daysSpanned() {
    QFETCH(DateTime, a);
    QFETCH(DateTime, b);
    QFETCH(int, expected);
    QCOMPARE(::daysSpanned(a, b), expected);
}

void TestMoney::formatDate_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<DateTime>("date");
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("expected");
    const int shortDate = int(DateStyle::ShortDate);
    const int yearMonth = int(DateStyle::YearMonth);
    QTest::newRow("en_US short") << "en_US" << makeDate(2024, 3, 5) << shortDate << "3/5/24";
    QTest::newRow("de_DE short") << "de_DE" << makeDate(2024, 3, 5) << shortDate << "05.03.24";
    QTest::newRow("en_US month") << "en_US" << makeDate(2024, 3, 5) << yearMonth << "March 2024";
    QTest::newRow("de_DE month") << "de_DE" << makeDate(2024, 3, 5) << yearMonth << "März 2024";
    QTest::newRow("day the month lacks")
        << "en_US" << makeDate(2024, 11, 31) << yearMonth << "November 2024";
    QTest::newRow("not set") << "en_US" << DateTime() << shortDate << "";
}

void TestMoney::formatDate() {
    QFETCH(QString, locale);
    QFETCH(DateTime, date);
    QFETCH(int, style);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(::formatDate(date, DateStyle(style)), expected);
}

void TestMoney::fixedClock() {
    {
        FixedClock clock(makeDate(2030, 7, 4, 12));
        QCOMPARE(dateText(Clock::now()), QStringLiteral("2030-07-04 12:00:00.000"));
    }
    const DateTime real = Clock::now();
    QCOMPARE(int(real.year), QDate::currentDate().year());
}

QTEST_GUILESS_MAIN(TestMoney)
#include "test_money.moc"
