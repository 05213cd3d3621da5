#pragma once

// The last frames taken before a movement, stamped as they would have been
// recorded, so that a recording on movement starts with the seconds before
// the trigger. It holds at most `capacity` frames of one size; the buffers
// are reused, so keeping a frame allocates nothing once it is full.

#include "record/journal.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace kv::session {

class PreRecordBuffer {
  public:
    static constexpr int kMaxFrames = 100;

    // Empties it; a new capacity frees what the old one held.
    void setCapacity(int frames) {
        frames = frames < 0 ? 0 : frames > kMaxFrames ? kMaxFrames : frames;
        if (frames != int(entries_.size())) {
            entries_ = std::vector<Entry>(std::size_t(frames));
        }
        clear();
    }
    int capacity() const { return int(entries_.size()); }
    void clear() {
        count_ = 0;
        next_ = 0;
    }

    // Keeps a copy of the frame and its journal line, in place of the oldest
    // when full. A frame of another size than those kept empties it first.
    void keep(const std::uint8_t* pixels, std::size_t size, const record::JournalLine& line) {
        if (entries_.empty()) {
            return;
        }
        if (count_ > 0 && entries_[oldest()].pixels.size() != size) {
            clear();
        }
        Entry& entry = entries_[std::size_t(next_)];
        entry.pixels.resize(size);
        std::memcpy(entry.pixels.data(), pixels, size);
        entry.line = line;
        next_ = (next_ + 1) % capacity();
        count_ = count_ < capacity() ? count_ + 1 : count_;
    }

    // Hands every kept frame to push(pixels, line), oldest first; then it is empty.
    template <typename Push>
    void drain(Push&& push) {
        if (count_ == 0) {
            return;
        }
        for (int i = 0, at = oldest(); i < count_; ++i, at = (at + 1) % capacity()) {
            push(entries_[std::size_t(at)].pixels.data(), entries_[std::size_t(at)].line);
        }
        clear();
    }

  private:
    struct Entry {
        std::vector<std::uint8_t> pixels;
        record::JournalLine line;
    };
    int oldest() const { return (next_ - count_ + capacity()) % capacity(); }

    std::vector<Entry> entries_;
    int count_ = 0;
    int next_ = 0;  // where the next frame goes
};

}  // namespace kv::session
