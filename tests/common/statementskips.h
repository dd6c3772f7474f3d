#pragma once
// What a statement reader left out, as the lines the sample statements' .expected files hold
// ("skipped 4 unreadable date": the record's number in the statement and why), in statement order.

#include "import/statementvalues.h"

#include <QStringList>

inline QStringList skippedLines(const StatementSkips& skips) {
    QStringList out;
    for (const SkippedRecord& r : skips.records)
        out << QStringLiteral("skipped %1 %2")
                   .arg(r.record)
                   .arg(QLatin1String(skipReasonName(r.reason)));
    // The counts by reason must tell the same as the list.
    int byReason[6] = {};
    for (const SkippedRecord& r : skips.records)
        ++byReason[int(r.reason)];
    if (byReason[0] != skips.withoutDate || byReason[1] != skips.unreadableDate ||
        byReason[2] != skips.withoutAmount || byReason[3] != skips.listEntries ||
        byReason[4] != skips.unreadableAmount || byReason[5] != skips.investmentTrades)
        out << QStringLiteral("skipped counts differ from the list");
    return out;
}
