// The record timer's and the frame loop's decisions, tick by tick and frame by frame.

#include "session/record_policy.h"

#include <gtest/gtest.h>

using namespace kv::session;

namespace {

double at(int h, int m, int s) {
    return timeOfDay(QDateTime(QDate(2025, 3, 1), QTime(h, m, s)));
}

// Runs frames through the post-record rules: each entry is a motion value, and
// the result says which frames were recorded.
std::string recorded(const std::vector<int>& motions, int trigger, int postRecFrames,
                     int* alerts = nullptr) {
    PostRecord post;
    std::string out;
    for (int motion : motions) {
        if (post.motion(motion, trigger, postRecFrames) && alerts) {
            ++*alerts;
        }
        out += post.fate(StatePause) == StateRecord ? 'R' : '.';
    }
    return out;
}

TEST(PostRecord, OneMovementRecordsItAndPostRecFramesPlusOneMore) {
    EXPECT_EQ(recorded({0, 900, 0, 0, 0}, 500, 0), ".RR..");
    EXPECT_EQ(recorded({900, 0, 0, 0, 0, 0, 0, 0, 0}, 500, 5), "RRRRRRR..");
}

TEST(PostRecord, MotionEqualToTheTriggerDoesNotCount) {
    EXPECT_EQ(recorded({500, 500, 501, 0, 0}, 500, 0), "..RR.");
}

TEST(PostRecord, NewMovementDuringASequenceRestartsTheCountWithoutASecondAlert) {
    int alerts = 0;
    EXPECT_EQ(recorded({900, 0, 900, 0, 0, 0, 0}, 500, 1, &alerts), "RRRRR..");
    EXPECT_EQ(alerts, 1);
    alerts = 0;
    recorded({900, 0, 0, 0, 0, 900, 0, 0}, 500, 0, &alerts);
    EXPECT_EQ(alerts, 2);  // the first sequence ended: a second episode
}

TEST(PostRecord, ModeOffEndsASequenceAtOnceAndModeOnRecordsEverything) {
    PostRecord post;
    post.motion(900, 500, 5);
    EXPECT_EQ(post.fate(StatePause), StateRecord);
    post.reset();  // the record mode button
    EXPECT_EQ(post.fate(StateOff), StateOff);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(post.fate(StateRecord), StateRecord);
    }
    EXPECT_LT(post.countdown(), 0);  // keeps falling in mode On, harmlessly
}

struct WindowRow {
    int h, m, s;
    double start, stop;
    bool running;  // graph exists at the tick
    TimerAction expected;
};

class RecordingWindow : public ::testing::TestWithParam<WindowRow> {};

TEST_P(RecordingWindow, StartsAndStopsAtTheRightTicks) {
    const WindowRow& row = GetParam();
    TimerInputs in;
    in.recordGraphExists = row.running;
    in.recUseTimer = true;
    in.now = at(row.h, row.m, row.s);
    in.start = row.start;
    in.stop = row.stop;
    in.maxRecordSamples = 20000;
    EXPECT_EQ(recordTimerAction(in), row.expected)
        << row.h << ":" << row.m << ":" << row.s << " running=" << row.running;
}

const double k0600 = 6.0 / 24;
const double k2359 = (23 * 3600 + 59 * 60) / 86400.0;
const double k2200 = 22.0 / 24;

INSTANTIATE_TEST_SUITE_P(Boundaries, RecordingWindow,
                         ::testing::Values(
                             // same-day window 06:00 .. 23:59
                             WindowRow{23, 59, 30, k0600, k2359, true, TimerAction::Stop},
                             WindowRow{23, 59, 0, k0600, k2359, true, TimerAction::None},
                             WindowRow{6, 0, 0, k0600, k2359, false, TimerAction::None},
                             WindowRow{6, 0, 1, k0600, k2359, false, TimerAction::Start},
                             WindowRow{5, 59, 59, k0600, k2359, true, TimerAction::Stop},
                             WindowRow{12, 0, 0, k0600, k2359, true, TimerAction::None},
                             // across midnight 22:00 .. 06:00
                             WindowRow{23, 30, 0, k2200, k0600, false, TimerAction::Start},
                             WindowRow{0, 0, 0, k2200, k0600, true, TimerAction::None},
                             WindowRow{5, 59, 59, k2200, k0600, true, TimerAction::None},
                             WindowRow{6, 0, 0, k2200, k0600, true, TimerAction::Stop},
                             WindowRow{22, 0, 0, k2200, k0600, false, TimerAction::None},
                             WindowRow{21, 59, 59, k2200, k0600, true, TimerAction::Stop},
                             // start == stop: nothing ever starts, nothing is stopped
                             WindowRow{6, 0, 1, k0600, k0600, false, TimerAction::None},
                             WindowRow{18, 0, 0, k0600, k0600, true, TimerAction::None}));

TEST(RecordTimer, AFileOverTheFrameLimitIsFollowedAtOnceButTheWindowsEndStops) {
    TimerInputs in;
    in.recordGraphExists = true;
    in.maxRecordSamples = 20000;
    in.recordedFrames = 20000;
    EXPECT_EQ(recordTimerAction(in), TimerAction::None);
    in.recordedFrames = 20001;
    EXPECT_EQ(recordTimerAction(in), TimerAction::Rotate);
    // Past the window's end a full file is not followed by another.
    in.recUseTimer = true;
    in.start = at(6, 0, 0);
    in.stop = at(18, 0, 0);
    in.now = at(18, 0, 1);
    EXPECT_EQ(recordTimerAction(in), TimerAction::Stop);
}

TEST(RecordTimer, WithoutTheDailyWindowItAlwaysStarts) {
    TimerInputs in;
    in.now = at(3, 0, 0);
    in.start = k0600;
    in.stop = k0600;
    EXPECT_EQ(recordTimerAction(in), TimerAction::Start);
}

}  // namespace
