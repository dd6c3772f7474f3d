#pragma once
// What a statement reader left out, as the lines the sample statements' .expected files hold
// ("skipped unreadableDate 1"), sorted.

#include "import/statementvalues.h"

#include <QStringList>

inline QStringList skippedLines(const StatementSkips& skips) {
    QStringList out;
    const auto add = [&out](const char* why, int count) {
        if (count)
            out << QStringLiteral("skipped %1 %2").arg(QLatin1String(why)).arg(count);
    };
    add("withoutAmount", skips.withoutAmount);
    add("listEntries", skips.listEntries);
    add("unreadableDate", skips.unreadableDate);
    add("withoutDate", skips.withoutDate);
    out.sort();
    return out;
}
