#include "import/csvreader.h"

#include "import/csvrules.h"
#include "model/mappingrules.h"

#include <csv.h>

#include <QDateTime>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <map>
#include <new>

namespace {
// Rows looked at to propose a mapping.
constexpr int kDetectRows = 50;
// Fields of one row beyond this are dropped: no statement has that many columns, and a
// hostile file of delimiters alone must not cost a string per byte.
constexpr int kMaxFields = 256;

QByteArray withoutBom(const QByteArray& bytes) {
    return bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
}

// Only the blank separates values; a tab may be the delimiter.
int isBlank(unsigned char c) {
    return c == CSV_SPACE;
}

struct Splitter {
    std::function<bool(QList<QByteArray>&)> onRow; // false: stop
    QList<QByteArray> fields;
    bool stopped = false;
};

void onField(void* data, size_t size, void* context) {
    auto* s = static_cast<Splitter*>(context);
    if (s->fields.size() < kMaxFields)
        s->fields.append(QByteArray(static_cast<const char*>(data), qsizetype(size)));
}

void onRowEnd(int, void* context) {
    auto* s = static_cast<Splitter*>(context);
    if (!s->stopped && !s->onRow(s->fields))
        s->stopped = true;
    s->fields.clear();
}

// Splits the file into rows of raw fields (quotes, doubled quotes and line breaks inside
// quotes undone) and hands each to onRow until it answers false. Lenient about stray quotes,
// as files from banks need.
void splitCsv(const QByteArray& bytes, char delimiter,
              const std::function<bool(QList<QByteArray>&)>& onRow) {
    csv_parser parser;
    if (csv_init(&parser, 0) != 0)
        throw std::bad_alloc();
    csv_set_delim(&parser, static_cast<unsigned char>(delimiter));
    csv_set_space_func(&parser, isBlank);
    Splitter splitter{onRow, {}, false};
    const QByteArray data = withoutBom(bytes);
    constexpr qsizetype kChunk = 1 << 14;
    for (qsizetype at = 0; at < data.size() && !splitter.stopped; at += kChunk) {
        const size_t length = size_t(std::min(kChunk, data.size() - at));
        if (csv_parse(&parser, data.constData() + at, length, onField, onRowEnd, &splitter) !=
            length) {
            const int error = csv_error(&parser);
            csv_free(&parser);
            if (error == CSV_ENOMEM || error == CSV_ETOOBIG)
                throw std::bad_alloc();
            return;
        }
    }
    if (!splitter.stopped)
        csv_fini(&parser, onField, onRowEnd, &splitter);
    csv_free(&parser);
}

QList<QStringList> firstRows(const QByteArray& bytes, char delimiter, int maxRows) {
    QList<QStringList> rows;
    if (maxRows <= 0)
        return rows;
    splitCsv(bytes, delimiter, [&](QList<QByteArray>& fields) {
        QStringList row;
        for (const QByteArray& f : fields)
            row << decodeStatementText(f);
        rows << row;
        return rows.size() < maxRows;
    });
    return rows;
}

// The delimiter that splits the most rows into the same number (two or more) of fields.
char chooseDelimiter(const QByteArray& bytes) {
    char best = ',';
    int bestRows = 0, bestFields = 0;
    for (const char d : {',', ';', '\t'}) {
        std::map<int, int> counts; // fields per row -> rows
        int seenRows = 0;
        // Title lines and account details above the table count for nothing.
        splitCsv(bytes, d, [&](QList<QByteArray>& fields) {
            if (fields.size() >= 2 &&
                std::any_of(fields.begin(), fields.end(), [](const QByteArray& f) {
                    return f.size() <= 40 && readsAsDate(decodeStatementText(f));
                }))
                ++counts[int(fields.size())];
            return ++seenRows < kDetectRows;
        });
        int rows = 0, fields = 0;
        for (const auto& [n, seen] : counts)
            if (n >= 2 && (seen > rows || (seen == rows && n > fields))) {
                rows = seen;
                fields = n;
            }
        if (rows > bestRows || (rows == bestRows && fields > bestFields)) {
            best = d;
            bestRows = rows;
            bestFields = fields;
        }
    }
    return best;
}

// Whether a money text ends in a decimal comma ("12,50", "1.234,5") or a decimal point.
int decimalVote(const QString& text) {
    static const QRegularExpression comma(QStringLiteral(",\\d{1,2}\\D*$"));
    static const QRegularExpression point(QStringLiteral("\\.\\d{1,2}\\D*$"));
    if (comma.match(text).hasMatch())
        return 1;
    if (point.match(text).hasMatch())
        return -1;
    return 0;
}

// A memo is kept as the bank wrote it (only blanks tidied and the length bounded); a payee
// also has the characters rules cannot match replaced.
QString keepText(const QString& text) {
    QString value = text.simplified();
    if (value.size() > kMaxQifValueLength)
        value.truncate(value.at(kMaxQifValueLength - 1).isHighSurrogate() ? kMaxQifValueLength - 1
                                                                          : kMaxQifValueLength);
    return value;
}

QString cleanText(const QString& text) {
    return replaceReservedCharacters(keepText(text));
}
} // namespace

// True when the file ends inside a quoted field: its opening quote took in every line after it.
bool csvEndsInsideQuotes(const QByteArray& bytes, char delimiter) {
    csv_parser parser;
    if (csv_init(&parser, 0) != 0)
        throw std::bad_alloc();
    csv_set_delim(&parser, static_cast<unsigned char>(delimiter));
    const QByteArray data = withoutBom(bytes);
    const bool parsed = csv_parse(&parser, data.constData(), size_t(data.size()), nullptr, nullptr,
                                  nullptr) == size_t(data.size());
    // libcsv's FIELD_BEGUN in a quoted field.
    const bool inside = parsed && parser.quoted && parser.pstate == 2;
    csv_free(&parser);
    return inside;
}

QList<QStringList> csvRows(const QByteArray& bytes, QChar delimiter, int maxRows) {
    try {
        return firstRows(bytes, char(delimiter.toLatin1()), maxRows);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

namespace {

bool isBlankRow(const QStringList& row) {
    return std::all_of(row.begin(), row.end(),
                       [](const QString& f) { return f.trimmed().isEmpty(); });
}

// A transaction row: a date and an amount in fields of their own.
bool isDataRow(const QStringList& row) {
    if (row.size() < 2)
        return false;
    qsizetype date = -1;
    for (qsizetype i = 0; i < row.size() && date < 0; ++i)
        if (readsAsDate(row[i]))
            date = i;
    if (date < 0)
        return false;
    for (qsizetype i = 0; i < row.size(); ++i)
        if (i != date && looksLikeMoney(row[i]))
            return true;
    return false;
}

// Where the table starts: the first transaction row as wide as most of them (title lines,
// account details and a period line above it are passed over, whatever their fields), and
// the header, the nearest line above it that holds no date and not only numbers, whatever
// its width. -1 for the header when there is none.
void findTable(const QList<QStringList>& rows, int& header, int& first) {
    header = -1;
    first = -1;
    std::map<qsizetype, int> widths;
    for (const QStringList& row : rows)
        if (isDataRow(row))
            ++widths[row.size()];
    if (widths.empty())
        return;
    const qsizetype usual =
        std::max_element(widths.begin(), widths.end(), [](const auto& a, const auto& b) {
            return a.second < b.second;
        })->first;
    for (int i = 0; i < int(rows.size()) && first < 0; ++i)
        if (isDataRow(rows[i]) && rows[i].size() >= std::min<qsizetype>(usual, 3))
            first = i;
    if (first < 0)
        return;
    int above = first - 1;
    while (above >= 0 && isBlankRow(rows[above]))
        --above;
    if (above < 0)
        return;
    const QStringList& row = rows[above];
    int names = 0, numbers = 0;
    for (const QString& field : row) {
        const QString value = field.trimmed();
        if (value.isEmpty())
            continue;
        if (readsAsDate(value))
            return;
        (looksLikeMoney(value) ? numbers : names) += 1;
    }
    if (names >= 2 || (names >= 1 && numbers == 0 && row.size() >= 2))
        header = above;
}

// Each money column's values with the file's decimal separator, for the balance test.
std::vector<std::optional<qint64>> amountsOf(const QList<QStringList>& rows, int column,
                                             bool decimalComma) {
    std::vector<std::optional<qint64>> out;
    for (const QStringList& row : rows) {
        const AmountText a = column >= 0 && column < row.size()
                                 ? readAmountText(row[column], decimalComma)
                                 : AmountText();
        out.push_back(a.state == AmountText::Read ? std::optional<qint64>(a.cents) : std::nullopt);
    }
    return out;
}

// A running balance moves by the row's amount from one row to the next (in either order of
// rows); most steps must agree, and at least two.
bool isBalanceOf(const std::vector<std::optional<qint64>>& balance,
                 const std::vector<std::optional<qint64>>& amount) {
    int steps = 0, forward = 0, backward = 0;
    for (size_t i = 1; i < balance.size() && i < amount.size(); ++i) {
        if (!balance[i] || !balance[i - 1])
            continue;
        ++steps;
        if (amount[i] && *balance[i] - *balance[i - 1] == *amount[i])
            ++forward;
        if (amount[i - 1] && *balance[i - 1] - *balance[i] == *amount[i - 1])
            ++backward;
    }
    return steps >= 2 && std::max(forward, backward) * 5 >= steps * 4;
}

} // namespace

CsvGuess guessCsvColumns(const QByteArray& bytes) {
    CsvGuess guess;
    CsvColumns& c = guess.columns;
    c.headerRow = false;
    try {
        const char delimiter = chooseDelimiter(bytes);
        c.delimiter = QLatin1Char(delimiter);
        QList<QStringList> rows = firstRows(bytes, delimiter, kDetectRows);
        int header = -1, first = -1;
        findTable(rows, header, first);
        if (first < 0) {
            // Dates but no money beside them: no transactions. No dates at all: the date
            // column is what could not be found.
            guess.noTransactions = std::any_of(rows.begin(), rows.end(), [](const QStringList& r) {
                return r.size() >= 2 && std::any_of(r.begin(), r.end(), readsAsDate);
            });
            return guess;
        }
        c.headerRow = header >= 0;
        c.skipRows = header >= 0 ? header : first;
        // Below the table's start: the rows (a closing balance line is only one of them).
        QList<QStringList> data;
        for (int i = first; i < int(rows.size()); ++i)
            if (!isBlankRow(rows[i]))
                data << rows[i];
        qsizetype width = 0;
        for (const QStringList& row : data)
            width = std::max(width, row.size());
        const int columns = int(width);
        std::vector<CsvRole> named(size_t(columns), CsvRole::None);
        std::vector<int> rank(size_t(columns), 0);
        if (header >= 0)
            for (int col = 0; col < columns && col < rows[header].size(); ++col)
                named[size_t(col)] = headerRole(rows[header][col], &rank[size_t(col)]);
        std::vector<ColumnEvidence> evidence;
        for (int col = 0; col < columns; ++col)
            evidence.push_back(columnEvidence(data, col));

        std::vector<bool> taken(size_t(columns), false);
        // The column the header names for a role whose values pass, the most telling name
        // first; else, when allowed, the first unnamed column whose values pass.
        using Test = bool (ColumnEvidence::*)() const;
        const auto pick = [&](CsvRole role, Test namedPasses, Test passes, bool byValues) {
            int best = -1;
            for (int col = 0; col < columns; ++col)
                if (!taken[size_t(col)] && named[size_t(col)] == role &&
                    (evidence[size_t(col)].*namedPasses)() &&
                    (best < 0 || rank[size_t(col)] < rank[size_t(best)]))
                    best = col;
            for (int col = 0; byValues && best < 0 && col < columns; ++col)
                if (!taken[size_t(col)] && named[size_t(col)] == CsvRole::None &&
                    (evidence[size_t(col)].*passes)())
                    best = col;
            if (best >= 0)
                taken[size_t(best)] = true;
            return best;
        };
        // Balances first: they are never the amount.
        std::vector<int> balances;
        for (int col = 0; col < columns; ++col)
            if (named[size_t(col)] == CsvRole::Balance) {
                balances.push_back(col);
                taken[size_t(col)] = true;
            }
        const size_t namedBalances = balances.size();
        c.dateColumn =
            pick(CsvRole::Date, &ColumnEvidence::dateColumn, &ColumnEvidence::dateColumn, true);
        c.debitColumn =
            pick(CsvRole::Debit, &ColumnEvidence::namedMoney, &ColumnEvidence::moneyColumn, false);
        c.creditColumn =
            pick(CsvRole::Credit, &ColumnEvidence::namedMoney, &ColumnEvidence::moneyColumn, false);
        if (c.debitColumn < 0 && c.creditColumn < 0)
            c.amountColumn = pick(CsvRole::Amount, &ColumnEvidence::namedMoney,
                                  &ColumnEvidence::moneyColumn, false);

        // The decimal separator, by the money columns' values (all money-like ones if no
        // column was named).
        int vote = 0;
        std::vector<int> candidates;
        for (int col = 0; col < columns; ++col)
            if (!taken[size_t(col)] && named[size_t(col)] == CsvRole::None &&
                evidence[size_t(col)].moneyColumn())
                candidates.push_back(col);
        std::vector<int> voters = {c.amountColumn, c.debitColumn, c.creditColumn};
        if (c.amountColumn < 0 && c.debitColumn < 0 && c.creditColumn < 0)
            voters.insert(voters.end(), candidates.begin(), candidates.end());
        for (const QStringList& row : data)
            for (const int col : voters)
                if (col >= 0 && col < row.size())
                    vote += decimalVote(row[col].trimmed());
        c.decimalComma = vote > 0 || (vote == 0 && delimiter == ';');

        // Unnamed money columns: a running balance is told by its steps; what is left is the
        // amount only when it is the one column left (two adjacent ones filled in turn are
        // money out and money in).
        if (c.amountColumn < 0 && c.debitColumn < 0 && c.creditColumn < 0) {
            std::vector<int> left;
            for (const int col : candidates) {
                bool balance = false;
                for (const int other : candidates)
                    balance = balance ||
                              (other != col && isBalanceOf(amountsOf(data, col, c.decimalComma),
                                                           amountsOf(data, other, c.decimalComma)));
                if (balance)
                    balances.push_back(col);
                else
                    left.push_back(col);
            }
            // Whole numbers beside amounts with cents are quantities.
            if (left.size() > 1 && std::any_of(left.begin(), left.end(), [&](int col) {
                    return evidence[size_t(col)].cents;
                }))
                left.erase(std::remove_if(left.begin(), left.end(),
                                          [&](int col) { return !evidence[size_t(col)].cents; }),
                           left.end());
            if (left.size() == 1) {
                c.amountColumn = left.front();
            } else if (left.size() == 2 && left[1] == left[0] + 1) {
                int inTurn = 0;
                for (const QStringList& row : data) {
                    const bool a = left[0] < row.size() && !row[left[0]].trimmed().isEmpty();
                    const bool b = left[1] < row.size() && !row[left[1]].trimmed().isEmpty();
                    inTurn += a != b ? 1 : 0;
                }
                if (inTurn * 5 >= int(data.size()) * 4) {
                    c.debitColumn = left[0];
                    c.creditColumn = left[1];
                }
            }
            for (const int col : {c.amountColumn, c.debitColumn, c.creditColumn})
                if (col >= 0)
                    taken[size_t(col)] = true;
        }
        // A named amount that moves like the balance it stands beside is that balance.
        if (c.amountColumn >= 0)
            for (int col = 0; col < columns; ++col)
                if (col != c.amountColumn && evidence[size_t(col)].moneyColumn() &&
                    isBalanceOf(amountsOf(data, c.amountColumn, c.decimalComma),
                                amountsOf(data, col, c.decimalComma))) {
                    balances.push_back(c.amountColumn);
                    c.amountColumn = -1;
                    break;
                }
        if (c.amountColumn >= 0)
            c.signColumn =
                pick(CsvRole::Sign, &ColumnEvidence::namedSign, &ColumnEvidence::signColumn, true);
        c.payeeColumn =
            pick(CsvRole::Payee, &ColumnEvidence::textColumn, &ColumnEvidence::textColumn, true);
        c.memoColumn =
            pick(CsvRole::Memo, &ColumnEvidence::textColumn, &ColumnEvidence::textColumn, false);
        if (c.memoColumn < 0)
            c.memoColumn = pick(CsvRole::Payee, &ColumnEvidence::textColumn,
                                &ColumnEvidence::textColumn, true);

        // The statement's closing balance: a column named so whose values are money, else one
        // told by its steps.
        for (size_t i = 0; i < balances.size() && c.balanceColumn < 0; ++i)
            if (i >= namedBalances || evidence[size_t(balances[i])].moneyColumn())
                c.balanceColumn = balances[i];
        const bool money = c.amountColumn >= 0 || c.debitColumn >= 0 || c.creditColumn >= 0;
        // Nothing but a balance (a daily balance history), or no money at all: no rows to
        // propose. Money columns that could not be told apart are the user's choice.
        if (!money)
            guess.noTransactions = std::all_of(candidates.begin(), candidates.end(), [&](int col) {
                return std::find(balances.begin(), balances.end(), col) != balances.end();
            });
        QStringList dates;
        for (const QStringList& row : data)
            if (c.dateColumn >= 0 && c.dateColumn < row.size())
                dates << row[c.dateColumn];
        c.dateOrder = chooseDateOrder(dates, localeDateOrder());
    } catch (const std::bad_alloc&) {
        return CsvGuess();
    }
    return guess;
}

CsvColumns detectCsvColumns(const QByteArray& bytes) {
    return guessCsvColumns(bytes).columns;
}

quint32 readCsvBytes(const QByteArray& bytes, const CsvColumns& columns,
                     std::vector<ImportRecord>& records, StatementSkips* skips,
                     std::optional<DateOrder> dateOrder, std::optional<StatementBalance>* closing) {
    records.clear();
    if (skips)
        *skips = StatementSkips();
    if (closing)
        closing->reset();
    // A balance column that is also read as something else is no balance.
    const int roles[] = {columns.dateColumn,   columns.payeeColumn, columns.memoColumn,
                         columns.amountColumn, columns.debitColumn, columns.creditColumn,
                         columns.signColumn};
    const int balanceColumn =
        std::find(std::begin(roles), std::end(roles), columns.balanceColumn) == std::end(roles)
            ? columns.balanceColumn
            : -1;
    std::vector<std::optional<qint64>> balances; // beside read, row by row
    if (!columns.usable())
        return EINVAL;
    const DateOrder order = dateOrder.value_or(columns.dateOrder);
    std::vector<ImportRecord> read;
    StatementSkips counted;
    bool tooMany = false;
    int before = columns.skipRows;
    bool header = columns.headerRow;
    const auto field = [](const QList<QByteArray>& fields, int col) {
        return col >= 0 && col < fields.size() ? decodeStatementText(fields[col]) : QString();
    };
    try {
        int row = 0; // as a spreadsheet numbers it, the header row included
        splitCsv(bytes, char(columns.delimiter.toLatin1()), [&](QList<QByteArray>& fields) {
            ++row;
            if (before > 0) {
                --before;
                return true;
            }
            if (header) {
                header = false;
                return true;
            }
            if (std::all_of(fields.begin(), fields.end(),
                            [](const QByteArray& f) { return f.trimmed().isEmpty(); }))
                return true;
            const QString dateText = field(fields, columns.dateColumn).trimmed();
            AmountText money;
            if (columns.amountColumn >= 0) {
                money = readAmountText(field(fields, columns.amountColumn), columns.decimalComma);
                // A mark says which way the money went; an amount without a known mark
                // keeps the sign it is written with, turned when the account's statements
                // write charges as positive numbers.
                const QString mark = field(fields, columns.signColumn);
                const qint64 magnitude = money.cents < 0 ? -money.cents : money.cents;
                if (isOutMark(mark))
                    money.cents = -magnitude;
                else if (isInMark(mark))
                    money.cents = magnitude;
                else if (columns.charges)
                    money.cents = -money.cents;
            } else {
                // Money out is money out whether the bank writes it positive or negative.
                const AmountText out =
                    readAmountText(field(fields, columns.debitColumn), columns.decimalComma);
                const AmountText in =
                    readAmountText(field(fields, columns.creditColumn), columns.decimalComma);
                if (out.state == AmountText::Unreadable || in.state == AmountText::Unreadable)
                    money.state = AmountText::Unreadable;
                else if (out.state == AmountText::Read || in.state == AmountText::Read)
                    money.state = AmountText::Read;
                money.cents = (in.cents < 0 ? -in.cents : in.cents) -
                              (out.cents < 0 ? -out.cents : out.cents);
                money.tooLarge = out.tooLarge || in.tooLarge;
            }
            money.tooLarge = money.tooLarge || clampAmount(money.cents) != money.cents;
            if (dateText.isEmpty()) {
                counted.add(SkipReason::NoDate, row);
                return true;
            }
            if (money.state == AmountText::Unreadable) {
                counted.add(SkipReason::UnreadableAmount, row);
                return true;
            }
            if (money.amount() == 0) {
                counted.add(SkipReason::NoAmount, row);
                return true;
            }
            const QDate date = readStatementDate(dateText, order);
            if (!date.isValid()) {
                counted.add(SkipReason::UnreadableDate, row);
                return true;
            }
            if (int(read.size()) >= kMaxQifRecords) {
                tooMany = true;
                return false;
            }
            ImportRecord record;
            record.memo = keepText(field(fields, columns.memoColumn));
            const QString payee = cleanText(field(fields, columns.payeeColumn));
            record.incomingPayee = payee.isEmpty() ? replaceReservedCharacters(record.memo) : payee;
            record.date = fromQDateTime(QDateTime(date, QTime(0, 0)));
            record.amount = money.amount();
            record.tooLarge = money.tooLarge;
            record.number = row;
            read.push_back(std::move(record));
            if (balanceColumn >= 0) {
                const AmountText balance =
                    readAmountText(field(fields, balanceColumn), columns.decimalComma);
                balances.push_back(balance.state == AmountText::Read && !balance.tooLarge
                                       ? std::optional<qint64>(balance.cents)
                                       : std::nullopt);
            }
            return true;
        });
        if (csvEndsInsideQuotes(bytes, char(columns.delimiter.toLatin1())))
            return kCsvUnterminatedQuote;
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    if (tooMany)
        return EFBIG;
    if (closing && !read.empty() && balances.size() == read.size()) {
        // The latest day's row that ends the statement: the last of that day when the file
        // runs oldest first, the first when it runs newest first.
        const bool newestFirst = isEarlier(read.back().date, read.front().date);
        std::optional<size_t> last;
        for (size_t i = 0; i < read.size(); ++i) {
            const bool later = !last || isEarlier(read[*last].date, read[i].date);
            const bool sameDay = last && !later && !isEarlier(read[i].date, read[*last].date);
            if (later || (sameDay && !newestFirst))
                last = i;
        }
        if (last && balances[*last])
            *closing =
                StatementBalance{Amount(*balances[*last]), toQDateTime(read[*last].date).date()};
    }
    records = std::move(read);
    if (skips)
        *skips = counted;
    return 0;
}
