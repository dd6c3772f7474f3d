#include "model/datetext.h"

#include <QLocale>
#include <QRegularExpression>

namespace {
int expandYear(const QString& digits) {
    const int value = digits.toInt();
    if (digits.size() > 2)
        return value;
    return value < 30 ? 2000 + value : 1900 + value;
}

QDate validDate(int year, int month, int day) {
    // Years before 100 are typing slips ("1/2/0024"), never statement dates.
    if (year < 100)
        return QDate();
    return QDate(year, month, day);
}
} // namespace

DateOrder localeDateOrder() {
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    const qsizetype d = format.indexOf(QLatin1Char('d'));
    const qsizetype m = format.indexOf(QLatin1Char('M'));
    const qsizetype y = format.indexOf(QLatin1Char('y'));
    if (y >= 0 && (d < 0 || y < d) && (m < 0 || y < m))
        return DateOrder::YearMonthDay;
    if (d >= 0 && m >= 0 && d < m)
        return DateOrder::DayMonthYear;
    return DateOrder::MonthDayYear;
}

QDate readStatementDate(const QString& text, DateOrder order) {
    static const QRegularExpression compact(
        QStringLiteral("^\\s*(\\d{4})(\\d{2})(\\d{2})(?:\\d{6}(?:\\.\\d+)?)?(?:\\[[^\\]]*\\])?"
                       "(?:[\\sT].*)?$"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression separated(
        QStringLiteral("^\\s*(\\d{1,4})\\s*([/.'-])\\s*(\\d{1,2})(?:\\s*(?:\\2|')\\s*|\\s+)"
                       "(\\d{1,4})\\.?(?:[\\sT].*)?$"),
        QRegularExpression::DotMatchesEverythingOption);

    QRegularExpressionMatch match = compact.match(text);
    if (match.hasMatch())
        return validDate(match.captured(1).toInt(), match.captured(2).toInt(),
                         match.captured(3).toInt());
    match = separated.match(text);
    if (!match.hasMatch())
        return QDate();
    const QString first = match.captured(1);
    const QString second = match.captured(3);
    const QString third = match.captured(4);
    if (first.size() == 4) // 2024-12-15 whatever the order
        return third.size() > 2 ? QDate() : validDate(first.toInt(), second.toInt(), third.toInt());
    if (first.size() == 3)
        return QDate();
    switch (order) {
    case DateOrder::DayMonthYear:
        return third.size() == 3 ? QDate()
                                 : validDate(expandYear(third), second.toInt(), first.toInt());
    case DateOrder::MonthDayYear:
        return third.size() == 3 ? QDate()
                                 : validDate(expandYear(third), first.toInt(), second.toInt());
    case DateOrder::YearMonthDay:
        return third.size() > 2 ? QDate()
                                : validDate(expandYear(first), second.toInt(), third.toInt());
    }
    return QDate();
}
