#pragma once
// The budget workbook: its fixed names, the writer and the reader.

#include "model/money.h"
#include "model/version.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

class AccountBase;
class Budget;
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

struct WorkbookLoad {
    int status = 2;                  // 0 read, 2 could not be opened
    std::vector<AccountBase*> items; // accounts in row order, then folders in row order
    quint32 version[4] = {0, 0, 0, 0};
    QString versionText;      // M6 as stored; empty when absent
    QString error;            // why it could not be opened
    bool outOfMemory = false; // it could not be opened for want of memory
};

// Adds the workbook's items, transactions and rules to an empty budget.
WorkbookLoad loadWorkbook(const QString& path, Budget& budget);

// Reading or writing a large workbook frees a hundred MiB or more that the allocator would
// otherwise keep for the process; handing it back keeps the program's footprint near what
// the budget itself needs.
void releaseFreedMemory();

Amount readMoneyCell(const XlsxSheet& sheet, int row, int col);
DateTime readDateCell(const XlsxSheet& sheet, int row, int col);

// Name of the folder that takes in envelopes whose folder is missing from the file.
QString unfiledFolderName();
