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
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTime>

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {
// One transaction as libofx gives it.
struct OfxRow {
    qint64 cents = 0;
    bool hasAmount = false;
    QString name;
    QString memo;
    QString fitid;
    int statement = 0; // index into OfxParse::statements
    // A trade of an investment statement (a purchase, a sale, income from a security): no
    // money moved in or out of a bank account.
    bool trade = false;
};

// A statement's ledger balance as libofx gives it.
struct OfxBalance {
    bool valid = false;
    qint64 cents = 0;
    bool dated = false;
    qint64 asOf = 0; // seconds since the epoch
};

struct OfxParse {
    bool sawStatement = false;
    bool tooMany = false;
    std::vector<OfxRow> rows;
    std::vector<OfxStatement> statements; // rows not counted yet
    std::vector<OfxBalance> balances;     // one per statement
};

QDataStream& operator<<(QDataStream& out, const OfxParse& p) {
    out << p.sawStatement << p.tooMany << quint32(p.rows.size());
    for (const OfxRow& r : p.rows)
        out << r.cents << r.hasAmount << r.name << r.memo << r.fitid << qint32(r.statement)
            << r.trade;
    out << quint32(p.statements.size());
    for (size_t i = 0; i < p.statements.size(); ++i) {
        const OfxBalance b = i < p.balances.size() ? p.balances[i] : OfxBalance();
        out << p.statements[i].accountId << p.statements[i].type << b.valid << b.cents << b.dated
            << b.asOf;
    }
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
    for (OfxRow& r : p.rows) {
        qint32 statement = 0;
        in >> r.cents >> r.hasAmount >> r.name >> r.memo >> r.fitid >> statement >> r.trade;
        r.statement = statement;
    }
    quint32 statements = 0;
    in >> statements;
    if (statements > quint32(kMaxQifRecords) + 1) {
        in.setStatus(QDataStream::ReadCorruptData);
        return in;
    }
    p.statements.resize(statements);
    p.balances.resize(statements);
    for (size_t i = 0; i < statements; ++i) {
        OfxBalance& b = p.balances[i];
        in >> p.statements[i].accountId >> p.statements[i].type >> b.valid >> b.cents >> b.dated >>
            b.asOf;
    }
    // Every row belongs to a statement that was sent.
    for (const OfxRow& r : p.rows)
        if (r.statement < 0 || quint32(r.statement) >= statements)
            in.setStatus(QDataStream::ReadCorruptData);
    return in;
}

// libofx hands out UTF-8 after converting from the file's declared character set; a file
// that declares one set and is written in another still reads as Windows-1252.
QString ofxText(const char* text, int valid) {
    if (!valid)
        return QString();
    QString value = decodeStatementText(QByteArray(text)).trimmed();
    // A file that says CHARSET:1252 but is written in UTF-8 (as many are) comes back with
    // each UTF-8 byte turned into a letter of its own ("CafÃ©"): text that is valid UTF-8 is
    // read as UTF-8 whatever the header says.
    if (std::any_of(value.begin(), value.end(), [](QChar c) { return c.unicode() >= 0x80; })) {
        QStringEncoder windows("windows-1252");
        const QByteArray bytes = windows.isValid() ? QByteArray(windows(value)) : QByteArray();
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString again = utf8(bytes);
        if (!windows.hasError() && !utf8.hasError() && again != value)
            value = again;
    }
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
    row.trade = data.invtransactiontype_valid && data.invtransactiontype != OFX_INVBANKTRAN;
    // libofx hands out each account, then that account's transactions.
    if (parse->statements.empty())
        parse->statements.push_back({});
    row.statement = int(parse->statements.size()) - 1;
    parse->rows.push_back(std::move(row));
    return 0;
}

QString accountTypeName(const OfxAccountData& data) {
    if (!data.account_type_valid)
        return QStringLiteral("account");
    switch (data.account_type) {
    case OfxAccountData::OFX_CHECKING:
        return QStringLiteral("checking");
    case OfxAccountData::OFX_SAVINGS:
        return QStringLiteral("savings");
    case OfxAccountData::OFX_MONEYMRKT:
        return QStringLiteral("money market");
    case OfxAccountData::OFX_CREDITLINE:
        return QStringLiteral("credit line");
    case OfxAccountData::OFX_CMA:
        return QStringLiteral("cash management");
    case OfxAccountData::OFX_CREDITCARD:
        return QStringLiteral("credit card");
    case OfxAccountData::OFX_INVESTMENT:
        return QStringLiteral("investment");
    default: // kinds newer libofx versions add (a 401(k)): named plainly
        break;
    }
    return QStringLiteral("account");
}

// libofx hands out a statement's data after its transactions: it belongs to the account
// handed out last.
int onStatement(const OfxStatementData data, void* context) {
    auto* parse = static_cast<OfxParse*>(context);
    parse->sawStatement = true;
    if (parse->statements.empty())
        parse->statements.push_back({});
    parse->balances.resize(parse->statements.size());
    OfxBalance& balance = parse->balances.back();
    if (data.ledger_balance_valid && std::isfinite(data.ledger_balance) &&
        std::fabs(data.ledger_balance) < 1e15) {
        balance.valid = true;
        balance.cents = std::llround(data.ledger_balance * 100.0);
        balance.dated = data.ledger_balance_date_valid;
        balance.asOf = qint64(data.ledger_balance_date);
    }
    return 0;
}

int onAccount(const OfxAccountData data, void* context) {
    auto* parse = static_cast<OfxParse*>(context);
    parse->sawStatement = true;
    if (int(parse->statements.size()) >= kMaxQifRecords) {
        parse->tooMany = true;
        return 0;
    }
    // The bank's own number for the account (ACCTID), without the bank id libofx puts before it.
    const QString number = ofxText(data.account_number, data.account_number_valid);
    parse->statements.push_back(
        {number.isEmpty() ? ofxText(data.account_id, data.account_id_valid) : number,
         accountTypeName(data), 0, std::nullopt});
    parse->balances.resize(parse->statements.size());
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
    // The value may stand on the line after its tag.
    qsizetype start = at + open.size();
    while (start < stop && (bytes.at(start) == ' ' || bytes.at(start) == '\t' ||
                            bytes.at(start) == '\r' || bytes.at(start) == '\n'))
        ++start;
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

// The BALAMT and DTASOF of each <LEDGERBAL> as the file writes them, in file order.
std::vector<std::pair<QByteArray, QByteArray>> scanLedgerBalances(const QByteArray& bytes) {
    const QByteArray lower = bytes.toLower();
    std::vector<std::pair<QByteArray, QByteArray>> out;
    qsizetype at = lower.indexOf("<ledgerbal>");
    while (at >= 0 && out.size() <= size_t(kMaxQifRecords)) {
        qsizetype stop = lower.indexOf("</ledgerbal>", at);
        const qsizetype next = lower.indexOf("<ledgerbal>", at + 1);
        if (stop < 0 || (next >= 0 && next < stop))
            stop = next < 0 ? bytes.size() : next;
        out.emplace_back(elementValue(bytes, lower, "<balamt>", at, stop),
                         elementValue(bytes, lower, "<dtasof>", at, stop));
        at = next;
    }
    return out;
}

// YYYYMMDD, with or without the time and zone after it.
QDate ofxDate(const QByteArray& text) {
    if (text.size() < 8)
        return QDate();
    for (int i = 0; i < 8; ++i)
        if (text.at(i) < '0' || text.at(i) > '9')
            return QDate();
    // Nothing before 1900 is a statement date (and its serial day would not reload).
    const int year = text.left(4).toInt();
    if (year < 1900)
        return QDate();
    return QDate(year, text.mid(4, 2).toInt(), text.mid(6, 2).toInt());
}

// An amount has one decimal separator, "." or ","; the other, where a bank writes it anyway,
// groups thousands.
AmountText ofxAmount(const QByteArray& text) {
    return readAmountText(QString::fromLatin1(text), text.lastIndexOf(',') > text.lastIndexOf('.'));
}

// What libofx read, with the dates taken from the file, as the rows under review.
quint32 makeRecords(const QByteArray& bytes, const OfxParse& parse,
                    std::vector<ImportRecord>& records, StatementSkips* skips,
                    std::vector<OfxStatement>* statements, int chosen) {
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
    std::vector<OfxStatement> found = parse.statements;
    if (found.empty())
        found.push_back({});
    // The closing balances: which statement has one is libofx's answer; the amount and the
    // day are read from the file where its ledger balances pair up with those statements
    // (libofx shifts the day by time zones and reads "3,210.55" as 3.21).
    const std::vector<std::pair<QByteArray, QByteArray>> ledger = scanLedgerBalances(bytes);
    const auto given = std::count_if(parse.balances.begin(), parse.balances.end(),
                                     [](const OfxBalance& b) { return b.valid; });
    for (size_t i = 0, k = 0; i < found.size() && i < parse.balances.size(); ++i) {
        const OfxBalance& b = parse.balances[i];
        if (!b.valid)
            continue;
        StatementBalance closing;
        closing.amount = clampAmount(b.cents);
        if (b.dated)
            closing.date = QDateTime::fromSecsSinceEpoch(b.asOf).date();
        if (qsizetype(ledger.size()) == given) {
            const AmountText written = ofxAmount(ledger[k].first);
            if (written.state == AmountText::Read && !written.tooLarge)
                closing.amount = written.amount();
            const QDate day = ofxDate(ledger[k].second);
            if (day.isValid())
                closing.date = day;
        }
        ++k;
        found[i].closing = closing;
    }
    std::vector<ImportRecord> read;
    read.reserve(parse.rows.size());
    for (size_t i = 0; i < parse.rows.size(); ++i) {
        const OfxRow& row = parse.rows[i];
        if (chosen >= 0 && row.statement != chosen)
            continue;
        const int number = int(i) + 1;
        if (row.trade) {
            counted.add(SkipReason::InvestmentTrade, number);
            continue;
        }
        const RawTransaction* written = inOrder ? &raw[i] : rawById.value(row.fitid, nullptr);
        const QByteArray posted = written ? written->posted : QByteArray();
        const QDate date = ofxDate(posted);
        if (posted.isEmpty()) {
            counted.add(SkipReason::NoDate, number);
            continue;
        }
        if (!date.isValid()) {
            counted.add(SkipReason::UnreadableDate, number);
            continue;
        }
        AmountText amount;
        if (written && !written->amount.isEmpty()) {
            amount = ofxAmount(written->amount);
        } else if (row.hasAmount) {
            amount.state = AmountText::Read;
            amount.cents = row.cents;
            amount.tooLarge = amount.amount() != row.cents;
        }
        if (amount.state == AmountText::Unreadable) {
            counted.add(SkipReason::UnreadableAmount, number);
            continue;
        }
        if (amount.amount() == 0) {
            counted.add(SkipReason::NoAmount, number);
            continue;
        }
        ImportRecord record;
        record.incomingPayee = replaceReservedCharacters(row.name.isEmpty() ? row.memo : row.name);
        record.memo = row.memo;
        record.bankId = row.fitid;
        record.date = fromQDateTime(QDateTime(date, QTime(0, 0)));
        record.amount = amount.amount();
        record.tooLarge = amount.tooLarge;
        record.number = number;
        read.push_back(std::move(record));
        ++found[size_t(row.statement)].rows;
    }
    records = std::move(read);
    if (statements)
        *statements = std::move(found);
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

// Waits until fd is ready for events or the deadline passes; false on time out.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, int(std::min<qint64>(deadline.remainingTime(), 1 << 30)));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready != 0;
    }
}

// Sends all of data on the socket; false when the other end is gone or the time is up. The
// helper may have died: no SIGPIPE.
bool sendAll(int fd, const char* data, qsizetype size, const QDeadlineTimer& deadline,
             bool* timedOut) {
    qsizetype done = 0;
    while (done < size) {
        if (!waitFor(fd, POLLOUT, deadline)) {
            *timedOut = true;
            return false;
        }
        const ssize_t n = ::send(fd, data + done, size_t(size - done), MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool readExactly(int fd, char* data, qsizetype size) {
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
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

constexpr char kHelperName[] = "tallykeep-ofx-helper";

// The helper is installed with the program (in its libexec folder, or beside it) and built
// beside the tests and commands in the build tree.
QString helperPath() {
    const QString exeDir =
        QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    const QStringList candidates = {
        exeDir + QStringLiteral("/" TALLYKEEP_OFX_HELPER_FROM_BIN "/") + kHelperName,
        exeDir + u'/' + kHelperName,
        QStringLiteral(TALLYKEEP_OFX_HELPER_BUILT),
    };
    for (const QString& path : candidates) {
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    return {};
}

// Ends the helper: its end of the connection closed, it removes its folder and exits at once;
// one that does not is killed.
void endHelper(pid_t child, int& connection, int* wstatus) {
    if (connection >= 0)
        ::close(connection);
    connection = -1;
    QDeadlineTimer grace(2000);
    for (;;) {
        const pid_t done = ::waitpid(child, wstatus, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR))
            return;
        if (grace.hasExpired()) {
            ::kill(child, SIGKILL);
            while (::waitpid(child, wstatus, 0) < 0 && errno == EINTR) {
            }
            return;
        }
        ::usleep(5000);
    }
}

// The helper's folder, removed once, by whichever of its threads ends it.
struct HelperFolder {
    std::mutex mutex;
    QString path;
    [[noreturn]] void removeAndExit(int status) {
        mutex.lock(); // never unlocked: the process ends here
        if (!path.isEmpty())
            QDir(path).removeRecursively();
        ::_exit(status);
    }
};
} // namespace

QByteArray ofxWithAccountBlock(const QByteArray& bytes) {
    const QByteArray lower = bytes.toLower();
    const bool bank = lower.contains("<stmtrs>") && !lower.contains("<bankacctfrom>");
    const bool card = lower.contains("<ccstmtrs>") && !lower.contains("<ccacctfrom>");
    const qsizetype list = lower.indexOf("<banktranlist>");
    if ((!bank && !card) || list < 0)
        return bytes;
    // Closing tags fit SGML and XML alike; no account of the budget is named by it.
    const QByteArray block =
        bank ? "<BANKACCTFROM><BANKID>0</BANKID><ACCTID>0</ACCTID><ACCTTYPE>CHECKING</ACCTTYPE>"
               "</BANKACCTFROM>\n"
             : "<CCACCTFROM><ACCTID>0</ACCTID></CCACCTFROM>\n";
    QByteArray out = bytes;
    out.insert(list, block);
    return out;
}

quint32 readOfxBytesUnguarded(const QByteArray& bytes, std::vector<ImportRecord>& records,
                              StatementSkips* skips, std::vector<OfxStatement>* statements,
                              int chosen) {
    try {
        const QTemporaryDir folder = statementFolder();
        if (const quint32 status = prepare(bytes, records, skips, folder))
            return status;
        OfxParse parse;
        parseOfxFile(QFile::encodeName(folder.filePath(QStringLiteral("statement.ofx"))), parse);
        return makeRecords(bytes, parse, records, skips, statements, chosen);
    } catch (const std::bad_alloc&) {
        records.clear();
        return ENOMEM;
    }
}

quint32 readOfxBytes(const QByteArray& bytes, std::vector<ImportRecord>& records,
                     StatementSkips* skips, int timeoutMs, std::vector<OfxStatement>* statements,
                     int chosen) {
    records.clear();
    if (statements)
        statements->clear();
    if (skips)
        *skips = StatementSkips();
    if (!looksComplete(bytes))
        return EINVAL;
    const QString helper = helperPath();
    if (helper.isEmpty())
        return ENOENT;
    const QDeadlineTimer deadline(timeoutMs);
    // One connection carries the statement there and the rows back; the helper takes its end
    // as standard input and output, and nothing else of this process: every other descriptor
    // (the budget's lock among them) is closed in it.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return quint32(errno);
    int connection = ends[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    // The helper starts with no signal blocked and the default action for each signal that
    // this process may ignore.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGPIPE})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const QByteArray program = QFile::encodeName(helper);
    char* argv[] = {const_cast<char*>(program.constData()), nullptr};
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, program.constData(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(connection);
        return quint32(spawned);
    }

    bool timedOut = false;
    const quint64 size = quint64(bytes.size());
    char header[8];
    qToLittleEndian(size, header);
    QByteArray data;
    if (sendAll(connection, header, sizeof header, deadline, &timedOut) &&
        sendAll(connection, bytes.constData(), bytes.size(), deadline, &timedOut)) {
        char buffer[1 << 16];
        for (;;) {
            if (!waitFor(connection, POLLIN, deadline)) {
                timedOut = true;
                break;
            }
            const ssize_t n = ::read(connection, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            data.append(buffer, n);
        }
    }
    int wstatus = 0;
    endHelper(child, connection, &wstatus);
    if (timedOut)
        return ETIMEDOUT;
    if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0)
        return EINVAL; // libofx crashed on it
    quint32 status = 0;
    try {
        OfxParse parse;
        QDataStream stream(data);
        stream >> parse;
        if (stream.status() != QDataStream::Ok)
            return EINVAL;
        status = makeRecords(bytes, parse, records, skips, statements, chosen);
    } catch (const std::bad_alloc&) {
        records.clear();
        status = ENOMEM;
    }
    return status;
}

int runOfxHelper() {
    // It ends with the thread that started it, and when that one closes the connection.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    static HelperFolder folder;
    sigset_t ending;
    sigemptyset(&ending);
    for (int sig : {SIGTERM, SIGHUP, SIGINT})
        sigaddset(&ending, sig);
    ::pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    const int endingSignals = ::signalfd(-1, &ending, SFD_CLOEXEC);

    char header[8];
    if (!readExactly(STDIN_FILENO, header, sizeof header))
        folder.removeAndExit(1);
    const quint64 size = qFromLittleEndian<quint64>(header);
    if (size > quint64(1) << 30)
        folder.removeAndExit(1);
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (!readExactly(STDIN_FILENO, bytes.data(), bytes.size()))
        folder.removeAndExit(1);

    // Once the statement is read, anything more on the connection is its end.
    std::thread watch([endingSignals] {
        pollfd p[2] = {{STDIN_FILENO, POLLIN, 0}, {endingSignals, POLLIN, 0}};
        while (::poll(p, endingSignals >= 0 ? 2 : 1, -1) < 0 && errno == EINTR) {
        }
        folder.removeAndExit(1);
    });
    watch.detach();

    QByteArray answer;
    {
        // libofx reads only files, and writes a converted copy beside them (through TMPDIR):
        // both stay in a private folder that goes with the helper.
        std::unique_lock lock(folder.mutex);
        QTemporaryDir dir = statementFolder();
        dir.setAutoRemove(false);
        if (dir.isValid())
            folder.path = dir.path();
        lock.unlock();
        if (!dir.isValid())
            folder.removeAndExit(1);
        const QString file = dir.filePath(QStringLiteral("statement.ofx"));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
            folder.removeAndExit(1);
        out.close();
        ::setenv("TMPDIR", QFile::encodeName(dir.path()).constData(), 1);
        OfxParse parse;
        parseOfxFile(QFile::encodeName(file), parse);
        QDataStream stream(&answer, QIODevice::WriteOnly);
        stream << parse;
    }
    const bool sent = writeAll(STDOUT_FILENO, answer);
    folder.removeAndExit(sent ? 0 : 1);
}
