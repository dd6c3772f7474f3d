#pragma once
// Backup generations of the budget file, taken before every save, and the daily copies
// kept beside them.

#include "model/money.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <vector>

class Budget;

// Shifts <folder>/TallykeepBackup/<name>.bak.1..9 up by one (dropping .bak.10) and copies the
// budget file to .bak.1, then keeps the day's first version (see keepDailyBackup). A copy that
// cannot be made whole leaves every generation as it was; other failures are ignored; without a
// budget file no .bak.1 is made. When the backup folder cannot be created the generations go
// beside the budget file. Copies are made 0600 and folders 0700.
void rotateBackups(const QString& budgetFile);

// Where the generations go: the backup folder, or the budget file's own folder when the
// backup folder cannot be created.
QString backupTargetFolder(const QString& budgetFile);

// Copies a budget file that could not be read to <backup folder>/<name>.unreadable-<stamp>,
// a name rotation never touches. Returns the copy's path, or empty on failure.
QString keepUnreadableCopy(const QString& budgetFile);

// Keeps the budget file as it is now in <backup folder>/daily/<name>.<yyyy-MM-dd> unless today
// already has a copy, so the first version of each day survives the rotation; copies more
// than 30 days older than today are removed. Failures are ignored.
void keepDailyBackup(const QString& budgetFile, const QDate& today);

// What a budget holds, in one line of the restore list.
struct BudgetSummary {
    int accounts = 0;
    int envelopes = 0;
    int transactions = 0;
    Amount available = 0; // money available for budgeting
};
BudgetSummary summarizeBudget(const Budget& budget);

// One backup the user can go back to.
struct BackupGeneration {
    QString path;
    QString name;       // "Backup 1" (newest) .. "Backup 10", or "First of <date>" for a daily copy
    QDateTime modified; // when that version was saved
    bool read = false;  // readable and summary are known
    bool readable = false;
    BudgetSummary summary;
};
// The rotating generations (newest first), then the daily copies (newest first), not yet
// read: reading a large budget takes a while, so the list can show them first.
std::vector<BackupGeneration> listBackups(const QString& budgetFile);
// Reads the backup once to learn whether it loads and what it holds.
void readBackup(BackupGeneration& generation);

// Loads a budget workbook into an empty budget the way the program loads its own file
// (display orders included); 0 on success.
int loadBudgetCopy(const QString& path, Budget& budget);
