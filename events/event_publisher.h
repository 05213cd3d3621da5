#pragma once

// Tells the rest of the house what the recorder does: the session's events,
// its state, a snapshot of each movement and Home Assistant's discovery go to
// an MQTT broker under one topic prefix, and each event may run a command.
// The owner (the window or the headless recorder) hands it the settings and a
// way to change the record mode as the mode buttons do.
//
// Topics under the prefix: availability (online/offline, retained), state
// (retained JSON), motion (ON/OFF, retained), event (JSON, not retained),
// snapshot (JPEG, retained), set/mode (commands, with AllowCommands only).

#include "events/event_command.h"
#include "session/settings.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class QTimer;

namespace kv::session {
class RecordingSession;
}

namespace kv::events {

class MqttClient;

class EventPublisher : public QObject {
    Q_OBJECT
  public:
    // The state is sent at most this often.
    static constexpr int kStateEvery_ms = 1000;
    // Snapshots at most this often.
    static constexpr int kSnapshotEvery_ms = 1000;

    EventPublisher(session::RecordingSession& session, const QString& instanceSuffix,
                   std::function<void(int mode)> setMode, QObject* parent = nullptr,
                   int commandLimit_ms = EventCommand::kDefaultLimit_ms);
    ~EventPublisher() override;

    // Takes the [MQTT] group and OnEventCommand: connects, reconnects with new
    // settings or stops. It is called with the session's settings at the start
    // and whenever the session applies new ones.
    void apply(const session::Settings& settings);
    // The state JSON (by default built from the session: state, mode, camera,
    // file, frames); the headless recorder hands in the --status facts.
    void setStateProvider(std::function<QByteArray()> provider);
    // Sends `offline` and closes the connection.
    void stop();
    // A film of a day is made: the event film_ready with the day, its path,
    // length and recordings (the daily film's finished signal fits it).
    void filmReady(QDate day, const QString& path, double length_s, int recordings);

    // `kestrelvision/<host name>`, with `/<suffix>` for a named instance.
    static QString defaultPrefix(const QString& instanceSuffix);
    QString prefix() const { return prefix_; }
    bool connected() const;
    const MqttClient* client() const { return client_; }

  Q_SIGNALS:
    // Every event as sent, for the owner's log and the tests.
    void eventPublished(const QByteArray& json);

  private:
    void connectSession();
    void event(const QString& kind, const EventFields& fields);
    void publishState();
    void stateChanged();
    void publishSnapshot();
    void publishDiscovery();
    void onCommand(const QString& topic, const QByteArray& payload);
    QByteArray sessionState() const;
    QString topic(const QString& leaf) const { return prefix_ + u'/' + leaf; }

    session::RecordingSession& session_;
    QString suffix_;
    std::function<void(int)> setMode_;
    std::function<QByteArray()> stateProvider_;
    session::Settings settings_;
    bool applied_ = false;
    MqttClient* client_ = nullptr;
    EventCommand* command_ = nullptr;
    QString prefix_;
    QStringList discoveryTopics_;  // sent, to be cleared when turned off

    QByteArray lastState_;
    QElapsedTimer stateSent_;
    QTimer* stateTimer_ = nullptr;
    QElapsedTimer snapshotSent_;
    bool snapshotDue_ = false;
    bool inMovement_ = false;
    int movementFrames_ = 0;
    QString currentFile_;
    std::map<QString, int> finishedFrames_;  // frames of files still finishing
};

// The time of an event: ISO 8601 with the offset, to the second.
QString eventTime(const QDateTime& time);
// Letters, digits, '-' and '_' of a prefix, the rest '_': an id for Home Assistant.
QString discoveryId(const QString& prefix);

}  // namespace kv::events
