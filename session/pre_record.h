#pragma once

// The last frames taken before a movement, stamped as they would have been
// recorded, so that a recording on movement starts with the seconds before
// the trigger. It holds at most `capacity` frames of one size. A frame is
// kept without a copy: the ring holds its stamped hand-off buffer, which no
// later frame overwrites, and hands that same buffer on to the recording.

#include "capture/grabber_callback.h"
#include "record/journal.h"

#include <cstddef>
#include <cstdint>
#include <utility>
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
    // Lets go of every frame kept.
    void clear() {
        for (Entry& entry : entries_) {
            entry.frame.reset();
        }
        count_ = 0;
        next_ = 0;
    }
    int count() const { return count_; }

    // Keeps the held, stamped frame of `size` bytes and its journal line, in
    // place of the oldest when full. A frame of another size than those kept
    // empties it first.
    void keep(capture::FrameHold frame, std::size_t size, const record::JournalLine& line) {
        if (entries_.empty() || !frame) {
            return;
        }
        if (count_ > 0 && entries_[std::size_t(oldest())].size != size) {
            clear();
        }
        Entry& entry = entries_[std::size_t(next_)];
        entry.frame = std::move(frame);  // the oldest's buffer is let go
        entry.size = size;
        entry.line = line;
        next_ = (next_ + 1) % capacity();
        count_ = count_ < capacity() ? count_ + 1 : count_;
    }

    // Hands every kept frame to push(hold, line), oldest first, which may keep
    // the hold; then it is empty.
    template <typename Push>
    void drain(Push&& push) {
        for (int i = 0, at = oldest(); i < count_; ++i, at = (at + 1) % capacity()) {
            Entry& entry = entries_[std::size_t(at)];
            push(std::move(entry.frame), static_cast<const record::JournalLine&>(entry.line));
        }
        clear();
    }

  private:
    struct Entry {
        capture::FrameHold frame;
        std::size_t size = 0;
        record::JournalLine line;
    };
    int oldest() const { return capacity() == 0 ? 0 : (next_ - count_ + capacity()) % capacity(); }

    std::vector<Entry> entries_;
    int count_ = 0;
    int next_ = 0;  // where the next frame goes
};

}  // namespace kv::session
