// The activity behind the playback track bar, from a real journal file:
// heartbeat frames apart from movement, frames past the recording left out,
// no journal no activity.

#include "playback/journal_activity.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kv::playback {
namespace {

TEST(JournalActivity, ShowsHeartbeatFramesApartFromMovement) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = record::journalPath(dir.path() + QStringLiteral("/261221_MO00.avi"));
    using record::JournalFate;
    const JournalFate fates[] = {JournalFate::Heartbeat, JournalFate::PreRecord,
                                 JournalFate::Movement,  JournalFate::PostRecord,
                                 JournalFate::Heartbeat, JournalFate::On,
                                 JournalFate::Movement};  // past the recording's 6 frames
    QByteArray text(record::kJournalHeader);
    const QDateTime start(QDate(2026, 12, 21), QTime(8, 15), Qt::OffsetFromUTC, 3600);
    for (int i = 0; i < 7; ++i) {
        record::JournalLine line;
        line.frame = i;
        line.time = start.addSecs(60 * i);
        line.motion = 100 * (i + 1);
        line.trigger = i < 3 ? 2500 : 3000;
        line.fate = fates[i];
        text += record::formatJournalLine(line);
    }
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(text), text.size());
    }
    const JournalActivity activity = journalActivity(record::readJournal(path), 6);
    EXPECT_EQ(activity.motion, (std::vector<int>{100, 200, 300, 400, 500, 600}));
    EXPECT_EQ(activity.moving, (std::vector<bool>{false, true, true, false, false, false}));
    EXPECT_EQ(activity.heartbeat, (std::vector<bool>{true, false, false, false, true, false}));
    EXPECT_EQ(activity.trigger, 3000);

    // A shorter journal than the recording leaves the rest quiet; none at all, nothing.
    EXPECT_EQ(journalActivity(record::readJournal(path), 9).heartbeat.size(), 9u);
    const JournalActivity none =
        journalActivity(record::readJournal(dir.path() + QStringLiteral("/missing.csv")), 6);
    EXPECT_TRUE(none.motion.empty() && none.moving.empty() && none.heartbeat.empty());
}

}  // namespace
}  // namespace kv::playback
