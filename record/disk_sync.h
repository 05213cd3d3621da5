#pragma once

// Getting recordings onto the disk. The program opens every recording file
// itself, so that the writer element gets a plain descriptor (each frame goes
// to the kernel as it is written, nothing waits in a user-space buffer), a
// repair elsewhere finds the file locked while it is written, and a thread of
// its own can sync it to the disk every two seconds while it grows. After a
// kill, a crash or a power cut, no more than the last two seconds are lost.

#include <QString>

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kv::record {

// One recording file, open for writing and locked; closed (and unlocked) when
// the last owner lets it go.
class RecordingFile {
  public:
    // Creates path for writing. A name that exists already (a file, a link,
    // anything) is refused: the program never writes through a link nor
    // empties a file it did not make. Null, with the system's reason, when it
    // cannot be created.
    static std::shared_ptr<RecordingFile> open(const QString& path, QString* error);
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    int fd() const { return fd_; }
    const QString& path() const { return path_; }
    // The file was made by open(); always so since open() never takes an
    // existing one.
    bool created() const { return created_; }

    // The journal beside a recording goes with it: cut with it when it is
    // repaired, removed with it when it got no frame. Set before the file is
    // watched.
    void setJournal(std::shared_ptr<RecordingFile> journal) {
        journal_ = std::move(journal);
        if (journal_) {
            journal_->isJournal_ = true;
        }
    }
    const std::shared_ptr<RecordingFile>& journal() const { return journal_; }

    // Removes the file, and its journal, by name, but only while the name
    // still leads to this very file: a new recording of the same name made
    // since is never touched. True when it was removed.
    bool removeIfStillNamed() const;

    // What the sync thread found: the file lost its last name, or its folder
    // is gone. Read from any thread.
    enum class Lost { No, FileDeleted, FolderGone };
    Lost lost() const { return lost_.load(); }

  private:
    RecordingFile(int fd, QString path, dev_t dev, ino_t ino)
        : fd_(fd), path_(std::move(path)), dev_(dev), ino_(ino) {}
    int fd_;
    QString path_;
    dev_t dev_;
    ino_t ino_;
    bool created_ = true;
    std::shared_ptr<RecordingFile> journal_;
    std::atomic<Lost> lost_{Lost::No};
    friend class DiskSync;
    bool isJournal_ = false;     // its recording's loss is what counts
    bool folderSynced_ = false;  // sync thread only
};

// Removes a file by name only when it is one this user may take for his own:
// a regular file (not a link), owned by him, with no other name. True when it
// is gone or was not there; false, with the reason, when it was left.
bool removeOwnFile(const QString& path, QString* why = nullptr);

class DiskSync {
  public:
    static constexpr std::chrono::milliseconds kInterval{2000};

    explicit DiskSync(std::chrono::milliseconds interval = kInterval);
    // Finishes every released file first.
    ~DiskSync();
    DiskSync(const DiskSync&) = delete;
    DiskSync& operator=(const DiskSync&) = delete;

    // Syncs the file every interval until it is released, and checks each
    // time that the file still has a name and its folder is still there
    // (see RecordingFile::lost()).
    void watch(std::shared_ptr<RecordingFile> file);

    // What happens to a file that is let go, on the sync thread: a last sync;
    // the repair of one that the muxer could not finish (write error, time
    // out), then the sync, or its removal when not one frame reached it; or
    // nothing, for a file about to be removed.
    enum class Release { Sync, Repair, Discard };
    void release(std::shared_ptr<RecordingFile> file, Release how);

    // Waits (bounded) until every released file is done; false on time-out.
    bool waitIdle(int timeout_ms);

    // Syncs done so far, and the processor time the sync thread used.
    std::uint64_t syncs() const;
    std::chrono::microseconds cpuTime() const;

  private:
    void run();
    void syncFile(RecordingFile& file);
    void checkStillThere(RecordingFile& file);
    void repairReleased(RecordingFile& file);

    const std::chrono::milliseconds interval_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::vector<std::shared_ptr<RecordingFile>> watched_;
    std::vector<std::pair<std::shared_ptr<RecordingFile>, Release>> released_;
    int working_ = 0;  // released files taken by the thread and not done yet
    bool stop_ = false;
    std::uint64_t syncs_ = 0;
    std::chrono::microseconds cpuTime_{0};
    std::thread thread_;
};

}  // namespace kv::record
