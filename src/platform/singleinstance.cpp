#include "platform/singleinstance.h"

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
    QString name = executablePath.left(260);
    for (QChar& c : name) {
        if (c == u'/' || c == u'\\' || c == u':')
            c = u'_';
    }
    return name;
}

bool SingleInstance::tryAcquire() {
    if (held_)
        return true;
    held_ = lock_->tryLock(0);
    return held_;
}
