#pragma once

// The recorder without a window, for servers and machines without a screen:
// the same session, settings file, instance suffix, recording folder, mask,
// quota, daily window and start-up repair as the desktop program. It logs a
// line per event that matters on standard error, with the level prefixes the
// system journal reads ("<6>" information, "<4>" warning, "<3>" error).
// SIGTERM and SIGINT finish every file and end it; SIGHUP reloads the settings.

#include "app/command_line.h"
#include "session/settings.h"

#include <QDateTime>
#include <QObject>

#include <memory>

namespace kv::session {
class RecordingSession;
}
namespace kv::film {
class DailyFilm;
}
namespace kv::events {
class EventPublisher;
}

namespace kv::app {

class InstanceChannel;
class SessionEvents;
class SettingsStore;

class HeadlessRecorder : public QObject {
    Q_OBJECT
  public:
    // Exit codes: 0 after SIGTERM or SIGINT; kAlreadyRecorded when another
    // recorder of the same instance suffix runs; kCannotLock when the instance
    // cannot be locked (no private folder, or a suffix that names no file).
    static constexpr int kAlreadyRecorded = 4;
    static constexpr int kCannotLock = 5;

    explicit HeadlessRecorder(CommandLine line, QObject* parent = nullptr);
    ~HeadlessRecorder() override;

    // False, said on standard error, when another recorder of this instance
    // runs or the instance cannot be locked: two recorders never write one
    // folder. failure() is then the exit code.
    bool start();
    int failure() const { return failure_; }
    // Reads the settings file again and applies it; the graphs are rebuilt
    // when the camera, its format, the compressor or the folder changed.
    void reload();
    // Finishes every file.
    void stop();

    session::RecordingSession& session() { return *session_; }

  Q_SIGNALS:
    void stopped();

  private:
    void connectSession();
    // Films each day once it is over, when the settings ask for it.
    void startDailyFilm();

    CommandLine line_;
    session::Settings settings_;
    std::unique_ptr<SettingsStore> store_;
    session::RecordingSession* session_ = nullptr;
    InstanceChannel* channel_ = nullptr;
    SessionEvents* events_ = nullptr;
    film::DailyFilm* daily_ = nullptr;
    events::EventPublisher* publisher_ = nullptr;
    int lockFd_ = -1;
    int failure_ = kAlreadyRecorded;
    QString currentFile_;
    QDateTime lastMovement_;
    bool stopped_ = false;
};

// Writes Qt's messages to standard error with the journal's level prefixes.
void installJournalMessageHandler();

// `--status [/I<suffix>]`: prints the running recorder's state; 0, or 3 when
// none runs.
int printRecorderStatus(const CommandLine& line);
inline constexpr int kNoRecorderRuns = 3;

}  // namespace kv::app
