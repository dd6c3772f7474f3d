#include "storage/budgetlocation.h"

#include "storage/budgetfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <pwd.h>
#include <unistd.h>

namespace {

QString homeFolder() {
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) {
        // Started without a HOME (from some service managers): the account's own folder, never
        // the root of the file system.
        if (const passwd* pw = ::getpwuid(::getuid()))
            home = QFile::decodeName(pw->pw_dir);
    }
    return home;
}

bool userMayWriteIn(const QString& folder) {
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

// An installed program's folder (/usr/bin) is no place for anyone's budget, even root's.
bool isInstalledProgramFolder(const QString& folder) {
    const QString bindir = QStringLiteral(TALLYKEEP_INSTALLED_BINDIR);
    if (bindir.isEmpty())
        return false;
    const QString installed = QDir(bindir).canonicalPath();
    return !installed.isEmpty() && QDir(folder).canonicalPath() == installed;
}

} // namespace

QString userDataBudgetPath() {
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(dataHome))
        dataHome = homeFolder() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/tallykeep/tallykeep.xlsx");
}

QString chooseBudgetPath(const QString& argument, const QString& executablePath) {
    if (!argument.isEmpty()) {
        const QString path = QFileInfo(argument).absoluteFilePath();
        if (path.endsWith(QStringLiteral(".xml")))
            return budgetFilePath(path);
        return path;
    }
    const QString folder = QFileInfo(executablePath).absolutePath();
    if (userMayWriteIn(folder) && !isInstalledProgramFolder(folder))
        return budgetFilePath(QFileInfo(executablePath).absoluteFilePath());
    return userDataBudgetPath();
}

QString budgetIdentity(const QString& budgetPath) {
    const QFileInfo info(budgetPath);
    const QString file = info.canonicalFilePath();
    if (!file.isEmpty())
        return file;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + u'/' + info.fileName();
}
