#include "storage/budgetfile.h"

#include "model/budget.h"
#include "model/clock.h"
#include "model/prompter.h"
#include "storage/backups.h"
#include "storage/filewatcher.h"
#include "storage/legacybudget.h"
#include "storage/savecheck.h"
#include "storage/workbook.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QScopeGuard>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
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

namespace {

// The library's statuses for files it could not write or read back while packing.
bool isWriteFailure(int status) {
    switch (status) {
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
    case Workbook::SaveVerifyFailed:
        return true;
    default:
        return false;
    }
}

// The temporary file exists, empty, with the budget's mode (0600 for a new budget) before the
// library opens it, so no other user can read it while it fills: opening an existing file
// keeps its mode.
bool createPrivately(const QString& path, mode_t mode) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0)
        return false;
    const bool ok = ::fchmod(fd, mode) == 0; // the umask may have taken bits away
    ::close(fd);
    return ok;
}

} // namespace

int writeWorkbookReplacing(const QString& requestedPath, const Budget& budget,
                           const std::vector<AccountBase*>& items,
                           const std::function<bool()>& mayReplace, std::optional<DateTime> now,
                           QString* note) {
    if (const int status = replaceableStatus(requestedPath))
        return status;
    // A budget file that is a link keeps being one: the file it points at is replaced.
    const QFileInfo requested(requestedPath);
    const QString path =
        requested.isSymLink() && requested.exists() ? requested.canonicalFilePath() : requestedPath;
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    const QString temp = savingTempPath(path);
    QFile::remove(temp);
    struct stat old {};
    const bool exists = ::stat(QFile::encodeName(path).constData(), &old) == 0;
    if (!createPrivately(temp, exists ? (old.st_mode & 07777) : 0600))
        return LXW_ERROR_CREATING_XLSX_FILE;
    const SaveRoom room = roomForSave(path, budget);
    const QString tempFolder = libraryTempFolder(folder, room);
    auto failed = [&](int status) {
        QFile::remove(temp);
        if (isWriteFailure(status))
            status = Workbook::SaveVerifyFailed; // "is the disk full?"
        if (note && (isWriteFailure(status) || status == LXW_ERROR_CREATING_XLSX_FILE ||
                     status == Workbook::SaveReplaceFailed))
            *note = shortOfRoomNote(folder, tempFolder, room);
        return status;
    };
    const std::vector<int> openBefore = openDeletedFilesIn(tempFolder);
    int status = writeWorkbookFile(temp, budget, items, tempFolder, now);
    if (status != 0) {
        // Else a full disk stays full until the program ends.
        closeLeftOpenSince(tempFolder, openBefore);
        return failed(status);
    }
    // On disk and read back whole before anything else changes: a write that failed part-way
    // (a full disk) can leave a package whose parts are each intact but hold too little.
    if (!syncPath(temp, O_RDONLY) ||
        !writtenWorkbookIsWhole(temp, expectedTransactionsDigest(budget)))
        return failed(Workbook::SaveVerifyFailed);
    if (mayReplace && !mayReplace()) {
        QFile::remove(temp);
        return Workbook::SaveOutsideChange;
    }
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0)
        return failed(Workbook::SaveReplaceFailed);
    syncPath(folder, O_RDONLY | O_DIRECTORY);
    return 0;
}

SaveSnapshot takeSaveSnapshot(const Budget& budget) {
    SaveSnapshot snap;
    snap.now = Clock::now();
    snap.budget = std::make_unique<Budget>();
    Budget& copy = *snap.budget;
    // Items are found through the registry and through folders (an item the registry lost
    // is still written where a folder holds it), each copied once.
    std::unordered_map<const AccountBase*, AccountBase*> copies;
    std::vector<const AccountGroup*> folders;
    std::function<AccountBase*(const AccountBase*)> copyOf = [&](const AccountBase* item) {
        auto [it, inserted] = copies.emplace(item, nullptr);
        if (!inserted)
            return it->second;
        AccountBase* made = nullptr;
        switch (item->getType()) {
        case ItemType::Account:
            made = copy.createAccount();
            break;
        case ItemType::Folder:
            made = copy.createFolder();
            break;
        case ItemType::Envelope:
            made = copy.createEnvelope();
            break;
        }
        it->second = made;
        if (item->getType() == ItemType::Folder)
            folders.push_back(static_cast<const AccountGroup*>(item));
        return made;
    };
    const std::vector<AccountBase*> topLevel = budget.topLevelItemsForSave();
    for (const auto& [id, item] : budget.registry())
        copyOf(item);
    for (AccountBase* item : topLevel)
        copyOf(item);
    for (Account* a : budget.accountOrder())
        copyOf(a);
    for (AccountGroup* f : budget.folderOrder())
        copyOf(f);
    for (size_t i = 0; i < folders.size(); ++i) // grows while children are copied
        for (const AccountBase* child : folders[i]->children())
            copies.at(folders[i])->addChild(copyOf(child));
    for (const auto& [from, to] : copies) {
        to->setFields(from->fields());
        if (budget.findItem(from->id()) == from)
            to->setId(from->id());
    }
    // An item the registry does not list (only a folder or an order holds it) keeps its id
    // without taking the listed item's place.
    for (const auto& [from, to] : copies) {
        if (budget.findItem(from->id()) == from)
            continue;
        to->setId(from->id());
        copy.unregisterItem(from->id());
        if (AccountBase* listed = budget.findItem(from->id()))
            copy.registerItem(copies.at(listed));
    }
    for (const auto& t : budget.transactions())
        copy.loadTransaction(*t);
    for (const PayeeMappingRule& rule : budget.rules().rules())
        copy.rules().addMappingRule(rule.match, rule.envelopeId, false, rule.payee, rule.deposit);
    for (Account* a : budget.accountOrder())
        copy.accountOrder().push_back(static_cast<Account*>(copies.at(a)));
    for (AccountGroup* f : budget.folderOrder())
        copy.folderOrder().push_back(static_cast<AccountGroup*>(copies.at(f)));
    for (AccountBase* item : topLevel)
        snap.items.push_back(copies.at(item));
    return snap;
}

BudgetFile::BudgetFile(const QString& executablePath)
    : workbook_(budgetFilePath(executablePath)), legacy_(legacyBudgetPath(executablePath)) {}

BudgetFile::BudgetFile(const BudgetPath& budget)
    : workbook_(budget.path), legacy_(legacyBudgetPath(budget.path)) {}

BudgetFile::~BudgetFile() {
    *alive_ = false;
    {
        std::lock_guard lock(saveMutex_);
        quit_ = true;
    }
    saveChanged_.notify_all();
    // A queued save is still written: the worker only ends once nothing is pending.
    if (worker_.joinable())
        worker_.join();
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
        // Not a fault of the file: it must not be treated as unreadable.
        if (r.outOfMemory)
            throw std::bad_alloc();
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
        // Rows left out (another program wrote something this one cannot read) would vanish
        // with the first save; the file as it was is kept safe the same way.
        if (!r.unreadable.empty()) {
            keepUnreadableBeforeSave_ = true;
            unreadableKind_ = UnreadableKind::SomeRows;
            unreadableRows_ = describeUnreadableRows(r.unreadable, r.unreadableTotal);
            keepUnreadableCopyNow();
        } else if (budget.registry().empty() && budget.transactions().empty() &&
                   budget.rules().size() == 0) {
            // A workbook that opens but holds nothing of a budget (another program's file, or
            // one whose sheets were renamed) would be replaced by the first save.
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
    if (unreadableKind_ == UnreadableKind::SomeRows) {
        notice_ = QStringLiteral("Tallykeep could not read everything in the budget file "
                                 "%1:\n%2\nThe file as it was has been "
                                 "copied to %3 and will stay there; those rows are in that copy. "
                                 "The budget file itself is replaced when you next change "
                                 "something.")
                      .arg(workbook_, unreadableRows_, copy);
        return true;
    }
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

void BudgetFile::reportFailure(int status, Prompter& prompter, const QString& note) const {
    const QString why =
        note.isEmpty() ? saveErrorText(status) : saveErrorText(status) + u' ' + note;
    prompter.inform(QStringLiteral("Error saving"),
                    QStringLiteral("Failed to save budget [%1] [%2]!").arg(workbook_, why),
                    PromptIcon::Exclamation);
}

int BudgetFile::prepareSave(const Budget& budget, Prompter& prompter) {
    // Someone else's version of the file must not be overwritten by this instance's.
    if (*outsideChange_)
        return Workbook::SaveOutsideChange;
    if (largestSheetRecordCount(budget, budget.topLevelItemsForSave()) > Workbook::kMaxDataRows)
        return Workbook::SaveTooManyRows;
    if (const int status = replaceableStatus(workbook_))
        return status;
    if (keepUnreadableBeforeSave_) {
        if (!keepUnreadableCopyNow())
            return Workbook::SaveUnreadableNotKept;
        // Keeping the copy may only have worked now; the user must hear of it.
        const QString notice = takeNotice();
        if (!notice.isEmpty())
            prompter.inform(QStringLiteral("Tallykeep"), notice, PromptIcon::Information);
    }
    return 0;
}

int BudgetFile::writeSnapshot(const SaveSnapshot& snapshot, QString* note) {
    std::lock_guard lock(watcherMutex_);
    // A change the watcher has not reported yet (it waits for the file to be quiet) would be
    // lost with it: the file must still be what it was when the watcher started.
    std::optional<quint32> baseline;
    if (watcher_)
        baseline = watcher_->baseline();
    stopWatcher();
    // Watched from here on even if no watcher ran before (one that could not start, or a
    // file that did not exist when the program started), and even if the save threw.
    const auto watchAgain = qScopeGuard([this] { startWatcher(onOutsideChange_); });
    auto unchanged = [&] {
        bool ok = false;
        const quint32 crc = fileCrc32(workbook_, &ok);
        return !baseline || !ok || crc == *baseline;
    };
    int status = Workbook::SaveOutsideChange;
    // The generations move only once the new file has been written and read back whole, just
    // before it replaces the old one: a failed save leaves them as they were.
    if (!*outsideChange_ && unchanged())
        status = writeWorkbookReplacing(
            workbook_, *snapshot.budget, snapshot.items,
            [&] {
                if (*outsideChange_ || !unchanged())
                    return false;
                rotateBackups(workbook_);
                return true;
            },
            snapshot.now, note);
    if (status == Workbook::SaveOutsideChange && !*outsideChange_) {
        // Reported the way the watcher reports it.
        *outsideChange_ = true;
        if (onOutsideChange_)
            onOutsideChange_();
    }
    return status;
}

int BudgetFile::save(const Budget& budget, Prompter& prompter) {
    waitForSaves();
    int status = prepareSave(budget, prompter);
    QString note;
    if (status == 0)
        status = writeSnapshot(takeSaveSnapshot(budget), &note);
    if (status != 0)
        reportFailure(status, prompter, note);
    return status;
}

int BudgetFile::saveInBackground(const Budget& budget, Prompter& prompter) {
    if (const int status = prepareSave(budget, prompter)) {
        reportFailure(status, prompter);
        return status;
    }
    Job job{takeSaveSnapshot(budget), &prompter};
    std::unique_lock lock(saveMutex_);
    pending_ = std::move(job); // a waiting older snapshot is superseded
    if (!worker_.joinable())
        worker_ = std::thread([this] { saveLoop(); });
    saveChanged_.notify_all();
    return 0;
}

int BudgetFile::waitForSaves() {
    std::unique_lock lock(saveMutex_);
    saveChanged_.wait(lock, [this] { return !pending_ && !writing_; });
    return lastStatus_;
}

void BudgetFile::saveLoop() {
    std::unique_lock lock(saveMutex_);
    for (;;) {
        saveChanged_.wait(lock, [this] { return pending_ || quit_; });
        if (!pending_)
            return;
        Job job = std::move(*pending_);
        pending_.reset();
        writing_ = true;
        lock.unlock();
        int status = LXW_ERROR_MEMORY_MALLOC_FAILED;
        QString note;
        try {
            status = writeSnapshot(job.snapshot, &note);
        } catch (const std::bad_alloc&) {
            // Reported like any failed save; the budget file is as it was.
        }
        job.snapshot = {}; // freed here, not on the thread that waits
        if (status != 0 && QCoreApplication::instance()) {
            Prompter* prompter = job.prompter;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [this, alive = alive_, status, prompter, note] {
                    if (*alive)
                        reportFailure(status, *prompter, note);
                },
                Qt::QueuedConnection);
        }
        lock.lock();
        writing_ = false;
        lastStatus_ = status;
        saveChanged_.notify_all();
    }
}

void BudgetFile::startWatcher(std::function<void()> onOutsideChange) {
    std::lock_guard lock(watcherMutex_);
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
    std::lock_guard lock(watcherMutex_);
    if (!watcher_)
        return;
    watcher_->stop(5000);
    watcher_.reset();
}

void BudgetFile::setOutsideChangeReported(bool reported) {
    *outsideChange_ = reported;
}
