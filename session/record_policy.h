#pragma once

// The session's policy: the record timer's decisions and the frame loop's, kept
// apart so they can be tested tick by tick and frame by frame.

#include <QDateTime>

namespace kv::session {

// Ticks the record timer waits before it acts: 3 after the window is created,
// 30 after any power event, so a resumed machine settles before graphs change.
class RestartDelay {
  public:
    static constexpr int kAfterCreate = 3;
    static constexpr int kAfterPowerEvent = 30;

    void reset(int ticks) { ticks_ = ticks; }
    void powerEvent() { ticks_ = kAfterPowerEvent; }
    int ticks() const { return ticks_; }

    // One timer tick: counts down and says whether the timer may act now.
    bool tick() {
        if (ticks_ > 0) {
            --ticks_;
        }
        return ticks_ <= 0;
    }

  private:
    int ticks_ = kAfterCreate;
};

// The time of day as a fraction of a day (06:00 = 0.25).
inline double timeOfDay(const QDateTime& now) {
    return now.time().msecsSinceStartOfDay() / 86400000.0;
}

// The daily recording window. At the very instants now == start and now == stop
// a running recording goes on and a stopped one does not start.
inline bool outsideRecordingWindow(double now, double start, double stop) {
    if (start < stop) {
        return now < start || now > stop;
    }
    if (start > stop) {  // across midnight
        return stop <= now && now < start;
    }
    return false;
}

inline bool insideStartWindow(double now, double start, double stop) {
    if (start < stop) {
        return start < now && now < stop;
    }
    if (start > stop) {
        return now > start || now < stop;
    }
    return false;
}

// Rotate: the file is full; the next one starts at once and the camera runs on.
enum class TimerAction { None, Stop, Start, Rotate };

struct TimerInputs {
    bool recordGraphExists = false;
    bool recUseTimer = false;
    double now = 0;  // time of day
    double start = 0;
    double stop = 0;
    int recordedFrames = 0;
    int maxRecordSamples = 0;
};

// What one tick of the record timer does once the restart delay has passed.
// A stop and the next start are a tick apart; a full file is followed by the
// next one within the same tick.
inline TimerAction recordTimerAction(const TimerInputs& in) {
    if (in.recordGraphExists) {
        if (in.recUseTimer && outsideRecordingWindow(in.now, in.start, in.stop)) {
            return TimerAction::Stop;
        }
        if (in.recordedFrames > in.maxRecordSamples) {
            return TimerAction::Rotate;
        }
        return TimerAction::None;
    }
    if (!in.recUseTimer || insideStartWindow(in.now, in.start, in.stop)) {
        return TimerAction::Start;
    }
    return TimerAction::None;
}

// The frame's fate in the frame loop.
enum FrameState { StateOff = 0, StateRecord = 1, StatePause = 2 };

// The post-record countdown of recording on movement: the frame that first
// exceeds the trigger is recorded and PostRecFrames + 1 frames after the last
// one that exceeded it.
class PostRecord {
  public:
    // A motion value was measured. Returns true when it starts a new movement
    // episode (the moment for the sound and window alerts).
    bool motion(int motion, int trigger, int postRecFrames) {
        if (motion <= trigger) {
            return false;
        }
        const bool episodeBegins = countdown_ == 0;
        countdown_ = postRecFrames + 2;
        return episodeBegins;
    }

    // Decides the frame's fate; a recorded frame uses up one count. In mode On
    // the count keeps falling below zero, which changes nothing.
    FrameState fate(int recordMode) {
        const int state = countdown_ > 0 ? StateRecord : recordMode;
        if (state == StateRecord) {
            --countdown_;
        }
        return FrameState(state);
    }

    void reset() { countdown_ = 0; }
    int countdown() const { return countdown_; }

  private:
    int countdown_ = 0;
};

}  // namespace kv::session
