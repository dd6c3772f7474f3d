#pragma once
// One running instance per executable path: a lock file in the temporary folder named after
// the executable's path. A lock left behind by a crashed process never blocks a new start.

#include <QString>
#include <memory>

class QLockFile;

class SingleInstance {
public:
    explicit SingleInstance(const QString& executablePath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // The executable's path with every "/" (and "\" or ":") replaced by "_".
    static QString instanceName(const QString& executablePath);

    // True when this object now holds the lock; false when another live process holds it.
    // The lock is held until the object is destroyed (normally: until the process ends).
    bool tryAcquire();
    bool isHeld() const { return held_; }
    QString lockFilePath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};
