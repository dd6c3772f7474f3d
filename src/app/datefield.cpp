#include "app/datefield.h"

#include "model/clock.h"

#include "platform/datefield.h"

QDateEdit* newDateField(QWidget* parent, const QDate& day) {
    auto* field = new DateField(parent);
    field->setCalendarPopup(true);
    field->setDate(day.isValid() ? day : dayOf(Clock::now()));
    return field;
}

QDate dayOf(const DateTime& moment) {
    return moment.isSet() ? QDate(moment.year, moment.month, moment.day) : QDate();
}

DateTime onDay(const DateTime& moment, const QDate& day) {
    if (!day.isValid())
        return moment;
    return fromQDateTime(
        QDateTime(day, QTime(moment.hour, moment.minute, moment.second, moment.milliseconds)));
}
