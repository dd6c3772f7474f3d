#include "storage/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>

SingleInstance::SingleInstance(const QString& executablePath)
    : path_(
          QDir(QDir::tempPath()).filePath(instanceName(executablePath) + QStringLiteral(".lock"))),
      lock_(std::make_unique<QLockFile>(path_)) {
    // A running instance may hold the lock for days; only a dead owner makes it stale.
    // QLockFile recognises a dead owner by the process id recorded in the file.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::instanceName(const QString& executablePath) {
    const QByteArray hash =
        QCryptographicHash::hash(executablePath.toUtf8(), QCryptographicHash::Sha256);
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
