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
// yyyy'mm'dd and yyyymmdd (also with a time behind it, as in 20241215120000); or with the
// month's name, short or long, with or without a point, in English, German, French, Dutch,
// Spanish, Italian or Portuguese ("10 Feb 18", "03-Mar-2024", "3. Maerz 2024",
// "15 janv. 2024", "March 3, 2024", "2024-Mar-03"). Two-digit years 30..99 are the 1900s,
// 00..29 the 2000s. A time of day after a blank is ignored. An invalid QDate when the text
// is no such date, or a year before 1900 (no bank statement goes back that far, and the
// serial days before it do not survive a reload).
QDate readStatementDate(const QString& text, DateOrder order);
