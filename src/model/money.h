#pragma once
// Money and calendar values shared by every layer.

#include <QString>
#include <cstdint>

class QDateTime;

// A signed count of cents. Money is never held in floating point.
using Amount = std::int32_t;
constexpr Amount kAmountMax = INT32_MAX;
constexpr Amount kAmountMin = INT32_MIN;

// Clamps a 64-bit intermediate sum into the Amount range.
Amount clampAmount(std::int64_t value);

// Typed text to cents: only "." is a decimal point, everything but digits is skipped,
// a leading "-" (first character only) negates, a third fraction digit is dropped.
// A whole part too large for Amount is clamped to the Amount range.
Amount parseAmount(const QString& text);

// Plain form "-1234.56" (no grouping, no symbol) or, with asCurrency, the default
// locale's currency form with a parenthesised negative turned into a leading "-".
QString formatAmount(Amount amount, bool asCurrency);
// The accounting-style negative "(x)" becomes "-x"; any other text is returned unchanged.
QString applyParenthesisRule(const QString& currencyText);

// A local wall-clock date and time; year 0 means "not set".
struct DateTime {
    quint16 year = 0;
    quint16 month = 0;     // 1..12
    quint16 dayOfWeek = 0; // 0 = Sunday; never used for comparisons
    quint16 day = 0;       // 1..31
    quint16 hour = 0;
    quint16 minute = 0;
    quint16 second = 0;
    quint16 milliseconds = 0;

    bool isSet() const { return year != 0; }
    bool operator==(const DateTime&) const = default; // every field, day of week too
};

// Days since 30 December 1899 00:00, the fraction being the time of day.
double toSerialDay(const DateTime& dt);
DateTime fromSerialDay(double serial);

// Comparisons go through the serial day, never through day-of-week.
bool isEarlier(const DateTime& a, const DateTime& b);
bool isSameInstant(const DateTime& a, const DateTime& b);
bool isSameMonth(const DateTime& a, const DateTime& b); // same year and month number

DateTime fromQDateTime(const QDateTime& dt);
QDateTime toQDateTime(const DateTime& dt);

enum class DateStyle { ShortDate, YearMonth };
// The default locale's text for the date in the given style.
QString formatDate(const DateTime& dt, DateStyle style);

DateTime firstOfMonth(const DateTime& dt);
DateTime endOfPreviousMonth(const DateTime& dt);       // last day of the previous month, 23:59:59
DateTime previousMonth(const DateTime& dt);            // month - 1 (Jan -> Dec of the year before)
int daysSpanned(const DateTime& a, const DateTime& b); // whole |b - a| in days, plus 1
int monthsSpanned(const DateTime& a, const DateTime& b); // a not later than b; same month = 1
