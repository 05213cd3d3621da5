// The headless recorder's web page, through real sockets: the state, the
// live picture, a recording's frames as the file holds them, films with
// ranges, logins, path tricks, the limits, and a clean stop.

#include "tests/e2e/program_run.h"
#include "tests/web/http_get.h"

#include "film/film_maker.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace kv;

namespace {

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QJsonObject jsonOf(const test::HttpAnswer& answer) {
    return QJsonDocument::fromJson(answer.body).object();
}

// The first frames of a recording as ffmpeg copies them out, untouched.
QByteArray framesByFfmpeg(const QString& path, int count) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                  QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-c"),
                  QStringLiteral("copy"), QStringLiteral("-frames:v"), QString::number(count),
                  QStringLiteral("-f"), QStringLiteral("image2pipe"), QStringLiteral("-")});
    ffmpeg.waitForFinished(30000);
    return ffmpeg.readAllStandardOutput();
}

class WebPage : public test::RecordingHomeTest {
  protected:
    WebPage() {
        settings_.RecInterval = 100;
        settings_.Mode = 1;  // On: every frame recorded
        settings_.MaxRecordSamples = 30;
        port_ = freePort();
        settings_.WebListen = QStringLiteral("127.0.0.1:%1").arg(port_);
        settings_.WebUser = QStringLiteral("viewer");
        settings_.WebPassword = QStringLiteral("pa55-w0rd");
    }

    std::unique_ptr<test::ProgramRun> startHeadless() {
        writeSettings();
        return std::make_unique<test::ProgramRun>(
            home_,
            QStringList{QStringLiteral("--headless"), QStringLiteral("--camera"),
                        QStringLiteral("Ball=test:ball?width=320&height=240")},
            QProcessEnvironment(), test::ProgramRun::Display::None);
    }

    test::HttpAnswer get(const QByteArray& path, const QList<QByteArray>& extra = {}) {
        return test::httpGet(port_, path, QList<QByteArray>{auth_} + extra);
    }

    quint16 port_ = 0;
    QByteArray auth_ = test::basicAuth("viewer", "pa55-w0rd");
};

TEST_F(WebPage, ServesStateLiveFramesAndFilmsOnlyToItsUserAndStopsCleanly) {
    // A film, a link posing as a film, and a link posing as a recording:
    // both links lead out of the folder.
    const QString films = film::filmsFolder(folder_);
    ASSERT_TRUE(QDir().mkpath(films));
    QByteArray filmBytes;
    for (int i = 0; i < 5000; ++i) {
        filmBytes += QByteArray::number(i) + ',';
    }
    {
        QFile film(films + QStringLiteral("/2026-12-08.mp4"));
        ASSERT_TRUE(film.open(QIODevice::WriteOnly));
        film.write(filmBytes);
    }
    const QString outside = home_.path() + QStringLiteral("/secret.mp4");
    {
        QFile secret(outside);
        ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
        secret.write("secret");
    }
    ASSERT_TRUE(QFile::link(outside, films + QStringLiteral("/2026-12-07.mp4")));
    ASSERT_TRUE(QFile::link(outside, folder_ + QStringLiteral("/261201_MO01.avi")));

    auto run = startHeadless();
    ASSERT_TRUE(run->waitForLog(QStringLiteral("serving the web page at"), 30000))
        << run->log().toStdString();

    // Logins: none and a wrong one are refused; the page's user gets in.
    const test::HttpAnswer none = test::httpGet(port_, "/api/status");
    EXPECT_EQ(none.status, 401);
    EXPECT_TRUE(none.header("WWW-Authenticate").startsWith("Basic"));
    EXPECT_EQ(test::httpGet(port_, "/", {test::basicAuth("viewer", "pa55-w0rX")}).status, 401);
    EXPECT_EQ(test::httpGet(port_, "/", {test::basicAuth("other", "pa55-w0rd")}).status, 401);
    const test::HttpAnswer page = get("/");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("live.mjpg"));

    // The state: the facts of --status, the disk counted.
    QJsonObject status;
    ASSERT_TRUE(test::pumpUntil(
        [&] {
            status = jsonOf(get("/api/status"));
            return status.value(QStringLiteral("state")).toString() == QStringLiteral("Recording");
        },
        30000))
        << QJsonDocument(status).toJson().toStdString() << run->log().toStdString();
    EXPECT_EQ(status.value(QStringLiteral("recorder")).toString(), QStringLiteral("kestrelvision"));
    EXPECT_TRUE(status.value(QStringLiteral("headless")).toBool());
    EXPECT_EQ(status.value(QStringLiteral("mode")).toString(), QStringLiteral("On"));
    EXPECT_EQ(status.value(QStringLiteral("pid")).toInteger(), run->pid());
    EXPECT_TRUE(status.contains(QStringLiteral("diskUsedMB")));

    // The live picture: parts that are whole JPEGs of the camera's size.
    {
        test::HttpStream live(port_, "/live.mjpg", {auth_});
        ASSERT_EQ(live.status(), 200) << live.head().toStdString();
        EXPECT_TRUE(live.head().contains("multipart/x-mixed-replace; boundary=kvframe"));
        for (int i = 0; i < 3; ++i) {
            const QByteArray part = live.nextPart();
            const QImage picture = QImage::fromData(part, "JPEG");
            ASSERT_FALSE(picture.isNull()) << "part " << i;
            EXPECT_EQ(picture.size(), QSize(320, 240));
        }
        // At most four watch at once.
        std::vector<std::unique_ptr<test::HttpStream>> more;
        for (int i = 0; i < 3; ++i) {
            more.push_back(
                std::make_unique<test::HttpStream>(port_, "/live.mjpg", QList<QByteArray>{auth_}));
            EXPECT_EQ(more.back()->status(), 200);
        }
        EXPECT_EQ(test::HttpStream(port_, "/live.mjpg", {auth_}).status(), 503);
    }

    // A finished recording: its frames are its chunks' own bytes.
    // Three files: the link and two recordings, the first finished.
    ASSERT_TRUE(waitForFiles(3, 30000)) << run->log().toStdString();
    const QString name = files().at(1).chopped(4);  // 261201_MO01 is the link, sorted first
    ASSERT_NE(name, QStringLiteral("261201_MO01"));
    const QJsonObject info = jsonOf(get("/api/recordings/" + name.toUtf8()));
    ASSERT_GE(info.value(QStringLiteral("frames")).toInt(), 2) << run->log().toStdString();
    EXPECT_EQ(info.value(QStringLiteral("codec")).toString(), QStringLiteral("MJPG"));
    EXPECT_EQ(info.value(QStringLiteral("width")).toInt(), 320);
    EXPECT_EQ(info.value(QStringLiteral("times")).toArray().size(),
              info.value(QStringLiteral("frames")).toInt());
    const test::HttpAnswer frame0 = get("/recordings/" + name.toUtf8() + "/frames/0.jpg");
    const test::HttpAnswer frame1 = get("/recordings/" + name.toUtf8() + "/frames/1.jpg");
    ASSERT_EQ(frame0.status, 200);
    ASSERT_EQ(frame1.status, 200);
    EXPECT_EQ(frame0.header("Content-Type"), "image/jpeg");
    EXPECT_TRUE(frame0.body.startsWith("\xff\xd8"));
    EXPECT_NE(frame0.body, frame1.body);  // the ball moves
    EXPECT_EQ(frame0.body + frame1.body,
              framesByFfmpeg(folder_ + name + QStringLiteral(".avi"), 2));
    const test::HttpAnswer thumb = get("/recordings/" + name.toUtf8() + "/thumb/1.jpg");
    EXPECT_FALSE(QImage::fromData(thumb.body, "JPEG").isNull());
    const QJsonArray listed =
        jsonOf(get("/api/recordings")).value(QStringLiteral("recordings")).toArray();
    EXPECT_GE(listed.size(), 2);
    for (const QJsonValue& entry : listed) {
        EXPECT_NE(entry.toObject().value(QStringLiteral("name")).toString(),
                  QStringLiteral("261201_MO01"));
    }

    // The day of that recording: listed, with the recording and a graph per minute.
    const QString day = QDate::fromString(name.left(6), QStringLiteral("yyMMdd"))
                            .addYears(100)
                            .toString(Qt::ISODate);
    const QJsonArray days = jsonOf(get("/api/days")).value(QStringLiteral("days")).toArray();
    EXPECT_TRUE(std::any_of(days.begin(), days.end(), [&](const QJsonValue& d) {
        return d.toObject().value(QStringLiteral("day")).toString() == day;
    })) << QJsonDocument(days).toJson().toStdString();
    const QJsonObject dayInfo = jsonOf(get("/api/day/" + day.toUtf8()));
    EXPECT_EQ(dayInfo.value(QStringLiteral("activity")).toArray().size(), 1440);
    const QJsonArray dayRecordings = dayInfo.value(QStringLiteral("recordings")).toArray();
    EXPECT_TRUE(std::any_of(dayRecordings.begin(), dayRecordings.end(), [&](const QJsonValue& r) {
        return r.toObject().value(QStringLiteral("name")).toString() == name;
    }));
    EXPECT_GE(get("/api/day/2026-13-40").status, 400);

    // Films: listed, whole, and one range of bytes for a seeking <video>.
    const QJsonArray filmList = jsonOf(get("/films/")).value(QStringLiteral("films")).toArray();
    ASSERT_EQ(filmList.size(), 1);
    EXPECT_EQ(filmList[0].toObject().value(QStringLiteral("name")).toString(),
              QStringLiteral("2026-12-08.mp4"));
    EXPECT_EQ(get("/films/2026-12-08.mp4").body, filmBytes);
    const test::HttpAnswer range = get("/films/2026-12-08.mp4", {"Range: bytes=100-149"});
    EXPECT_EQ(range.status, 206);
    EXPECT_EQ(range.body, filmBytes.mid(100, 50));
    EXPECT_EQ(range.header("Content-Range"),
              "bytes 100-149/" + QByteArray::number(filmBytes.size()));

    // Tricks: nothing outside the folder, no link followed, no bad name.
    for (const QByteArray& path :
         {QByteArray("/films/2026-12-07.mp4"), QByteArray("/api/recordings/261201_MO01"),
          QByteArray("/recordings/261201_MO01/frames/0.jpg"),
          QByteArray("/films/..%2F..%2Fsecret.mp4"), QByteArray("/films/%2e%2e/secret.mp4"),
          QByteArray("/recordings/..%2Frec%2F") + name.toUtf8() + "/frames/0.jpg",
          QByteArray("/api/recordings/") + name.toUtf8() + ".avi",
          QByteArray("/recordings/") + name.toUtf8() + "/frames/999999.jpg",
          QByteArray("/recordings/") + name.toUtf8() + "/frames/-1.jpg",
          QByteArray("/films//etc/passwd"), QByteArray("/api/day/../../etc")}) {
        const test::HttpAnswer answer = get(path);
        EXPECT_TRUE(answer.status == 404 || answer.status == 400)
            << path.toStdString() << " -> " << answer.status;
        EXPECT_FALSE(answer.body.contains("secret")) << path.toStdString();
    }

    // 32 connections at most: the next is turned away; once they close, a
    // request gets in again.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 32; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, port_);
        ASSERT_TRUE(idle.back()->waitForConnected(5000));
    }
    ASSERT_TRUE(test::pumpUntil([&] { return get("/api/status").status == 503; }, 10000));
    idle.clear();
    EXPECT_TRUE(test::pumpUntil([&] { return get("/api/status").status == 200; }, 10000));

    // SIGTERM: the server stops with the recorder, and the password never shows.
    run->process().terminate();
    ASSERT_TRUE(run->waitForExit(30000)) << run->log().toStdString();
    EXPECT_EQ(run->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run->exitCode(), 0);
    EXPECT_TRUE(run->hasLogged(QStringLiteral("the web page is no longer served")));
    EXPECT_FALSE(run->log().contains(QStringLiteral("pa55-w0rd")));
    EXPECT_EQ(test::httpGet(port_, "/api/status", {auth_}, 2000).status, 0);
}

TEST_F(WebPage, IsNotServedToOtherMachinesWithoutAPassword) {
    settings_.WebListen = QStringLiteral("0.0.0.0:%1").arg(port_);
    settings_.WebPassword.clear();
    auto run = startHeadless();
    ASSERT_TRUE(run->waitForLog(QStringLiteral("the web page is not served"), 30000))
        << run->log().toStdString();
    EXPECT_TRUE(run->hasLogged(QStringLiteral("served only with a Password set")));
    EXPECT_EQ(test::httpGet(port_, "/api/status", {}, 2000).status, 0);
    run->process().terminate();
    EXPECT_TRUE(run->waitForExit(30000));
}

}  // namespace
