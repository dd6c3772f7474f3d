#include "model/datetext.h"

#include <QHash>
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
    // Years before 1900 are typing slips ("1/2/0024"), never statement dates; the serial day
    // of 30 December 1899 would also reload as another day.
    if (year < 1900 || year > 9999)
        return QDate();
    return QDate(year, month, day);
}

// Lower case without accents, and the German umlaut written out ("Maerz") as well.
QString foldedWord(const QString& word) {
    QString out;
    for (const QChar c : word.normalized(QString::NormalizationForm_D).toLower())
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    return out;
}

// Month names as banks in these languages write them, folded (foldedWord), short and long.
int monthNumber(const QString& word) {
    static const QHash<QString, int> months = [] {
        const char* const names[12] = {
            "jan january januar janvier januari enero ene gennaio gen janeiro janv jaen "
            "jaenner janner",
            "feb february februar fevrier fevr fev februari febrero febbraio fevereiro",
            "mar march maerz marz mrz mars maart mrt maa marzo marco",
            "apr april avril avr abril abr aprile",
            "may mai mei mayo maggio mag maio",
            "jun june juni juin junio giugno giu junho",
            "jul july juli juillet juil julio luglio lug julho",
            "aug august aout augustus agosto ago",
            "sep sept september septembre septiembre setiembre set settembre setembro",
            "oct october oktober okt octobre octubre ottobre ott outubro out",
            "nov november novembre noviembre novembro",
            "dec december dezember dez decembre diciembre dic dicembre dezembro"};
        QHash<QString, int> map;
        for (int m = 0; m < 12; ++m)
            for (const QString& name : QString::fromLatin1(names[m]).split(QLatin1Char(' ')))
                map.insert(name, m + 1);
        return map;
    }();
    return months.value(foldedWord(word), 0);
}

// A date with the month's name: day month year, month day year, or year month day.
QDate namedMonthDate(const QString& text) {
    // Letters of any script, a point after a short name, blanks, "-", "/" or "," between.
    static const QRegularExpression dayFirst(
        QStringLiteral("^\\s*(\\d{1,2})\\.?[\\s/-]*(\\p{L}{3,})\\.?[\\s/,-]*(\\d{4}|\\d{2})"
                       "(?:[\\s,T].*)?$"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression monthFirst(
        QStringLiteral("^\\s*(\\p{L}{3,})\\.?[\\s/-]*(\\d{1,2})(?:st|nd|rd|th)?[\\s/,.-]+"
                       "(\\d{4}|\\d{2})(?:[\\sT].*)?$"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression yearFirst(
        QStringLiteral("^\\s*(\\d{4})[\\s/.-]+(\\p{L}{3,})\\.?[\\s/.-]*(\\d{1,2})(?:[\\sT].*)?$"),
        QRegularExpression::DotMatchesEverythingOption);
    QRegularExpressionMatch m = dayFirst.match(text);
    if (m.hasMatch()) {
        const int month = monthNumber(m.captured(2));
        return month ? validDate(expandYear(m.captured(3)), month, m.captured(1).toInt()) : QDate();
    }
    m = monthFirst.match(text);
    if (m.hasMatch()) {
        const int month = monthNumber(m.captured(1));
        return month ? validDate(expandYear(m.captured(3)), month, m.captured(2).toInt()) : QDate();
    }
    m = yearFirst.match(text);
    if (m.hasMatch()) {
        const int month = monthNumber(m.captured(2));
        return month ? validDate(m.captured(1).toInt(), month, m.captured(3).toInt()) : QDate();
    }
    return QDate();
}

} // namespace

namespace {
QDate readNumericDate(const QString& text, DateOrder order);
}

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
    const QDate numeric = readNumericDate(text, order);
    if (numeric.isValid())
        return numeric;
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); })
               ? namedMonthDate(text)
               : QDate();
}

namespace {
QDate readNumericDate(const QString& text, DateOrder order) {
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

} // namespace
