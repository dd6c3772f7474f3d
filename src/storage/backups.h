#pragma once
// Backup generations of the budget file, taken before every save.

#include <QString>

// Shifts <folder>/TallykeepBackup/<name>.bak.1..9 up by one (dropping .bak.10) and copies the
// budget file to .bak.1. Failures are ignored; without a budget file no .bak.1 is made. When
// the backup folder cannot be created the generations go beside the budget file.
void rotateBackups(const QString& budgetFile);

// Where the generations go: the backup folder, or the budget file's own folder when the
// backup folder cannot be created.
QString backupTargetFolder(const QString& budgetFile);

// Copies a budget file that could not be read to <backup folder>/<name>.unreadable-<stamp>,
// a name rotation never touches. Returns the copy's path, or empty on failure.
QString keepUnreadableCopy(const QString& budgetFile);
