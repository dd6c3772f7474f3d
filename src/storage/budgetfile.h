#pragma once
// The budget file beside the executable: where it is, loading it at start-up, the one
// save operation (backups, watcher paused, safe replace) and the outside-change watcher.

#include <QString>
#include <functional>
#include <memory>

class Budget;
class Prompter;
class FileWatcher;

// "<dir>/<name without its extension>.xlsx"; only the file name's extension counts.
QString budgetFilePath(const QString& executablePath);
QString legacyBudgetPath(const QString& executablePath); // same rule with ".xml"
QString backupFolderPath(const QString& budgetFile);     // "<dir>/TallykeepBackup"

enum LoadStatus : int {
    LoadOk = 0,
    LoadWorkbookUnopenable = 2, // the program goes on with an empty budget
    // any other value: "Unable to load file"
};

class BudgetFile {
public:
    explicit BudgetFile(const QString& executablePath);
    ~BudgetFile();

    QString workbookPath() const { return workbook_; }
    QString legacyPath() const { return legacy_; }

    // Workbook if it exists, else the legacy file, else an empty budget. Normalised.
    int load(Budget& budget);
    // A message the user must read once (for example where an unreadable workbook was
    // kept safe); empty when there is none. Cleared by reading it.
    QString takeNotice();

    // Rotates backups, pauses the watcher, writes a temporary file and renames it over the
    // budget file. A failure is reported through the prompter; returns 0 on success.
    int save(const Budget& budget, Prompter& prompter);

    // Watches the budget file's folder. onOutsideChange runs on the watcher's thread when
    // the file's content changed under a notification this instance did not cause.
    void startWatcher(std::function<void()> onOutsideChange);
    void stopWatcher(); // waits at most 5000 ms
    // Once an outside change is being reported, saves are refused.
    void setOutsideChangeReported(bool reported);

private:
    QString workbook_;
    QString legacy_;
    QString notice_;
    bool outsideChangeReported_ = false;
    std::function<void()> onOutsideChange_;
    std::unique_ptr<FileWatcher> watcher_;
    bool keepUnreadableBeforeSave_ = false;
};
