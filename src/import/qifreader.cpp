#include "import/qifreader.h"

#include "model/mappingrules.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QStringList>
#include <QTime>

#include <cmath>
#include <optional>

#include <cerrno>
#include <cstring>
#include <new>

namespace {
// Bytes kept of one line: enough for kMaxQifValueLength code units whatever the UTF-8 mix,
// so a value is never cut short by this and a huge line costs no more memory than this.
constexpr qsizetype kMaxLineBytes = 4 * (kMaxQifValueLength + 1);

QString decodeValue(const QByteArray& line) {
    QByteArray bytes = line.mid(1);
    if (line.size() >= kMaxLineBytes) {
        // A line cut short may end in part of a UTF-8 character, which would make the whole
        // line read as Windows-1252: the last character goes (the value is cut anyway).
        qsizetype end = bytes.size();
        while (end > 0 && (uchar(bytes.at(end - 1)) & 0xC0) == 0x80 && bytes.size() - end < 3)
            --end;
        if (end > 0 && uchar(bytes.at(end - 1)) >= 0xC0)
            bytes.truncate(end - 1);
    }
    QString value = decodeStatementText(bytes);
    if (value.size() > kMaxQifValueLength) {
        qsizetype keep = kMaxQifValueLength;
        if (value.at(keep - 1).isHighSurrogate())
            --keep; // never half a character
        value.truncate(keep);
    }
    return value;
}

// A split line as written: "$" gives the amount, "%" a share of the record's amount.
struct RawPart {
    QString category;
    QString memo;
    std::optional<Amount> amount;
    std::optional<double> percent;
};

// A transaction as the statement wrote it; its date is read once the file's day/month
// order is known.
struct RawRecord {
    QString dateText;
    QString payee;
    QString memo;
    Amount amount = 0;
    int number = 0; // in the statement, counting every record
    bool tooLarge = false;
    std::vector<RawPart> parts{};
};

// The parts of a record, adding up to its amount: shares become amounts, empty parts go,
// and what the lines leave over becomes a part of its own. Fewer than two parts: none.
std::vector<ImportPart> finishParts(const RawRecord& r) {
    std::vector<ImportPart> parts;
    std::int64_t sum = 0;
    for (const RawPart& raw : r.parts) {
        std::int64_t amount = 0;
        if (raw.amount)
            amount = *raw.amount;
        else if (raw.percent)
            amount = std::llround(double(r.amount) * *raw.percent / 100.0);
        if (amount == 0)
            continue;
        sum += amount;
        parts.push_back(ImportPart{raw.category, raw.memo, clampAmount(amount), kNoId});
    }
    if (parts.empty())
        return {};
    const std::int64_t rest = std::int64_t(r.amount) - sum;
    if (rest != 0) {
        if (rest != std::int64_t(clampAmount(rest)))
            return {}; // lines that make no sense for this amount: the record stays whole
        parts.push_back(ImportPart{QString(), QString(), clampAmount(rest), kNoId});
    }
    if (parts.size() < 2)
        return {};
    return parts;
}

// "!Type:Cat", "!Account" and the like open lists whose entries are no transactions (their
// D and T lines mean description and tax flag); "!Type:Bank", "!Type:Invst", ... open
// transactions again.
bool opensList(const QByteArray& header) {
    const QByteArray h = header.trimmed().toLower();
    if (h.startsWith("!account"))
        return true;
    if (!h.startsWith("!type:"))
        return false;
    const QByteArray type = h.mid(6).trimmed();
    for (const char* list : {"cat", "class", "memorized", "security", "prices", "budget"})
        if (type == list)
            return true;
    return false;
}

// Collects lines into raw records; a record ends at "^" or with its third field.
class QifParser {
public:
    explicit QifParser(std::vector<RawRecord>& out) : out_(out) {}

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
    // missing its final break does not lose its last transaction, and so does a last
    // record without its "^".
    void finish() {
        endLine();
        if (!tooMany_)
            endRecord();
    }
    bool tooMany() const { return tooMany_; }
    StatementSkips skips;

private:
    void endLine() {
        // Notepad and others begin UTF-8 files with a byte order mark; it would hide a first
        // "!Type" line.
        if (firstLine_ && line_.startsWith("\xEF\xBB\xBF"))
            line_.remove(0, 3);
        firstLine_ = false;
        if (!line_.isEmpty())
            processLine();
        line_.clear();
        lineBytes_ = 0;
    }

    void reset() {
        parts_.clear();
        dateText_.clear();
        payee_.clear();
        memo_.clear();
        amount_ = 0;
        amountUnreadable_ = false;
        tooLarge_ = false;
        content_ = false;
    }

    void pushRecord(const QString& payee) {
        if (int(out_.size()) >= kMaxQifRecords) {
            tooMany_ = true;
            return;
        }
        out_.push_back({dateText_, payee, memo_, amount_, records_, tooLarge_, parts_});
    }

    // Split lines: "S" starts a part; "E", "$" and "%" fill the part begun last. After the
    // record was made they still belong to it.
    void splitLine(char tag) {
        std::vector<RawPart>& parts =
            emittedInRecord_ && !content_ && !out_.empty() ? out_.back().parts : parts_;
        if (tag == 'S' || tag == 's' || parts.empty()) {
            if (parts.size() >= kMaxParts)
                return;
            parts.emplace_back();
        }
        RawPart& part = parts.back();
        const QString value = decodeValue(line_);
        switch (tag) {
        case 'S':
        case 's':
            part.category = value.trimmed();
            break;
        case 'E':
        case 'e':
            part.memo = value;
            break;
        case '$': {
            const AmountText read = readAmountText(value);
            if (read.state == AmountText::Read && !read.tooLarge)
                part.amount = read.amount();
        } break;
        case '%': {
            QString text = value.trimmed();
            text.remove(u'%');
            bool ok = false;
            const double percent = QLocale::c().toDouble(text, &ok);
            if (ok && std::isfinite(percent) && std::fabs(percent) <= 1000)
                part.percent = percent;
        } break;
        default:
            break;
        }
    }
    static constexpr std::size_t kMaxParts = 250;

    // "^", a section header or the end of the input: what is pending is one record.
    void endRecord() {
        if (content_) {
            ++records_;
            if (inList_)
                skips.add(SkipReason::ListEntry, records_);
            else if (dateText_.trimmed().isEmpty())
                skips.add(SkipReason::NoDate, records_);
            else if (amount_ == 0)
                skips.add(amountUnreadable_ ? SkipReason::UnreadableAmount : SkipReason::NoAmount,
                          records_);
            else
                // Transfers and cheques name no payee; the memo stands in, made matchable.
                pushRecord(payee_.isEmpty() ? replaceReservedCharacters(memo_) : payee_);
        }
        reset();
        emittedInRecord_ = false;
    }

    void processLine() {
        const char tag = line_.at(0);
        if (tag == '!') {
            endRecord();
            if (line_.size() > 1 && (line_.at(1) == 'T' || line_.at(1) == 't' ||
                                     line_.at(1) == 'A' || line_.at(1) == 'a'))
                inList_ = opensList(line_);
            return;
        }
        if (tag == '^') {
            endRecord();
            return;
        }
        // Only the fields of a transaction make a record (a stray line of anything else
        // does not), and the lines after a record's third field (its number, memo,
        // category) still belong to it.
        if (std::strchr(emittedInRecord_ ? "DdPpTt" : "DdPpTtUuMmNnLlCcAaSsEe$%", tag))
            content_ = true;
        if (inList_)
            return;
        switch (tag) {
        case 'D':
        case 'd':
            dateText_ = decodeValue(line_);
            break;
        case 'P':
        case 'p':
            payee_ = replaceReservedCharacters(decodeValue(line_));
            break;
        case 'M':
        case 'm':
            // A memo after the record's third field still belongs to the record just made.
            if (emittedInRecord_ && !out_.empty())
                out_.back().memo = decodeValue(line_);
            else
                memo_ = decodeValue(line_);
            break;
        case 'S':
        case 's':
        case 'E':
        case 'e':
        case '$':
        case '%':
            splitLine(tag);
            break;
        case 'T':
        case 't': {
            const AmountText read = readAmountText(decodeValue(line_));
            amount_ = read.state == AmountText::Read ? read.amount() : 0;
            amountUnreadable_ = read.state == AmountText::Unreadable;
            tooLarge_ = read.tooLarge;
        } break;
        default:
            break;
        }
        if (amount_ != 0 && !dateText_.trimmed().isEmpty() && !payee_.isEmpty()) {
            ++records_;
            pushRecord(payee_);
            reset();
            emittedInRecord_ = true;
        }
    }

    std::vector<RawRecord>& out_;
    QByteArray line_;
    bool firstLine_ = true;
    int records_ = 0; // records ended so far, kept or not
    qsizetype lineBytes_ = 0;
    bool tooMany_ = false;
    bool inList_ = false;
    bool content_ = false;         // a line of a record not yet counted or emitted
    bool emittedInRecord_ = false; // the record has been emitted before its "^"
    QString dateText_;
    QString payee_;
    QString memo_;
    std::vector<RawPart> parts_;
    Amount amount_ = 0;
    bool amountUnreadable_ = false;
    bool tooLarge_ = false;
};

DateTime atMidnight(const QDate& date) {
    return fromQDateTime(QDateTime(date, QTime(0, 0)));
}

// Reads the dates of the whole file in one order and makes the records.
void finishRecords(const std::vector<RawRecord>& raw, std::vector<ImportRecord>& records,
                   StatementSkips& skips, std::optional<DateOrder> forcedOrder) {
    QStringList dates;
    if (!forcedOrder) {
        dates.reserve(qsizetype(raw.size()));
        for (const RawRecord& r : raw)
            dates << r.dateText;
    }
    const DateOrder order = forcedOrder ? *forcedOrder : chooseDateOrder(dates, localeDateOrder());
    records.reserve(raw.size());
    for (const RawRecord& r : raw) {
        const QDate date = readStatementDate(r.dateText, order);
        const DateTime when = date.isValid() ? atMidnight(date) : DateTime();
        if (!when.isSet()) {
            skips.add(SkipReason::UnreadableDate, r.number);
            continue;
        }
        ImportRecord record;
        record.incomingPayee = r.payee;
        record.memo = r.memo;
        record.date = when;
        record.amount = r.amount;
        record.tooLarge = r.tooLarge;
        record.number = r.number;
        if (!r.tooLarge)
            record.parts = finishParts(r);
        records.push_back(std::move(record));
    }
}

// Parses bytes (or feeds from a file) into records; the common end of both readers.
quint32 finishParse(QifParser& parser, std::vector<RawRecord>& raw,
                    std::vector<ImportRecord>& records, StatementSkips* skips,
                    std::optional<DateOrder> dateOrder) {
    if (!parser.tooMany())
        parser.finish();
    if (parser.tooMany())
        return EFBIG;
    std::vector<ImportRecord> read;
    StatementSkips counted = parser.skips;
    finishRecords(raw, read, counted, dateOrder);
    // Unreadable dates are found only now, after the others.
    std::stable_sort(
        counted.records.begin(), counted.records.end(),
        [](const SkippedRecord& a, const SkippedRecord& b) { return a.record < b.record; });
    records = std::move(read);
    if (skips)
        *skips = counted;
    return 0;
}
} // namespace

DateTime parseQifDate(const QString& text) {
    const QDate date = readStatementDate(text, localeDateOrder());
    return date.isValid() ? atMidnight(date) : DateTime();
}

quint32 readQifBytes(const QByteArray& bytes, std::vector<ImportRecord>& records,
                     StatementSkips* skips, std::optional<DateOrder> dateOrder) {
    records.clear();
    if (skips)
        *skips = StatementSkips();
    try {
        std::vector<RawRecord> raw;
        QifParser parser(raw);
        parser.feed(bytes.constData(), bytes.size());
        return finishParse(parser, raw, records, skips, dateOrder);
    } catch (const std::bad_alloc&) {
        records.clear();
        return ENOMEM;
    }
}

quint32 readQifFile(const QString& path, std::vector<ImportRecord>& records, StatementSkips* skips,
                    std::optional<DateOrder> dateOrder) {
    records.clear();
    if (skips)
        *skips = StatementSkips();
    // The file is read in pieces so that a huge or hostile file costs no more memory than
    // the records it yields.
    quint32 status = 0;
    try {
        std::vector<RawRecord> raw;
        QifParser parser(raw);
        status = readFileInPieces(
            path, [&parser](const char* data, qsizetype size) { return parser.feed(data, size); });
        if (status == 0)
            status = finishParse(parser, raw, records, skips, dateOrder);
    } catch (const std::bad_alloc&) {
        records.clear();
        status = ENOMEM;
    }
    if (status != 0) {
        records.clear();
        if (skips)
            *skips = StatementSkips();
    }
    return status;
}
