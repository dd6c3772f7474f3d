#include "import/ofxreader.h"

#include "model/mappingrules.h"

#include <libofx/libofx.h>

#include <QDataStream>
#include <QDate>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QTime>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// One transaction as libofx gives it.
struct OfxRow {
    qint64 cents = 0;
    bool hasAmount = false;
    QString name;
    QString memo;
    QString fitid;
};

struct OfxParse {
    bool sawStatement = false;
    bool tooMany = false;
    std::vector<OfxRow> rows;
};

QDataStream& operator<<(QDataStream& out, const OfxParse& p) {
    out << p.sawStatement << p.tooMany << quint32(p.rows.size());
    for (const OfxRow& r : p.rows)
        out << r.cents << r.hasAmount << r.name << r.memo << r.fitid;
    return out;
}

QDataStream& operator>>(QDataStream& in, OfxParse& p) {
    quint32 count = 0;
    in >> p.sawStatement >> p.tooMany >> count;
    if (count > quint32(kMaxQifRecords) + 1) {
        in.setStatus(QDataStream::ReadCorruptData);
        return in;
    }
    p.rows.resize(count);
    for (OfxRow& r : p.rows)
        in >> r.cents >> r.hasAmount >> r.name >> r.memo >> r.fitid;
    return in;
}

// libofx hands out UTF-8 after converting from the file's declared character set; a file
// that declares one set and is written in another still reads as Windows-1252.
QString ofxText(const char* text, int valid) {
    if (!valid)
        return QString();
    QString value = decodeStatementText(QByteArray(text)).trimmed();
    if (value.size() > kMaxQifValueLength)
        value.truncate(value.at(kMaxQifValueLength - 1).isHighSurrogate() ? kMaxQifValueLength - 1
                                                                          : kMaxQifValueLength);
    return value;
}

int onTransaction(const OfxTransactionData data, void* context) {
    auto* parse = static_cast<OfxParse*>(context);
    if (int(parse->rows.size()) >= kMaxQifRecords) {
        parse->tooMany = true;
        return 0;
    }
    OfxRow row;
    if (data.amount_valid && std::isfinite(data.amount) && std::fabs(data.amount) < 1e15) {
        row.cents = std::llround(data.amount * 100.0);
        row.hasAmount = true;
    }
    row.name = ofxText(data.name, data.name_valid);
    row.memo = ofxText(data.memo, data.memo_valid);
    row.fitid = ofxText(data.fi_id, data.fi_id_valid);
    parse->rows.push_back(std::move(row));
    return 0;
}

int onStatement(const OfxStatementData, void* context) {
    static_cast<OfxParse*>(context)->sawStatement = true;
    return 0;
}

int onAccount(const OfxAccountData, void* context) {
    static_cast<OfxParse*>(context)->sawStatement = true;
    return 0;
}

void parseOfxFile(const QByteArray& path, OfxParse& parse) {
    ofx_PARSER_msg = ofx_DEBUG_msg = ofx_DEBUG1_msg = ofx_DEBUG2_msg = ofx_DEBUG3_msg =
        ofx_DEBUG4_msg = ofx_DEBUG5_msg = ofx_STATUS_msg = ofx_INFO_msg = ofx_WARNING_msg =
            ofx_ERROR_msg = 0;
    LibofxContextPtr context = libofx_get_new_context();
    ofx_set_transaction_cb(context, onTransaction, &parse);
    ofx_set_statement_cb(context, onStatement, &parse);
    ofx_set_account_cb(context, onAccount, &parse);
    libofx_proc_file(context, path.constData(), OFX);
    libofx_free_context(context);
}

// The posted date, amount and FITID of each <STMTTRN> as the file writes them. libofx turns
// dates into instants, guessing a time of day and shifting by time zones, and makes today of
// a date it cannot read, while the statement's own calendar date is what the user knows; and
// it reads "3,210.55" as 3.21.
struct RawTransaction {
    QByteArray posted;
    QByteArray amount;
    QByteArray fitid;
};

QByteArray elementValue(const QByteArray& bytes, const QByteArray& lower, const char* tag,
                        qsizetype from, qsizetype stop) {
    const QByteArray open(tag);
    const qsizetype at = lower.indexOf(open, from);
    if (at < 0 || at >= stop)
        return QByteArray();
    const qsizetype start = at + open.size();
    qsizetype end = start;
    while (end < stop && bytes.at(end) != '<' && bytes.at(end) != '\r' && bytes.at(end) != '\n')
        ++end;
    return bytes.mid(start, end - start).trimmed();
}

std::vector<RawTransaction> scanTransactions(const QByteArray& bytes) {
    const QByteArray lower = bytes.toLower();
    std::vector<RawTransaction> raw;
    qsizetype at = lower.indexOf("<stmttrn>");
    while (at >= 0 && raw.size() <= size_t(kMaxQifRecords)) {
        const qsizetype next = lower.indexOf("<stmttrn>", at + 1);
        qsizetype stop = next < 0 ? bytes.size() : next;
        const qsizetype close = lower.indexOf("</stmttrn>", at);
        if (close >= 0 && close < stop)
            stop = close;
        raw.push_back({elementValue(bytes, lower, "<dtposted>", at, stop),
                       elementValue(bytes, lower, "<trnamt>", at, stop),
                       elementValue(bytes, lower, "<fitid>", at, stop)});
        at = next;
    }
    return raw;
}

// YYYYMMDD, with or without the time and zone after it.
QDate ofxDate(const QByteArray& text) {
    if (text.size() < 8)
        return QDate();
    for (int i = 0; i < 8; ++i)
        if (text.at(i) < '0' || text.at(i) > '9')
            return QDate();
    const int year = text.left(4).toInt();
    if (year < 100)
        return QDate();
    return QDate(year, text.mid(4, 2).toInt(), text.mid(6, 2).toInt());
}

// An amount has one decimal separator, "." or ","; the other, where a bank writes it anyway,
// groups thousands.
Amount ofxAmount(const QByteArray& text) {
    return readStatementAmount(QString::fromLatin1(text),
                               text.lastIndexOf(',') > text.lastIndexOf('.'));
}

// What libofx read, with the dates taken from the file, as the rows under review.
quint32 makeRecords(const QByteArray& bytes, const OfxParse& parse,
                    std::vector<ImportRecord>& records, StatementSkips* skips) {
    if (parse.tooMany)
        return EFBIG;
    if (!parse.sawStatement && parse.rows.empty())
        return EINVAL;
    const std::vector<RawTransaction> raw = scanTransactions(bytes);
    // Normally one <STMTTRN> per transaction, in order; otherwise the FITID finds the date.
    const bool inOrder = raw.size() == parse.rows.size();
    QHash<QString, const RawTransaction*> rawById;
    if (!inOrder)
        for (const RawTransaction& r : raw)
            if (!r.fitid.isEmpty())
                rawById.insert(decodeStatementText(r.fitid).trimmed(), &r);
    StatementSkips counted;
    std::vector<ImportRecord> read;
    read.reserve(parse.rows.size());
    for (size_t i = 0; i < parse.rows.size(); ++i) {
        const OfxRow& row = parse.rows[i];
        const RawTransaction* written = inOrder ? &raw[i] : rawById.value(row.fitid, nullptr);
        const QByteArray posted = written ? written->posted : QByteArray();
        const QDate date = ofxDate(posted);
        const int number = int(i) + 1;
        if (posted.isEmpty()) {
            counted.add(SkipReason::NoDate, number);
            continue;
        }
        if (!date.isValid()) {
            counted.add(SkipReason::UnreadableDate, number);
            continue;
        }
        const Amount amount = written && !written->amount.isEmpty() ? ofxAmount(written->amount)
                              : row.hasAmount                       ? clampAmount(row.cents)
                                                                    : 0;
        if (amount == 0) {
            counted.add(SkipReason::NoAmount, number);
            continue;
        }
        ImportRecord record;
        record.incomingPayee = replaceReservedCharacters(row.name.isEmpty() ? row.memo : row.name);
        record.memo = row.memo;
        record.bankId = row.fitid;
        record.date = fromQDateTime(QDateTime(date, QTime(0, 0)));
        record.amount = amount;
        read.push_back(std::move(record));
    }
    records = std::move(read);
    if (skips)
        *skips = counted;
    return 0;
}

// A statement at all, and whole: libofx reads what it can of a cut-off file without a word.
bool looksComplete(const QByteArray& bytes) {
    const QByteArray lower = bytes.toLower();
    const qsizetype open = lower.indexOf("<ofx>");
    return open >= 0 && lower.indexOf("</ofx>", open) > open;
}

// Empties the result, refuses what is no whole statement, and puts the statement in a
// private temporary folder, for libofx reads only files. libofx makes its own temporary
// file beside it (through TMPDIR), which a killed parse would otherwise leave behind.
quint32 prepare(const QByteArray& bytes, std::vector<ImportRecord>& records, StatementSkips* skips,
                const QTemporaryDir& folder) {
    records.clear();
    if (skips)
        *skips = StatementSkips();
    if (!looksComplete(bytes))
        return EINVAL;
    if (!folder.isValid())
        return EACCES;
    QFile file(folder.filePath(QStringLiteral("statement.ofx")));
    if (!file.open(QIODevice::WriteOnly))
        return EACCES;
    if (file.write(bytes) != bytes.size() || !file.flush())
        return file.error() == QFileDevice::ResourceError ? ENOSPC : EIO;
    return 0;
}

QTemporaryDir statementFolder() {
    return QTemporaryDir(QDir::tempPath() + QStringLiteral("/tallykeep-statement-XXXXXX"));
}

bool writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// In the child: parse, send the rows through the pipe, end without running the parent's
// exit handlers.
[[noreturn]] void runChild(const QTemporaryDir& folder, int out) {
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("statement.ofx")));
    ::setenv("TMPDIR", QFile::encodeName(folder.path()).constData(), 1);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    OfxParse parse;
    parseOfxFile(path, parse);
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    stream << parse;
    ::_exit(writeAll(out, data) ? 0 : 1);
}

// Reads the child's answer until it closes the pipe or the time is up.
quint32 readChild(int in, pid_t child, QByteArray& data, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    char buffer[1 << 16];
    for (;;) {
        pollfd p{in, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            ::kill(child, SIGKILL);
            return ETIMEDOUT;
        }
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        data.append(buffer, n);
    }
}
} // namespace

quint32 readOfxBytesUnguarded(const QByteArray& bytes, std::vector<ImportRecord>& records,
                              StatementSkips* skips) {
    try {
        const QTemporaryDir folder = statementFolder();
        if (const quint32 status = prepare(bytes, records, skips, folder))
            return status;
        OfxParse parse;
        parseOfxFile(QFile::encodeName(folder.filePath(QStringLiteral("statement.ofx"))), parse);
        return makeRecords(bytes, parse, records, skips);
    } catch (const std::bad_alloc&) {
        records.clear();
        return ENOMEM;
    }
}

quint32 readOfxBytes(const QByteArray& bytes, std::vector<ImportRecord>& records,
                     StatementSkips* skips, int timeoutMs) {
    const QTemporaryDir folder = statementFolder();
    if (const quint32 status = prepare(bytes, records, skips, folder))
        return status;
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return quint32(errno);
    const pid_t child = ::fork();
    if (child < 0) {
        const quint32 status = quint32(errno);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return status;
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        runChild(folder, pipeEnds[1]);
    }
    ::close(pipeEnds[1]);
    QByteArray data;
    quint32 status = readChild(pipeEnds[0], child, data, timeoutMs);
    ::close(pipeEnds[0]);
    int wstatus = 0;
    while (::waitpid(child, &wstatus, 0) < 0 && errno == EINTR) {
    }
    if (status != 0)
        return status;
    if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0)
        return EINVAL; // libofx crashed on it
    try {
        OfxParse parse;
        QDataStream stream(data);
        stream >> parse;
        if (stream.status() != QDataStream::Ok)
            return EINVAL;
        status = makeRecords(bytes, parse, records, skips);
    } catch (const std::bad_alloc&) {
        records.clear();
        status = ENOMEM;
    }
    return status;
}
