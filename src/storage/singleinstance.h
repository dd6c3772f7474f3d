#pragma once
// One running instance per budget file, for the window and the commands alike: a lock file in
// a folder only the user can write ($XDG_RUNTIME_DIR, else a 0700 folder of the user's cache),
// named after the budget's folder's device and inode and the file's name, whatever TMPDIR
// says. A lock left behind by a dead process never blocks a new start.

#include <QString>
#include <memory>

class QLockFile;

class SingleInstance {
public:
    // identity: the budget file's canonical path (budgetIdentity in storage/budgetlocation.h).
    explicit SingleInstance(const QString& identity);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // "tallykeep-" and the SHA-256 of the key's UTF-8 in hexadecimal: the same for the same
    // key, and short enough for a file name however long the path is.
    static QString instanceName(const QString& key);
    // What names the lock: the device and inode of the file's folder with the file's name, so
    // every way of reaching that folder (a link, a bind mount) finds one lock, and a save,
    // which gives the file a new inode, keeps it; the identity itself when the folder is gone.
    static QString lockKey(const QString& identity);
    // $XDG_RUNTIME_DIR when it is an absolute folder of this user's that no one else may
    // write in, else <cache>/tallykeep-locks (made 0700); empty when neither can be had.
    static QString lockFolder();

    // True when this object now holds the lock. False when another live process holds it
    // (heldElsewhere) or the lock could not be taken at all (failureText says why).
    // The lock is held until the object is destroyed (normally: until the process ends).
    bool tryAcquire();
    bool isHeld() const { return held_; }
    bool heldElsewhere() const { return heldElsewhere_; }
    QString failureText() const { return failure_; }
    QString lockFilePath() const { return path_; }
    // The file name of the executable holding the lock ("tallykeep", "tallykeep-import");
    // empty when unknown.
    QString holderName() const;

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
    bool heldElsewhere_ = false;
    QString failure_;
};
