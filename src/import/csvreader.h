#pragma once
// Bank statements in CSV (RFC 4180 quoting, read with libcsv): which columns hold what is
// proposed by detectCsvColumns (statementreader.h); this reads the rows with a mapping.

#include "import/qifreader.h"
#include "import/statementreader.h"

#include <QByteArray>
#include <cerrno>
#include <optional>
#include <vector>

// readCsvBytes's status for a file that ends inside a quoted field: the quote that opened it
// took in every line after it, so what is read is not the statement.
inline constexpr quint32 kCsvUnterminatedQuote = EBADMSG;

// True when the file ends inside a quoted field: its opening quote took in every line after it.
bool csvEndsInsideQuotes(const QByteArray& bytes, char delimiter);

// Reads every data row into records (emptied first), dates in dateOrder when given, else in
// the mapping's order. 0 on success; EINVAL when the mapping has no date or money column,
// EFBIG beyond kMaxQifRecords, ENOMEM, kCsvUnterminatedQuote; the list then stays empty.
// Blank rows are passed over; rows without a readable date or a non-zero amount are counted
// in skips. With a balance column, closing receives the balance on the last row by date
// (the bottom row of a file written oldest first, the top row of one written newest first).
quint32 readCsvBytes(const QByteArray& bytes, const CsvColumns& columns,
                     std::vector<ImportRecord>& records, StatementSkips* skips = nullptr,
                     std::optional<DateOrder> dateOrder = std::nullopt,
                     std::optional<StatementBalance>* closing = nullptr);
