#pragma once

// The last frames taken before a movement, stamped as they would have been
// recorded, so that a recording on movement starts with the seconds before
// the trigger. It holds at most `capacity` frames of one size. A frame is
// kept without a copy: the ring holds its hand-off buffer, which no later
// frame overwrites, and a copy of its stamped rows, which go back over the
// camera's pixels only while the frame is pushed.

#include "capture/grabber_callback.h"
#include "record/journal.h"

#include <cstddef>
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
    // Lets go of every frame kept.
    void clear() {
        for (Entry& entry : entries_) {
            entry.frame.reset();
        }
        count_ = 0;
        next_ = 0;
    }
    int count() const { return count_; }

    // Keeps the held frame of `size` bytes, whose stamped rows are `band`
    // (bandBytes of them, at bandOffset in the frame), and its journal line,
    // in place of the oldest when full. A frame of another size than those
    // kept empties it first.
    void keep(capture::FrameHold frame, std::size_t size, const std::uint8_t* band,
              std::size_t bandOffset, std::size_t bandBytes, const record::JournalLine& line) {
        if (entries_.empty() || !frame || bandOffset + bandBytes > size) {
            return;
        }
        if (count_ > 0 && entries_[std::size_t(oldest())].size != size) {
            clear();
        }
        Entry& entry = entries_[std::size_t(next_)];
        entry.frame = std::move(frame);  // the oldest's buffer is let go
        entry.size = size;
        entry.bandOffset = bandOffset;
        entry.band.assign(band, band + bandBytes);
        entry.line = line;
        next_ = (next_ + 1) % capacity();
        count_ = count_ < capacity() ? count_ + 1 : count_;
    }

    // Hands every kept frame, stamped, to push(pixels, line), oldest first;
    // then it is empty. The pixels are valid only during the call.
    template <typename Push>
    void drain(Push&& push) {
        for (int i = 0, at = oldest(); i < count_; ++i, at = (at + 1) % capacity()) {
            Entry& entry = entries_[std::size_t(at)];
            std::uint8_t* pixels = entry.frame.pixels();
            std::uint8_t* rows = pixels + entry.bandOffset;
            // The buffer may still be the previous frame of the hand-off's
            // pair (the motion measure's): its own rows go back after the push.
            // Without a stamp (no fonts) the band is empty: nothing to lay over.
            const bool stamped = !entry.band.empty();
            if (stamped) {
                saved_.assign(rows, rows + entry.band.size());
                std::memcpy(rows, entry.band.data(), entry.band.size());
            }
            push(static_cast<const std::uint8_t*>(pixels),
                 static_cast<const record::JournalLine&>(entry.line));
            if (stamped) {
                std::memcpy(rows, saved_.data(), saved_.size());
            }
        }
        clear();
    }

  private:
    struct Entry {
        capture::FrameHold frame;
        std::size_t size = 0;
        std::size_t bandOffset = 0;
        std::vector<std::uint8_t> band;
        record::JournalLine line;
    };
    int oldest() const { return capacity() == 0 ? 0 : (next_ - count_ + capacity()) % capacity(); }

    std::vector<Entry> entries_;
    std::vector<std::uint8_t> saved_;
    int count_ = 0;
    int next_ = 0;  // where the next frame goes
};

}  // namespace kv::session
