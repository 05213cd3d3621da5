#pragma once

// Finishing recordings that were never finished: after a kill, a crash, a
// power cut or a full disk, the AVI file in progress has frame counts of zero,
// placeholder sizes and no index, and may end in a torn frame. The repair
// walks the RIFF structure the AVI muxer writes (the plain form and the
// OpenDML form with further "RIFF AVIX" parts), keeps every whole frame, cuts
// what follows the last one, writes the index and sets the counts and sizes,
// in place. A finished file is only read; a file whose structure is not
// understood is never changed.
//
// Plain C++ without Qt: the fuzz target builds it on its own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::record {

// The bytes of one recording, read and written at any offset.
class AviStorage {
  public:
    virtual ~AviStorage() = default;
    virtual std::uint64_t size() const = 0;
    // False when fewer than length bytes could be read or written.
    virtual bool read(std::uint64_t offset, void* data, std::size_t length) = 0;
    virtual bool write(std::uint64_t offset, const void* data, std::size_t length) = 0;
    virtual bool truncate(std::uint64_t length) = 0;
    virtual bool sync() { return true; }
};

// A file descriptor the caller owns (read and write access).
class FdStorage final : public AviStorage {
  public:
    explicit FdStorage(int fd) : fd_(fd) {}
    std::uint64_t size() const override;
    bool read(std::uint64_t offset, void* data, std::size_t length) override;
    bool write(std::uint64_t offset, const void* data, std::size_t length) override;
    bool truncate(std::uint64_t length) override;
    bool sync() override;

  private:
    int fd_;
};

// Bytes in memory, for tests and the fuzz target.
class MemoryStorage final : public AviStorage {
  public:
    explicit MemoryStorage(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, void* data, std::size_t length) override;
    bool write(std::uint64_t offset, const void* data, std::size_t length) override;
    bool truncate(std::uint64_t length) override;
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

enum class AviState {
    Finished,              // nothing to do: left as it was
    Unfinished,            // a check found it needs the repair
    Repaired,              // now finished and indexed
    RepairedWithoutIndex,  // counts and sizes set, but no room for the index
    NoFrames,              // not one whole frame: the caller may remove it
    NotUnderstood,         // left untouched
    Failed,                // reading or writing failed part way
};

struct AviRepairResult {
    AviState state = AviState::NotUnderstood;
    std::uint64_t frames = 0;    // whole frames kept
    std::uint64_t cutBytes = 0;  // torn or stray bytes removed from the end
    std::uint64_t parts = 0;     // RIFF parts (more than one in OpenDML files)
    std::string reason;          // why it is not understood or failed
};

// Checks the recording and, unless checkOnly, finishes it in place.
AviRepairResult repairAvi(AviStorage& storage, bool checkOnly = false);

// Whether the file begins as every AVI file does ("RIFF", a size, "AVI "):
// the first check the repair makes.
bool hasAviHeader(AviStorage& storage);

// Opens path, takes an exclusive lock (a file being written holds one: it is
// left alone and reported as busy), and repairs it. busy is set when the lock
// was held elsewhere. Only a regular file is opened (never through a link,
// never waiting on a FIFO); unless checkOnly, only one owned by this user and
// with no other name (a hard link would carry the repair out of the folder):
// others are NotUnderstood, with the reason.
AviRepairResult repairAviFile(const std::string& path, bool* busy = nullptr,
                              bool checkOnly = false);

const char* aviStateName(AviState state);

}  // namespace kv::record
