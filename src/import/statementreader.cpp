#include "import/statementreader.h"

#include "import/csvreader.h"
#include "import/csvrules.h"
#include "import/ofxreader.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <new>

namespace {
// Enough of the start of a file to tell its form.
constexpr qsizetype kSniffBytes = 4096;

QByteArray withoutBom(const QByteArray& bytes) {
    return bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
}

bool looksLikeOfx(const QByteArray& head) {
    const QByteArray lower = head.toLower();
    const QByteArray start = lower.trimmed();
    return start.startsWith("ofxheader") || lower.contains("<ofx>") ||
           (start.startsWith("<?xml") && lower.contains("<?ofx"));
}

// QIF: a "!Type:"/"!Account"/"!Option" header, or nothing but lines of QIF fields and "^",
// among them a readable date and an amount.
bool looksLikeQif(const QByteArray& head) {
    bool date = false, amount = false;
    for (const QByteArray& raw : head.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line == "^")
            continue;
        const QByteArray lower = line.toLower();
        if (lower.startsWith("!type:") || lower.startsWith("!account") ||
            lower.startsWith("!option") || lower.startsWith("!clear"))
            return true;
        if (!QByteArray("DdTtPpMmNnLlUuCcAaSsEe$%").contains(line.at(0)))
            return false; // a line no QIF record has
        const QString value = QString::fromLatin1(line.mid(1));
        if (lower.at(0) == 'd')
            date = date || readStatementDate(value, DateOrder::DayMonthYear).isValid() ||
                   readStatementDate(value, DateOrder::MonthDayYear).isValid();
        if (lower.at(0) == 't' || lower.at(0) == 'u')
            amount = amount || readStatementAmount(value) != 0;
    }
    return date && amount;
}

// No statement comes near this; a bigger file is refused (EFBIG) before it fills memory.
constexpr qsizetype kMaxStatementBytes = 64 << 20;

// The errno of a failing open or read, EFBIG beyond kMaxStatementBytes, ENOMEM, or 0.
quint32 readWholeFile(const QString& path, QByteArray& bytes) {
    quint32 status = 0;
    try {
        bool tooBig = false;
        status = readFileInPieces(path, [&](const char* data, qsizetype size) {
            tooBig = bytes.size() + size > kMaxStatementBytes;
            if (!tooBig)
                bytes.append(data, size);
            return !tooBig;
        });
        if (status == 0 && tooBig)
            status = EFBIG;
    } catch (const std::bad_alloc&) {
        status = ENOMEM;
    }
    if (status != 0)
        bytes.clear();
    return status;
}

const char* delimiterName(QChar c) {
    if (c == QLatin1Char(';'))
        return "semicolon";
    if (c == QLatin1Char('\t'))
        return "tab";
    return "comma";
}

const char* orderName(DateOrder order) {
    switch (order) {
    case DateOrder::DayMonthYear:
        return "dmy";
    case DateOrder::YearMonthDay:
        return "ymd";
    case DateOrder::MonthDayYear:
        break;
    }
    return "mdy";
}
} // namespace

StatementFormat detectStatementFormat(const QByteArray& bytes) {
    const QByteArray head = withoutBom(bytes.left(kSniffBytes));
    if (head.trimmed().isEmpty())
        return StatementFormat::Unknown;
    if (looksLikeOfx(head))
        return StatementFormat::Ofx;
    if (looksLikeQif(head))
        return StatementFormat::Qif;
    // Delimited lines (ended by CR, LF or both), wherever they start: a title line without a
    // delimiter above the table hides nothing. Whether they hold a table is the CSV
    // reader's question.
    QList<QByteArray> lines = head.split('\n');
    if (lines.size() == 1)
        lines = head.split('\r');
    for (const char d : {',', ';', '\t'}) {
        int delimited = 0;
        for (const QByteArray& line : lines)
            if (line.contains(d))
                ++delimited;
        if (delimited >= 2)
            return StatementFormat::Csv;
        if (delimited == 1)
            for (const QByteArray& line : lines)
                if (line.contains(d))
                    for (const QByteArray& field : line.split(d))
                        if (readStatementDate(QString::fromLatin1(field.trimmed()),
                                              DateOrder::DayMonthYear)
                                .isValid() ||
                            readStatementDate(QString::fromLatin1(field.trimmed()),
                                              DateOrder::MonthDayYear)
                                .isValid())
                            return StatementFormat::Csv;
    }
    return StatementFormat::Unknown;
}

QString statementFormatName(StatementFormat format) {
    switch (format) {
    case StatementFormat::Qif:
        return QStringLiteral("qif");
    case StatementFormat::Ofx:
        return QStringLiteral("ofx");
    case StatementFormat::Csv:
        return QStringLiteral("csv");
    case StatementFormat::Unknown:
        break;
    }
    return QString();
}

QString CsvGuess::missingRole() const {
    return csvMissingRole(columns.dateColumn >= 0, columns.amountColumn >= 0 ||
                                                       columns.debitColumn >= 0 ||
                                                       columns.creditColumn >= 0);
}

CsvColumns withGuessedBalance(CsvColumns remembered, const CsvGuess& guess) {
    const CsvColumns& g = guess.columns;
    const int roles[] = {remembered.dateColumn,   remembered.payeeColumn, remembered.memoColumn,
                         remembered.amountColumn, remembered.debitColumn, remembered.creditColumn,
                         remembered.signColumn};
    if (remembered.balanceColumn < 0 && g.balanceColumn >= 0 &&
        g.delimiter == remembered.delimiter &&
        std::find(std::begin(roles), std::end(roles), g.balanceColumn) == std::end(roles))
        remembered.balanceColumn = g.balanceColumn;
    return remembered;
}

bool CsvColumns::usable() const {
    return dateColumn >= 0 && (amountColumn >= 0 || debitColumn >= 0 || creditColumn >= 0);
}

QString CsvColumns::toText() const {
    QString text =
        QStringLiteral("delimiter=%1 header=%2 dates=%3 decimal=%4 date=%5 payee=%6 memo=%7 "
                       "amount=%8 debit=%9 credit=%10")
            .arg(QLatin1String(delimiterName(delimiter)), headerRow ? "yes" : "no",
                 QLatin1String(orderName(dateOrder)), decimalComma ? "comma" : "point")
            .arg(dateColumn)
            .arg(payeeColumn)
            .arg(memoColumn)
            .arg(amountColumn)
            .arg(debitColumn)
            .arg(creditColumn);
    // Only when there are, so the texts kept for other accounts stay as they were.
    if (signColumn >= 0)
        text += QStringLiteral(" sign=%1").arg(signColumn);
    if (skipRows > 0)
        text += QStringLiteral(" skip=%1").arg(skipRows);
    if (balanceColumn >= 0)
        text += QStringLiteral(" balance=%1").arg(balanceColumn);
    if (charges)
        text += QStringLiteral(" charges=yes");
    return text;
}

std::optional<CsvColumns> CsvColumns::fromText(const QString& text) {
    CsvColumns c;
    bool sawDelimiter = false;
    for (const QString& pair : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return std::nullopt;
        const QString key = pair.left(eq);
        const QString value = pair.mid(eq + 1);
        if (key == QLatin1String("delimiter")) {
            if (value == QLatin1String("comma"))
                c.delimiter = QLatin1Char(',');
            else if (value == QLatin1String("semicolon"))
                c.delimiter = QLatin1Char(';');
            else if (value == QLatin1String("tab"))
                c.delimiter = QLatin1Char('\t');
            else
                return std::nullopt;
            sawDelimiter = true;
        } else if (key == QLatin1String("header")) {
            c.headerRow = value == QLatin1String("yes");
        } else if (key == QLatin1String("dates")) {
            if (value == QLatin1String("dmy"))
                c.dateOrder = DateOrder::DayMonthYear;
            else if (value == QLatin1String("ymd"))
                c.dateOrder = DateOrder::YearMonthDay;
            else if (value == QLatin1String("mdy"))
                c.dateOrder = DateOrder::MonthDayYear;
            else
                return std::nullopt;
        } else if (key == QLatin1String("decimal")) {
            c.decimalComma = value == QLatin1String("comma");
        } else if (key == QLatin1String("charges")) {
            c.charges = value == QLatin1String("yes");
        } else {
            bool ok = false;
            const int column = value.toInt(&ok);
            if (!ok || column < -1 || column > 1000)
                return std::nullopt;
            if (key == QLatin1String("date"))
                c.dateColumn = column;
            else if (key == QLatin1String("payee"))
                c.payeeColumn = column;
            else if (key == QLatin1String("memo"))
                c.memoColumn = column;
            else if (key == QLatin1String("amount"))
                c.amountColumn = column;
            else if (key == QLatin1String("debit"))
                c.debitColumn = column;
            else if (key == QLatin1String("credit"))
                c.creditColumn = column;
            else if (key == QLatin1String("sign"))
                c.signColumn = column;
            else if (key == QLatin1String("balance"))
                c.balanceColumn = column;
            else if (key == QLatin1String("skip"))
                c.skipRows = std::max(0, column);
            // other keys: written by a later version; ignored
        }
    }
    if (!sawDelimiter || !c.usable())
        return std::nullopt;
    return c;
}

StatementRead readStatement(const QByteArray& bytes, const StatementOptions& options) {
    StatementRead read;
    read.format = detectStatementFormat(bytes);
    switch (read.format) {
    case StatementFormat::Qif:
        read.status = readQifBytes(bytes, read.records, &read.skips, options.dateOrder);
        break;
    case StatementFormat::Ofx:
        read.status = readOfxBytes(ofxWithAccountBlock(bytes), read.records, &read.skips,
                                   kOfxParseTimeoutMs, &read.statements, options.statement);
        // The chosen statement's balance; a file of one statement has only that one.
        if (options.statement >= 0 && size_t(options.statement) < read.statements.size())
            read.closing = read.statements[size_t(options.statement)].closing;
        else if (read.statements.size() == 1)
            read.closing = read.statements.front().closing;
        break;
    case StatementFormat::Csv: {
        // Only a part that reads as a table with a date and an amount makes a statement.
        const CsvColumns columns = options.csv ? *options.csv : detectCsvColumns(bytes);
        read.status = readCsvBytes(bytes, columns, read.records, &read.skips, options.dateOrder,
                                   &read.closing);
        break;
    }
    case StatementFormat::Unknown:
        read.status = EINVAL;
        break;
    }
    return read;
}

StatementRead readStatementFile(const QString& path, const StatementOptions& options) {
    StatementRead read;
    QByteArray bytes;
    read.status = readWholeFile(path, bytes);
    if (read.status == 0)
        read = readStatement(bytes, options);
    return read;
}
