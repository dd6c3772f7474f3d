#include "storage/backups.h"

#include "model/budget.h"
#include "model/clock.h"
#include "storage/budgetfile.h"
#include "storage/workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A copy is the user's money records: readable by its owner only, whatever the umask, and whole
// or not there at all (a full disk must not leave half a backup under a generation's name).
// It keeps the time its original was saved, which is what the restore list shows.
bool copyKeepingTime(const QString& from, const QString& to) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const int fd = ::open(QFile::encodeName(to).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    QFile copy;
    bool ok = ::fchmod(fd, 0600) == 0 && copy.open(fd, QIODevice::WriteOnly);
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    qint64 written = 0;
    while (ok) {
        const qint64 n = source.read(buffer.data(), buffer.size());
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = copy.write(buffer.constData(), n) == n;
        written += n;
    }
    ok = ok && copy.flush() && ::fsync(fd) == 0 && written == source.size();
    if (ok)
        copy.setFileTime(QFileInfo(from).lastModified(), QFileDevice::FileModificationTime);
    copy.close();
    ::close(fd);
    if (!ok)
        QFile::remove(to);
    return ok;
}

bool makePrivateFolder(const QString& folder) {
    return ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0;
}

QString dailyFolder(const QString& budgetFile) {
    return backupTargetFolder(budgetFile) + QStringLiteral("/daily");
}

QString dailyPrefix(const QString& budgetFile) {
    return QFileInfo(budgetFile).fileName() + u'.';
}
} // namespace

QString backupTargetFolder(const QString& budgetFile) {
    const QString folder = backupFolderPath(budgetFile);
    if (QFileInfo(folder).isDir() || makePrivateFolder(folder))
        return folder;
    return QFileInfo(budgetFile).absolutePath();
}

void rotateBackups(const QString& budgetFile) {
    const QString folder = backupTargetFolder(budgetFile);
    const QString base = folder + u'/' + QFileInfo(budgetFile).fileName() + QStringLiteral(".bak.");
    // The copy is made under a name of its own first: where it cannot be made (a full disk),
    // the generations stay as they are instead of moving one step towards deletion.
    const QString fresh = base + QStringLiteral("new");
    const bool exists = QFileInfo::exists(budgetFile);
    if (exists && !copyKeepingTime(budgetFile, fresh))
        return;
    for (int n = 10; n >= 1; --n) {
        const QString target = base + QString::number(n);
        QFile::remove(target);
        if (n == 1) {
            if (exists)
                QFile::rename(fresh, target);
        } else {
            QFile::rename(base + QString::number(n - 1), target);
        }
    }
    const DateTime now = Clock::now();
    keepDailyBackup(budgetFile, QDate(now.year, now.month, now.day));
}

void keepDailyBackup(const QString& budgetFile, const QDate& today) {
    if (!QFileInfo::exists(budgetFile) || !today.isValid())
        return;
    const QString folder = dailyFolder(budgetFile);
    if (!QFileInfo(folder).isDir() && !makePrivateFolder(folder))
        return;
    const QString prefix = dailyPrefix(budgetFile);
    const QString todays = folder + u'/' + prefix + today.toString(Qt::ISODate);
    if (!QFileInfo::exists(todays))
        copyKeepingTime(budgetFile, todays);
    const QDate oldest = today.addDays(-30);
    const QStringList names = QDir(folder).entryList({prefix + QStringLiteral("*")}, QDir::Files);
    for (const QString& name : names) {
        const QDate day = QDate::fromString(name.mid(prefix.size()), Qt::ISODate);
        if (day.isValid() && day < oldest)
            QFile::remove(folder + u'/' + name);
    }
}

BudgetSummary summarizeBudget(const Budget& budget) {
    BudgetSummary s;
    s.accounts = int(budget.itemsOfType(ItemType::Account).size());
    s.envelopes = int(budget.itemsOfType(ItemType::Envelope).size());
    s.transactions = int(budget.transactions().size());
    s.available = budget.availableForBudgeting();
    return s;
}

int loadBudgetCopy(const QString& path, Budget& budget) {
    WorkbookLoad r = loadWorkbook(path, budget);
    if (r.status != 0)
        return r.status;
    for (AccountBase* item : r.items)
        budget.showTopLevel(item);
    return 0;
}

void readBackup(BackupGeneration& generation) {
    Budget copy;
    generation.readable = loadBudgetCopy(generation.path, copy) == 0;
    generation.summary = generation.readable ? summarizeBudget(copy) : BudgetSummary{};
    generation.read = true;
}

std::vector<BackupGeneration> listBackups(const QString& budgetFile) {
    std::vector<BackupGeneration> result;
    auto add = [&result](const QString& path, const QString& name) {
        BackupGeneration g;
        g.path = path;
        g.name = name;
        g.modified = QFileInfo(path).lastModified();
        result.push_back(std::move(g));
    };
    const QString folder = backupTargetFolder(budgetFile);
    const QString base = folder + u'/' + QFileInfo(budgetFile).fileName() + QStringLiteral(".bak.");
    for (int n = 1; n <= 10; ++n) {
        const QString path = base + QString::number(n);
        if (QFileInfo::exists(path))
            add(path, QStringLiteral("Backup %1").arg(n));
    }
    const QString daily = dailyFolder(budgetFile);
    const QString prefix = dailyPrefix(budgetFile);
    QStringList names = QDir(daily).entryList({prefix + QStringLiteral("*")}, QDir::Files);
    std::sort(names.begin(), names.end(), std::greater<>());
    for (const QString& name : names) {
        const QDate day = QDate::fromString(name.mid(prefix.size()), Qt::ISODate);
        if (day.isValid())
            add(daily + u'/' + name,
                QStringLiteral("First of %1").arg(QLocale().toString(day, QLocale::ShortFormat)));
    }
    return result;
}

QString keepUnreadableCopy(const QString& budgetFile) {
    const DateTime now = Clock::now();
    const QString stamp = QString::asprintf("%04d%02d%02d-%02d%02d%02d", now.year, now.month,
                                            now.day, now.hour, now.minute, now.second);
    const QString name = QFileInfo(budgetFile).fileName() + QStringLiteral(".unreadable-") + stamp;
    QString target = backupTargetFolder(budgetFile) + u'/' + name;
    // Two failed starts within one second must not overwrite the first copy.
    for (int i = 2; QFileInfo::exists(target); ++i)
        target = backupTargetFolder(budgetFile) + u'/' + name + u'-' + QString::number(i);
    if (!copyKeepingTime(budgetFile, target))
        return {};
    return target;
}
