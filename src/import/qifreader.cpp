#include "import/qifreader.h"

#include "model/mappingrules.h"

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <unistd.h>

namespace {
// Bytes kept of one line: enough for kMaxQifValueLength code units whatever the UTF-8 mix,
// so a value is never cut short by this and a huge line costs no more memory than this.
constexpr qsizetype kMaxLineBytes = 4 * (kMaxQifValueLength + 1);

QString decodeValue(const QByteArray& line) {
    QString value = QString::fromUtf8(line.constData() + 1, line.size() - 1);
    if (value.size() > kMaxQifValueLength) {
        qsizetype keep = kMaxQifValueLength;
        if (value.at(keep - 1).isHighSurrogate())
            --keep; // never half a character
        value.truncate(keep);
    }
    return value;
}

enum class Order { MonthDayYear, DayMonthYear, YearMonthDay };

// The order of day, month and year in the default locale's short date format.
Order localeOrder() {
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    const qsizetype d = format.indexOf(QLatin1Char('d'));
    const qsizetype m = format.indexOf(QLatin1Char('M'));
    const qsizetype y = format.indexOf(QLatin1Char('y'));
    if (y >= 0 && (d < 0 || y < d) && (m < 0 || y < m))
        return Order::YearMonthDay;
    if (d >= 0 && m >= 0 && d < m)
        return Order::DayMonthYear;
    return Order::MonthDayYear;
}

int expandYear(const QString& digits) {
    const int value = digits.toInt();
    if (digits.size() > 2)
        return value;
    return value < 30 ? 2000 + value : 1900 + value;
}

// Collects lines and turns every third field of a transaction into a record.
class QifParser {
public:
    explicit QifParser(std::vector<ImportRecord>& out) : out_(out) {}

    // False once the input has ended (a zero byte) or the record limit is passed.
    bool feed(const char* data, qsizetype size) {
        for (qsizetype i = 0; i < size; ++i) {
            const char c = data[i];
            if (c == '\0')
                return false;
            if (c == '\r' || c == '\n') {
                endLine();
                if (tooMany_)
                    return false;
            } else {
                if (lineBytes_ < kMaxLineBytes)
                    line_.append(c);
                ++lineBytes_;
            }
        }
        return true;
    }
    // The input has ended: a last line without a line break still counts, so that a file
    // missing its final break does not lose its last transaction.
    void finish() { endLine(); }
    bool tooMany() const { return tooMany_; }

private:
    void endLine() {
        if (!line_.isEmpty())
            processLine();
        line_.clear();
        lineBytes_ = 0;
    }

    void processLine() {
        switch (line_.at(0)) {
        case 'D':
        case 'd': {
            QString text = decodeValue(line_);
            // The apostrophe stands between day and year in dates after 1999 ("1/15'10"):
            // dropped outright it would glue the two into one number and lose the date.
            text.replace(QLatin1Char('\''), QLatin1Char(' '));
            date_ = parseQifDate(text);
            if (!date_.isSet())
                date_ = fromSerialDay(0.0); // an unreadable date is taken as day 0
            break;
        }
        case 'P':
        case 'p':
            payee_ = replaceReservedCharacters(decodeValue(line_));
            break;
        case 'T':
        case 't':
            amount_ = parseAmount(decodeValue(line_));
            break;
        case '^':
            // The end of a transaction: what is still pending belongs to no other one, so a
            // transaction without an amount cannot lend its payee to the next.
            payee_.clear();
            date_ = DateTime();
            amount_ = 0;
            break;
        default:
            break;
        }
        if (amount_ != 0 && date_.isSet() && !payee_.isEmpty()) {
            if (int(out_.size()) >= kMaxQifRecords) {
                tooMany_ = true;
                return;
            }
            ImportRecord record;
            record.incomingPayee = payee_;
            record.date = date_;
            record.amount = amount_;
            out_.push_back(std::move(record));
            payee_.clear();
            date_ = DateTime();
            amount_ = 0;
        }
    }

    std::vector<ImportRecord>& out_;
    QByteArray line_;
    qsizetype lineBytes_ = 0;
    bool tooMany_ = false;
    QString payee_;
    DateTime date_;
    Amount amount_ = 0;
};

quint32 parseInto(const QByteArray& bytes, std::vector<ImportRecord>& records) {
    QifParser parser(records);
    parser.feed(bytes.constData(), bytes.size());
    if (!parser.tooMany())
        parser.finish();
    return parser.tooMany() ? EFBIG : 0;
}
} // namespace

DateTime parseQifDate(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral(
            "^\\s*(\\d{1,4})\\s*([/.-])\\s*(\\d{1,2})(?:\\s*\\2\\s*|\\s+)(\\d{1,4})(?:\\s.*)?$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    const QString first = match.captured(1);
    const QString second = match.captured(3);
    const QString third = match.captured(4);
    int year = 0, month = 0, day = 0;
    if (first.size() > 2) { // 2024/12/15 whatever the locale
        if (third.size() > 2)
            return {};
        year = first.toInt();
        month = second.toInt();
        day = third.toInt();
    } else {
        switch (localeOrder()) {
        case Order::DayMonthYear:
            if (third.size() == 3)
                return {};
            day = first.toInt();
            month = second.toInt();
            year = expandYear(third);
            break;
        case Order::MonthDayYear:
            if (third.size() == 3)
                return {};
            month = first.toInt();
            day = second.toInt();
            year = expandYear(third);
            break;
        case Order::YearMonthDay:
            if (third.size() > 2)
                return {};
            year = expandYear(first);
            month = second.toInt();
            day = third.toInt();
            break;
        }
    }
    const QDate date(year, month, day);
    if (!date.isValid() || year < 100)
        return {};
    DateTime result;
    result.year = quint16(year);
    result.month = quint16(month);
    result.day = quint16(day);
    result.dayOfWeek = quint16(date.dayOfWeek() % 7);
    return result;
}

quint32 readQifBytes(const QByteArray& bytes, std::vector<ImportRecord>& records) {
    records.clear();
    std::vector<ImportRecord> read;
    try {
        const quint32 status = parseInto(bytes, read);
        if (status != 0)
            return status;
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    records = std::move(read);
    return 0;
}

quint32 readQifFile(const QString& path, std::vector<ImportRecord>& records) {
    records.clear();
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return ENOENT;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return quint32(errno);

    // The file is read in pieces so that a huge or hostile file costs no more memory than
    // the records it yields.
    std::vector<ImportRecord> read;
    quint32 status = 0;
    try {
        QifParser parser(read);
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const ssize_t got = ::read(fd, buffer.data(), buffer.size());
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                status = quint32(errno);
                break;
            }
            if (got == 0 || !parser.feed(buffer.data(), got))
                break;
        }
        if (status == 0 && !parser.tooMany())
            parser.finish();
        if (status == 0 && parser.tooMany())
            status = EFBIG;
    } catch (const std::bad_alloc&) {
        status = ENOMEM;
    }
    ::close(fd);
    if (status == 0)
        records = std::move(read);
    return status;
}
