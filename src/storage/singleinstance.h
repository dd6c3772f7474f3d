#pragma once
// One running instance per executable path: a lock file in the temporary folder named after a
// hash of the executable's path. A lock left behind by a crashed process never blocks a new
// start.

#include <QString>
#include <memory>

class QLockFile;

class SingleInstance {
public:
    explicit SingleInstance(const QString& executablePath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // "tallykeep-" and the SHA-256 of the path's UTF-8 in hexadecimal: the same for the same
    // path, and short enough for a file name however long the path is.
    static QString instanceName(const QString& executablePath);

    // True when this object now holds the lock. False when another live process holds it
    // (heldElsewhere) or the lock could not be taken at all (failureText says why).
    // The lock is held until the object is destroyed (normally: until the process ends).
    bool tryAcquire();
    bool isHeld() const { return held_; }
    bool heldElsewhere() const { return heldElsewhere_; }
    QString failureText() const { return failure_; }
    QString lockFilePath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
    bool heldElsewhere_ = false;
    QString failure_;
};
