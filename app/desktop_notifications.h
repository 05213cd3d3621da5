#pragma once

// Tells the desktop what the recorder does while no one looks at its window,
// through the desktop's notification service on the session bus. Calls never
// wait for the service; where none runs, nothing is shown and nothing fails.

#include <QDBusConnection>
#include <QDate>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QString>
#include <QTime>

#include <array>
#include <optional>

namespace kv::app {

class DesktopNotifications : public QObject {
    Q_OBJECT
  public:
    struct Choice {
        bool movement = false;
        bool camera = true;
        bool writeError = true;
    };

    explicit DesktopNotifications(const QDBusConnection& bus, QObject* parent = nullptr);

    void setChoice(Choice choice) { choice_ = choice; }
    // The camera the movement notifications name.
    void setCameraName(const QString& name) { cameraName_ = name; }
    // How often the notification of a movement that goes on is brought up to date.
    void setUpdateInterval(int ms) { updateInterval_ms_ = ms; }

    // A frame handled while recording on movement: recorded, it starts or
    // continues a movement; not recorded, it ends one. One notification stands
    // for the whole movement and is replaced in place while it lasts; the next
    // movement replaces it in turn, so a busy scene leaves one in the list.
    void movementFrame(bool recorded, const QImage& picture);
    // camera: its name, or empty when none is known.
    void cameraLost(const QString& camera, const QString& reason);
    void cameraBack(const QString& camera);
    void writeFailed(const QString& reason);
    void writeResumed();
    // A film made: "Film of 8 Dec ready", its length and how many recordings
    // it came from. Clicking the notification opens the film.
    void filmReady(QDate day, const QString& path, double length_s, int recordings);

    // Notifications sent and not yet answered by the service.
    int pending() const;

    static constexpr int kPictureWidth = 160;

  private:
    struct Message {
        QString summary;
        QString body;
        QImage picture;
        bool urgent = false;
        bool last = false;  // the next message of its kind starts a new notification
    };
    // One notification of a kind, replaced in place until its last message.
    struct Thread {
        quint32 id = 0;
        bool waiting = false;  // for the service to tell the id
        std::optional<Message> queued;
    };
    enum Kind { Movement, Camera, Write, Film, kKinds };
    // Movements replace each other; a fault's notification, once over, stays.
    static bool replacesEnded(Kind kind) { return kind == Movement; }

    void post(Kind kind, Message message);
    void send(Kind kind, const Message& message);
    QString movementBody() const;
    static Message recovered(const QString& summary, const QString& what);
  private Q_SLOTS:
    void actionInvoked(quint32 id, const QString& action);

  private:
    QDBusConnection bus_;
    Choice choice_;
    QString cameraName_;
    int updateInterval_ms_ = 10000;
    std::array<Thread, kKinds> threads_;

    bool moving_ = false;
    QTime movementSince_;
    int movementFrames_ = 0;
    QElapsedTimer lastUpdate_;
    QString filmToOpen_;  // of the film notification shown
};

}  // namespace kv::app
