#include "import/statementvalues.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>

#include <QHash>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {
bool isMinus(QChar c) {
    return c == QLatin1Char('-') || c == QChar(0x2212);
}

bool isGroupBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QChar(0xa0) || c == QChar(0x202f) || c == QChar(0x2009);
}

// A currency sign or code standing before or after the number: "$", "€", "US$", "R$", "EUR",
// "kr", "Fr.". Letters alone are taken only as a code in capitals or one of the short forms
// banks write, so that "1e308" or "0x10" is no amount.
bool isCurrency(const QString& token) {
    if (token.isEmpty())
        return false;
    qsizetype letters = 0;
    while (letters < token.size() && token.at(letters).isLetter())
        ++letters;
    QString rest = token.mid(letters);
    if (rest.startsWith(QLatin1Char('.')))
        rest.remove(0, 1);
    if (!rest.isEmpty()) // "US$", "R$", "$": letters before currency signs only
        return letters <= 3 && std::all_of(rest.begin(), rest.end(), [](QChar c) {
                   return c.category() == QChar::Symbol_Currency;
               });
    const QString word = token.left(letters);
    static const QStringList shortForms = {"kr", "Kr",  "kn", "zł", "Kč", "Ft",
                                           "Fr", "lei", "Rs", "R",  "TL", "Lei"};
    if (letters == 3 && word == word.toUpper())
        return true;
    return shortForms.contains(word);
}

// The integer digits with their group separators: plain digits, or groups of three (the
// first one to three digits long), or the Indian 1,23,45,678.
bool groupsInPlace(const QString& digits, QChar group) {
    if (!digits.contains(group))
        return true;
    const QStringList parts = digits.split(group);
    if (parts.first().isEmpty() || parts.first().size() > 3 || parts.last().size() != 3)
        return false;
    bool threes = true, indian = parts.first().size() <= 2;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        threes = threes && parts[i].size() == 3;
        indian = indian && parts[i].size() == (i + 1 == parts.size() ? 3 : 2);
    }
    return threes || indian;
}
} // namespace

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
    const AmountText read = readAmountText(text);
    return read.state == AmountText::Read ? read.amount() : 0;
}

Amount readStatementAmount(const QString& text, bool decimalComma) {
    const AmountText read = readAmountText(text, decimalComma);
    return read.state == AmountText::Read ? read.amount() : 0;
}

AmountText readAmountText(const QString& text) {
    const QString value = text.trimmed();
    const qsizetype comma = value.lastIndexOf(QLatin1Char(','));
    const bool decimalComma = comma >= 0 && comma == value.size() - 3 &&
                              value.at(comma + 1).isDigit() && value.at(comma + 2).isDigit();
    return readAmountText(value, decimalComma);
}

AmountText readAmountText(const QString& text, bool decimalComma) {
    AmountText out;
    QString value = text.trimmed();
    if (value.isEmpty())
        return out;
    out.state = AmountText::Unreadable;
    bool negative = false;
    int signs = 0;
    if (value.startsWith(QLatin1Char('(')) && value.endsWith(QLatin1Char(')'))) {
        negative = true;
        ++signs;
        value = value.mid(1, value.size() - 2).trimmed();
    }
    // Sign and currency before the number, in either order.
    QString currency;
    qsizetype at = 0;
    const auto takeCurrency = [&](qsizetype& pos) {
        const qsizetype from = pos;
        while (pos < value.size() && !value.at(pos).isDigit() && !isMinus(value.at(pos)) &&
               value.at(pos) != QLatin1Char('+') && !value.at(pos).isSpace() &&
               value.at(pos) != QLatin1Char('.') && value.at(pos) != QLatin1Char(','))
            ++pos;
        // A point ends a short form ("Fr."), never starts the number after letters.
        if (pos > from && pos < value.size() && value.at(pos) == QLatin1Char('.') &&
            value.at(pos - 1).isLetter())
            ++pos;
        return value.mid(from, pos - from);
    };
    for (int part = 0; part < 4 && at < value.size(); ++part) {
        const QChar c = value.at(at);
        if (c.isSpace()) {
            ++at;
        } else if (isMinus(c) || c == QLatin1Char('+')) {
            negative = negative || isMinus(c);
            ++signs;
            ++at;
        } else if (!c.isDigit() && c != QLatin1Char('.') && c != QLatin1Char(',')) {
            if (!currency.isEmpty())
                return out;
            currency = takeCurrency(at);
            if (!isCurrency(currency))
                return out;
        } else {
            break;
        }
    }
    // The number: digits, separators and blanks that group.
    const QChar point = decimalComma ? QLatin1Char(',') : QLatin1Char('.');
    const QChar other = decimalComma ? QLatin1Char('.') : QLatin1Char(',');
    QString number;
    while (at < value.size()) {
        const QChar c = value.at(at);
        if (c.isDigit() && c.unicode() < 128) {
            number += c;
        } else if (c == point || c == other || c == QLatin1Char('\'') || isGroupBlank(c)) {
            // A blank before a currency code or sign ends the number.
            if (isGroupBlank(c) && (at + 1 >= value.size() || !value.at(at + 1).isDigit()))
                break;
            number += isGroupBlank(c) ? QLatin1Char(' ') : c;
        } else {
            break;
        }
        ++at;
    }
    // After it: blanks, a currency (if none came before) and a sign (if none came before).
    while (at < value.size()) {
        const QChar c = value.at(at);
        if (c.isSpace()) {
            ++at;
        } else if (isMinus(c) || c == QLatin1Char('+')) {
            negative = negative || isMinus(c);
            ++signs;
            ++at;
        } else {
            if (!currency.isEmpty())
                return out;
            currency = takeCurrency(at);
            if (!isCurrency(currency))
                return out;
        }
    }
    if (signs > 1 || number.isEmpty())
        return out;
    const qsizetype decimalAt = number.indexOf(point);
    if (decimalAt >= 0 && number.indexOf(point, decimalAt + 1) >= 0)
        return out;
    QString whole = decimalAt >= 0 ? number.left(decimalAt) : number;
    const QString decimals = decimalAt >= 0 ? number.mid(decimalAt + 1) : QString();
    if (!std::all_of(decimals.begin(), decimals.end(), [](QChar c) { return c.isDigit(); }))
        return out;
    if (decimalAt >= 0 && decimals.isEmpty())
        return out;
    // One kind of group separator, in its places.
    QChar group;
    for (const QChar c : whole)
        if (!c.isDigit()) {
            if (!group.isNull() && c != group)
                return out;
            group = c;
        }
    if (!group.isNull() && !groupsInPlace(whole, group))
        return out;
    whole.remove(group);
    if (whole.isEmpty() && decimals.isEmpty())
        return out;
    while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    out.state = AmountText::Read;
    // More than 15 digits is no transaction of any currency; kept as "too large".
    constexpr qint64 kBeyond = qint64(1) << 56;
    if (whole.size() > 15) {
        out.cents = negative ? -kBeyond : kBeyond;
        out.tooLarge = true;
        return out;
    }
    qint64 cents = whole.isEmpty() ? 0 : whole.toLongLong() * 100;
    if (!decimals.isEmpty())
        cents += decimals.left(1).toLongLong() * 10 +
                 (decimals.size() > 1 ? decimals.mid(1, 1).toLongLong() : 0);
    out.cents = negative ? -cents : cents;
    out.tooLarge = clampAmount(out.cents) != out.cents;
    return out;
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
    line(skips.unreadableAmount, "with an amount that cannot be read");
    line(skips.investmentTrades, "that are investment trades, not bank transactions");
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
    case SkipReason::UnreadableAmount:
        ++unreadableAmount;
        break;
    case SkipReason::InvestmentTrade:
        ++investmentTrades;
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
    case SkipReason::UnreadableAmount:
        return "unreadable amount";
    case SkipReason::InvestmentTrade:
        return "investment trade, not a bank transaction";
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
