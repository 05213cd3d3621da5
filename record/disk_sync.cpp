#include "record/disk_sync.h"

#include "record/avi_repair.h"
#include "record/journal.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

Q_LOGGING_CATEGORY(lcDiskSync, "kv.record.sync")

namespace kv::record {

std::shared_ptr<RecordingFile> RecordingFile::open(const QString& path, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    bool created = true;
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
        if (error) {
            *error = QStringLiteral("Could not open file \"%1\" for writing. (%2)")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        }
        return nullptr;
    }
    // Held for as long as the file is open: a repair leaves a locked file alone.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        qCWarning(lcDiskSync).noquote() << path << "is locked by someone else";
    }
    return std::shared_ptr<RecordingFile>(new RecordingFile(fd, path, created));
}

RecordingFile::~RecordingFile() {
    ::close(fd_);
}

DiskSync::DiskSync(std::chrono::milliseconds interval)
    : interval_(interval), thread_([this] { run(); }) {}

DiskSync::~DiskSync() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void DiskSync::watch(std::shared_ptr<RecordingFile> file) {
    std::lock_guard lock(mutex_);
    watched_.push_back(std::move(file));
}

void DiskSync::release(std::shared_ptr<RecordingFile> file, Release how) {
    if (!file) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        std::erase(watched_, file);
        released_.emplace_back(std::move(file), how);
    }
    wake_.notify_all();
}

bool DiskSync::waitIdle(int timeout_ms) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                          [this] { return released_.empty() && working_ == 0; });
}

std::uint64_t DiskSync::syncs() const {
    std::lock_guard lock(mutex_);
    return syncs_;
}

std::chrono::microseconds DiskSync::cpuTime() const {
    std::lock_guard lock(mutex_);
    return cpuTime_;
}

void DiskSync::syncFile(RecordingFile& file) {
    if (::fdatasync(file.fd()) != 0) {
        qCWarning(lcDiskSync).noquote()
            << "cannot sync" << file.path() << ":" << std::strerror(errno);
    }
    // A new file's name must reach the disk too, or a power cut loses it whole.
    if (!file.folderSynced_) {
        file.folderSynced_ = true;
        const QByteArray folder = QFile::encodeName(QFileInfo(file.path()).absolutePath());
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
}

void DiskSync::run() {
    using Clock = std::chrono::steady_clock;
    auto nextSync = Clock::now() + interval_;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_until(lock, nextSync, [this] { return stop_ || !released_.empty(); });
        auto released = std::move(released_);
        released_.clear();
        working_ = int(released.size());
        std::vector<std::shared_ptr<RecordingFile>> due;
        if (Clock::now() >= nextSync) {
            due = watched_;
            nextSync = Clock::now() + interval_;
        }
        const bool stopping = stop_;
        lock.unlock();

        std::uint64_t synced = 0;
        for (auto& [file, how] : released) {
            if (how == Release::Repair) {
                FdStorage storage(file->fd());
                const AviRepairResult result = repairAvi(storage);
                qCInfo(lcDiskSync).noquote()
                    << file->path() << "was left unfinished:" << aviStateName(result.state)
                    << "with" << result.frames << "frames" << QString::fromStdString(result.reason);
                // Lines of frames the muxer never wrote go from the journal too.
                if (result.state == AviState::Repaired ||
                    result.state == AviState::RepairedWithoutIndex) {
                    trimJournal(journalPath(file->path()), qint64(result.frames));
                }
            }
            if (how != Release::Discard) {
                syncFile(*file);
                ++synced;
            }
            file.reset();  // closes it, and lets the lock go
        }
        for (auto& file : due) {
            syncFile(*file);
            ++synced;
        }
        due.clear();

        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        lock.lock();
        syncs_ += synced;
        cpuTime_ = std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
        working_ = 0;
        if (released_.empty()) {
            idle_.notify_all();
        }
        if (stopping && released_.empty()) {
            return;
        }
    }
}

}  // namespace kv::record
