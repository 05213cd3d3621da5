#!/usr/bin/env python3
"""Sunrise and sunset by an independent route, to check the recorder's sun times.

The sun's right ascension and declination from the Astronomical Almanac's
low-precision formulas, its altitude from sidereal time, and the instants
where the altitude's upper limb crosses the horizon (-0.833 degrees with
refraction) found by stepping through the local day and bisecting. Nothing
here shares a formula with the equation-of-time method the program uses.

usage: sun_reference.py LAT LON ZONE YYYY-MM-DD [...]   (north and east positive)
"""
import math
import sys
from datetime import datetime, timedelta, timezone
from zoneinfo import ZoneInfo

HORIZON = -0.833


def altitude(t_utc, lat, lon):
    n = (t_utc - datetime(2000, 1, 1, 12, tzinfo=timezone.utc)).total_seconds() / 86400.0
    mean_long = math.radians((280.460 + 0.9856474 * n) % 360)
    anomaly = math.radians((357.528 + 0.9856003 * n) % 360)
    ecl_long = mean_long + math.radians(1.915) * math.sin(anomaly) + math.radians(
        0.020) * math.sin(2 * anomaly)
    obliquity = math.radians(23.439 - 0.0000004 * n)
    ra = math.atan2(math.cos(obliquity) * math.sin(ecl_long), math.cos(ecl_long))
    dec = math.asin(math.sin(obliquity) * math.sin(ecl_long))
    gmst_h = (18.697374558 + 24.06570982441908 * n) % 24
    hour_angle = math.radians(gmst_h * 15 + lon) - ra
    phi = math.radians(lat)
    return math.degrees(
        math.asin(math.sin(phi) * math.sin(dec) +
                  math.cos(phi) * math.cos(dec) * math.cos(hour_angle)))


def crossing(a, b, lat, lon):
    up = altitude(a, lat, lon) < HORIZON
    for _ in range(40):
        mid = a + (b - a) / 2
        if (altitude(mid, lat, lon) < HORIZON) == up:
            a = mid
        else:
            b = mid
    return a


def sun_times(lat, lon, zone, day):
    start = datetime(day.year, day.month, day.day, tzinfo=zone).astimezone(timezone.utc)
    step = timedelta(minutes=2)
    t = start
    sunrise = None
    # Sunrise within the local day, sunset the first setting after it (which
    # may be after midnight, as in Reykjavik in June).
    while t < start + timedelta(hours=36):
        above_now = altitude(t, lat, lon) >= HORIZON
        above_next = altitude(t + step, lat, lon) >= HORIZON
        if sunrise is None and not above_now and above_next and t < start + timedelta(hours=24):
            sunrise = crossing(t, t + step, lat, lon)
        elif sunrise is not None and above_now and not above_next:
            return sunrise.astimezone(zone), crossing(t, t + step, lat, lon).astimezone(zone)
        t += step
    noon = start + timedelta(hours=12)
    return ("polar day" if altitude(noon, lat, lon) >= HORIZON else "polar night"), None


def main(args):
    if len(args) < 4:
        print(__doc__)
        return 2
    lat, lon, zone = float(args[0]), float(args[1]), ZoneInfo(args[2])
    for text in args[3:]:
        rise, down = sun_times(lat, lon, zone, datetime.strptime(text, "%Y-%m-%d").date())
        if down is None:
            print(text, rise)
        else:
            print(text, rise.strftime("%Y-%m-%d %H:%M:%S %z"), down.strftime("%Y-%m-%d %H:%M:%S %z"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
