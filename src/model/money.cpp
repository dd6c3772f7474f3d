#include "model/money.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <cmath>
#include <cstdlib>

namespace {
// 30 December 1899, day 0 of the serial-day count.
constexpr qint64 kSerialEpochJulianDay = 2415019;
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

Amount parseAmount(const QString& text) {
    if (text.isEmpty())
        return 0;
    const bool negative = text.front() == QLatin1Char('-');
    std::int64_t whole = 0;
    std::int64_t fraction = 0;
    int fractionDigits = 0;
    bool seenPoint = false;
    for (const QChar c : text) {
        if (fractionDigits == 2)
            break;
        if (c == QLatin1Char('.')) {
            seenPoint = true;
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            const int digit = c.unicode() - '0';
            if (seenPoint) {
                fraction = fraction * 10 + digit;
                ++fractionDigits;
            } else if (whole < kWholeCap) {
                whole = whole * 10 + digit;
            }
        }
    }
    if (fractionDigits == 1)
        fraction *= 10;
    const std::int64_t value = whole * 100 + fraction;
    return clampAmount(negative ? -value : value);
}

QString applyParenthesisRule(const QString& currencyText) {
    if (!currencyText.startsWith(QLatin1Char('(')))
        return currencyText;
    QString result = currencyText;
    result[0] = QLatin1Char('-');
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
    const QDate date(dt.year, dt.month, dt.day);
    if (!date.isValid())
        return 0.0;
    const qint64 days = date.toJulianDay() - kSerialEpochJulianDay;
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
    return makeDateTime(QDate::fromJulianDay(days + kSerialEpochJulianDay), ms);
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

QString formatDate(const DateTime& dt, DateStyle style) {
    const QLocale locale;
    if (style == DateStyle::YearMonth) {
        // Only the year and month count here: previousMonth() may leave a day the month lacks.
        if (dt.year == 0 || dt.month < 1 || dt.month > 12)
            return QString();
        return locale.standaloneMonthName(dt.month, QLocale::LongFormat) + QLatin1Char(' ') +
               QString::number(dt.year);
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

int daysSpanned(const DateTime& a, const DateTime& b) {
    return int(std::floor(std::fabs(toSerialDay(b) - toSerialDay(a)))) + 1;
}

int monthsSpanned(const DateTime& a, const DateTime& b) {
    return (int(b.year) - int(a.year)) * 12 + int(b.month) - int(a.month) + 1;
}
