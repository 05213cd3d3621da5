#pragma once

// The daily recording window anchored to the clock or to the sun, and the
// heartbeat that records one frame when nothing has moved for a while. Sun
// times are computed here (NOAA's equations: the sun's declination and the
// equation of time, the sunrise equation with -0.833 degrees for refraction
// and the sun's radius); no network is asked.

#include "session/settings.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <optional>

namespace kv::session {

// --- sun times

enum class SunDay { Normal, PolarDay, PolarNight };

struct SunTimes {
    SunDay day = SunDay::Normal;
    // In the zone, to the second; only when day is Normal. The sunset is the
    // one after the sunrise, which in summer far north is after midnight.
    QDateTime sunrise;
    QDateTime sunset;
};

// Sunrise and sunset on a local date at a place (decimal degrees, north and
// east positive); an invalid zone is the system's.
SunTimes sunTimes(QDate date, double latitude_deg, double longitude_deg, const QTimeZone& zone);

// --- the day's window

// What an end of the window is anchored to (settings RecStartAt, RecStopAt).
enum class WindowAnchor { Clock = 0, Sunrise = 1, Sunset = 2 };

inline constexpr int kWindowOffsetMax_min = 180;
inline constexpr int kIdleIntervalMax_s = 86400;

// The settings that make the window, as they are stored.
struct WindowSettings {
    double recStartTime = kDefaultRecStartTime;  // fractions of a day, for clock anchors
    double recStopTime = kDefaultRecStopTime;
    int recStartAt = 0;  // WindowAnchor
    int recStopAt = 0;
    int recStartOffset_min = 0;  // for sun anchors; a clock time is exact
    int recStopOffset_min = 0;
    std::optional<double> latitude;  // not set: empty
    std::optional<double> longitude;
};

enum class WindowState {
    Normal,
    WholeDay,  // polar day, or offsets that cover the day
    Nothing,   // polar night, or offsets that leave no time
    Refused,   // can never record: start equals stop, or a sun anchor without a place
};

struct DailyWindow {
    WindowState state = WindowState::Normal;
    // Today's start and stop as fractions of the day, for the record timer's
    // rules as they are: a whole day is 0 to 1 (never outside), nothing is
    // 1 to 0 (always outside), refused is start == stop (never started, and
    // a running recording is not stopped by the window).
    double start = 0;
    double stop = 0;
    QString reason;      // why the day is not Normal, a sentence for the status bar and log
    QString dialogText;  // "today 08:07 - 15:54"
    QString summary;     // "08:07 to 15:54 (sunrise to sunset)"
    QString statusText;  // "Window: 08:07 to 15:54 (sunrise to sunset)"
};

// The window's settings as the settings store holds them; an unreadable
// latitude or longitude counts as not set.
WindowSettings windowSettings(const Settings& settings);

// The window on a local date (an invalid zone is the system's); call it
// again when the date changes.
DailyWindow dailyWindow(const WindowSettings& settings, QDate date, const QTimeZone& zone);

// Why the settings make a window that can never record or are out of range;
// empty when they are fine.
QString windowProblem(const WindowSettings& settings);

// A latitude or longitude as typed or stored ("52.52", "-0.18"); empty text
// is not set (ok stays true), text that is not a number sets ok to false.
std::optional<double> coordinateFromText(const QString& text, bool* ok = nullptr);

// --- heartbeat

// In mode On movement, one frame is recorded anyway when nothing has been
// recorded for IdleInterval seconds. Ticks are the clock's wrapping
// milliseconds.
class Heartbeat {
  public:
    void setInterval(int idleInterval_s);
    int interval_s() const { return interval_s_; }

    // A frame was recorded, for whatever reason, or a recording began: the
    // idle time counts from here.
    void recorded(std::uint32_t now_ms);
    // Nothing recorded yet to count from (no recording).
    void reset() { last_ms_.reset(); }

    // Whether the frame handled now must be recorded as a heartbeat.
    bool due(std::uint32_t now_ms, int recordMode) const;

  private:
    int interval_s_ = 0;
    std::optional<std::uint32_t> last_ms_;
};

}  // namespace kv::session
