#pragma once
// Watches the budget file's folder on a thread of its own and reports when the file's content
// changed: a write that leaves the bytes identical, or a change to another file, is ignored.

#include <QString>
#include <functional>
#include <memory>

// CRC-32 (the one zip uses) of the whole file; 0 with ok false when it cannot be read.
quint32 fileCrc32(const QString& path, bool* ok = nullptr);

class FileWatcher {
public:
    // onChange runs on the watcher's thread, once; the watcher ends after it returns.
    FileWatcher(const QString& filePath, std::function<void()> onChange);
    ~FileWatcher(); // stops (waiting at most 5000 ms)
    FileWatcher(const FileWatcher&) = delete;
    FileWatcher& operator=(const FileWatcher&) = delete;

    // Takes the baseline checksum and starts watching; false when the folder cannot be watched.
    bool start();
    // Signals the thread to end and waits at most timeoutMs; true when it has ended. A thread
    // that does not end in time (its callback is still showing a message) is let go.
    bool stop(int timeoutMs = 5000);
    bool isRunning() const;
    quint32 baseline() const { return baseline_; }

    // How long the file must be left alone before its content is compared.
    static constexpr int kQuietMs = 300;

    struct Shared; // between the owner and the thread

private:
    QString path_;
    std::function<void()> onChange_;
    std::shared_ptr<Shared> shared_;
    quint32 baseline_ = 0;
};
