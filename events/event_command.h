#pragma once

// The program named by OnEventCommand, run on each event without a shell with
// the event's fields in its environment. At most one runs per kind of event;
// one that overruns its limit is killed. Nothing here waits for it.

#include <QObject>
#include <QString>
#include <QStringList>

#include <map>

class QProcess;

namespace kv::events {

// What an event tells; empty fields (and frames below 0) are left out.
struct EventFields {
    QString event;  // "movement_start", "camera_lost" ...
    QString time;   // ISO 8601 with the offset
    QString instance;
    QString file;
    QString reason;
    int frames = -1;
    QString day;           // film_ready: the day filmed, 2026-12-08
    int recordings = -1;   // film_ready: the recordings filmed
    double length_s = -1;  // film_ready: the film's length
};

class EventCommand : public QObject {
    Q_OBJECT
  public:
    static constexpr int kDefaultLimit_ms = 30000;

    explicit EventCommand(int limit_ms = kDefaultLimit_ms, QObject* parent = nullptr);
    ~EventCommand() override;

    // The command line, split as a shell would split words but run without
    // one; empty turns the command off.
    void setCommand(const QString& commandLine);
    bool active() const { return !program_.isEmpty(); }
    // Starts the command for this event unless one of its kind still runs.
    void run(const EventFields& fields);
    // Commands still running.
    int running() const { return int(running_.size()); }

  Q_SIGNALS:
    // A command of that kind has ended (exit code, or -1 when it crashed,
    // was killed or did not start).
    void finished(const QString& event, int exitCode);

  private:
    int limit_ms_;
    QString program_;
    QStringList arguments_;
    std::map<QString, QProcess*> running_;
};

}  // namespace kv::events
