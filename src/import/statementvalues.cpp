#include "import/statementvalues.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

DateOrder chooseDateOrder(const QStringList& dates, DateOrder localeOrder) {
    std::array<DateOrder, 3> candidates{localeOrder, DateOrder::DayMonthYear,
                                        DateOrder::MonthDayYear};
    if (localeOrder == DateOrder::DayMonthYear)
        candidates = {localeOrder, DateOrder::MonthDayYear, DateOrder::YearMonthDay};
    else if (localeOrder == DateOrder::MonthDayYear)
        candidates = {localeOrder, DateOrder::DayMonthYear, DateOrder::YearMonthDay};
    DateOrder best = localeOrder;
    qsizetype bestCount = -1;
    for (const DateOrder order : candidates) {
        qsizetype readable = 0;
        for (const QString& date : dates)
            if (readStatementDate(date, order).isValid())
                ++readable;
        if (readable == dates.size())
            return order;
        if (readable > bestCount) {
            best = order;
            bestCount = readable;
        }
    }
    return best;
}

Amount readStatementAmount(const QString& text) {
    QString value = text.trimmed();
    const qsizetype comma = value.lastIndexOf(QLatin1Char(','));
    const bool decimalComma = comma >= 0 && comma == value.size() - 3 &&
                              value.at(comma + 1).isDigit() && value.at(comma + 2).isDigit();
    if (decimalComma) {
        // The points before it group thousands.
        value.remove(QLatin1Char('.'));
        value[value.lastIndexOf(QLatin1Char(','))] = QLatin1Char('.');
    }
    return parseAmount(value);
}

Amount readStatementAmount(const QString& text, bool decimalComma) {
    const QChar point = decimalComma ? QLatin1Char(',') : QLatin1Char('.');
    const auto isMinus = [](QChar c) { return c == QLatin1Char('-') || c == QChar(0x2212); };
    QString digits;
    bool negative = false;
    bool seenDigit = false;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128) {
            digits += c;
            seenDigit = true;
        } else if (c == point) {
            digits += QLatin1Char('.');
        } else if (isMinus(c) || (c == QLatin1Char('(') && !seenDigit)) {
            negative = true;
        }
    }
    if (!seenDigit)
        return 0;
    const Amount value = parseAmount(digits);
    return negative ? -value : value;
}

QString decodeStatementText(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(view);
    if (!utf8.hasError())
        return text;
    QStringDecoder windows("windows-1252");
    if (!windows.isValid())
        return QString::fromLatin1(view);
    return windows(view);
}

QString skippedRecordsMessage(const StatementSkips& skips) {
    if (skips.total() == 0)
        return QString();
    const QLocale locale;
    QString text = QStringLiteral("%1 record(s) in this statement will not be imported:\n")
                       .arg(locale.toString(skips.total()));
    const auto line = [&](int count, const char* why) {
        if (count > 0)
            text += QStringLiteral("\n%1 %2").arg(locale.toString(count), QLatin1String(why));
    };
    line(skips.withoutDate, "without a date");
    line(skips.unreadableDate, "with a date that cannot be read");
    line(skips.withoutAmount, "without an amount");
    line(skips.listEntries,
         "in lists of categories, classes, accounts or memorized transactions, which are not "
         "transactions");
    return text;
}

QString tooManyTransactionsMessage(int limit) {
    const QString count = QLocale().toString(limit);
    return QStringLiteral("This statement holds more than %1 transactions, and Tallykeep imports "
                          "at most %1 at a time. Split the statement into smaller ones and "
                          "import each of them.")
        .arg(count);
}

void StatementSkips::add(SkipReason reason, int record) {
    switch (reason) {
    case SkipReason::NoDate:
        ++withoutDate;
        break;
    case SkipReason::UnreadableDate:
        ++unreadableDate;
        break;
    case SkipReason::NoAmount:
        ++withoutAmount;
        break;
    case SkipReason::ListEntry:
        ++listEntries;
        break;
    }
    if (records.size() < kMaxListed)
        records.push_back({record, reason});
}

const char* skipReasonName(SkipReason reason) {
    switch (reason) {
    case SkipReason::NoDate:
        return "no date";
    case SkipReason::UnreadableDate:
        return "unreadable date";
    case SkipReason::NoAmount:
        return "no amount";
    case SkipReason::ListEntry:
        break;
    }
    return "list entry";
}

quint32 readFileInPieces(const QString& path,
                         const std::function<bool(const char* data, qsizetype size)>& piece) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return ENOENT;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return quint32(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return quint32(errno);
        }
        if (got == 0 || !piece(buffer, qsizetype(got)))
            return 0;
    }
}
