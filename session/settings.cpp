#include "session/settings.h"

#include <QDir>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv::session {

QString defaultCompressor() {
    return QStringLiteral("MJPEG Compressor");
}

namespace load_rule {

int recInterval(int interval_ms) {
    return std::max(interval_ms, kMinInterval_ms);
}

int playInterval(int interval_ms) {
    return std::clamp(interval_ms, kMinInterval_ms, kMaxPlayInterval_ms);
}

int trigger(int trigger) {
    return std::clamp(trigger, 0, kMaxTrigger);
}

int detector(int detector) {
    return detector == 1 ? 1 : 0;
}

int maxRecordSamples(int frames) {
    return std::max(frames, 1);
}

int preRecFrames(int frames) {
    return std::clamp(frames, 0, 100);
}

int mode(int mode) {
    return mode >= 0 && mode <= 2 ? mode : 2;
}

int windowAnchor(int anchor) {
    return anchor >= 0 && anchor <= 2 ? anchor : 0;
}

int windowOffset(int minutes) {
    return std::clamp(minutes, -180, 180);
}

int idleInterval(int seconds) {
    return std::clamp(seconds, 0, 86400);
}

int filmLength(int seconds) {
    return std::clamp(seconds, 0, 86400);
}

int choice(int value) {
    return value == 1 ? 1 : 0;
}

int mqttPort(int port) {
    return port >= 1 && port <= 65535 ? port : 1883;
}

int mqttKeepalive(int seconds) {
    return std::clamp(seconds, 5, 3600);
}

QString nameField(QString name) {
    constexpr qsizetype kMaxUnits = kNameFieldChars - 1;
    if (name.size() <= kMaxUnits) {
        return name;
    }
    qsizetype keep = kMaxUnits;
    if (name.at(keep - 1).isHighSurrogate()) {
        --keep;  // its low half would be cut off
    }
    name.truncate(keep);
    return name;
}

QString compressor(QString name) {
    if (name.isEmpty()) {
        return defaultCompressor();
    }
    return nameField(std::move(name));
}

}  // namespace load_rule

int qualityToPercent(double quality) {
    if (std::isnan(quality)) {
        return 0;
    }
    const double percent = std::clamp(quality * 100.0, double(std::numeric_limits<int>::min()),
                                      double(std::numeric_limits<int>::max()));
    return int(std::lround(percent));
}

double percentToQuality(int percent) {
    return percent * 0.01;
}

QString defaultDataFolder() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (base.isEmpty()) {
        base = QDir::homePath();
    }
    base = QDir::cleanPath(base);
    if (!base.endsWith(u'/')) {
        base += u'/';
    }
    return base + QStringLiteral("Brannowerks/Kestrelvision/");
}

QTime timeFromDayFraction(double fraction) {
    constexpr qint64 kDay_ms = 24 * 3600 * 1000;
    if (!std::isfinite(fraction)) {
        return QTime(0, 0);
    }
    fraction -= std::floor(fraction);
    const qint64 ms = std::llround(fraction * double(kDay_ms)) % kDay_ms;
    return QTime::fromMSecsSinceStartOfDay(int(ms));
}

double dayFractionFromTime(QTime time) {
    if (!time.isValid()) {
        return 0.0;
    }
    return time.msecsSinceStartOfDay() / 86400000.0;
}

}  // namespace kv::session
