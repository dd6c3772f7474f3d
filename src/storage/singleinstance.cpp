#include "storage/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder where only this user can create or remove entries.
bool isPrivateFolder(const QString& folder) {
    struct stat st {};
    return QDir::isAbsolutePath(folder) &&
           ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && !(st.st_mode & (S_IWGRP | S_IWOTH));
}

QString cacheFolder() {
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (QDir::isAbsolutePath(cache))
        return cache;
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty())
        if (const passwd* pw = ::getpwuid(::geteuid()))
            home = QFile::decodeName(pw->pw_dir);
    return home.isEmpty() ? QString() : home + QStringLiteral("/.cache");
}

} // namespace

QString SingleInstance::lockFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateFolder(runtime))
        return runtime;
    const QString cache = cacheFolder();
    if (cache.isEmpty())
        return {};
    const QString folder = cache + QStringLiteral("/tallykeep-locks");
    QDir().mkpath(cache);
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return isPrivateFolder(folder) ? folder : QString();
}

QString SingleInstance::lockKey(const QString& identity) {
    const QFileInfo info(identity);
    struct stat st {};
    if (::stat(QFile::encodeName(info.absolutePath()).constData(), &st) != 0)
        return identity;
    return QStringLiteral("%1:%2/").arg(quint64(st.st_dev)).arg(quint64(st.st_ino)) +
           info.fileName();
}

SingleInstance::SingleInstance(const QString& identity) {
    const QString folder = lockFolder();
    path_ = (folder.isEmpty() ? QStringLiteral("(no private folder for locks)") : folder) + u'/' +
            instanceName(lockKey(identity)) + QStringLiteral(".lock");
    lock_ = std::make_unique<QLockFile>(path_);
    // A running instance may hold the lock for days; only a dead owner makes it stale.
    // QLockFile recognises a dead owner by the process id recorded in the file.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::instanceName(const QString& key) {
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("tallykeep-") + QString::fromLatin1(hash.toHex());
}

bool SingleInstance::tryAcquire() {
    if (held_)
        return true;
    held_ = lock_->tryLock(0);
    heldElsewhere_ = !held_ && lock_->error() == QLockFile::LockFailedError;
    failure_.clear();
    if (!held_ && !heldElsewhere_)
        failure_ = lock_->error() == QLockFile::PermissionError
                       ? QStringLiteral("no permission to create %1").arg(path_)
                       : QStringLiteral("%1 could not be created").arg(path_);
    return held_;
}

QString SingleInstance::holderName() const {
    qint64 pid = 0;
    QString host, application;
    return lock_->getLockInfo(&pid, &host, &application) ? application : QString();
}
