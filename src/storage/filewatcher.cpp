#include "storage/filewatcher.h"

#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

quint32 fileCrc32(const QString& path, bool* ok) {
    if (ok)
        *ok = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return 0;
        if (n == 0)
            break;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.constData()), uInt(n));
    }
    if (ok)
        *ok = true;
    return quint32(crc);
}

// What the thread and its owner share; it outlives the owner when the thread is let go.
struct FileWatcher::Shared {
    int inotifyFd = -1;
    int stopFd = -1;
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;

    ~Shared() {
        if (inotifyFd >= 0)
            ::close(inotifyFd);
        if (stopFd >= 0)
            ::close(stopFd);
    }
};

namespace {

// Drains the pending events; true when one of them may concern the watched file (under its
// own name or, for a link, its target's).
bool concernsFile(int fd, const QList<QByteArray>& fileNames) {
    bool relevant = false;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t offset = 0; offset < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer + offset);
            if (ev->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
                relevant = true;
            else if (ev->len > 0 && fileNames.contains(QByteArray(ev->name)))
                relevant = true;
            offset += ssize_t(sizeof(inotify_event) + ev->len);
        }
    }
    return relevant;
}

void watch(std::shared_ptr<FileWatcher::Shared> shared, QString path, QList<QByteArray> names,
           quint32 baseline, std::function<void()> onChange);

} // namespace

FileWatcher::FileWatcher(const QString& filePath, std::function<void()> onChange)
    : path_(filePath), onChange_(std::move(onChange)) {}

FileWatcher::~FileWatcher() {
    stop();
}

bool FileWatcher::isRunning() const {
    if (!shared_)
        return false;
    std::lock_guard lock(shared_->mutex);
    return !shared_->finished;
}

bool FileWatcher::start() {
    if (shared_)
        return true;
    auto shared = std::make_shared<Shared>();
    const QFileInfo info(path_);
    shared->inotifyFd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    shared->stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared->inotifyFd < 0 || shared->stopFd < 0)
        return false;
    const uint32_t mask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE |
                          IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
    if (inotify_add_watch(shared->inotifyFd, QFile::encodeName(info.absolutePath()).constData(),
                          mask) < 0)
        return false;
    QList<QByteArray> names{QFile::encodeName(info.fileName())};
    // A budget file that is a link is changed where its target lives: that folder is watched
    // too, or another program's change to the target would go unnoticed and be overwritten.
    if (info.isSymLink() && info.exists()) {
        const QFileInfo target(info.canonicalFilePath());
        names.append(QFile::encodeName(target.fileName()));
        if (target.absolutePath() != info.absolutePath() &&
            inotify_add_watch(shared->inotifyFd,
                              QFile::encodeName(target.absolutePath()).constData(), mask) < 0)
            return false;
    }
    // The baseline is taken after the watch exists, so no change can slip in between.
    baseline_ = fileCrc32(path_);
    shared_ = shared;
    std::thread(watch, shared, path_, names, baseline_, onChange_).detach();
    return true;
}

bool FileWatcher::stop(int timeoutMs) {
    if (!shared_)
        return true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(shared_->stopFd, &one, sizeof one);
    bool finished = false;
    {
        std::unique_lock lock(shared_->mutex);
        finished = shared_->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [&] { return shared_->finished; });
    }
    shared_.reset();
    return finished;
}

namespace {

void watch(std::shared_ptr<FileWatcher::Shared> shared, QString path, QList<QByteArray> names,
           quint32 baseline, std::function<void()> onChange) {
    quint32 previous = 0;
    // Set once an event concerned the file: the file is compared only after it has been quiet
    // for kQuietMs, so a rewrite in place (truncate, then the same bytes again) is judged by
    // its end result, not by the empty file seen in between.
    bool pending = false;
    for (;;) {
        pollfd fds[2] = {{shared->inotifyFd, POLLIN, 0}, {shared->stopFd, POLLIN, 0}};
        const int r = ::poll(fds, 2, pending ? FileWatcher::kQuietMs : -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents)
            break;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            break;
        if (r > 0) {
            if ((fds[0].revents & POLLIN) && concernsFile(shared->inotifyFd, names))
                pending = true;
            continue;
        }
        pending = false;
        bool ok = false;
        quint32 crc = fileCrc32(path, &ok);
        if (!ok)
            crc = previous;
        previous = crc;
        if (crc == baseline)
            continue;
        if (onChange)
            onChange();
        break;
    }
    std::lock_guard lock(shared->mutex);
    shared->finished = true;
    shared->ended.notify_all();
}

} // namespace
