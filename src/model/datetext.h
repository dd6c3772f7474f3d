#pragma once
// Dates written as text, in the forms banks and spreadsheet programs write them.

#include <QDate>
#include <QString>

// The order of the numbers in a date whose year is not written first with four digits.
enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

// The order of the default locale's short date.
DateOrder localeDateOrder();

// A statement date: day, month and year as numbers in the given order, separated by "/",
// "-", "." or "'" (the second separator may also be blanks or an apostrophe, as in "1/15'10"
// and "12/15' 4"); or year first with four digits: yyyy-mm-dd, yyyy/mm/dd, yyyy.mm.dd,
// yyyy'mm'dd and yyyymmdd (also with a time behind it, as in 20241215120000). Two-digit
// years 30..99 are the 1900s, 00..29 the 2000s. A time of day after a blank is ignored.
// An invalid QDate when the text is no such date.
QDate readStatementDate(const QString& text, DateOrder order);
