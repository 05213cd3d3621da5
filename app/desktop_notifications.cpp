#include "app/desktop_notifications.h"

#include "app/daily_film_status.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QLocale>
#include <QLoggingCategory>
#include <QUrl>
#include <QVariantMap>

Q_LOGGING_CATEGORY(lcNotify, "kv.app.notify", QtInfoMsg)

namespace {

// The picture of a notification as the service takes it: width, height, bytes
// per row, alpha, bits per sample, samples per pixel and the pixels.
struct NotificationPicture {
    QImage image;  // RGB888
};

}  // namespace

Q_DECLARE_METATYPE(NotificationPicture)

namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const NotificationPicture& picture) {
    const QImage& image = picture.image;
    argument.beginStructure();
    argument << image.width() << image.height() << int(image.bytesPerLine()) << false << 8 << 3
             << QByteArray(reinterpret_cast<const char*>(image.constBits()),
                           int(image.sizeInBytes()));
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, NotificationPicture&) {
    // Only ever sent.
    return argument;
}

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kProduct = QStringLiteral("Kestrelvision");

QString clock(QTime time) {
    return time.toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

namespace kv::app {

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {
    qDBusRegisterMetaType<NotificationPicture>();
    // Clicks on our notifications; the service sends them to every listener.
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(quint32, QString)));
}

void DesktopNotifications::filmReady(QDate day, const QString& path, double length_s,
                                     int recordings) {
    const qint64 seconds = qRound64(length_s);
    const QString length = seconds < 60 ? tr("%1 s").arg(seconds)
                                        : tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    const QString from =
        recordings == 1 ? tr("from 1 recording") : tr("from %1 recordings").arg(recordings);
    filmToOpen_ = path;
    post(Film, {tr("Film of %1 ready").arg(filmDayText(day)), tr("%1, %2").arg(length, from), {}});
}

void DesktopNotifications::actionInvoked(quint32 id, const QString& action) {
    if (id != 0 && id == threads_[Film].id && action == QStringLiteral("default") &&
        !filmToOpen_.isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(filmToOpen_));
    }
}

void DesktopNotifications::movementFrame(bool recorded, const QImage& picture) {
    if (!recorded) {
        if (moving_) {
            moving_ = false;
            post(Movement,
                 {tr("Movement ended"),
                  tr("%1 to %2: %3")
                      .arg(clock(movementSince_), clock(QTime::currentTime()), movementBody()),
                  {},
                  false,
                  true});
        }
        return;
    }
    ++movementFrames_;
    if (!moving_) {
        moving_ = true;
        movementSince_ = QTime::currentTime();
        movementFrames_ = 1;
    } else if (lastUpdate_.isValid() && lastUpdate_.elapsed() < updateInterval_ms_) {
        return;
    }
    lastUpdate_.start();
    post(Movement,
         {tr("Movement"), tr("Since %1: %2").arg(clock(movementSince_), movementBody()), picture});
}

QString DesktopNotifications::movementBody() const {
    const QString frames = movementFrames_ == 1 ? tr("1 frame recorded")
                                                : tr("%1 frames recorded").arg(movementFrames_);
    return cameraName_.isEmpty() ? frames : tr("%1 from %2").arg(frames, cameraName_);
}

void DesktopNotifications::cameraLost(const QString& camera, const QString& reason) {
    post(Camera, {camera.isEmpty() ? tr("Camera lost")
                                   : tr("Camera lost: %1", "the camera's name").arg(camera),
                  reason,
                  {},
                  true});
}

void DesktopNotifications::cameraBack(const QString& camera) {
    post(Camera,
         recovered(camera.isEmpty() ? tr("Camera back")
                                    : tr("Camera back: %1", "the camera's name").arg(camera),
                   tr("Pictures flow again")));
}

void DesktopNotifications::writeFailed(const QString& reason) {
    post(Write, {tr("Recording stopped"), reason, {}, true});
}

void DesktopNotifications::writeResumed() {
    post(Write, recovered(tr("Recording resumed"), tr("Writing again")));
}

// The last message of a fault's notification: it is over since now.
DesktopNotifications::Message DesktopNotifications::recovered(const QString& summary,
                                                              const QString& what) {
    return {summary, tr("%1 since %2.").arg(what, clock(QTime::currentTime())), {}, false, true};
}

int DesktopNotifications::pending() const {
    int n = 0;
    for (const Thread& thread : threads_) {
        n += thread.waiting;
    }
    return n;
}

void DesktopNotifications::post(Kind kind, Message message) {
    const bool wanted = kind == Movement ? choice_.movement
                        : kind == Camera ? choice_.camera
                        : kind == Write  ? choice_.writeError
                                         : true;
    Thread& thread = threads_[kind];
    if (!wanted || !bus_.isConnected()) {
        thread = Thread{};
        return;
    }
    if (thread.waiting) {
        // Sent once the service has told the id to replace; a newer message
        // replaces an older one still waiting, unless that one ends its notification.
        if (!thread.queued || !thread.queued->last || message.last) {
            thread.queued = std::move(message);
        }
        return;
    }
    if (message.last && thread.id == 0) {
        return;  // nothing on the desktop to finish
    }
    send(kind, message);
}

void DesktopNotifications::send(Kind kind, const Message& message) {
    Thread& thread = threads_[kind];
    QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("org.brannowerks.Kestrelvision")},
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(message.urgent ? 2 : 1))}};
    if (!message.picture.isNull()) {
        hints.insert(QStringLiteral("image-data"),
                     QVariant::fromValue(NotificationPicture{
                         message.picture.scaledToWidth(kPictureWidth, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB888)}));
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QStringList actions;
    if (kind == Film) {
        // "default" is the click on the notification itself.
        actions << QStringLiteral("default") << tr("Open");
    }
    call << kProduct << thread.id << QStringLiteral("kestrelvision") << message.summary
         << message.body << actions << hints << int(-1);
    thread.waiting = true;
    const bool last = message.last;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, kind, last](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                Thread& t = threads_[kind];
                const QDBusPendingReply<quint32> reply = *w;
                if (reply.isError()) {
                    qCInfo(lcNotify).noquote() << "no notification:" << reply.error().message();
                } else if (!last || replacesEnded(kind)) {
                    t.id = reply.value();
                }
                if (last && !replacesEnded(kind)) {
                    t.id = 0;
                }
                t.waiting = false;
                if (std::optional<Message> next = std::exchange(t.queued, std::nullopt)) {
                    post(kind, std::move(*next));
                }
            });
}

}  // namespace kv::app
