#include "session/daily_window.h"

#include "session/record_policy.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kv::session {

namespace {

// The texts of free functions, under the context of the class they serve.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(kv::session::DailyWindow)
};

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr qint64 kDay_ms = 86400000;
constexpr qint64 kMinute_ms = 60000;
// The upper limb at the horizon: 34' of refraction and 16' of the sun's radius.
constexpr double kHorizon_deg = -0.833;

double wrap180(double degrees) {
    return degrees - 360.0 * std::floor((degrees + 180.0) / 360.0);
}

struct SunPosition {
    double declination_rad;
    double equationOfTime_min;
};

// NOAA's solar position for an instant (Meeus' formulas, good to well under
// a minute of sunrise for centuries around 2000).
SunPosition sunAt(qint64 utc_ms) {
    const double julianDay = 2440587.5 + double(utc_ms) / double(kDay_ms);
    const double t = (julianDay - 2451545.0) / 36525.0;  // Julian centuries from J2000
    const double meanLong = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0) * kDeg;
    const double anomaly = (357.52911 + t * (35999.05029 - 0.0001537 * t)) * kDeg;
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double centre = std::sin(anomaly) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          std::sin(2 * anomaly) * (0.019993 - 0.000101 * t) +
                          std::sin(3 * anomaly) * 0.000289;
    const double omega = (125.04 - 1934.136 * t) * kDeg;
    const double apparentLong = meanLong + (centre - 0.00569 - 0.00478 * std::sin(omega)) * kDeg;
    const double meanObliquity =
        23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    const double obliquity = (meanObliquity + 0.00256 * std::cos(omega)) * kDeg;
    const double y = std::pow(std::tan(obliquity / 2), 2);
    const double e = eccentricity;
    const double m = anomaly;
    const double l = meanLong;
    const double equation = y * std::sin(2 * l) - 2 * e * std::sin(m) +
                            4 * e * y * std::sin(m) * std::cos(2 * l) -
                            0.5 * y * y * std::sin(4 * l) - 1.25 * e * e * std::sin(2 * m);
    return {std::asin(std::sin(obliquity) * std::sin(apparentLong)), 4.0 * equation / kDeg};
}

// The sun's hour angle at an instant, in degrees from the meridian (negative
// before noon).
double hourAngle(qint64 utc_ms, const SunPosition& sun, double longitude_deg) {
    const double utcMinutes = double(((utc_ms % kDay_ms) + kDay_ms) % kDay_ms) / kMinute_ms;
    return wrap180((utcMinutes + sun.equationOfTime_min + 4.0 * longitude_deg) / 4.0 - 180.0);
}

// The cosine of the hour angle at which the sun crosses the horizon; above 1
// it never rises, below -1 it never sets.
double cosRiseAngle(double latitude_deg, double declination_rad) {
    const double phi = latitude_deg * kDeg;
    return (std::sin(kHorizon_deg * kDeg) - std::sin(phi) * std::sin(declination_rad)) /
           (std::cos(phi) * std::cos(declination_rad));
}

// Moves an instant to where the sun's hour angle is the target one, the
// target following the sun's declination there. Hour angles run at about a
// degree per 4 minutes, so a few steps settle to the second.
qint64 settle(qint64 utc_ms, double latitude_deg, double longitude_deg, double sign,
              double* cosAngle) {
    for (int step = 0; step < 4; ++step) {
        const SunPosition sun = sunAt(utc_ms);
        double target = 0;
        if (sign != 0) {
            *cosAngle = cosRiseAngle(latitude_deg, sun.declination_rad);
            if (std::abs(*cosAngle) > 1) {
                return utc_ms;
            }
            target = sign * std::acos(*cosAngle) / kDeg;
        }
        const double delta = wrap180(target - hourAngle(utc_ms, sun, longitude_deg));
        utc_ms += qint64(std::llround(delta * 4.0 * kMinute_ms));
    }
    return utc_ms;
}

QDateTime toSecond(qint64 utc_ms, const QTimeZone& zone) {
    return QDateTime::fromMSecsSinceEpoch(((utc_ms + 500) / 1000) * 1000, zone);
}

double fractionOf(const QDateTime& local) {
    return session::timeOfDay(local);
}

// "08:07", the start of the minute.
QString clockText(double fraction) {
    const int minutes = int(std::floor(fraction * 1440.0 + 1e-9)) % 1440;
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

WindowAnchor anchorOf(int value) {
    return WindowAnchor(value);
}

QString endText(WindowAnchor anchor, int offset_min) {
    QString text = anchor == WindowAnchor::Sunrise  ? Text::tr("sunrise")
                   : anchor == WindowAnchor::Sunset ? Text::tr("sunset")
                                                    : Text::tr("clock time");
    if (anchor != WindowAnchor::Clock && offset_min != 0) {
        text += (offset_min > 0 ? QStringLiteral(" + ") : QStringLiteral(" - ")) +
                Text::tr("%1 min").arg(std::abs(offset_min));
    }
    return text;
}

qint64 ms(double fraction) {
    return std::llround(fraction * double(kDay_ms));
}

QString statusText(const QString& summary) {
    return Text::tr("Window: %1").arg(summary);
}

DailyWindow refused(const WindowSettings& s, const QString& problem) {
    DailyWindow w;
    w.state = WindowState::Refused;
    w.start = s.recStartTime;
    w.stop = s.recStartTime;
    w.reason = problem;
    w.dialogText = problem;
    w.summary = Text::tr("never (%1)").arg(problem);
    w.statusText = statusText(w.summary);
    return w;
}

DailyWindow special(WindowState state, const QString& cause, const QString& reason) {
    DailyWindow w;
    w.state = state;
    w.start = state == WindowState::WholeDay ? 0.0 : 1.0;
    w.stop = state == WindowState::WholeDay ? 1.0 : 0.0;
    w.reason = reason;
    w.dialogText = state == WindowState::WholeDay ? Text::tr("today the whole day (%1)").arg(cause)
                                                  : Text::tr("today nothing (%1)").arg(cause);
    w.summary = state == WindowState::WholeDay ? Text::tr("the whole day (%1)").arg(cause)
                                               : Text::tr("nothing today (%1)").arg(cause);
    w.statusText = statusText(w.summary);
    return w;
}

}  // namespace

SunTimes sunTimes(QDate date, double latitude_deg, double longitude_deg,
                  const QTimeZone& givenZone) {
    SunTimes times;
    const QTimeZone zone = givenZone.isValid() ? givenZone : QTimeZone::systemTimeZone();
    const qint64 localNoon = QDateTime(date, QTime(12, 0), zone).toMSecsSinceEpoch();
    double cosAngle = 0;
    const qint64 transit = settle(localNoon, latitude_deg, longitude_deg, 0, &cosAngle);
    cosAngle = cosRiseAngle(latitude_deg, sunAt(transit).declination_rad);
    if (cosAngle > 1) {
        times.day = SunDay::PolarNight;
        return times;
    }
    if (cosAngle < -1) {
        times.day = SunDay::PolarDay;
        return times;
    }
    const qint64 rise = settle(transit, latitude_deg, longitude_deg, -1, &cosAngle);
    if (std::abs(cosAngle) > 1) {
        // On the last day before polar day or night the sun may no longer
        // cross the horizon at the hour the noon's declination says.
        times.day = cosAngle > 1 ? SunDay::PolarNight : SunDay::PolarDay;
        return times;
    }
    const qint64 set = settle(transit, latitude_deg, longitude_deg, 1, &cosAngle);
    if (std::abs(cosAngle) > 1) {
        times.day = cosAngle > 1 ? SunDay::PolarNight : SunDay::PolarDay;
        return times;
    }
    times.sunrise = toSecond(rise, zone);
    times.sunset = toSecond(set, zone);
    return times;
}

std::optional<double> coordinateFromText(const QString& text, bool* ok) {
    const QString trimmed = text.trimmed();
    bool parsed = true;
    std::optional<double> value;
    if (!trimmed.isEmpty()) {
        const double number = QLocale::c().toDouble(trimmed, &parsed);
        if (parsed && std::isfinite(number)) {
            value = number;
        } else {
            parsed = false;
        }
    }
    if (ok) {
        *ok = parsed;
    }
    return value;
}

QString windowProblem(const WindowSettings& s) {
    for (const int at : {s.recStartAt, s.recStopAt}) {
        if (at < 0 || at > 2) {
            return Text::tr(
                "Each end of the recording window is at clock time, sunrise or sunset.");
        }
    }
    for (const int offset : {s.recStartOffset_min, s.recStopOffset_min}) {
        if (std::abs(offset) > kWindowOffsetMax_min) {
            return Text::tr("An offset from sunrise or sunset is between -180 and 180 minutes.");
        }
    }
    if (s.latitude && !(std::abs(*s.latitude) <= 90)) {
        return Text::tr("The latitude is between -90 and 90 degrees (north positive).");
    }
    if (s.longitude && !(std::abs(*s.longitude) <= 180)) {
        return Text::tr("The longitude is between -180 and 180 degrees (east positive).");
    }
    const auto start = anchorOf(s.recStartAt);
    const auto stop = anchorOf(s.recStopAt);
    const bool sun = start != WindowAnchor::Clock || stop != WindowAnchor::Clock;
    if (sun && (!s.latitude || !s.longitude)) {
        return Text::tr("Sunrise and sunset need the place: enter its latitude and longitude.");
    }
    const bool sameEnds = start == stop && (start == WindowAnchor::Clock
                                                ? ms(s.recStartTime) == ms(s.recStopTime)
                                                : s.recStartOffset_min == s.recStopOffset_min);
    if (sameEnds) {
        return Text::tr("The recording window starts when it stops, so it would never record.");
    }
    return {};
}

WindowSettings windowSettings(const Settings& settings) {
    WindowSettings w;
    w.recStartTime = settings.RecStartTime;
    w.recStopTime = settings.RecStopTime;
    w.recStartAt = settings.RecStartAt;
    w.recStopAt = settings.RecStopAt;
    w.recStartOffset_min = settings.RecStartOffset;
    w.recStopOffset_min = settings.RecStopOffset;
    w.latitude = coordinateFromText(settings.Latitude);
    w.longitude = coordinateFromText(settings.Longitude);
    return w;
}

DailyWindow dailyWindow(const WindowSettings& s, QDate date, const QTimeZone& givenZone) {
    const QTimeZone zone = givenZone.isValid() ? givenZone : QTimeZone::systemTimeZone();
    const QString problem = windowProblem(s);
    if (!problem.isEmpty()) {
        return refused(s, problem);
    }
    const auto startAt = anchorOf(s.recStartAt);
    const auto stopAt = anchorOf(s.recStopAt);
    DailyWindow w;
    const QString anchors = startAt == WindowAnchor::Clock && stopAt == WindowAnchor::Clock
                                ? Text::tr("clock time")
                                : Text::tr("%1 to %2")
                                      .arg(endText(startAt, s.recStartOffset_min),
                                           endText(stopAt, s.recStopOffset_min));
    if (startAt == WindowAnchor::Clock && stopAt == WindowAnchor::Clock) {
        w.start = s.recStartTime;
        w.stop = s.recStopTime;
    } else {
        const SunTimes sun = sunTimes(date, *s.latitude, *s.longitude, zone);
        // A window by day opens at sunrise or closes at sunset; by night, the
        // other way round. One from sunrise to sunrise (or sunset to sunset)
        // is neither: it needs both to happen.
        const bool byDay = (startAt == WindowAnchor::Sunrise && stopAt != WindowAnchor::Sunrise) ||
                           (stopAt == WindowAnchor::Sunset && startAt != WindowAnchor::Sunset);
        const bool byNight = (startAt == WindowAnchor::Sunset && stopAt != WindowAnchor::Sunset) ||
                             (stopAt == WindowAnchor::Sunrise && startAt != WindowAnchor::Sunrise);
        if (sun.day == SunDay::PolarDay) {
            return byDay ? special(
                               WindowState::WholeDay, Text::tr("polar day"),
                               Text::tr("The sun does not set today (polar day): the window is the "
                                        "whole day."))
                         : special(WindowState::Nothing, Text::tr("polar day"),
                                   Text::tr("The sun does not set today (polar day): nothing is "
                                            "recorded."));
        }
        if (sun.day == SunDay::PolarNight) {
            return byNight
                       ? special(
                             WindowState::WholeDay, Text::tr("polar night"),
                             Text::tr("The sun does not rise today (polar night): the window is "
                                      "the whole day."))
                       : special(WindowState::Nothing, Text::tr("polar night"),
                                 Text::tr("The sun does not rise today (polar night): nothing is "
                                          "recorded."));
        }
        // Sun times to the minute, as the tables have them.
        auto atMinute = [](const QDateTime& t) {
            const int second = t.time().second();
            return t.addSecs(second < 30 ? -second : 60 - second);
        };
        const QDateTime sunrise = atMinute(sun.sunrise);
        const QDateTime sunset = atMinute(sun.sunset);
        // A clock end keeps its fraction as set (even in the hour a clock
        // change skips); a sun end is the local time of its instant.
        auto end = [&](WindowAnchor anchor, double clock, int offset_min) {
            if (anchor == WindowAnchor::Clock) {
                return clock;
            }
            return fractionOf((anchor == WindowAnchor::Sunrise ? sunrise : sunset)
                                  .addSecs(qint64(offset_min) * 60)
                                  .toTimeZone(zone));
        };
        if (startAt != WindowAnchor::Clock && stopAt != WindowAnchor::Clock && startAt != stopAt) {
            // Between the two events, moved by the offsets: the offsets may
            // leave nothing of a short day, or more than the whole of a long one.
            const qint64 day_ms = sunrise.msecsTo(sunset);
            const qint64 length_ms =
                (startAt == WindowAnchor::Sunrise ? day_ms : kDay_ms - day_ms) +
                qint64(s.recStopOffset_min - s.recStartOffset_min) * kMinute_ms;
            if (length_ms <= 0) {
                return special(WindowState::Nothing, Text::tr("offsets"),
                               Text::tr("The offsets leave no time in the window today: nothing is "
                                        "recorded."));
            }
            if (length_ms >= kDay_ms) {
                return special(
                    WindowState::WholeDay, Text::tr("offsets"),
                    Text::tr("The offsets make the window longer than the day: the window "
                             "is the whole day."));
            }
        }
        w.start = end(startAt, s.recStartTime, s.recStartOffset_min);
        w.stop = end(stopAt, s.recStopTime, s.recStopOffset_min);
    }
    w.dialogText = Text::tr("today %1 - %2").arg(clockText(w.start), clockText(w.stop));
    w.summary = Text::tr("%1 to %2 (%3)").arg(clockText(w.start), clockText(w.stop), anchors);
    w.statusText = statusText(w.summary);
    return w;
}

void Heartbeat::setInterval(int idleInterval_s) {
    interval_s_ = std::clamp(idleInterval_s, 0, kIdleIntervalMax_s);
}

void Heartbeat::recorded(std::uint32_t now_ms) {
    last_ms_ = now_ms;
}

bool Heartbeat::due(std::uint32_t now_ms, int recordMode) const {
    constexpr int kModeOnMovement = 2;
    if (interval_s_ <= 0 || recordMode != kModeOnMovement || !last_ms_) {
        return false;
    }
    // Wrapping ticks: the difference is right across the wrap.
    return std::uint32_t(now_ms - *last_ms_) >= std::uint32_t(interval_s_) * 1000u;
}

}  // namespace kv::session
