#pragma once
// Checks around a save: the written file is read back completely before it may replace the
// budget, and free space decides where the writer library keeps its temporary files and what a
// failed save tells the user.

#include <QString>
#include <QtGlobal>
#include <vector>

class Budget;

// The rows of the transactions sheet reduced to a count and an order-sensitive checksum of
// each row's date serial and amount in cents.
struct SheetDigest {
    qint64 rows = 0;
    quint64 sum = 0;
    void add(qint64 serial, qint64 cents);
    bool operator==(const SheetDigest&) const = default;
};

// What the writer puts into the transactions sheet for this budget.
SheetDigest expectedTransactionsDigest(const Budget& budget);

// True when every part of the package at path inflates to its recorded size with its CRC,
// every other XML part is well-formed, and the sheet named "Transactions" holds exactly the
// rows of expected, numbered from 2 without a gap, and ends as a complete document.
bool writtenWorkbookIsWhole(const QString& path, const SheetDigest& expected);

// Bytes the user may still write in the folder's file system; -1 when unknown.
qint64 freeBytesIn(const QString& folder);

// Room a save takes: the written file (the larger of the budget file as it is and an estimate
// from the number of transactions), and the writer library's temporary files, which hold the
// transactions sheet's XML, uncompressed, twice at their peak: from seven to twenty times the
// file's size, as the texts compress.
struct SaveRoom {
    qint64 file = 0;
    qint64 temporary = 0;
};
SaveRoom roomForSave(const QString& budgetFile, const Budget& budget);

// Where the library's temporary files go: the system's temporary folder when it lies on
// another file system and has ample room for them, so that the budget's folder needs room for
// the file alone; else the budget's own folder.
QString libraryTempFolder(const QString& budgetFolder, const SaveRoom& room);

// A sentence for the failure message when the folders are short of room for the save with
// the temporary files in tempFolder; empty when there seems to be room.
QString shortOfRoomNote(const QString& budgetFolder, const QString& tempFolder,
                        const SaveRoom& room);

// Descriptors of files deleted while open that lie directly in folder. The library leaves its
// temporary files (deleted at once, so only a descriptor holds their room) open when packing
// fails; closing what was not open before a failed write gives their room back.
std::vector<int> openDeletedFilesIn(const QString& folder);
void closeLeftOpenSince(const QString& folder, const std::vector<int>& before);
