// Sun times against published tables, the day's window they make for the
// record timer's rules (polar days, offsets, windows across midnight and DST
// changes), the settings a window can never record with, and the heartbeat
// tick by tick.

#include "session/daily_window.h"
#include "session/record_policy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

// Texts in failures as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using namespace kv;
using session::DailyWindow;
using session::SunDay;
using session::WindowSettings;
using session::WindowState;

namespace {

struct Place {
    const char* name;
    double latitude;
    double longitude;
    const char* zone;
};

const Place kBerlin{"Berlin", 52.52, 13.405, "Europe/Berlin"};
const Place kSydney{"Sydney", -33.8688, 151.2093, "Australia/Sydney"};
const Place kQuito{"Quito", -0.1807, -78.4678, "America/Guayaquil"};
const Place kReykjavik{"Reykjavik", 64.1466, -21.9426, "Atlantic/Reykjavik"};
const Place kTromso{"Tromso", 69.6492, 18.9553, "Europe/Oslo"};

QTimeZone zoneOf(const Place& place) {
    return QTimeZone(QByteArray(place.zone));
}

// A table's line, "2026-06-22 00:04", in the place's zone.
QDateTime at(const Place& place, const char* text) {
    const QDateTime parsed =
        QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm"));
    return QDateTime(parsed.date(), parsed.time(), zoneOf(place));
}

WindowSettings sunWindow(const Place& place, int startAt, int stopAt) {
    WindowSettings s;
    s.recStartAt = startAt;
    s.recStopAt = stopAt;
    s.latitude = place.latitude;
    s.longitude = place.longitude;
    return s;
}

// Sunrise to sunset in Berlin, changed.
WindowSettings with(void (*change)(WindowSettings&)) {
    WindowSettings s = sunWindow(kBerlin, 1, 2);
    change(s);
    return s;
}

double fraction(int hour, int minute) {
    return (hour * 60 + minute) / 1440.0;
}

// Whether a running recording goes on, and whether a stopped one starts, at
// a time of day under the record timer's rules.
bool keepsRecording(const DailyWindow& w, double now) {
    return !session::outsideRecordingWindow(now, w.start, w.stop);
}
bool starts(const DailyWindow& w, double now) {
    return session::insideStartWindow(now, w.start, w.stop);
}

}  // namespace

// Figures: NOAA's solar calculator for the Berlin, Sydney and Reykjavik solstices; the other lines
// from scripts/sun_reference.py (altitude search), which gives those NOAA figures to the minute.
TEST(SunTimes, AgreeWithTheTablesWithinTwoMinutesAcrossZonesAndClockChanges) {
    struct Row {
        const Place& place;
        const char* date;
        const char* sunrise;
        const char* sunset;
        int offset_h;  // the zone's offset from UTC at sunrise that day
    };
    const Row rows[] = {
        {kBerlin, "2026-06-21", "2026-06-21 04:43", "2026-06-21 21:33", 2},
        {kBerlin, "2026-12-21", "2026-12-21 08:15", "2026-12-21 15:54", 1},
        {kSydney, "2026-06-21", "2026-06-21 07:00", "2026-06-21 16:54", 10},
        {kSydney, "2026-12-21", "2026-12-21 05:41", "2026-12-21 20:05", 11},
        {kQuito, "2026-06-21", "2026-06-21 06:12", "2026-06-21 18:19", -5},
        {kQuito, "2026-12-21", "2026-12-21 06:08", "2026-12-21 18:16", -5},
        // Past midnight: the sunset that follows the sunrise.
        {kReykjavik, "2026-06-21", "2026-06-21 02:55", "2026-06-22 00:04", 0},
        {kReykjavik, "2026-12-21", "2026-12-21 11:22", "2026-12-21 15:29", 0},
        // Each side of the clocks going forward, and back, in Berlin and Sydney.
        {kBerlin, "2026-03-28", "2026-03-28 05:50", "2026-03-28 18:34", 1},
        {kBerlin, "2026-03-29", "2026-03-29 06:48", "2026-03-29 19:35", 2},
        {kBerlin, "2026-10-24", "2026-10-24 07:48", "2026-10-24 17:52", 2},
        {kBerlin, "2026-10-25", "2026-10-25 06:50", "2026-10-25 16:50", 1},
        {kSydney, "2026-04-04", "2026-04-04 07:09", "2026-04-04 18:47", 11},
        {kSydney, "2026-04-05", "2026-04-05 06:10", "2026-04-05 17:45", 10},
        // Tromso just outside its polar night and day.
        {kTromso, "2026-01-20", "2026-01-20 10:36", "2026-01-20 13:15", 1},
        {kTromso, "2026-05-10", "2026-05-10 02:25", "2026-05-10 23:02", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.place.name) + " " + row.date);
        const session::SunTimes sun =
            session::sunTimes(QDate::fromString(QString::fromLatin1(row.date), Qt::ISODate),
                              row.place.latitude, row.place.longitude, zoneOf(row.place));
        ASSERT_EQ(sun.day, SunDay::Normal);
        EXPECT_LE(std::abs(sun.sunrise.secsTo(at(row.place, row.sunrise))), 120)
            << sun.sunrise.toString(Qt::ISODate).toStdString();
        EXPECT_LE(std::abs(sun.sunset.secsTo(at(row.place, row.sunset))), 120)
            << sun.sunset.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(sun.sunrise.offsetFromUtc(), row.offset_h * 3600);
        EXPECT_EQ(sun.sunrise.timeZone(), zoneOf(row.place));
    }
    // Tromso's midnight sun and polar night (from late May to late July, and
    // from late November to mid-January); the South Pole the other way round.
    const QTimeZone oslo = zoneOf(kTromso);
    EXPECT_EQ(session::sunTimes(QDate(2026, 6, 21), kTromso.latitude, kTromso.longitude, oslo).day,
              SunDay::PolarDay);
    EXPECT_EQ(session::sunTimes(QDate(2026, 12, 21), kTromso.latitude, kTromso.longitude, oslo).day,
              SunDay::PolarNight);
    EXPECT_EQ(session::sunTimes(QDate(2026, 6, 21), -90, 0, QTimeZone::utc()).day,
              SunDay::PolarNight);
    EXPECT_EQ(session::sunTimes(QDate(2026, 12, 21), -90, 0, QTimeZone::utc()).day,
              SunDay::PolarDay);
}

// The window of a day by the sun, as fractions the record timer's rules take
// unchanged, and its texts.
TEST(DailyWindow, SunAnchorsMakeTodaysWindowForTheRecordTimer) {
    // Sunrise to sunset in Berlin at midwinter: the dialog's and --status's texts.
    WindowSettings s = sunWindow(kBerlin, 1, 2);
    DailyWindow w = session::dailyWindow(s, QDate(2026, 12, 21), zoneOf(kBerlin));
    EXPECT_EQ(w.state, WindowState::Normal);
    EXPECT_EQ(w.dialogText, QStringLiteral("today 08:15 - 15:54"));
    EXPECT_EQ(w.statusText, QStringLiteral("Window: 08:15 to 15:54 (sunrise to sunset)"));
    EXPECT_TRUE(w.reason.isEmpty());
    EXPECT_FALSE(starts(w, fraction(8, 14)));
    EXPECT_TRUE(starts(w, fraction(8, 16)));
    EXPECT_TRUE(keepsRecording(w, fraction(15, 53)));
    EXPECT_FALSE(keepsRecording(w, fraction(15, 55)));

    // Offsets move each end; the texts say so.
    s.recStartOffset_min = -30;
    s.recStopOffset_min = 45;
    w = session::dailyWindow(s, QDate(2026, 12, 21), zoneOf(kBerlin));
    EXPECT_EQ(w.statusText,
              QStringLiteral("Window: 07:45 to 16:39 (sunrise - 30 min to sunset + 45 min)"));

    // The day the clocks go forward: the same sunrise an hour later by the clock.
    s = sunWindow(kBerlin, 1, 2);
    EXPECT_EQ(session::dailyWindow(s, QDate(2026, 3, 28), zoneOf(kBerlin)).dialogText,
              QStringLiteral("today 05:50 - 18:34"));
    EXPECT_EQ(session::dailyWindow(s, QDate(2026, 3, 29), zoneOf(kBerlin)).dialogText,
              QStringLiteral("today 06:48 - 19:35"));

    // A clock end in the hour the clocks skip stays as it is set.
    s.recStartAt = 0;
    s.recStartTime = fraction(2, 30);
    w = session::dailyWindow(s, QDate(2026, 3, 29), zoneOf(kBerlin));
    EXPECT_EQ(w.start, fraction(2, 30));
    EXPECT_EQ(w.statusText, QStringLiteral("Window: 02:30 to 19:35 (clock time to sunset)"));

    // A clock start and a sunset stop.
    s.recStartAt = 0;
    s.recStartTime = fraction(10, 0);
    s.latitude = kSydney.latitude;
    s.longitude = kSydney.longitude;
    w = session::dailyWindow(s, QDate(2026, 6, 21), zoneOf(kSydney));
    EXPECT_EQ(w.statusText, QStringLiteral("Window: 10:00 to 16:54 (clock time to sunset)"));

    // Reykjavik in June sets after midnight: a window across midnight, whose
    // early hours belong to the evening before.
    w = session::dailyWindow(sunWindow(kReykjavik, 1, 2), QDate(2026, 6, 21), zoneOf(kReykjavik));
    EXPECT_EQ(w.state, WindowState::Normal);
    EXPECT_EQ(w.dialogText, QStringLiteral("today 02:55 - 00:04"));
    EXPECT_TRUE(keepsRecording(w, fraction(23, 50)));
    EXPECT_TRUE(keepsRecording(w, fraction(0, 3)));
    EXPECT_FALSE(keepsRecording(w, fraction(1, 0)));
    EXPECT_FALSE(starts(w, fraction(2, 50)));
    EXPECT_TRUE(starts(w, fraction(3, 0)));

    // By night, sunset to sunrise in Quito: recorded in the evening and the
    // early morning, not at noon.
    w = session::dailyWindow(sunWindow(kQuito, 2, 1), QDate(2026, 12, 21), zoneOf(kQuito));
    EXPECT_EQ(w.statusText, QStringLiteral("Window: 18:16 to 06:08 (sunset to sunrise)"));
    EXPECT_TRUE(starts(w, fraction(22, 0)));
    EXPECT_TRUE(starts(w, fraction(5, 0)));
    EXPECT_FALSE(keepsRecording(w, fraction(12, 0)));
}

// Polar day and night make the whole day or nothing, as the window's kind
// says; so do offsets that cover a whole short day or more than a long one.
TEST(DailyWindow, PolarDaysAndLargeOffsetsAreTheWholeDayOrNothing) {
    const QTimeZone oslo = zoneOf(kTromso);
    struct Row {
        const char* what;
        WindowSettings settings;
        QDate date;
        WindowState state;
        const char* status;
    };
    WindowSettings clockToSunset = sunWindow(kTromso, 0, 2);
    clockToSunset.recStartTime = fraction(9, 0);
    WindowSettings aroundSunrise = sunWindow(kTromso, 1, 1);
    aroundSunrise.recStartOffset_min = -60;
    aroundSunrise.recStopOffset_min = 60;
    WindowSettings shortDay = sunWindow(kTromso, 1, 2);  // 10:36 to 13:15
    shortDay.recStartOffset_min = 90;
    shortDay.recStopOffset_min = -90;
    WindowSettings longDay = sunWindow(kTromso, 1, 2);  // 02:25 to 23:02
    longDay.recStartOffset_min = -120;
    longDay.recStopOffset_min = 120;
    const Row rows[] = {
        {"by day, midnight sun", sunWindow(kTromso, 1, 2), QDate(2026, 6, 21),
         WindowState::WholeDay, "Window: the whole day (polar day)"},
        {"by night, midnight sun", sunWindow(kTromso, 2, 1), QDate(2026, 6, 21),
         WindowState::Nothing, "Window: nothing today (polar day)"},
        {"by day, polar night", sunWindow(kTromso, 1, 2), QDate(2026, 12, 21), WindowState::Nothing,
         "Window: nothing today (polar night)"},
        {"by night, polar night", sunWindow(kTromso, 2, 1), QDate(2026, 12, 21),
         WindowState::WholeDay, "Window: the whole day (polar night)"},
        {"around sunrise, polar night", aroundSunrise, QDate(2026, 12, 21), WindowState::Nothing,
         "Window: nothing today (polar night)"},
        {"clock to sunset, polar night", clockToSunset, QDate(2026, 12, 21), WindowState::Nothing,
         "Window: nothing today (polar night)"},
        {"offsets eat a short day", shortDay, QDate(2026, 1, 20), WindowState::Nothing,
         "Window: nothing today (offsets)"},
        {"offsets outgrow a long day", longDay, QDate(2026, 5, 10), WindowState::WholeDay,
         "Window: the whole day (offsets)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const DailyWindow w = session::dailyWindow(row.settings, row.date, oslo);
        EXPECT_EQ(w.state, row.state);
        EXPECT_EQ(w.statusText, QString::fromLatin1(row.status));
        EXPECT_FALSE(w.reason.isEmpty());
        // Every minute of the day: a whole day keeps any recording going and
        // starts one at once (but at the very midnight instant); nothing stops
        // one at once and never starts one.
        for (int minute = 0; minute < 1440; ++minute) {
            const double now = minute / 1440.0 + 1e-6;
            ASSERT_EQ(keepsRecording(w, now), row.state == WindowState::WholeDay) << minute;
            ASSERT_EQ(starts(w, now), row.state == WindowState::WholeDay) << minute;
        }
    }
    // Offsets that only narrow the short day still leave its middle.
    WindowSettings narrower = shortDay;
    narrower.recStartOffset_min = 30;
    narrower.recStopOffset_min = -30;
    EXPECT_EQ(session::dailyWindow(narrower, QDate(2026, 1, 20), oslo).dialogText,
              QStringLiteral("today 11:06 - 12:45"));
}

// The clock window stays as it was; windows that can never record, and
// settings out of range, are refused with a message and record nothing new.
TEST(DailyWindow, ClockWindowsStayAndImpossibleOnesAreRefused) {
    const QTimeZone berlin = zoneOf(kBerlin);
    WindowSettings clock;
    clock.recStartTime = fraction(22, 0);
    clock.recStopTime = fraction(6, 30);
    DailyWindow w = session::dailyWindow(clock, QDate(2026, 3, 29), berlin);
    EXPECT_EQ(w.state, WindowState::Normal);
    EXPECT_EQ(w.start, clock.recStartTime);
    EXPECT_EQ(w.stop, clock.recStopTime);
    EXPECT_EQ(w.statusText, QStringLiteral("Window: 22:00 to 06:30 (clock time)"));
    EXPECT_EQ(w.dialogText, QStringLiteral("today 22:00 - 06:30"));
    EXPECT_TRUE(session::windowProblem(clock).isEmpty());

    struct Row {
        const char* what;
        WindowSettings settings;
        const char* message;
    };
    const Row rows[] = {
        {"clock start equals stop", with([](WindowSettings& s) {
             s.recStartAt = s.recStopAt = 0;
             s.recStartTime = s.recStopTime = 0.5;
         }),
         "never record"},
        {"same sun event and offset",
         with([](WindowSettings& s) { s.recStartAt = s.recStopAt = 2; }), "never record"},
        {"sunrise without a place", with([](WindowSettings& s) { s.latitude.reset(); }),
         "latitude and longitude"},
        {"sunset without a longitude", with([](WindowSettings& s) { s.longitude.reset(); }),
         "latitude and longitude"},
        {"latitude 91", with([](WindowSettings& s) { s.latitude = 91; }), "-90 and 90"},
        {"latitude not a number", with([](WindowSettings& s) { s.latitude = std::nan(""); }),
         "-90 and 90"},
        {"longitude -180.5", with([](WindowSettings& s) { s.longitude = -180.5; }),
         "-180 and 180 degrees"},
        {"offset 181", with([](WindowSettings& s) { s.recStopOffset_min = 181; }),
         "-180 and 180 minutes"},
        {"anchor 3", with([](WindowSettings& s) { s.recStartAt = 3; }), "sunrise or sunset"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QString problem = session::windowProblem(row.settings);
        EXPECT_TRUE(problem.contains(QString::fromLatin1(row.message))) << problem.toStdString();
        w = session::dailyWindow(row.settings, QDate(2026, 6, 21), berlin);
        EXPECT_EQ(w.state, WindowState::Refused);
        EXPECT_EQ(w.reason, problem);
        EXPECT_TRUE(w.statusText.startsWith(QStringLiteral("Window: never")))
            << problem.toStdString();
        // As the rules treat start == stop: nothing starts, nothing is stopped.
        EXPECT_EQ(w.start, w.stop);
    }

    // Same sun event with different offsets is a window around it.
    WindowSettings dawn = sunWindow(kBerlin, 1, 1);
    dawn.recStartOffset_min = -45;
    dawn.recStopOffset_min = 60;
    EXPECT_EQ(session::dailyWindow(dawn, QDate(2026, 12, 21), berlin).dialogText,
              QStringLiteral("today 07:30 - 09:15"));

    bool ok = false;
    EXPECT_EQ(session::coordinateFromText(QStringLiteral(" -33.8688 "), &ok), -33.8688);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(session::coordinateFromText(QString(), &ok).has_value());
    EXPECT_TRUE(ok);
    EXPECT_FALSE(session::coordinateFromText(QStringLiteral("52,5"), &ok).has_value());
    EXPECT_FALSE(ok);
    EXPECT_FALSE(session::coordinateFromText(QStringLiteral("inf"), &ok).has_value());
    EXPECT_FALSE(ok);
}

// The heartbeat tick by tick: only in mode On movement, only once a
// recording counts, after IdleInterval seconds without a recorded frame, and
// across the tick count's wrap.
TEST(Heartbeat, RecordsOneFrameAfterTheIdleIntervalInModeOnMovement) {
    session::Heartbeat beat;
    beat.recorded(1000);
    EXPECT_FALSE(beat.due(1000 + 3600000, 2)) << "off by default";

    beat.setInterval(10);
    beat.reset();
    EXPECT_FALSE(beat.due(50000, 2)) << "no recording to count from";

    beat.recorded(1000);  // the recording begins
    for (std::uint32_t now = 1000; now < 11000; now += 40) {
        ASSERT_FALSE(beat.due(now, 2)) << now;
    }
    EXPECT_TRUE(beat.due(11000, 2));
    EXPECT_FALSE(beat.due(11000, 1)) << "mode On records every frame anyway";
    EXPECT_FALSE(beat.due(11000, 0)) << "mode Off records nothing";

    // A movement frame at 9000 moves the next heartbeat on.
    beat.recorded(9000);
    EXPECT_FALSE(beat.due(18960, 2));
    EXPECT_TRUE(beat.due(19000, 2));
    beat.recorded(19040);  // the heartbeat frame itself
    EXPECT_FALSE(beat.due(29000, 2));
    EXPECT_TRUE(beat.due(29040, 2));

    // Across the wrap of the 32-bit tick count.
    beat.recorded(0xFFFFF000u);
    EXPECT_FALSE(beat.due(0x00001000u, 2));
    EXPECT_TRUE(beat.due(std::uint32_t(0xFFFFF000u + 10000u), 2));

    beat.setInterval(session::kIdleIntervalMax_s + 1);
    EXPECT_EQ(beat.interval_s(), session::kIdleIntervalMax_s);
    beat.setInterval(-5);
    EXPECT_EQ(beat.interval_s(), 0);
}
