#pragma once
// How values in bank statements are read, whatever the statement's format: dates in the
// forms banks write (with one day/month order for the whole file), amounts with a decimal
// point or a decimal comma, and the account of what was left out.

#include "model/datetext.h"
#include "model/money.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// The balance a statement gives at its end (OFX LEDGERBAL with its DTASOF; a CSV balance
// column on its last row), when it gives one.
struct StatementBalance {
    Amount amount = 0;
    QDate date;
};

// The one order a whole statement is read in: the locale's when it reads every date; else
// another that reads every date (day first before month first); when none does, the one
// that reads the most, the locale's on a tie.
DateOrder chooseDateOrder(const QStringList& dates, DateOrder localeOrder);

// A statement amount as the statement means it: a comma followed by exactly two digits at
// the end, with no point after it, is the decimal separator ("-12,50", "1.234,56"); every
// other text is read with "." as the decimal point ("1,234.56", "-$41.94"). Blanks around
// the value do not count; a leading "-" makes it negative.
Amount readStatementAmount(const QString& text);

// An amount whose decimal separator is known (a CSV column's): the other of "." and ","
// groups thousands. A "-" or "−" before the digits or after them, or parentheses around
// the value, make it negative; currency symbols and blanks do not count. 0 when the text is
// no amount (see readAmountText).
Amount readStatementAmount(const QString& text, bool decimalComma);

// What an amount text holds, read strictly: digits with at most one decimal separator,
// group separators only between groups of three digits (or the Indian 2-2-3), one sign
// ("-", "−", "+" before or a "-" after, or parentheses around), and at most one currency
// sign or code ("$", "€", "R$", "EUR", "kr") before or after. Anything else ("1e308", "0x10",
// "12-34") is Unreadable: dropping what is not a digit would make money up.
struct AmountText {
    enum State { Empty, Unreadable, Read };
    State state = Empty;
    qint64 cents = 0;      // digits after the second decimal dropped; bounded by ±10^17
    bool tooLarge = false; // beyond what an Amount holds: clamped, never a real transaction
    Amount amount() const { return clampAmount(cents); }
};
AmountText readAmountText(const QString& text, bool decimalComma);
// The decimal separator decided by the text as readStatementAmount(text) does.
AmountText readAmountText(const QString& text);

// The text of statement bytes: UTF-8 when they are valid UTF-8 (a byte order mark is
// dropped), else Windows-1252, as older bank software writes (its letters include all of
// Latin-1's).
QString decodeStatementText(const QByteArray& bytes);

enum class SkipReason {
    NoDate,
    UnreadableDate,
    NoAmount,
    ListEntry,
    UnreadableAmount,
    InvestmentTrade
};

// A record left out: its 1-based number in the statement (a QIF record, a CSV row counted as
// a spreadsheet shows it, header included, an OFX transaction) and why.
struct SkippedRecord {
    int record = 0;
    SkipReason reason = SkipReason::NoDate;
};

// Records of a statement that are not imported, by reason.
struct StatementSkips {
    int withoutDate = 0;
    int unreadableDate = 0;
    int withoutAmount = 0;
    int listEntries = 0; // entries of category, class, account and memorized-transaction lists
    int unreadableAmount = 0;
    int investmentTrades = 0; // an OFX investment statement's purchases, sales, income
    // Which ones, in statement order; a junk file could name millions, so only the first
    // kMaxListed are kept (the counts go on).
    std::vector<SkippedRecord> records;
    static constexpr size_t kMaxListed = 10000;

    void add(SkipReason reason, int record);
    int total() const {
        return withoutDate + unreadableDate + withoutAmount + listEntries + unreadableAmount +
               investmentTrades;
    }
};

// "no date", "unreadable date", "no amount", "list entry", "unreadable amount".
const char* skipReasonName(SkipReason reason);

// The one message that tells the user what was left out and why; empty when nothing was.
QString skippedRecordsMessage(const StatementSkips& skips);

// Reads the file at path in pieces, handing each to piece until it returns false or the file
// ends; the file is closed however that ends (an exception from piece included). 0, or the
// errno of the failing open or read.
quint32 readFileInPieces(const QString& path,
                         const std::function<bool(const char* data, qsizetype size)>& piece);

// Said when a statement holds more transactions than one import takes.
QString tooManyTransactionsMessage(int limit);
