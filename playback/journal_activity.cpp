#include "playback/journal_activity.h"

#include <algorithm>

namespace kv::playback {

JournalActivity journalActivity(const std::vector<record::JournalLine>& lines, qint64 frameCount) {
    JournalActivity activity;
    if (lines.empty()) {
        return activity;
    }
    const std::size_t count = std::size_t(std::max<qint64>(frameCount, 0));
    activity.motion.assign(count, 0);
    activity.moving.assign(count, false);
    activity.heartbeat.assign(count, false);
    for (const record::JournalLine& line : lines) {
        if (line.frame < 0 || line.frame >= frameCount) {
            continue;
        }
        const std::size_t f = std::size_t(line.frame);
        activity.motion[f] = line.motion;
        activity.moving[f] = line.fate == record::JournalFate::Movement ||
                             line.fate == record::JournalFate::PreRecord;
        activity.heartbeat[f] = line.fate == record::JournalFate::Heartbeat;
        activity.trigger = line.trigger;
    }
    return activity;
}

}  // namespace kv::playback
