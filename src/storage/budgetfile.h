#pragma once
// The budget file (by default beside the executable): where it is, loading it at start-up, the one
// save operation (backups, watcher paused, safe replace) and the outside-change watcher.

#include "model/budget.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class Prompter;
class FileWatcher;

// "<dir>/<name without its extension>.xlsx"; only the file name's extension counts.
QString budgetFilePath(const QString& executablePath);
QString legacyBudgetPath(const QString& executablePath); // same rule with ".xml"
QString backupFolderPath(const QString& budgetFile);     // "<dir>/TallykeepBackup"

// 0 when path may be replaced by a save; else why not: a link that points nowhere
// (SaveDanglingLink) or a file its owner may not write (the library's "permissions" status).
int replaceableStatus(const QString& path);

// Writes the workbook to a temporary file beside path (created with path's mode, 0600 when
// path does not exist), flushes it to disk, reads it back completely and renames it over path,
// so a failed save leaves the previous file as it was. Refuses what replaceableStatus refuses.
// No backups, no watcher. 0 on success, else a save status (see saveErrorText in
// storage/workbook.h); a file that could not be written whole gives SaveVerifyFailed.
// mayReplace, when given, is asked after the check and just before the rename; false gives
// SaveOutsideChange. note, when given, receives a sentence about free space when a failed
// write may be for want of it.
int writeWorkbookReplacing(const QString& path, const Budget& budget,
                           const std::vector<AccountBase*>& items,
                           const std::function<bool()>& mayReplace = {},
                           std::optional<DateTime> now = std::nullopt, QString* note = nullptr);

// A deep copy of everything the writer reads (items with their fields and folder contents,
// the transactions, the rules, the moment the overview's month comes from), so the copy
// can be written on another thread while the budget goes on changing.
struct SaveSnapshot {
    std::unique_ptr<Budget> budget;
    std::vector<AccountBase*> items; // the top-level items in save order, owned by budget
    DateTime now;
};
SaveSnapshot takeSaveSnapshot(const Budget& budget);

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
    // loaded accounts and folders are put into the budget's display orders. Throws
    // std::bad_alloc when memory runs out (the budget is then incomplete; the file untouched).
    int load(Budget& budget);
    // The top-level items of the last load, in file order.
    const std::vector<AccountBase*>& loadedItems() const { return loaded_; }
    // The writing program's version stored in the loaded workbook; empty when none.
    QString loadedVersion() const { return version_; }
    // A message the user must read once (for example where an unreadable workbook was
    // kept safe); empty when there is none. Cleared by reading it. Worth asking after load
    // (and after a save, in case keeping the copy had to wait for it).
    QString takeNotice();

    // Pauses the watcher, writes a temporary file, reads it back, rotates backups and renames
    // it over the budget file. A failure is reported through the prompter; returns 0 on success.
    // Refused (old file kept) once an outside change has been detected, and when a sheet would need
    // more rows than a worksheet has.
    // Waits for background saves first, then writes on the calling thread.
    int save(const Budget& budget, Prompter& prompter);
    // The same checks as save() and a snapshot, then returns (0 when queued) and leaves the
    // writing to a worker thread. Saves land in order; a snapshot still waiting is replaced
    // by a newer one, whose content includes the older one's. A failure on the worker is
    // reported once through the prompter, from the application's event loop.
    int saveInBackground(const Budget& budget, Prompter& prompter);
    // Blocks until no save is queued or running; the status of the last one written.
    int waitForSaves();

    // Watches the budget file's folder. onOutsideChange runs on the watcher's thread when
    // the file's content changed under a notification this instance did not cause.
    void startWatcher(std::function<void()> onOutsideChange);
    void stopWatcher(); // waits at most 5000 ms
    // Once an outside change is being reported, saves are refused. The watcher sets this
    // itself before it calls onOutsideChange.
    void setOutsideChangeReported(bool reported);
    bool outsideChangeReported() const { return *outsideChange_; }

private:
    // The checks made on the caller's thread; 0 when the save may go ahead.
    int prepareSave(const Budget& budget, Prompter& prompter);
    // Backups, watcher paused, write and replace; any thread, one at a time.
    // note receives what a failure message should add about free space.
    int writeSnapshot(const SaveSnapshot& snapshot, QString* note);
    void reportFailure(int status, Prompter& prompter, const QString& note = {}) const;
    void saveLoop();

    // Copies an unreadable (or empty-of-budget) file into the backup folder once and sets
    // the notice.
    bool keepUnreadableCopyNow();
    enum class UnreadableKind { CouldNotRead, NoBudgetData, SomeRows };

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
    QString unreadableRows_; // the rows left out, for the notice

    // The watcher is paused by whichever thread writes; held across the write.
    std::recursive_mutex watcherMutex_;
    struct Job {
        SaveSnapshot snapshot;
        Prompter* prompter;
    };
    std::mutex saveMutex_;
    std::condition_variable saveChanged_;
    std::optional<Job> pending_;
    bool writing_ = false;
    bool quit_ = false;
    int lastStatus_ = 0;
    std::thread worker_;
    // Cleared on destruction, so reports still queued for the event loop are dropped.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};
