#pragma once
// The "Date:" field of the money dialogs, and moving a stored moment to another day.

#include "model/money.h"

#include <QDate>

class QDateEdit;
class QWidget;

// A date field with a calendar pop-up in the locale's short date; an invalid day shows today.
QDateEdit* newDateField(QWidget* parent, const QDate& day);

// The day part of a stored moment (invalid when none is set).
QDate dayOf(const DateTime& moment);
// The moment moved to the given day, its time of day kept (an invalid day keeps it whole),
// so entries made on one day keep the order they were made in.
DateTime onDay(const DateTime& moment, const QDate& day);
