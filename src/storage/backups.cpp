#include "storage/backups.h"

#include "model/clock.h"
#include "storage/budgetfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString backupTargetFolder(const QString& budgetFile) {
    const QString folder = backupFolderPath(budgetFile);
    if (QFileInfo(folder).isDir() || QDir().mkdir(folder))
        return folder;
    return QFileInfo(budgetFile).absolutePath();
}

void rotateBackups(const QString& budgetFile) {
    const QString folder = backupTargetFolder(budgetFile);
    const QString base = folder + u'/' + QFileInfo(budgetFile).fileName() + QStringLiteral(".bak.");
    for (int n = 10; n >= 1; --n) {
        const QString target = base + QString::number(n);
        QFile::remove(target);
        if (n == 1)
            QFile::copy(budgetFile, target);
        else
            QFile::rename(base + QString::number(n - 1), target);
    }
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
    if (!QFile::copy(budgetFile, target))
        return {};
    return target;
}
