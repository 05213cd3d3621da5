#pragma once

// Getting recordings onto the disk. The program opens every recording file
// itself, so that the writer element gets a plain descriptor (each frame goes
// to the kernel as it is written, nothing waits in a user-space buffer), a
// repair elsewhere finds the file locked while it is written, and a thread of
// its own can sync it to the disk every two seconds while it grows. After a
// kill, a crash or a power cut, no more than the last two seconds are lost.

#include <QString>

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
    // Opens path for writing, creating it or emptying an existing one. Null,
    // with the system's reason, when it cannot be opened.
    static std::shared_ptr<RecordingFile> open(const QString& path, QString* error);
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    int fd() const { return fd_; }
    const QString& path() const { return path_; }
    // The file did not exist before open().
    bool created() const { return created_; }

  private:
    RecordingFile(int fd, QString path, bool created)
        : fd_(fd), path_(std::move(path)), created_(created) {}
    int fd_;
    QString path_;
    bool created_;
    friend class DiskSync;
    bool folderSynced_ = false;  // sync thread only
};

class DiskSync {
  public:
    static constexpr std::chrono::milliseconds kInterval{2000};

    explicit DiskSync(std::chrono::milliseconds interval = kInterval);
    // Finishes every released file first.
    ~DiskSync();
    DiskSync(const DiskSync&) = delete;
    DiskSync& operator=(const DiskSync&) = delete;

    // Syncs the file every interval until it is released.
    void watch(std::shared_ptr<RecordingFile> file);

    // What happens to a file that is let go, on the sync thread: a last sync;
    // the repair of one that the muxer could not finish (write error, time
    // out), then the sync; or nothing, for a file about to be removed.
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
