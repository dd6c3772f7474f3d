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
    void typedAmount_data();
    void typedAmount();
    void shownAmountReadsBack_data();
    void shownAmountReadsBack();
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
    void serialDaysCountAsTheCalendarDoes();
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
    void saturatingSignChanges();
};

// Sums of many amounts reach the helpers as 64-bit values; none may overflow or wrap.
void TestMoney::saturatingSignChanges() {
    QCOMPARE(negatedAmount(kAmountMin), kAmountMax);
    QCOMPARE(negatedAmount(std::int64_t(INT64_MIN)), kAmountMax);
    QCOMPARE(negatedAmount(std::int64_t(INT64_MAX)), kAmountMin);
    QCOMPARE(negatedAmount(1234), Amount(-1234));
    QCOMPARE(amountMagnitude(std::int64_t(INT64_MIN)), kAmountMax);
    QCOMPARE(amountMagnitude(-3000000000LL), kAmountMax);
    QCOMPARE(amountMagnitude(3000000000LL), kAmountMax);
    QCOMPARE(amountMagnitude(-5), Amount(5));
    QCOMPARE(amountMagnitude(0), Amount(0));
}

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

void TestMoney::typedAmount_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    const QString nbsp(QChar(0x00A0)), narrow(QChar(0x202F)), minus(QChar(0x2212));
    // de_DE: "," is the decimal separator and "." groups.
    QTest::newRow("de edited field") << "de_DE"
                                     << "44,00" + nbsp + "€" << 4400;
    QTest::newRow("de grouped") << "de_DE"
                                << "1.234,56 €" << 123456;
    QTest::newRow("de negative") << "de_DE"
                                 << "-1.234,5" << -123450;
    QTest::newRow("de point groups") << "de_DE"
                                     << "1.234" << 123400;
    QTest::newRow("de point groups twice") << "de_DE"
                                           << "1.234.567" << 123456700;
    QTest::newRow("de point with cents") << "de_DE"
                                         << "12.50 €" << 1250;
    QTest::newRow("de groups and point") << "de_DE"
                                         << "1.234.5" << 123450;
    QTest::newRow("de comma wins over point") << "de_DE"
                                              << "1.23,4" << 12340;
    QTest::newRow("de third digit dropped") << "de_DE"
                                            << "0,999" << 99;
    // fr_FR groups with a narrow no-break space and brackets negatives.
    QTest::newRow("fr grouped") << "fr_FR"
                                << "1" + narrow + "234,56" + nbsp + "€" << 123456;
    QTest::newRow("fr bracketed") << "fr_FR"
                                  << "(1" + narrow + "234,56" + nbsp + "€)" << -123456;
    QTest::newRow("fr plain typing") << "fr_FR"
                                     << "45,5" << 4550;
    // sv_SE writes its minus as U+2212.
    QTest::newRow("sv U+2212") << "sv_SE" << minus + "1" + nbsp + "234,56" + nbsp + "kr" << -123456;
    QTest::newRow("sv hyphen") << "sv_SE"
                               << "-45,00 kr" << -4500;
    QTest::newRow("sv trailing minus") << "sv_SE"
                                       << "45,00-" << -4500;
    QTest::newRow("sv trailing minus and blank") << "sv_SE"
                                                 << "45,00" + minus + " " << -4500;
    // fa_IR: direction marks, its own digits and separators.
    QTest::newRow("fa marks and digits") << "fa_IR"
                                         << QString::fromUtf8("‎-ریال ۱٬۲۳۴"
                                                              "٫۵۶")
                                         << -123456;
    // en_US reads every plain text as before; only the negative forms are new.
    QTest::newRow("en plain") << "en_US"
                              << "12.34" << 1234;
    QTest::newRow("en grouped") << "en_US"
                                << "$1,234.56" << 123456;
    QTest::newRow("en comma skipped") << "en_US"
                                      << "1,5" << 1500;
    QTest::newRow("en shown negative") << "en_US"
                                       << "-$2.50" << -250;
    QTest::newRow("en bracketed") << "en_US"
                                  << "($5.00)" << -500;
    QTest::newRow("en U+2212") << "en_US" << minus + "5.00" << -500;
    QTest::newRow("en trailing minus") << "en_US"
                                       << "5.00-" << -500;
    QTest::newRow("en inner minus skipped") << "en_US"
                                            << "5-3" << 5300;
    QTest::newRow("en minus after blank") << "en_US"
                                          << " -5" << -500;
    QTest::newRow("en minus after symbol") << "en_US"
                                           << "$-5" << -500;
    QTest::newRow("hi_IN minus after symbol") << "hi_IN" << QString::fromUtf8("₹-0.01") << -1;
    QTest::newRow("en lone minus") << "en_US"
                                   << "-" << 0;
    QTest::newRow("en lone parenthesis") << "en_US"
                                         << "(" << 0;
    QTest::newRow("en empty") << "en_US"
                              << "" << 0;
    QTest::newRow("en clamps") << "en_US"
                               << "-99999999999999999999" << kAmountMin;
}

void TestMoney::typedAmount() {
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(int, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(parseTypedAmount(text), expected);
}

// What an amount field shows, edited by nothing but the user's eye, must read back as the
// same amount in every locale: the fault was "45,00 €" read as 4.500,00 €.
void TestMoney::shownAmountReadsBack_data() {
    QTest::addColumn<QString>("locale");
    for (const char* locale : {"en_US", "de_DE", "fr_FR", "sv_SE", "de_CH", "nl_NL", "fa_IR",
                               "fa_AF", "ar_EG", "ja_JP", "hi_IN", "C"})
        QTest::newRow(locale) << QString::fromLatin1(locale);
}

void TestMoney::shownAmountReadsBack() {
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    for (const Amount amount :
         {0, 1, -1, 4500, -4500, 123456, -123456, 100000000, kAmountMax, kAmountMin + 1}) {
        const QString shown = formatAmount(amount, true);
        QVERIFY2(
            parseTypedAmount(shown) == amount,
            qPrintable(QStringLiteral("%1 read as %2").arg(shown).arg(parseTypedAmount(shown))));
    }
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
    // Persian locales put a left-to-right mark before the accounting parenthesis.
    QTest::newRow("fa_IR negative") << "fa_IR" << -123456
                                    << QString::fromUtf8("‎-ریال ۱٬۲۳"
                                                         "۴٫۵۶");
    QTest::newRow("fa_AF negative")
        << "fa_AF" << -123456 << QString::fromUtf8("‎-؋ ۱٬۲۳۴٫۵۶");
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
    QTest::newRow("behind a direction mark")
        << QString::fromUtf8("\u200e(5 x)") << QString::fromUtf8("\u200e-5 x");
    QTest::newRow("mark after the parenthesis")
        << QString::fromUtf8("\u200f(5)\u200f") << QString::fromUtf8("\u200f-5\u200f");
    QTest::newRow("parenthesis later is no negative") << "5 (x)"
                                                      << "5 (x)";
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

// Every day (and impossible ones: day 0, day 32, 29 February of common years, month 13) of
// years 1 to 2400 and of the last years the record holds, against Qt's calendar.
void TestMoney::serialDaysCountAsTheCalendarDoes() {
    constexpr qint64 kEpoch = 2415019; // the Julian day of 30 December 1899
    auto firstDifference = [](int year) {
        for (int month = 0; month <= 13; ++month)
            for (int day = 0; day <= 32; ++day) {
                DateTime dt;
                dt.year = quint16(year);
                dt.month = quint16(month);
                dt.day = quint16(day);
                const QDate date(year, month, day);
                const double expected = date.isValid() ? double(date.toJulianDay() - kEpoch) : 0.0;
                if (toSerialDay(dt) != expected)
                    return QStringLiteral("%1-%2-%3: %4, not %5")
                        .arg(year)
                        .arg(month)
                        .arg(day)
                        .arg(toSerialDay(dt))
                        .arg(expected);
            }
        return QString();
    };
    for (int year = 0; year <= 2400; ++year)
        QCOMPARE(firstDifference(year), QString());
    for (int year = 65000; year <= 65535; ++year)
        QCOMPARE(firstDifference(year), QString());
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
    // Far from 1899 the serial-day doubles lose the last millisecond; whole days must not.
    // Serial 32768 is 17 Sep 1989 and 65536 is 5 Jun 2079.
    QTest::newRow("to 32768, last ms of the day")
        << makeDate(1899, 12, 30, 23, 59, 59, 999) << makeDate(1989, 9, 17, 23, 59, 59, 999)
        << 32769;
    QTest::newRow("to 65536, one ms past midnight")
        << makeDate(1899, 12, 30, 0, 0, 0, 1) << makeDate(2079, 6, 5, 0, 0, 0, 1) << 65537;
    QTest::newRow("from 1900 to 2079 at noon and a ms")
        << makeDate(1900, 4, 9, 12, 0, 0, 1) << makeDate(2079, 6, 5, 12, 0, 0, 1) << 65437;
    QTest::newRow("to 2079, a second past midnight")
        << makeDate(1899, 12, 30, 0, 0, 1) << makeDate(2079, 6, 5, 0, 0, 1) << 65537;
    QTest::newRow("one ms short of a whole day in 2079")
        << makeDate(2079, 6, 5, 0, 0, 0, 1) << makeDate(2079, 6, 6) << 1;
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
    // Year first where the locale writes it first, with its own words around the numbers.
    QTest::newRow("ja_JP month") << "ja_JP" << makeDate(2024, 3, 5) << yearMonth
                                 << QString::fromUtf8("2024年3月");
    QTest::newRow("zh_CN month") << "zh_CN" << makeDate(2024, 3, 5) << yearMonth
                                 << QString::fromUtf8("2024年3月");
    QTest::newRow("ko_KR month") << "ko_KR" << makeDate(2024, 3, 5) << yearMonth
                                 << QString::fromUtf8("2024년 3월");
    QTest::newRow("hu_HU month") << "hu_HU" << makeDate(2024, 3, 5) << yearMonth
                                 << QString::fromUtf8("2024. március");
    QTest::newRow("pt_BR month") << "pt_BR" << makeDate(2024, 3, 5) << yearMonth
                                 << QString::fromUtf8("março de 2024");
    QTest::newRow("ru_RU month, not genitive")
        << "ru_RU" << makeDate(2024, 3, 5) << yearMonth << QString::fromUtf8("март 2024 г.");
    QTest::newRow("fr_FR month") << "fr_FR" << makeDate(2024, 12, 1) << yearMonth
                                 << "décembre 2024";
    QTest::newRow("year 10000 not grouped")
        << "en_US" << makeDate(10000, 1, 1) << yearMonth << "January 10000";
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
