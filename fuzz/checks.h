#pragma once
// What each fuzz target checks about one input, shared by the libFuzzer targets and by the
// test that replays the inputs they once failed on. Each check returns an empty text when the
// reader behaved, else what went wrong; crashes, leaks and undefined behaviour are left to the
// sanitizers.

#include <QByteArray>
#include <QString>

namespace fuzzcheck {

// The bytes as a QIF statement: every record has a payee, a non-zero amount and a real date.
QString qif(const QByteArray& bytes);

// The bytes as an OFX/QFX statement, parsed in this process so that libofx's faults show;
// the same promises as for QIF.
QString ofx(const QByteArray& bytes);

// The bytes as a CSV statement with the proposed mapping: the same promises as for QIF, and
// the mapping's text reads back as the same mapping.
QString csv(const QByteArray& bytes);

// The bytes as a budget workbook file, loaded as at start-up.
QString workbook(const QByteArray& bytes);

// The bytes as the XML of one worksheet, packed into a workbook and read once on one thread
// and once cut into pieces on several: both must give the same cells, or both refuse.
QString sheetPaths(const QByteArray& sheetXml);

// The bytes as a legacy XML budget.
QString legacy(const QByteArray& bytes);

// The bytes as a budget workbook; when it loads, saving it and loading the result must give
// the same items, transactions, rules and available money.
QString roundTrip(const QByteArray& bytes);

// The check of a target by its name (the folder names under fuzz/corpus); none if unknown.
using Check = QString (*)(const QByteArray&);
Check byTarget(const QString& target);

} // namespace fuzzcheck
