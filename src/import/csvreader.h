#pragma once
// Bank statements in CSV (RFC 4180 quoting, read with libcsv): which columns hold what is
// proposed by detectCsvColumns (statementreader.h); this reads the rows with a mapping.

#include "import/qifreader.h"
#include "import/statementreader.h"

#include <QByteArray>
#include <optional>
#include <vector>

// Reads every data row into records (emptied first), dates in dateOrder when given, else in
// the mapping's order. 0 on success; EINVAL when the mapping has no date or money column,
// EFBIG beyond kMaxQifRecords, ENOMEM; the list then stays empty. Blank rows are passed
// over; rows without a readable date or a non-zero amount are counted in skips.
quint32 readCsvBytes(const QByteArray& bytes, const CsvColumns& columns,
                     std::vector<ImportRecord>& records, StatementSkips* skips = nullptr,
                     std::optional<DateOrder> dateOrder = std::nullopt);
