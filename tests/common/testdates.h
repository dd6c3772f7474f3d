#pragma once
// Small helpers for building dates in model tests.

#include "model/money.h"

#include <QMetaType>
#include <QString>

inline DateTime makeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int ms = 0) {
    DateTime dt;
    dt.year = quint16(year);
    dt.month = quint16(month);
    dt.day = quint16(day);
    dt.hour = quint16(hour);
    dt.minute = quint16(minute);
    dt.second = quint16(second);
    dt.milliseconds = quint16(ms);
    return dt;
}

// "2024-03-01 12:00:00.000", for readable comparisons.
inline QString dateText(const DateTime& dt) {
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d.%03d", dt.year, dt.month, dt.day,
                             dt.hour, dt.minute, dt.second, dt.milliseconds);
}
Q_DECLARE_METATYPE(DateTime)
