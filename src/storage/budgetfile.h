#pragma once
// The budget file (by default beside the executable): where it is, loading it at start-up, the one
// save operation (backups, watcher paused, safe replace) and the outside-change watcher.

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class AccountBase;
class Budget;
class Prompter;
class FileWatcher;

// "<dir>/<name without its extension>.xlsx"; only the file name's extension counts.
QString budgetFilePath(const QString& executablePath);
QString legacyBudgetPath(const QString& executablePath); // same rule with ".xml"
QString backupFolderPath(const QString& budgetFile);     // "<dir>/TallykeepBackup"

// 0 when path may be replaced by a save; else why not: a link that points nowhere
// (SaveDanglingLink) or a file its owner may not write (the library's "permissions" status).
int replaceableStatus(const QString& path);

// Writes the workbook to a temporary file beside path, reads it back, flushes it to disk and
// renames it over path, so a failed save leaves the previous file as it was. Refuses what
// replaceableStatus refuses. No backups, no watcher.
// 0 on success, else a save status (see saveErrorText in storage/workbook.h).
int writeWorkbookReplacing(const QString& path, const Budget& budget,
                           const std::vector<AccountBase*>& items);

enum LoadStatus : int {
    LoadOk = 0,
    LoadWorkbookUnopenable = 2, // the program goes on with an empty budget
    // any other value: "Unable to load file"
};

// A budget file named by its own path rather than by the program's.
struct BudgetPath {
    QString path;
};

class BudgetFile {
public:
    explicit BudgetFile(const QString& executablePath);
    // The legacy ".xml" file, the backups and the watcher follow the given workbook.
    explicit BudgetFile(const BudgetPath& budget);
    ~BudgetFile();

    QString workbookPath() const { return workbook_; }
    QString legacyPath() const { return legacy_; }

    // Workbook if it exists, else the legacy file, else an empty budget. Normalised; the
    // loaded accounts and folders are put into the budget's display orders.
    int load(Budget& budget);
    // The top-level items of the last load, in file order.
    const std::vector<AccountBase*>& loadedItems() const { return loaded_; }
    // The writing program's version stored in the loaded workbook; empty when none.
    QString loadedVersion() const { return version_; }
    // A message the user must read once (for example where an unreadable workbook was
    // kept safe); empty when there is none. Cleared by reading it. Worth asking after load
    // (and after a save, in case keeping the copy had to wait for it).
    QString takeNotice();

    // Rotates backups, pauses the watcher, writes a temporary file and renames it over the
    // budget file. A failure is reported through the prompter; returns 0 on success. Refused
    // (old file kept) once an outside change has been detected, and when a sheet would need
    // more rows than a worksheet has.
    int save(const Budget& budget, Prompter& prompter);

    // Watches the budget file's folder. onOutsideChange runs on the watcher's thread when
    // the file's content changed under a notification this instance did not cause.
    void startWatcher(std::function<void()> onOutsideChange);
    void stopWatcher(); // waits at most 5000 ms
    // Once an outside change is being reported, saves are refused. The watcher sets this
    // itself before it calls onOutsideChange.
    void setOutsideChangeReported(bool reported);
    bool outsideChangeReported() const { return *outsideChange_; }

private:
    // Copies an unreadable (or empty-of-budget) file into the backup folder once and sets
    // the notice.
    bool keepUnreadableCopyNow();
    enum class UnreadableKind { CouldNotRead, NoBudgetData };

    QString workbook_;
    QString legacy_;
    QString notice_;
    std::vector<AccountBase*> loaded_;
    QString version_;
    // Shared with the watcher thread, which may outlive a stop that timed out.
    std::shared_ptr<std::atomic<bool>> outsideChange_ = std::make_shared<std::atomic<bool>>(false);
    std::function<void()> onOutsideChange_;
    std::unique_ptr<FileWatcher> watcher_;
    bool keepUnreadableBeforeSave_ = false;
    UnreadableKind unreadableKind_ = UnreadableKind::CouldNotRead;
};
