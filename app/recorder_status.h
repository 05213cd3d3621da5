#pragma once

// What a running recorder tells another process that asks (`--status`, and a
// start that must not record beside it): one line of JSON over the instance
// channel.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace kv::session {
class RecordingSession;
}

namespace kv::app {

class InstanceChannel;

struct RecorderStatus {
    QString suffix;  // the instance suffix, "" for the first instance
    qint64 pid = 0;
    bool headless = false;
    QString mode;   // "Off", "On", "On movement"
    QString state;  // as the status bar says it
    QString camera;
    QString file;  // the recording being written, or empty
    int frames = 0;
    QString window;          // today's daily window, "08:07 to 15:54 (sunrise to sunset)"
    QDateTime lastMovement;  // invalid when none since the start
    QString folder;
    double diskUsed_mb = 0;  // by the folder's recordings, decimal megabytes
    int diskLimit_mb = 0;
};

// The state of a session, with the recordings in its folder counted now
// unless countDisk is false (diskUsed_mb stays 0: the caller counts elsewhere).
RecorderStatus recorderStatus(const session::RecordingSession& session, const QString& suffix,
                              bool headless, const QDateTime& lastMovement, bool countDisk = true);

QByteArray toJson(const RecorderStatus& status);
// Nothing when the line is no state of a recorder.
std::optional<RecorderStatus> recorderStatusFromJson(const QByteArray& json);

// For people: a line per fact.
QString describe(const RecorderStatus& status);

// The running recorder of that suffix, if one runs.
std::optional<RecorderStatus> runningRecorder(InstanceChannel& channel, const QString& suffix);

}  // namespace kv::app
