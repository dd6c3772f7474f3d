#include "import/csvreader.h"

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

// True when the file ends inside a quoted field: its opening quote took in every line after it.
bool endsInsideQuotes(const QByteArray& bytes, char delimiter) {
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

// A header as words: lower case, accents dropped ("Débit" is "debit", "Empfänger"
// "empfanger"), everything but letters a blank.
QString headerWords(const QString& header) {
    const QString decomposed = header.normalized(QString::NormalizationForm_D).toLower();
    QString out;
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        out += c.isLetter() ? c : QLatin1Char(' ');
    }
    return QLatin1Char(' ') + out.simplified() + QLatin1Char(' ');
}

// Header words of the common banks, most telling first. German umlauts come as "a" and as
// "ae" (banks write both).
const QStringList kDateWords = {"buchungstag",     "buchungsdatum", "transaction date",
                                "posting date",    "posted date",   "booking date",
                                "date operation",  "boekdatum",     "transactiedatum",
                                "fecha operacion", "date",          "datum",
                                "fecha",           "wertstellung",  "valuta",
                                "date valeur"};
const QStringList kAmountWords = {"amount", "betrag",  "umsatz", "montant",
                                  "bedrag", "importe", "monto"};
const QStringList kDebitWords = {"debit",    "soll",  "withdrawal", "withdrawals", "money out",
                                 "paid out", "debet", "cargo",      "ausgang",     "belastung"};
const QStringList kCreditWords = {"credit",  "haben", "deposit", "deposits",  "money in",
                                  "paid in", "abono", "eingang", "gutschrift"};
// A column that marks the amount beside it as money out or in, and the marks.
const QStringList kSignWords = {"af bij",       "bij af",       "debit credit", "credit debit",
                                "debet credit", "credit debet", "soll haben",   "haben soll",
                                "dr cr",        "cr dr",        "d c",          "c d",
                                "s h",          "h s"};
const QStringList kOutMarks = {"af", "d", "dr", "db", "debit", "debet", "s", "soll", "-"};
const QStringList kInMarks = {"bij", "c", "cr", "credit", "h", "haben", "+"};
const QStringList kPayeeWords = {"payee",
                                 "zahlungsempfanger",
                                 "zahlungsempfaenger",
                                 "empfanger",
                                 "empfaenger",
                                 "beguenstigter",
                                 "begunstigter",
                                 "zahlungsbeteiligter",
                                 "auftraggeber",
                                 "beneficiary",
                                 "beneficiaire",
                                 "beneficiario",
                                 "tiers",
                                 "merchant",
                                 "counterparty",
                                 "naam",
                                 "name",
                                 "description",
                                 "libelle",
                                 "omschrijving",
                                 "concepto"};
const QStringList kMemoWords = {
    "memo",        "verwendungszweck", "reference",    "referenz", "notes",  "note",
    "details",     "communication",    "mededelingen", "motif",    "detail", "buchungstext",
    "description", "libelle",          "omschrijving", "concepto"};

int columnByWords(const QStringList& headers, const QStringList& words,
                  const std::vector<int>& taken) {
    for (const QString& word : words) {
        const QString needle = QLatin1Char(' ') + word + QLatin1Char(' ');
        for (int col = 0; col < headers.size(); ++col)
            if (std::find(taken.begin(), taken.end(), col) == taken.end() &&
                headers[col].contains(needle))
                return col;
    }
    return -1;
}

bool readsAsDate(const QString& text) {
    for (const DateOrder order :
         {DateOrder::DayMonthYear, DateOrder::MonthDayYear, DateOrder::YearMonthDay})
        if (readStatementDate(text, order).isValid())
            return true;
    return false;
}

bool looksLikeMoney(const QString& text) {
    static const QRegularExpression money(
        QStringLiteral("^[-+(\\x{2212}]?\\s*\\D{0,3}\\s*[-+]?\\d[\\d.,' \\x{a0}\\x{202f}]*"
                       "\\s*\\D{0,3}\\s*[-)]?$"));
    return !readsAsDate(text) && money.match(text.trimmed()).hasMatch();
}

// The share of non-empty values in a column that pass the test; 0 for an empty column.
double share(const QList<QStringList>& rows, int col, bool (*test)(const QString&)) {
    int filled = 0, passed = 0;
    for (const QStringList& row : rows) {
        if (col >= row.size() || row[col].trimmed().isEmpty())
            continue;
        ++filled;
        passed += test(row[col]) ? 1 : 0;
    }
    return filled == 0 ? 0.0 : double(passed) / filled;
}

// The delimiter that splits the most rows into the same number (two or more) of fields.
char chooseDelimiter(const QByteArray& bytes) {
    char best = ',';
    int bestRows = 0, bestFields = 0;
    for (const char d : {',', ';', '\t'}) {
        std::map<int, int> counts; // fields per row -> rows
        int seenRows = 0;
        splitCsv(bytes, d, [&](QList<QByteArray>& fields) {
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

QList<QStringList> csvRows(const QByteArray& bytes, QChar delimiter, int maxRows) {
    try {
        return firstRows(bytes, char(delimiter.toLatin1()), maxRows);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

namespace {

// How many lines of account details (number, period, balance) stand above the table: the
// lines before the first one with about as many fields as the table's rows, which have the
// most fields that a fifth of the lines share. A line with a date and an amount is a
// transaction, whatever its fields, and is never passed over.
int rowsBeforeTable(const QList<QStringList>& rows) {
    std::map<qsizetype, int> counts; // fields per row -> rows
    for (const QStringList& row : rows)
        ++counts[row.size()];
    qsizetype usual = 0;
    for (const auto& [n, count] : counts)
        if (count >= std::max<qsizetype>(2, rows.size() / 5))
            usual = n;
    if (usual < 3)
        return 0;
    int skip = 0;
    for (const QStringList& row : rows) {
        if (row.size() >= usual - 1)
            return skip;
        if (std::any_of(row.begin(), row.end(), readsAsDate) &&
            std::any_of(row.begin(), row.end(), looksLikeMoney))
            return skip;
        ++skip;
    }
    return 0;
}

} // namespace

CsvColumns detectCsvColumns(const QByteArray& bytes) {
    CsvColumns c;
    try {
        const char delimiter = chooseDelimiter(bytes);
        c.delimiter = QLatin1Char(delimiter);
        QList<QStringList> rows = firstRows(bytes, delimiter, kDetectRows);
        c.skipRows = rowsBeforeTable(rows);
        rows.remove(0, c.skipRows);
        if (rows.isEmpty())
            return c;
        // A first row holding a date is data, whatever words it has ("Mobile deposit").
        const bool firstIsData = std::any_of(rows.first().begin(), rows.first().end(), readsAsDate);
        QStringList headers;
        if (!firstIsData)
            for (const QString& h : rows.first())
                headers << headerWords(h);
        std::vector<int> taken;
        const auto pick = [&](int& column, const QStringList& words) {
            column = columnByWords(headers, words, taken);
            if (column >= 0)
                taken.push_back(column);
        };
        pick(c.dateColumn, kDateWords);
        pick(c.amountColumn, kAmountWords);
        if (c.amountColumn >= 0)
            pick(c.signColumn, kSignWords);
        if (c.amountColumn < 0) {
            pick(c.debitColumn, kDebitWords);
            pick(c.creditColumn, kCreditWords);
        }
        pick(c.payeeColumn, kPayeeWords);
        pick(c.memoColumn, kMemoWords);
        const bool named = !taken.empty();
        c.headerRow = named || (!firstIsData && rows.size() > 1 &&
                                std::any_of(rows[1].begin(), rows[1].end(), readsAsDate));
        QList<QStringList> data = rows;
        if (c.headerRow)
            data.removeFirst();

        // What the header did not name, the values tell.
        const int columns =
            int(std::max_element(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
                    return a.size() < b.size();
                })->size());
        const auto free = [&](int col) {
            return std::find(taken.begin(), taken.end(), col) == taken.end();
        };
        if (c.dateColumn < 0)
            for (int col = 0; col < columns; ++col)
                if (free(col) && share(data, col, readsAsDate) >= 0.8) {
                    c.dateColumn = col;
                    taken.push_back(col);
                    break;
                }
        if (c.amountColumn < 0 && c.debitColumn < 0 && c.creditColumn < 0)
            for (int col = 0; col < columns; ++col)
                if (free(col) && share(data, col, looksLikeMoney) >= 0.8) {
                    c.amountColumn = col;
                    taken.push_back(col);
                    break;
                }
        for (int col = 0; col < columns && (c.payeeColumn < 0 || c.memoColumn < 0); ++col) {
            if (!free(col) || share(data, col, looksLikeMoney) >= 0.8 ||
                share(data, col, readsAsDate) >= 0.8)
                continue;
            (c.payeeColumn < 0 ? c.payeeColumn : c.memoColumn) = col;
            taken.push_back(col);
        }

        QStringList dates;
        int vote = 0;
        for (const QStringList& row : data) {
            if (c.dateColumn >= 0 && c.dateColumn < row.size())
                dates << row[c.dateColumn];
            for (const int col : {c.amountColumn, c.debitColumn, c.creditColumn})
                if (col >= 0 && col < row.size())
                    vote += decimalVote(row[col].trimmed());
        }
        c.dateOrder = chooseDateOrder(dates, localeDateOrder());
        c.decimalComma = vote > 0 || (vote == 0 && delimiter == ';');
    } catch (const std::bad_alloc&) {
        return CsvColumns();
    }
    return c;
}

quint32 readCsvBytes(const QByteArray& bytes, const CsvColumns& columns,
                     std::vector<ImportRecord>& records, StatementSkips* skips,
                     std::optional<DateOrder> dateOrder) {
    records.clear();
    if (skips)
        *skips = StatementSkips();
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
            Amount amount = 0;
            if (columns.amountColumn >= 0) {
                amount =
                    readStatementAmount(field(fields, columns.amountColumn), columns.decimalComma);
                // A mark says which way the money went; an amount without a known mark
                // keeps the sign it is written with.
                const QString mark = field(fields, columns.signColumn).trimmed().toCaseFolded();
                const std::int64_t magnitude = std::abs(std::int64_t(amount));
                if (kOutMarks.contains(mark))
                    amount = clampAmount(-magnitude);
                else if (kInMarks.contains(mark))
                    amount = clampAmount(magnitude);
            } else {
                // Money out is money out whether the bank writes it positive or negative.
                const qint64 out =
                    readStatementAmount(field(fields, columns.debitColumn), columns.decimalComma);
                const qint64 in =
                    readStatementAmount(field(fields, columns.creditColumn), columns.decimalComma);
                amount = clampAmount((in < 0 ? -in : in) - (out < 0 ? -out : out));
            }
            if (dateText.isEmpty()) {
                counted.add(SkipReason::NoDate, row);
                return true;
            }
            if (amount == 0) {
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
            record.amount = amount;
            read.push_back(std::move(record));
            return true;
        });
        if (endsInsideQuotes(bytes, char(columns.delimiter.toLatin1())))
            return kCsvUnterminatedQuote;
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    if (tooMany)
        return EFBIG;
    records = std::move(read);
    if (skips)
        *skips = counted;
    return 0;
}
