#pragma once
// Bank statements in QIF: only the date, payee and amount of each transaction are read.

#include "model/items.h"
#include "model/money.h"

#include <QString>
#include <vector>

// One statement line under review. The three texts and the envelope id are the fields the
// rule editor edits, in the same order, so a row can be handed to it as it is.
struct ImportRecord {
    QString incomingPayee; // reserved characters already replaced; never empty from the reader
    QString mappedPayee;
    QString matchString;
    DateTime date;     // the statement date at 00:00:00
    Amount amount = 0; // negative when money leaves the account; never 0 from the reader
    ItemId envelopeId = kNoId;
};

// A statement with more transactions than this is refused whole (EFBIG): no real statement
// comes near it, and the review of each row costs a look through the budget's history.
constexpr int kMaxQifRecords = 20000;
// The most UTF-16 code units a value keeps; longer payees are cut here.
constexpr int kMaxQifValueLength = 1023;

// Reads the statement into records (emptied first). 0 on success; otherwise the errno of the
// failing open or read, ENOMEM when memory runs out, EFBIG beyond kMaxQifRecords; the list
// then stays empty. Malformed lines are never errors. A record is made as soon as a date, a
// payee and a non-zero amount are pending; "^" drops whatever is still pending; a last line
// without a line break counts like any other; a zero byte ends the input.
quint32 readQifFile(const QString& path, std::vector<ImportRecord>& records);

// The same over bytes already in memory (the input ends at the first zero byte).
quint32 readQifBytes(const QByteArray& bytes, std::vector<ImportRecord>& records);

// A statement date: numeric day, month and year in the default locale's order separated by
// "/" (also "-" or "."; blanks may stand for the second, as in "12/15  4" and "1/15 10" once
// the apostrophe of "12/15' 4" or "1/15'10" is a blank), a year-first form when the first
// number has four digits, two-digit years 30..99 in the 1900s and 00..29 in the 2000s, any
// time of day after a blank ignored. The result has time 00:00:00; unset (year 0) when the
// text is not such a date.
DateTime parseQifDate(const QString& text);
