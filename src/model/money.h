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
// -v and |v| clamped into the Amount range (the most negative amount maps to the largest).
Amount negatedAmount(std::int64_t value);
Amount amountMagnitude(std::int64_t value);

// Plain text to cents: only "." is a decimal point, everything but digits is skipped,
// a leading "-" (first character only) negates, a third fraction digit is dropped.
// A whole part too large for Amount is clamped to the Amount range. Locale-free: the
// workbook's numbers and the plain form go through here.
Amount parseAmount(const QString& text);
// Text the user typed, read in the default locale: its decimal separator is the point (so
// "44,00 €" is 44 in de_DE; where it is not ".", a "." followed by one or two digits is taken
// as the point too, as in "12.5"), its digits count, its group separator and symbols are skipped,
// and the amount is negative when a minus sign ("-", U+2212 or the locale's) stands before
// its digits ("-$5", "$-5") or at its end, or when it is wrapped in parentheses. In en_US
// this reads every text like parseAmount except those negative forms.
Amount parseTypedAmount(const QString& text);

// Plain form "-1234.56" (no grouping, no symbol) or, with asCurrency, the default
// locale's currency form with a parenthesised negative turned into a leading "-".
QString formatAmount(Amount amount, bool asCurrency);
// The accounting-style negative "(x)" becomes "-x", also behind leading direction marks
// ("\u200E(x)" becomes "\u200E-x"); any other text is returned unchanged.
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

// Serial days count from 30 December 1899, Julian day 2415019 (the spreadsheet's day 0).
inline constexpr qint64 kSerialDayEpochJulianDay = 2415019;

// Days since 30 December 1899 00:00, the fraction being the time of day.
double toSerialDay(const DateTime& dt);
DateTime fromSerialDay(double serial);
// Whole serial day of the date part; 0 for an unset date.
int serialDayOf(const DateTime& dt);
// The date of a serial day at 00:00; unset for 0 and for serials outside years 1 to 9999.
DateTime dateOfSerialDay(qint64 serial);

// Comparisons go through the serial day, never through day-of-week.
bool isEarlier(const DateTime& a, const DateTime& b);
bool isSameInstant(const DateTime& a, const DateTime& b);
bool isSameMonth(const DateTime& a, const DateTime& b); // same year and month number

DateTime fromQDateTime(const QDateTime& dt);
QDateTime toQDateTime(const DateTime& dt);

enum class DateStyle { ShortDate, YearMonth };
// The default locale's text for the date in the given style. Year-month follows the order
// and words of the locale's long date ("March 2024", "2024年3月", "2024. március").
QString formatDate(const DateTime& dt, DateStyle style);

DateTime firstOfMonth(const DateTime& dt);
DateTime endOfPreviousMonth(const DateTime& dt); // last day of the previous month, 23:59:59
DateTime previousMonth(const DateTime& dt);      // month - 1 (Jan -> Dec of the year before)
// Whole days in |b - a|, counted exactly (the serial-day doubles lose the last millisecond
// far from 1899, which would make a span one day short).
qint64 wholeDaysBetween(const DateTime& a, const DateTime& b);
int daysSpanned(const DateTime& a, const DateTime& b);   // wholeDaysBetween plus 1
int monthsSpanned(const DateTime& a, const DateTime& b); // a not later than b; same month = 1
