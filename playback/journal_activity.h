#pragma once

// What the playback track bar draws behind it from a recording's journal:
// per frame its motion, whether movement recorded it, and whether the
// heartbeat did (a quiet frame, shown apart from movement).

#include "record/journal.h"

#include <vector>

namespace kv::playback {

struct JournalActivity {
    std::vector<int> motion;
    std::vector<bool> moving;     // recorded by movement, or kept from just before one
    std::vector<bool> heartbeat;  // recorded by the heartbeat
    int trigger = 0;              // the last line's
};

// One entry per frame of a recording of frameCount frames; lines for frames
// outside it are left out. No journal (no lines) gives empty vectors.
JournalActivity journalActivity(const std::vector<record::JournalLine>& lines, qint64 frameCount);

}  // namespace kv::playback
