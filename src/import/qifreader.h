#pragma once
// Bank statements in QIF: the date, payee, memo and amount of each transaction are read.

#include "import/statementvalues.h"
#include "model/items.h"
#include "model/money.h"

#include <QString>
#include <optional>
#include <vector>

// One part of a statement line divided among categories (QIF split lines).
struct ImportPart {
    QString category;  // as the statement names it (S line)
    QString memo;      // E line
    Amount amount = 0; // the record's sign; from "$", or the "%" share of the record's amount
    ItemId envelopeId = kNoId;
};

// One statement line under review. The three texts and the envelope id are the fields the
// rule editor edits, in the same order, so a row can be handed to it as it is.
struct ImportRecord {
    QString incomingPayee; // reserved characters already replaced; the memo, or empty, when
                           // the statement names no payee
    QString mappedPayee;
    QString matchString;
    DateTime date;     // the statement date at 00:00:00
    Amount amount = 0; // negative when money leaves the account; never 0 from the reader
    ItemId envelopeId = kNoId;
    QString memo;   // as in the statement (QIF "M", OFX MEMO, a CSV memo column)
    QString bankId; // the bank's own id of the transaction (OFX FITID); empty when none
    // A row that adds money may be recorded as a deposit into money available for budgeting
    // instead of as an expense of an envelope.
    bool deposit = false;
    // The other account when the row is a transfer or a card payment (envelopeId is then
    // none and deposit false).
    ItemId otherAccount = kNoId;
    // The amount had to be clamped to fit: no real transaction, never imported.
    bool tooLarge = false;
    int number = 0; // the record's number in the statement, as left-out records are counted
    // Two or more when the statement divides the line among categories; they add up to
    // amount (what the split lines leave over becomes a part without a category).
    std::vector<ImportPart> parts{};
};

// A statement with more transactions than this is refused whole (EFBIG): no real statement
// comes near it, and the review of each row costs a look through the budget's history.
constexpr int kMaxQifRecords = 20000;
// The most UTF-16 code units a value keeps; longer payees are cut here.
constexpr int kMaxQifValueLength = 1023;

// Reads the statement into records (emptied first). 0 on success; otherwise the errno of the
// failing open or read, ENOMEM when memory runs out, EFBIG beyond kMaxQifRecords; the list
// then stays empty. Malformed lines are never errors. A record ends at "^", or as soon as a
// date, a payee and a non-zero amount are pending; a record without a payee takes its memo
// (or nothing) as the payee. Dates are read in one day/month order for the whole file
// (chooseDateOrder), or in dateOrder when it is given. Records without a readable date or a
// non-zero amount, and the entries of list sections (categories, classes, accounts, memorized
// transactions), are left out and counted in skips. A last line without a line break counts like
// any other; a zero byte ends the input.
quint32 readQifFile(const QString& path, std::vector<ImportRecord>& records,
                    StatementSkips* skips = nullptr,
                    std::optional<DateOrder> dateOrder = std::nullopt);

// The same over bytes already in memory (the input ends at the first zero byte).
quint32 readQifBytes(const QByteArray& bytes, std::vector<ImportRecord>& records,
                     StatementSkips* skips = nullptr,
                     std::optional<DateOrder> dateOrder = std::nullopt);

// One date in the default locale's order (readStatementDate), at 00:00:00; unset (year 0)
// when the text is no date in that order.
DateTime parseQifDate(const QString& text);
