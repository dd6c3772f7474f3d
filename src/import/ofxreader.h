#pragma once
// Bank and credit-card statements in OFX (SGML 1.x and XML 2.x) and QFX, read with libofx.

#include "import/qifreader.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// One statement of an OFX file, which may hold several (a checking account and a card).
struct OfxStatement {
    QString accountId; // the bank's number for the account (ACCTID); empty when not given
    QString type;      // "checking", "savings", "credit card", "investment"...
    int rows = 0;      // transactions read from it
    // Its LEDGERBAL: the balance the bank gives, as of DTASOF (its calendar day as written).
    std::optional<StatementBalance> closing;
};

// A statement of 20,000 transactions parses in about two seconds; libofx is slower than
// cubic on some malformed files (5,000 unclosed elements: a minute), and is stopped here.
constexpr int kOfxParseTimeoutMs = 30000;

// Reads the statement into records (emptied first): the posted date as the statement writes
// it, the amount as the account sees it, the payee's name (else the memo), the memo and the
// bank's id (FITID). 0 on success; EINVAL when the bytes are no statement libofx can read
// (also when it crashes on them), ETIMEDOUT when it does not finish, EFBIG beyond
// kMaxQifRecords, or the errno of a failing temporary file or process; the list then stays
// empty. Transactions without a readable date or a non-zero amount, and the trades of an
// investment statement, are counted in skips (its cash lines are read as rows). statements
// receives the file's statements in order; chosen >= 0 keeps only that one's rows.
//
// libofx was not written for hostile input, so it runs in a helper program
// (tallykeep-ofx-helper, installed with this one) that can crash or be killed without taking
// the budget down; its chatter on the console goes nowhere. The helper inherits no descriptor
// but its connection, and ends when this process does. ENOENT when it is not installed.
quint32 readOfxBytes(const QByteArray& bytes, std::vector<ImportRecord>& records,
                     StatementSkips* skips = nullptr, int timeoutMs = kOfxParseTimeoutMs,
                     std::vector<OfxStatement>* statements = nullptr, int chosen = -1);

// The helper's side: reads the statement from standard input, parses it and writes the rows
// to standard output; the statement's copy and libofx's stay in a private temporary folder
// that it removes however it ends. Its exit status.
int runOfxHelper();
// A statement without its account block (<BANKACCTFROM>, <CCACCTFROM>), which libofx
// passes over whole, with a placeholder one; other statements unchanged.
QByteArray ofxWithAccountBlock(const QByteArray& bytes);

// The same parse run in this process, unguarded: what the child does. For the fuzzer, which
// must see libofx's faults instead of having them contained.
quint32 readOfxBytesUnguarded(const QByteArray& bytes, std::vector<ImportRecord>& records,
                              StatementSkips* skips = nullptr,
                              std::vector<OfxStatement>* statements = nullptr, int chosen = -1);
