#include "storage/budgetfile.h"

#include "model/budget.h"
#include "platform/prompter.h"
#include "storage/backups.h"
#include "storage/filewatcher.h"
#include "storage/legacybudget.h"
#include "storage/workbook.h"

#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter/common.h>

namespace {

// Only the file name's last extension is replaced; a "." in a folder name never counts, and
// a name that starts with its only "." has no extension.
QString withExtension(const QString& executablePath, const QString& extension) {
    const qsizetype slash = executablePath.lastIndexOf(u'/');
    QString name = executablePath.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        name.truncate(dot);
    return executablePath.left(slash + 1) + name + extension;
}

bool syncPath(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

QString budgetFilePath(const QString& executablePath) {
    return withExtension(executablePath, QStringLiteral(".xlsx"));
}

QString legacyBudgetPath(const QString& executablePath) {
    return withExtension(executablePath, QStringLiteral(".xml"));
}

QString backupFolderPath(const QString& budgetFile) {
    const qsizetype slash = budgetFile.lastIndexOf(u'/');
    return budgetFile.left(slash + 1) + QStringLiteral("TallykeepBackup");
}

QString savingTempPath(const QString& path) {
    const QFileInfo info(path);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".saving");
}

int replaceableStatus(const QString& path) {
    const QFileInfo info(path);
    // A link to a drive that is not mounted: replacing the link would split the budget in two.
    if (info.isSymLink() && !info.exists())
        return Workbook::SaveDanglingLink;
    if (!info.exists())
        return 0;
    // A file its owner may not write is one the user protected; root could still replace it.
    const QByteArray target = QFile::encodeName(info.canonicalFilePath());
    struct stat st {};
    if (::stat(target.constData(), &st) != 0 || !(st.st_mode & S_IWUSR) ||
        ::access(target.constData(), W_OK) != 0)
        return LXW_ERROR_CREATING_XLSX_FILE;
    return 0;
}

int writeWorkbookReplacing(const QString& requestedPath, const Budget& budget,
                           const std::vector<AccountBase*>& items) {
    if (const int status = replaceableStatus(requestedPath))
        return status;
    // A budget file that is a link keeps being one: the file it points at is replaced.
    const QFileInfo requested(requestedPath);
    const QString path =
        requested.isSymLink() && requested.exists() ? requested.canonicalFilePath() : requestedPath;
    const QFileInfo info(path);
    const QString temp = savingTempPath(path);
    QFile::remove(temp);
    const int status = writeWorkbookFile(temp, budget, items, info.absolutePath());
    if (status != 0) {
        QFile::remove(temp);
        return status;
    }
    // The new file gets the old one's permissions (a private budget stays private).
    if (info.exists())
        QFile::setPermissions(temp, QFile::permissions(path));
    // The new content must be on disk before it takes the budget file's name.
    if (!syncPath(temp, O_RDONLY) ||
        ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temp);
        return Workbook::SaveReplaceFailed;
    }
    syncPath(info.absolutePath(), O_RDONLY | O_DIRECTORY);
    return 0;
}

BudgetFile::BudgetFile(const QString& executablePath)
    : workbook_(budgetFilePath(executablePath)), legacy_(legacyBudgetPath(executablePath)) {}

BudgetFile::BudgetFile(const BudgetPath& budget)
    : workbook_(budget.path), legacy_(legacyBudgetPath(budget.path)) {}

BudgetFile::~BudgetFile() {
    stopWatcher();
}

int BudgetFile::load(Budget& budget) {
    loaded_.clear();
    version_.clear();
    const QFileInfo workbookInfo(workbook_);
    if (workbookInfo.isSymLink() && !workbookInfo.exists()) {
        notice_ = QStringLiteral("The budget file %1 is a link to %2, which does not exist (is a "
                                 "drive not connected?). Tallykeep has started with an empty "
                                 "budget and will not save until %2 is there again.")
                      .arg(workbook_, workbookInfo.symLinkTarget());
        return LoadOk;
    }
    // What a save killed half-way left behind.
    QFile::remove(
        savingTempPath(workbookInfo.isSymLink() ? workbookInfo.canonicalFilePath() : workbook_));
    if (QFileInfo::exists(workbook_)) {
        WorkbookLoad r = loadWorkbook(workbook_, budget);
        if (r.status != 0) {
            // Starting empty is the rule; the file itself must survive the first save. It is
            // copied to safety now, so the user can be told where it is; should that fail,
            // the first save tries again and is refused if it cannot.
            keepUnreadableBeforeSave_ = true;
            unreadableKind_ = UnreadableKind::CouldNotRead;
            keepUnreadableCopyNow();
            return LoadWorkbookUnopenable;
        }
        loaded_ = std::move(r.items);
        version_ = r.versionText;
        // A workbook that opens but holds nothing of a budget (another program's file, or
        // one whose sheets were renamed) would be replaced by the first save; keep it safe
        // the same way as an unreadable one.
        if (budget.registry().empty() && budget.transactions().empty() &&
            budget.rules().size() == 0) {
            keepUnreadableBeforeSave_ = true;
            unreadableKind_ = UnreadableKind::NoBudgetData;
            keepUnreadableCopyNow();
        }
    } else if (QFileInfo::exists(legacy_)) {
        LegacyLoad r = loadLegacyBudget(legacy_, budget);
        if (r.status != 0)
            return r.status;
        loaded_ = std::move(r.items);
    }
    budget.showTopLevel(loaded_);
    return LoadOk;
}

bool BudgetFile::keepUnreadableCopyNow() {
    if (!QFileInfo::exists(workbook_)) {
        keepUnreadableBeforeSave_ = false;
        return true;
    }
    const QString copy = keepUnreadableCopy(workbook_);
    if (copy.isEmpty())
        return false;
    keepUnreadableBeforeSave_ = false;
    const QString what =
        unreadableKind_ == UnreadableKind::CouldNotRead
            ? QStringLiteral("The budget file %1 could not be read, so Tallykeep has started "
                             "with an empty budget.")
            : QStringLiteral("The budget file %1 holds no accounts, folders, envelopes or "
                             "transactions that Tallykeep can read, so Tallykeep has started "
                             "with an empty budget.");
    notice_ = what.arg(workbook_) +
              QStringLiteral(" The file has been copied to %1 and will stay there; your earlier "
                             "data is in that copy. The budget file itself is replaced when you "
                             "next change something.")
                  .arg(copy);
    return true;
}

QString BudgetFile::takeNotice() {
    QString notice;
    notice.swap(notice_);
    return notice;
}

int BudgetFile::save(const Budget& budget, Prompter& prompter) {
    auto failed = [&](int status) {
        prompter.inform(QStringLiteral("Error saving"),
                        QStringLiteral("Failed to save budget [%1] [%2]!")
                            .arg(workbook_, saveErrorText(status)),
                        PromptIcon::Exclamation);
        return status;
    };
    // Someone else's version of the file must not be overwritten by this instance's.
    if (*outsideChange_)
        return failed(Workbook::SaveOutsideChange);
    const std::vector<AccountBase*> items = budget.topLevelItemsForSave();
    if (largestSheetRecordCount(budget, items) > Workbook::kMaxDataRows)
        return failed(Workbook::SaveTooManyRows);
    if (const int status = replaceableStatus(workbook_))
        return failed(status);

    if (keepUnreadableBeforeSave_ && !keepUnreadableCopyNow())
        return failed(Workbook::SaveUnreadableNotKept);

    rotateBackups(workbook_);
    stopWatcher();
    if (*outsideChange_)
        return failed(Workbook::SaveOutsideChange);
    const int status = writeWorkbookReplacing(workbook_, budget, items);
    // Watched from here on even if no watcher ran before (one that could not start, or a
    // file that did not exist when the program started).
    startWatcher(onOutsideChange_);
    // Keeping an unreadable file's copy may only have worked now; the user must hear of it.
    const QString notice = takeNotice();
    if (!notice.isEmpty())
        prompter.inform(QStringLiteral("Tallykeep"), notice, PromptIcon::Information);
    if (status != 0)
        return failed(status);
    return 0;
}

void BudgetFile::startWatcher(std::function<void()> onOutsideChange) {
    stopWatcher();
    onOutsideChange_ = std::move(onOutsideChange);
    auto flag = outsideChange_;
    auto callback = onOutsideChange_;
    watcher_ = std::make_unique<FileWatcher>(workbook_, [flag, callback] {
        *flag = true;
        if (callback)
            callback();
    });
    if (!watcher_->start())
        watcher_.reset();
}

void BudgetFile::stopWatcher() {
    if (!watcher_)
        return;
    watcher_->stop(5000);
    watcher_.reset();
}

void BudgetFile::setOutsideChangeReported(bool reported) {
    *outsideChange_ = reported;
}
