#pragma once
// The budget workbook: its fixed names, the writer and the reader.

#include "model/money.h"
#include "model/version.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <vector>

class AccountBase;
class Budget;
class XlsxCell;
class XlsxSheet;

namespace Workbook {
inline constexpr char kVersion[] = TALLYKEEP_VERSION;
// Spreadsheets end at row 1048576; row 1 holds the headers.
inline constexpr qint64 kMaxDataRows = 1048575;
// Longest text a cell receives, in UTF-8 bytes.
inline constexpr int kMaxTextBytes = 1023;

// Save statuses beyond the library's own codes (0 to 27).
enum SaveStatus : int {
    SaveTooManyRows = 100,
    SaveOutsideChange = 101,
    SaveReplaceFailed = 102,
    SaveUnreadableNotKept = 103,
    SaveVerifyFailed = 104,
    SaveDanglingLink = 105,
};
} // namespace Workbook

// UTF-8 of the text, cut at a character boundary to the cell limit.
QByteArray cellTextUtf8(const QString& text);

// Why a save failed, in words: the library's text for its codes (codes it does not know use
// its text for 27), ours for the statuses above.
QString saveErrorText(int status);

// The largest number of records one data sheet of this budget would need.
qint64 largestSheetRecordCount(const Budget& budget, const std::vector<AccountBase*>& items);

// Writes the whole workbook to path (replacing any file there) and reads it back. 0 on
// success, else the library's status from closing the workbook, SaveTooManyRows, or
// SaveVerifyFailed when the file does not read back whole. The library's temporary files go
// to tempFolder (the system's when empty). Numbers are written with a "." whatever the
// process locale. The overview's month is now's (the clock's when not given).
int writeWorkbookFile(const QString& path, const Budget& budget,
                      const std::vector<AccountBase*>& items, const QString& tempFolder = {},
                      std::optional<DateTime> now = std::nullopt);

// A row the reader left out of the budget because a cell it needs could not be read, or a
// reference in a row that names a row that is not there.
struct UnreadableRow {
    QString sheet;
    int row = 0;
    QString column;         // the cell's column header
    QString cell;           // its address: A503
    QString content;        // what it held, texts in quotes; a reference as its formula
    bool reference = false; // a reference to a row that is not there
    bool kept = false;      // the row was read without that reference
};

struct WorkbookLoad {
    int status = 2;                  // 0 read, 2 could not be opened
    std::vector<AccountBase*> items; // accounts in row order, then folders in row order
    quint32 version[4] = {0, 0, 0, 0};
    QString versionText;      // M6 as stored; empty when absent
    QString error;            // why it could not be opened
    bool outOfMemory = false; // it could not be opened for want of memory
    // In sheet order, then row order; only the first kMaxListedUnreadable are kept, so a
    // hostile file cannot fill memory with them.
    std::vector<UnreadableRow> unreadable;
    qint64 unreadableTotal = 0;            // all of them, listed or not
    std::map<QString, qint64> rowsLeftOut; // by sheet: rows not read at all
};
inline constexpr size_t kMaxListedUnreadable = 1000;

// Adds the workbook's items, transactions and rules to an empty budget.
WorkbookLoad loadWorkbook(const QString& path, Budget& budget);

// Reading or writing a large workbook frees a hundred MiB or more that the allocator would
// otherwise keep for the process; handing it back keeps the program's footprint near what
// the budget itself needs.
void releaseFreedMemory();

// A money cell: a number, or a text that is one ("12.50", "$1,234.56", the locale's form);
// empty cells and booleans are 0; none for any other text and for error values.
std::optional<Amount> moneyOfCell(const XlsxCell& cell);
// A date cell: a serial day, or a text that is a date (2026-11-05 with or without a time, the
// locale's short date, the forms statements use). Empty means no cell, a blank, or a serial
// whose whole part is 0; a cell neither empty nor a date in years 1 to 9999 has an unset date.
struct CellDate {
    bool empty = false;
    DateTime date;
};
CellDate cellDate(const XlsxCell& cell);
// moneyOfCell as 0 and cellDate as the unset date where they read nothing.
Amount readMoneyCell(const XlsxSheet& sheet, int row, int col);
DateTime readDateCell(const XlsxSheet& sheet, int row, int col);

// The rows for the user, one line each; after maxLines a count of the rest (of total).
QString describeUnreadableRows(const std::vector<UnreadableRow>& rows, qint64 total,
                               int maxLines = 20);

// Name of the folder that takes in envelopes whose folder is missing from the file.
QString unfiledFolderName();
