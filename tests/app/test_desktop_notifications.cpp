// Desktop notifications against a notification service of the test's own, on
// a private session bus: a movement is one notification, replaced in place
// while it lasts; a lost camera and its return are one; nothing is sent that
// the user did not choose, and a bus without the service costs nothing.

#include "app/desktop_notifications.h"
#include "capture/grabber_callback.h"
#include "media/frame.h"
#include "media/uri_camera.h"
#include "session/recording_session.h"
#include "tests/support/test_env.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QPainter>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>

using namespace kv;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

struct Notification {
    quint32 replaces = 0;
    quint32 id = 0;
    QString summary;
    QString body;
    int urgency = -1;
    QSize picture;
    bool pictureWhole = false;  // rows x bytes per row bytes arrived
    QStringList actions;
};

// Answers Notify as a desktop would: a new id, or the id it replaces.
class FakeNotificationService : public QDBusVirtualObject {
  public:
    std::vector<Notification> calls;

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QStringLiteral("Notify") || message.arguments().size() != 8) {
            return false;
        }
        const QList<QVariant> a = message.arguments();
        Notification n;
        n.replaces = a[1].toUInt();
        n.summary = a[3].toString();
        n.body = a[4].toString();
        n.actions = a[5].toStringList();
        const QVariantMap hints = qdbus_cast<QVariantMap>(a[6]);
        n.urgency = hints.value(QStringLiteral("urgency"), -1).toInt();
        if (hints.contains(QStringLiteral("image-data"))) {
            const QDBusArgument image = hints[QStringLiteral("image-data")].value<QDBusArgument>();
            int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
            bool alpha = true;
            QByteArray data;
            image.beginStructure();
            image >> width >> height >> stride >> alpha >> bits >> channels >> data;
            image.endStructure();
            n.picture = QSize(width, height);
            n.pictureWhole = !alpha && bits == 8 && channels == 3 && stride >= width * 3 &&
                             data.size() == stride * height;
        }
        n.id = n.replaces != 0 ? n.replaces : quint32(++issued_);
        calls.push_back(n);
        connection.send(message.createReply(QVariant::fromValue(n.id)));
        return true;
    }

  private:
    int issued_ = 0;
};

class DesktopNotificationsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon_.waitForReadyRead(10000)) << "dbus-daemon did not start";
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        QDBusConnection service = QDBusConnection::connectToBus(address_, QStringLiteral("svc"));
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(service.registerVirtualObject(kPath, &fake_));
        ASSERT_TRUE(service.registerService(kService));
        client_ = std::make_unique<app::DesktopNotifications>(
            QDBusConnection::connectToBus(address_, QStringLiteral("client")));
    }
    void TearDown() override {
        client_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("svc"));
        daemon_.terminate();
        daemon_.waitForFinished(5000);
        media::clearUriCameras();
    }

    static bool pumpUntil(const std::function<bool()>& done, int timeout_ms = 10000) {
        return test::pumpUntil(done, timeout_ms);
    }
    bool settled() {
        return pumpUntil([this] { return client_->pending() == 0; });
    }

    QProcess daemon_;
    QString address_;
    FakeNotificationService fake_;
    std::unique_ptr<app::DesktopNotifications> client_;
};

TEST_F(DesktopNotificationsTest, AMovementIsOneNotificationReplacedWhileItLasts) {
    test::TempHome home;
    session::Settings config;
    config.AVIPath = home.documentsDir() + QStringLiteral("/rec/");
    config.Mode = session::StatePause;
    config.RecInterval = 100;
    config.Trigger = 100;
    config.CaptureDeviceName = QStringLiteral("Ball");
    media::setCommandLineCameras(
        {{config.CaptureDeviceName, QStringLiteral("test:ball?width=320&height=240")}});
    session::RecordingSession session;
    session.apply(config);
    session.setMode(config.Mode);
    session.resetRestartDelay(0);

    client_->setChoice({true, true, true});
    client_->setCameraName(QStringLiteral("Ball"));
    client_->setUpdateInterval(300);
    QImage live(320, 240, QImage::Format_RGB32);
    QObject::connect(&session, &session::RecordingSession::liveFrame,
                     [&](const std::uint8_t* pixels, const media::BITMAPINFOHEADER& format) {
                         QPainter painter(&live);
                         media::drawFrame(painter, live.rect(), pixels, format);
                     });
    QObject::connect(&session, &session::RecordingSession::frameHandled,
                     [&](session::FrameState state, int) {
                         client_->movementFrame(state == session::StateRecord, live);
                     });
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&session] { session.RecordTimerTimer(); });
    ticks.start(250);

    // The ball never stops: one notification, then only replacements of it.
    ASSERT_TRUE(pumpUntil([&] { return fake_.calls.size() >= 4; }, 20000));
    EXPECT_EQ(fake_.calls[0].replaces, 0u);
    EXPECT_EQ(fake_.calls[0].summary, QStringLiteral("Movement"));
    EXPECT_EQ(fake_.calls[0].picture, QSize(160, 120));
    EXPECT_TRUE(fake_.calls[0].pictureWhole);
    for (std::size_t i = 1; i < fake_.calls.size(); ++i) {
        EXPECT_EQ(fake_.calls[i].replaces, fake_.calls[0].id) << i;
    }
    EXPECT_TRUE(fake_.calls.back().body.contains(QStringLiteral("frames recorded from Ball")));

    // Nothing moves any more: the same notification says the movement ended.
    session.setTrigger(30000);
    ASSERT_TRUE(
        pumpUntil([&] { return fake_.calls.back().summary == QStringLiteral("Movement ended"); }));
    EXPECT_EQ(fake_.calls.back().replaces, fake_.calls[0].id);
    // The next movement takes the place of the last one: a busy scene leaves
    // one notification in the list, not one per movement.
    const std::size_t before = fake_.calls.size();
    session.setTrigger(100);
    ASSERT_TRUE(pumpUntil([&] { return fake_.calls.size() > before; }));
    EXPECT_EQ(fake_.calls[before].summary, QStringLiteral("Movement"));
    EXPECT_EQ(fake_.calls[before].replaces, fake_.calls[0].id);
    ticks.stop();
    session.shutdown();
}

TEST_F(DesktopNotificationsTest, FaultsAndTheirEndShareOneNotificationAndOnlyChosenOnesAreSent) {
    // Told in the same breath: the return waits for the id of the loss.
    client_->cameraLost(QStringLiteral("Door"), QStringLiteral("No picture for 5 s"));
    client_->cameraBack(QStringLiteral("Door"));
    ASSERT_TRUE(settled());
    ASSERT_EQ(fake_.calls.size(), 2u);
    EXPECT_EQ(fake_.calls[0].summary, QStringLiteral("Camera lost: Door"));
    EXPECT_EQ(fake_.calls[0].body, QStringLiteral("No picture for 5 s"));
    EXPECT_EQ(fake_.calls[0].urgency, 2);
    EXPECT_EQ(fake_.calls[1].summary, QStringLiteral("Camera back: Door"));
    EXPECT_EQ(fake_.calls[1].replaces, fake_.calls[0].id);
    EXPECT_EQ(fake_.calls[1].urgency, 1);
    // The next loss is news of its own; without a name the text is as ever.
    client_->cameraLost(QString(), QStringLiteral("gone"));
    ASSERT_TRUE(settled());
    ASSERT_EQ(fake_.calls.size(), 3u);
    EXPECT_EQ(fake_.calls[2].summary, QStringLiteral("Camera lost"));
    EXPECT_EQ(fake_.calls[2].replaces, 0u);

    // The default leaves movement out; a fault the user turned off is not sent.
    client_->movementFrame(true, QImage(320, 240, QImage::Format_RGB32));
    client_->setChoice({false, true, false});
    client_->writeFailed(QStringLiteral("No space left on device"));
    ASSERT_TRUE(settled());
    EXPECT_EQ(fake_.calls.size(), 3u);

    // No service on the bus: the call fails quietly and nothing waits.
    QDBusConnection(QStringLiteral("svc")).unregisterService(kService);
    client_->cameraLost(QString(), QStringLiteral("gone"));
    ASSERT_TRUE(settled());
    EXPECT_EQ(fake_.calls.size(), 3u);
    // Nor does a disconnected bus.
    app::DesktopNotifications offline{QDBusConnection(QStringLiteral("nowhere"))};
    offline.cameraLost(QString(), QStringLiteral("gone"));
    EXPECT_EQ(offline.pending(), 0);
}

}  // namespace

namespace {

// Opens what the program hands the desktop, instead of a file manager or player.
class Opened : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> urls;
  public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

TEST_F(DesktopNotificationsTest, AFilmReadyOpensTheFilmWhenClicked) {
    Opened opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    // Sent whatever the choice of the other kinds: the daily film is the choice.
    client_->setChoice({false, false, false});
    client_->filmReady(QDate(2026, 12, 8), QStringLiteral("/films/2026-12-08.mp4"), 60.0, 212);
    ASSERT_TRUE(settled());
    ASSERT_EQ(fake_.calls.size(), 1u);
    EXPECT_EQ(fake_.calls[0].summary, QStringLiteral("Film of 8 Dec ready"));
    EXPECT_EQ(fake_.calls[0].body, QStringLiteral("1 min 0 s, from 212 recordings"));
    ASSERT_GE(fake_.calls[0].actions.size(), 2);
    EXPECT_EQ(fake_.calls[0].actions[0], QStringLiteral("default"));

    // A click on another program's notification, then on ours.
    QDBusConnection service(QStringLiteral("svc"));
    for (quint32 id : {fake_.calls[0].id + 100, fake_.calls[0].id}) {
        QDBusMessage click =
            QDBusMessage::createSignal(kPath, kService, QStringLiteral("ActionInvoked"));
        click << id << QStringLiteral("default");
        ASSERT_TRUE(service.send(click));
    }
    ASSERT_TRUE(pumpUntil([&] { return !opened.urls.isEmpty(); }));
    pumpUntil([] { return false; }, 100);
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls[0], QUrl::fromLocalFile(QStringLiteral("/films/2026-12-08.mp4")));

    // The next day's film replaces it; short films count seconds alone.
    client_->filmReady(QDate(2026, 12, 9), QStringLiteral("/films/2026-12-09.mp4"), 7.2, 1);
    ASSERT_TRUE(settled());
    ASSERT_EQ(fake_.calls.size(), 2u);
    EXPECT_EQ(fake_.calls[1].body, QStringLiteral("7 s, from 1 recording"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

}  // namespace

#include "test_desktop_notifications.moc"
