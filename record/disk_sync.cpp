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

#include <algorithm>
#include <cerrno>
#include <cstring>

Q_LOGGING_CATEGORY(lcDiskSync, "kv.record.sync", QtInfoMsg)

namespace kv::record {

std::shared_ptr<RecordingFile> RecordingFile::open(const QString& path, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    // O_EXCL also refuses a dangling link, and O_NOFOLLOW makes sure of it.
    const int fd =
        ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        const int failure = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        if (error) {
            *error = QStringLiteral("Could not open file \"%1\" for writing. (%2)")
                         .arg(path, QString::fromLocal8Bit(std::strerror(failure)));
        }
        return nullptr;
    }
    // Held for as long as the file is open: a repair leaves a locked file alone.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        qCWarning(lcDiskSync).noquote() << path << "is locked by someone else";
    }
    return std::shared_ptr<RecordingFile>(new RecordingFile(fd, path, st.st_dev, st.st_ino));
}

RecordingFile::~RecordingFile() {
    ::close(fd_);
}

bool RecordingFile::removeIfStillNamed() const {
    const QByteArray name = QFile::encodeName(path_);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || st.st_dev != dev_ || st.st_ino != ino_ ||
        ::unlink(name.constData()) != 0) {
        return false;
    }
    if (journal_) {
        journal_->removeIfStillNamed();
    }
    return true;
}

bool removeOwnFile(const QString& path, QString* why) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    const auto left = [why](const QString& reason) {
        if (why) {
            *why = reason;
        }
        return false;
    };
    if (::lstat(name.constData(), &st) != 0) {
        return errno == ENOENT || left(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (S_ISLNK(st.st_mode)) {
        return left(QStringLiteral("a symbolic link"));
    }
    if (!S_ISREG(st.st_mode)) {
        return left(QStringLiteral("not a regular file"));
    }
    if (st.st_uid != ::geteuid()) {
        return left(QStringLiteral("owned by another user"));
    }
    if (st.st_nlink != 1) {
        return left(QStringLiteral("a file with %1 names (hard links)").arg(st.st_nlink));
    }
    if (::unlink(name.constData()) != 0 && errno != ENOENT) {
        return left(QString::fromLocal8Bit(std::strerror(errno)));
    }
    return true;
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

// Frames written into a file that lost its name (its folder removed with
// everything in it, or the file itself) are lost to the user: say so, so that
// the recorder starts a new file where it can be found.
void DiskSync::checkStillThere(RecordingFile& file) {
    if (file.isJournal_ || file.lost_.load() != RecordingFile::Lost::No) {
        return;
    }
    struct stat st {};
    bool unlinked = ::fstat(file.fd(), &st) == 0 && st.st_nlink == 0;
    if (!unlinked) {
        // A network file system keeps a deleted open file under a hidden
        // name with its link: the name must still lead to this file.
        struct stat named {};
        const QByteArray name = QFile::encodeName(file.path());
        unlinked = ::lstat(name.constData(), &named) != 0
                       ? errno == ENOENT || errno == ENOTDIR
                       : named.st_dev != st.st_dev || named.st_ino != st.st_ino;
    }
    struct stat folder {};
    const QByteArray folderName = QFile::encodeName(QFileInfo(file.path()).absolutePath());
    const bool folderGone = ::stat(folderName.constData(), &folder) != 0
                                ? errno == ENOENT || errno == ENOTDIR
                                : !S_ISDIR(folder.st_mode);
    if (folderGone) {
        qCWarning(lcDiskSync).noquote() << "the folder of" << file.path() << "is gone";
        file.lost_ = RecordingFile::Lost::FolderGone;
    } else if (unlinked) {
        qCWarning(lcDiskSync).noquote() << file.path() << "was deleted while it was written";
        file.lost_ = RecordingFile::Lost::FileDeleted;
    }
}

void DiskSync::repairReleased(RecordingFile& file) {
    FdStorage storage(file.fd());
    const AviRepairResult result = repairAvi(storage);
    qCInfo(lcDiskSync).noquote() << file.path()
                                 << "was left unfinished:" << aviStateName(result.state) << "with"
                                 << result.frames << "frames"
                                 << QString::fromStdString(result.reason);
    if (result.state == AviState::Repaired || result.state == AviState::RepairedWithoutIndex) {
        // Lines of frames the muxer never wrote go from the journal too (a
        // line that could not be written is estimated); through the journal's
        // own descriptor, never by name.
        if (const auto& journal = file.journal();
            journal && trimJournalFile(journal->fd(), qint64(result.frames), journal->path())) {
            completeJournalFile(journal->fd(), qint64(result.frames), journal->path());
        }
    } else if (result.state == AviState::NoFrames && file.created()) {
        // Not one frame reached it (a full disk from the start): no player
        // opens it, and it would only take up a sequence number.
        if (file.removeIfStillNamed()) {
            qCInfo(lcDiskSync).noquote() << file.path() << "got no frame and is removed";
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
            // A journal gets its line before its recording gets the frame:
            // synced first, it holds a line for every frame synced but those
            // taken while the recordings sync, whose lines follow right after.
            std::stable_partition(due.begin(), due.end(),
                                  [](const auto& file) { return file->isJournal_; });
            nextSync = Clock::now() + interval_;
        }
        const bool stopping = stop_;
        lock.unlock();

        std::uint64_t synced = 0;
        for (auto& [file, how] : released) {
            if (how == Release::Repair) {
                repairReleased(*file);
            }
            if (how != Release::Discard) {
                syncFile(*file);
                ++synced;
            }
            file.reset();  // closes it, and lets the lock go
        }
        for (auto& file : due) {
            syncFile(*file);
            checkStillThere(*file);
            ++synced;
        }
        for (auto& file : due) {
            if (file->isJournal_) {  // the lines of frames taken meanwhile
                syncFile(*file);
            }
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
