#include "model/money.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {
constexpr qint64 kMsPerDay = 86400000;

// Keeps the parsed whole part from growing without bound; anything above this is clamped anyway.
constexpr std::int64_t kWholeCap = std::int64_t(1) << 40;
} // namespace

Amount clampAmount(std::int64_t value) {
    if (value > kAmountMax)
        return kAmountMax;
    if (value < kAmountMin)
        return kAmountMin;
    return Amount(value);
}

Amount negatedAmount(std::int64_t value) {
    // -INT64_MIN does not exist; anything below -INT64_MAX clamps the same way anyway.
    return value < -INT64_MAX ? kAmountMax : clampAmount(-value);
}

Amount amountMagnitude(std::int64_t value) {
    return value < 0 ? negatedAmount(value) : clampAmount(value);
}

namespace {
// Left-to-right and right-to-left marks and embeddings that locales put around numbers;
// they carry no value.
bool isDirectionMark(QChar c) {
    const char16_t u = c.unicode();
    return u == 0x200E || u == 0x200F || u == 0x061C || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069);
}

QString withoutDirectionMarks(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (!isDirectionMark(c))
            out += c;
    return out;
}

// The digit walk shared by plain and typed text: decimalPoint starts the fraction, digits
// are collected, everything else is skipped, and a third fraction digit ends the walk.
Amount readDigits(QStringView text, QStringView decimalPoint, bool anyDigits, bool negative) {
    std::int64_t whole = 0;
    std::int64_t fraction = 0;
    int fractionDigits = 0;
    bool seenPoint = false;
    for (qsizetype i = 0; i < text.size() && fractionDigits < 2; ++i) {
        const QChar c = text.at(i);
        if (text.mid(i).startsWith(decimalPoint)) {
            seenPoint = true;
            i += decimalPoint.size() - 1;
            continue;
        }
        int digit = -1;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digit = c.unicode() - '0';
        else if (anyDigits && c.category() == QChar::Number_DecimalDigit)
            digit = c.digitValue();
        if (digit < 0)
            continue;
        if (seenPoint) {
            fraction = fraction * 10 + digit;
            ++fractionDigits;
        } else if (whole < kWholeCap) {
            whole = whole * 10 + digit;
        }
    }
    if (fractionDigits == 1)
        fraction *= 10;
    const std::int64_t value = whole * 100 + fraction;
    return clampAmount(negative ? -value : value);
}
} // namespace

Amount parseAmount(const QString& text) {
    if (text.isEmpty())
        return 0;
    return readDigits(text, u".", false, text.front() == QLatin1Char('-'));
}

Amount parseTypedAmount(const QString& typed) {
    const QLocale locale;
    const QString text = withoutDirectionMarks(typed);
    if (text.isEmpty())
        return 0;
    const QString localeMinus = withoutDirectionMarks(locale.negativeSign());
    const auto isMinus = [&localeMinus](QChar c) {
        return c == QLatin1Char('-') || c == QChar(0x2212) ||
               (localeMinus.size() == 1 && c == localeMinus.front());
    };
    // Blanks after the amount ("5,00- ", "(5.00) ") do not hide its sign.
    qsizetype end = text.size();
    while (end > 1 && text.at(end - 1).isSpace())
        --end;
    // A minus before the digits, wherever the symbol stands ("-$5", "$-5", "₹-0.01").
    bool minusFirst = false;
    for (qsizetype i = 0; i < end && !text.at(i).isDigit(); ++i)
        minusFirst = minusFirst || isMinus(text.at(i));
    const QChar last = text.at(end - 1);
    const bool negative = minusFirst || (end > 1 && isMinus(last)) ||
                          (text.front() == QLatin1Char('(') && last == QLatin1Char(')'));
    QString point = withoutDirectionMarks(locale.decimalPoint());
    if (point.isEmpty())
        point = QStringLiteral(".");
    // "12.5" typed where "," is the decimal separator: a point followed by one or two
    // digits groups nothing, so it is the decimal point the user meant.
    if (point != QLatin1String(".") && !text.contains(point)) {
        const qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
        qsizetype digits = 0;
        while (dot >= 0 && dot + 1 + digits < text.size() && text.at(dot + 1 + digits).isDigit())
            ++digits;
        if (dot >= 0 && (digits == 1 || digits == 2)) {
            QString plain = text;
            plain.remove(dot, 1);
            plain.remove(QLatin1Char('.'));
            plain.insert(dot - (text.left(dot).count(QLatin1Char('.'))), QLatin1Char('.'));
            return readDigits(plain, u".", true, negative);
        }
    }
    return readDigits(text, point, true, negative);
}

QString applyParenthesisRule(const QString& currencyText) {
    qsizetype open = 0;
    while (open < currencyText.size() && isDirectionMark(currencyText.at(open)))
        ++open;
    if (open == currencyText.size() || currencyText.at(open) != QLatin1Char('('))
        return currencyText;
    QString result = currencyText;
    result[open] = QLatin1Char('-');
    // The closing parenthesis may be followed by a direction mark of its own.
    const qsizetype close = result.lastIndexOf(QLatin1Char(')'));
    if (close > open)
        result.remove(close, 1);
    else
        result.chop(1);
    return result;
}

QString formatAmount(Amount amount, bool asCurrency) {
    const std::int64_t magnitude = std::llabs(std::int64_t(amount));
    const QString plain = QString::asprintf(amount < 0 ? "-%lld.%02lld" : "%lld.%02lld",
                                            static_cast<long long>(magnitude / 100),
                                            static_cast<long long>(magnitude % 100));
    if (!asCurrency)
        return plain;
    // Every Amount has at most 10 significant digits, so the double holds it exactly enough
    // for two-decimal rounding to give back the same cents.
    return applyParenthesisRule(QLocale().toCurrencyString(plain.toDouble(), QString(), 2));
}

namespace {
// The record for a calendar date and a time of day in milliseconds; unset when the date
// does not fit the record's 16-bit year.
DateTime makeDateTime(const QDate& date, qint64 msOfDay) {
    if (!date.isValid() || date.year() < 1 || date.year() > 65535 || msOfDay < 0)
        return {};
    DateTime dt;
    dt.year = quint16(date.year());
    dt.month = quint16(date.month());
    dt.day = quint16(date.day());
    dt.dayOfWeek = quint16(date.dayOfWeek() % 7);
    dt.hour = quint16(msOfDay / 3600000);
    dt.minute = quint16(msOfDay / 60000 % 60);
    dt.second = quint16(msOfDay / 1000 % 60);
    dt.milliseconds = quint16(msOfDay % 1000);
    return dt;
}
} // namespace

double toSerialDay(const DateTime& dt) {
    // The Gregorian day count done here rather than through QDate: passes over a large
    // budget's history convert every transaction's date, sorting converts two per comparison.
    // Years are 1 to 65535, where both count the same days.
    const int year = dt.year;
    const unsigned month = dt.month;
    const unsigned day = dt.day;
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return 0.0;
    static constexpr unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0))
        return 0.0;
    // Days from 1 March of year 0 (so that a leap day ends its year), in eras of 400 years;
    // 693,899 days lie between that day and 30 December 1899.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const unsigned yearOfEra = unsigned(y - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const qint64 days = qint64(era) * 146097 + qint64(dayOfEra) - 693899;
    const qint64 ms =
        ((qint64(dt.hour) * 60 + dt.minute) * 60 + dt.second) * 1000 + dt.milliseconds;
    return double(days) + double(ms) / double(kMsPerDay);
}

DateTime fromSerialDay(double serial) {
    if (!std::isfinite(serial))
        return {};
    double dayPart = std::floor(serial);
    qint64 ms = std::llround((serial - dayPart) * double(kMsPerDay));
    qint64 days = qint64(dayPart);
    if (ms >= kMsPerDay) {
        ++days;
        ms -= kMsPerDay;
    }
    return makeDateTime(QDate::fromJulianDay(days + kSerialDayEpochJulianDay), ms);
}

int serialDayOf(const DateTime& dt) {
    if (!dt.isSet())
        return 0;
    const QDate d(dt.year, dt.month, dt.day);
    if (!d.isValid())
        return 0;
    return int(d.toJulianDay() - kSerialDayEpochJulianDay);
}

DateTime dateOfSerialDay(qint64 serial) {
    DateTime out;
    if (serial == 0 || serial < -693593 || serial > 2958465)
        return out; // outside years 1 to 9999
    const QDate d = QDate::fromJulianDay(serial + kSerialDayEpochJulianDay);
    out.year = quint16(d.year());
    out.month = quint16(d.month());
    out.day = quint16(d.day());
    return out;
}

bool isEarlier(const DateTime& a, const DateTime& b) {
    return toSerialDay(a) < toSerialDay(b);
}

bool isSameInstant(const DateTime& a, const DateTime& b) {
    return toSerialDay(a) == toSerialDay(b);
}

bool isSameMonth(const DateTime& a, const DateTime& b) {
    return a.year == b.year && a.month == b.month;
}

DateTime fromQDateTime(const QDateTime& qdt) {
    return makeDateTime(qdt.date(), qdt.time().msecsSinceStartOfDay());
}

QDateTime toQDateTime(const DateTime& dt) {
    return QDateTime(QDate(dt.year, dt.month, dt.day),
                     QTime(dt.hour, dt.minute, dt.second, dt.milliseconds));
}

namespace {
// One piece of a locale date format: a field ("yyyy", "MMMM", "d") or literal text.
struct FormatPiece {
    QChar field; // null for literal text
    int count = 0;
    QString text;
};

// Splits a date format into fields and literals; quoted text ('de', '') is literal.
std::vector<FormatPiece> splitDateFormat(const QString& format) {
    static const QString fieldLetters = QStringLiteral("dMyhHmszaAtg");
    std::vector<FormatPiece> pieces;
    const auto addLiteral = [&pieces](const QString& text) {
        if (text.isEmpty())
            return;
        if (!pieces.empty() && pieces.back().field.isNull())
            pieces.back().text += text;
        else
            pieces.push_back({QChar(), 0, text});
    };
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            qsizetype j = i + 1;
            QString quoted;
            for (; j < format.size(); ++j) {
                if (format.at(j) != QLatin1Char('\''))
                    quoted += format.at(j);
                else if (j + 1 < format.size() && format.at(j + 1) == QLatin1Char('\''))
                    quoted += format.at(++j);
                else
                    break;
            }
            addLiteral(i + 1 == j ? QStringLiteral("'") : quoted);
            i = j + 1;
        } else if (fieldLetters.contains(c)) {
            qsizetype j = i;
            while (j < format.size() && format.at(j) == c)
                ++j;
            pieces.push_back({c, int(j - i), QString()});
            i = j;
        } else {
            addLiteral(QString(c));
            ++i;
        }
    }
    return pieces;
}

bool hasLetter(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
}

// The year and month as the locale's long date shows them, day and weekday left out:
// the text between the two fields stays ("de", ". "), and so does a word after the last
// one ("月", "г."); punctuation that only led to the day goes.
QString yearMonthText(const QLocale& locale, int year, int month) {
    QLocale numbers = locale;
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    const auto render = [&](const FormatPiece& piece) {
        if (piece.field == QLatin1Char('y'))
            return piece.count == 2
                       ? numbers.toString(year % 100).rightJustified(2, numbers.zeroDigit().front())
                       : numbers.toString(year);
        if (piece.count >= 4)
            return locale.standaloneMonthName(month, QLocale::LongFormat);
        if (piece.count == 3)
            return locale.standaloneMonthName(month, QLocale::ShortFormat);
        const QString number = numbers.toString(month);
        return piece.count == 2 ? number.rightJustified(2, numbers.zeroDigit().front()) : number;
    };
    const std::vector<FormatPiece> pieces = splitDateFormat(locale.dateFormat(QLocale::LongFormat));
    std::vector<size_t> kept;
    for (size_t i = 0; i < pieces.size(); ++i)
        if (pieces[i].field == QLatin1Char('y') || pieces[i].field == QLatin1Char('M'))
            kept.push_back(i);
    const bool bothFields = kept.size() == 2 && pieces[kept[0]].field != pieces[kept[1]].field;
    if (!bothFields)
        return locale.standaloneMonthName(month, QLocale::LongFormat) + QLatin1Char(' ') +
               numbers.toString(year);
    const auto literalAfter = [&pieces](size_t i) {
        return i + 1 < pieces.size() && pieces[i + 1].field.isNull() ? pieces[i + 1].text
                                                                     : QString();
    };
    QString between = literalAfter(kept[0]);
    if (between.trimmed().isEmpty() && !hasLetter(between))
        between = QStringLiteral(" ");
    QString text = render(pieces[kept[0]]) + between + render(pieces[kept[1]]);
    const QString after = literalAfter(kept[1]);
    if (hasLetter(after))
        text += after;
    return text.trimmed();
}
} // namespace

QString formatDate(const DateTime& dt, DateStyle style) {
    const QLocale locale;
    if (style == DateStyle::YearMonth) {
        // Only the year and month count here: previousMonth() may leave a day the month lacks.
        if (dt.year == 0 || dt.month < 1 || dt.month > 12)
            return QString();
        return yearMonthText(locale, dt.year, dt.month);
    }
    const QDate date(dt.year, dt.month, dt.day);
    if (!date.isValid())
        return QString();
    return locale.toString(date, QLocale::ShortFormat);
}

DateTime firstOfMonth(const DateTime& dt) {
    DateTime result;
    result.year = dt.year;
    result.month = dt.month;
    result.day = 1;
    const QDate date(dt.year, dt.month, 1);
    result.dayOfWeek = date.isValid() ? quint16(date.dayOfWeek() % 7) : 0;
    return result;
}

DateTime endOfPreviousMonth(const DateTime& dt) {
    DateTime result = fromSerialDay(toSerialDay(firstOfMonth(dt)) - 1.0);
    result.hour = 23;
    result.minute = 59;
    result.second = 59;
    result.milliseconds = 0;
    return result;
}

DateTime previousMonth(const DateTime& dt) {
    DateTime result = dt;
    if (dt.month == 1) {
        result.month = 12;
        result.year = quint16(dt.year - 1);
    } else {
        result.month = quint16(dt.month - 1);
    }
    return result;
}

namespace {
// Milliseconds since the serial-day epoch, in integers; 0 for an invalid date, as the
// serial day has it.
qint64 epochMilliseconds(const DateTime& dt) {
    const QDate date(dt.year, dt.month, dt.day);
    if (!date.isValid())
        return 0;
    const qint64 ms =
        ((qint64(dt.hour) * 60 + dt.minute) * 60 + dt.second) * 1000 + dt.milliseconds;
    return (date.toJulianDay() - kSerialDayEpochJulianDay) * kMsPerDay + ms;
}
} // namespace

qint64 wholeDaysBetween(const DateTime& a, const DateTime& b) {
    return std::llabs(epochMilliseconds(b) - epochMilliseconds(a)) / kMsPerDay;
}

int daysSpanned(const DateTime& a, const DateTime& b) {
    return int(wholeDaysBetween(a, b)) + 1;
}

int monthsSpanned(const DateTime& a, const DateTime& b) {
    return (int(b.year) - int(a.year)) * 12 + int(b.month) - int(a.month) + 1;
}
