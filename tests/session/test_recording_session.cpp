// The recorder without a window, under a QCoreApplication: a test camera
// recorded into real files, a network camera that drops, hangs and comes
// back, and a disk that fills up and is freed, all recovered without input.

#include "capture/grabber_callback.h"
#include "media/device_catalogue.h"
#include "media/uri_camera.h"
#include "record/journal.h"
#include "record/record_graph.h"
#include "session/daily_window.h"
#include "session/recording_session.h"
#include "tests/support/avi_probe.h"
#include "tests/support/http_camera.h"
#include "tests/support/test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>

using namespace kv;
using session::RecordingSession;

namespace {

class RecordingSessionTest : public ::testing::Test {
  protected:
    RecordingSessionTest() {
        folder_ = home_.documentsDir() + QStringLiteral("/rec/");
        settings_.AVIPath = folder_;
        settings_.Mode = session::StateRecord;
        settings_.RecInterval = 40;
    }
    ~RecordingSessionTest() override {
        session_.reset();
        media::clearUriCameras();
    }

    RecordingSession& start(const QString& name, const QString& uri) {
        media::setCommandLineCameras({{name, uri}});
        settings_.CaptureDeviceName = name;
        session_ = std::make_unique<RecordingSession>();
        session_->apply(settings_);
        session_->setMode(settings_.Mode);
        session_->resetRestartDelay(0);
        return *session_;
    }

    // The record timer ticking four times a second while events run.
    bool runUntil(const std::function<bool()>& done, int timeout_ms) {
        QElapsedTimer timer;
        timer.start();
        QElapsedTimer tick;
        tick.start();
        while (!done() && timer.elapsed() < timeout_ms) {
            if (tick.elapsed() >= 250) {
                session_->RecordTimerTimer();
                tick.restart();
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return done();
    }

    QStringList files() const {
        return QDir(folder_).entryList({QStringLiteral("*.avi")}, QDir::Files, QDir::Name);
    }

    test::TempHome home_;
    QString folder_;
    session::Settings settings_;
    std::unique_ptr<RecordingSession> session_;
};

TEST_F(RecordingSessionTest, RecordsATestCameraWithoutAnyWidget) {
    ASSERT_EQ(qobject_cast<QGuiApplication*>(QCoreApplication::instance()), nullptr);
    settings_.RecInterval = 200;
    RecordingSession& session = start(
        QStringLiteral("Ball"), QStringLiteral("test:ball?width=160&height=120&framerate=30"));
    QStringList status;
    QObject::connect(&session, &RecordingSession::statusText,
                     [&status](const QString& s) { status << s; });
    int handled = 0;
    QObject::connect(
        &session, &RecordingSession::frameHandled,
        [&handled](session::FrameState state, int) { handled += state == session::StateRecord; });
    // Nobody ticks it: its own record timer runs from the start-up on.
    EXPECT_FALSE(session.recordTimerActive());
    session.startUp();
    EXPECT_TRUE(session.recordTimerActive());
    ASSERT_TRUE(test::pumpUntil([&] { return session.recordedFrames() >= 10; }, 10000));
    const QString file = session.RecordFileName();
    EXPECT_TRUE(file.startsWith(folder_));  // the folder was made for it
    session.shutdown();
    EXPECT_FALSE(session.recordTimerActive());
    EXPECT_GE(handled, 10);
    EXPECT_TRUE(status.contains(QFileInfo(file).fileName() + QStringLiteral(": 10 Frames.")));
    EXPECT_EQ(status.last(), QStringLiteral("AUS"));
    const test::AviProbe probe = test::probeAvi(file);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.frames, session.recordedFrames());
    EXPECT_EQ(probe.width, 160);
    EXPECT_TRUE(test::hasIdx1(file));

    // Its journal: a line per frame, in order, keeping the RecInterval cadence.
    // One frame may come late on a loaded machine and the next one early, so
    // the cadence is judged over the whole run, not frame by frame.
    int bad = 0;
    const auto journal = record::readJournal(record::journalPath(file), &bad);
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(int(journal.size()), probe.frames);
    for (std::size_t i = 0; i < journal.size(); ++i) {
        EXPECT_EQ(journal[i].frame, qint64(i));
        EXPECT_EQ(journal[i].fate, record::JournalFate::On);
        if (i > 0) {
            EXPECT_GT(journal[i - 1].time.msecsTo(journal[i].time), 0) << i;
        }
    }
    const qint64 span = journal.front().time.msecsTo(journal.back().time);
    EXPECT_NEAR(span, 200 * qint64(journal.size() - 1), 100);
}

// With frames kept from before a movement, a recording on movement starts
// with them: a clip that is still for 3 s and then moves gives a file whose
// first 5 frames are the still picture, marked pre-record, and whose sixth
// is the first that moved. Without them it starts at the movement.
// The headless recorder builds its graphs as soon as the start-up repair is
// done; the window waits its three ticks first.
TEST_F(RecordingSessionTest, AHeadlessStartBuildsAtOnceAfterTheRepairAndTheWindowWaits) {
    media::setCommandLineCameras(
        {{QStringLiteral("Ball"), QStringLiteral("test:ball?width=160&height=120&framerate=30")}});
    settings_.CaptureDeviceName = QStringLiteral("Ball");
    for (const auto first :
         {RecordingSession::FirstBuild::AtOnce, RecordingSession::FirstBuild::AfterDelay}) {
        const bool atOnce = first == RecordingSession::FirstBuild::AtOnce;
        SCOPED_TRACE(atOnce ? "at once" : "after the delay");
        session_ = std::make_unique<RecordingSession>();
        session_->apply(settings_);
        session_->setMode(settings_.Mode);
        std::optional<bool> builtWhenRepaired;
        int ticksBeforeFile = -1;
        int ticks = 0;
        QObject::connect(session_.get(), &RecordingSession::ticked, [&] { ++ticks; });
        // Looked at once onRepaired() has run to its end.
        QObject::connect(
            session_.get(), &RecordingSession::recordingsRepaired, session_.get(),
            [&] { builtWhenRepaired = session_->captureGraphExists(); }, Qt::QueuedConnection);
        QObject::connect(session_.get(), &RecordingSession::recordGraphBuilt,
                         [&] { ticksBeforeFile = ticks; });
        session_->startUp(first);
        ASSERT_TRUE(test::pumpUntil([&] { return ticksBeforeFile >= 0; }, 15000));
        ASSERT_TRUE(builtWhenRepaired.has_value());
        EXPECT_EQ(*builtWhenRepaired, atOnce);
        // The window's file comes with its third tick at the earliest.
        if (!atOnce) {
            EXPECT_GE(ticksBeforeFile, session::RestartDelay::kAfterCreate - 1);
        }
        session_->shutdown();
        session_.reset();
    }
}

TEST_F(RecordingSessionTest, FramesBeforeAMovementOpenItsRecording) {
    QTemporaryDir clips;
    const QString clip = clips.filePath(QStringLiteral("still-then-moving.avi"));
    QProcess make;
    make.start(QStringLiteral("ffmpeg"),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("color=gray:s=160x120:r=30:d=5"), QStringLiteral("-f"),
                QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("color=white:s=20x20:r=30:d=5"), QStringLiteral("-filter_complex"),
                QStringLiteral("[0][1]overlay=x='if(lt(t,3),10,10+(t-3)*100)':y=10"),
                QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"),
                QStringLiteral("2"), clip});
    ASSERT_TRUE(make.waitForFinished(30000) && make.exitCode() == 0)
        << make.readAllStandardError().toStdString();

    settings_.Mode = session::StatePause;
    settings_.RecInterval = 100;
    settings_.Trigger = 200;
    for (const int kept : {5, 0}) {
        SCOPED_TRACE(kept);
        settings_.PreRecFrames = kept;
        RecordingSession& session = start(QStringLiteral("Clip"), QStringLiteral("file://") + clip);
        ASSERT_TRUE(runUntil([&] { return session.recordedFrames() >= kept + 3; }, 15000));
        const QString file = session.RecordFileName();
        session.shutdown();
        session_.reset();

        const auto journal = record::readJournal(record::journalPath(file));
        ASSERT_GE(int(journal.size()), kept + 3);
        for (int i = 0; i < kept; ++i) {
            EXPECT_EQ(journal[std::size_t(i)].fate, record::JournalFate::PreRecord) << i;
            EXPECT_EQ(journal[std::size_t(i)].motion, 0) << i;
        }
        EXPECT_EQ(journal[std::size_t(kept)].fate, record::JournalFate::Movement);
        for (std::size_t i = 1; i < journal.size(); ++i) {
            EXPECT_LT(journal[i - 1].time, journal[i].time) << i;  // in the order taken
        }

        // The pictures: the box where it stood in the kept frames, moved on after.
        QProcess decode;
        decode.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                      QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
                      QStringLiteral("gray"), QStringLiteral("-")});
        ASSERT_TRUE(decode.waitForFinished(30000));
        const QByteArray frames = decode.readAllStandardOutput();
        ASSERT_GE(frames.size(), (kept + 1) * 160 * 120);
        // The box covers x 10 to 29 while still; moving, at least one camera
        // frame's step (3 pixels) to the right.
        const auto pixel = [&](int frame, int x, int y) {
            return int(std::uint8_t(frames[(frame * 120 + y) * 160 + x]));
        };
        for (int i = 0; i < kept; ++i) {
            EXPECT_GT(pixel(i, 12, 20), 220) << "frame " << i;  // inside the box
            EXPECT_LT(pixel(i, 32, 20), 160) << "frame " << i;  // beside it
        }
        EXPECT_GT(pixel(kept, 31, 20), 200) << "the first frame that moved";
    }
}

// The detector the settings name measures the frames: a camera that shows
// only sensor noise keeps the classic one triggering, the robust one never.
TEST_F(RecordingSessionTest, TheChosenDetectorMeasuresTheFrames) {
    settings_.Mode = session::StatePause;
    settings_.RecInterval = 100;
    for (const auto detector : {capture::Detector::Classic, capture::Detector::Robust}) {
        SCOPED_TRACE(int(detector));
        settings_.Detector = int(detector);
        RecordingSession& session =
            start(QStringLiteral("Snow"), QStringLiteral("test:snow?width=320&height=240"));
        int measured = 0;
        int triggered = 0;
        QObject::connect(&session, &RecordingSession::frameHandled,
                         [&](session::FrameState, int motion) {
                             ++measured;
                             triggered += motion > settings_.Trigger ? 1 : 0;
                         });
        ASSERT_TRUE(runUntil([&] { return measured >= 20; }, 15000));
        if (detector == capture::Detector::Classic) {
            EXPECT_GE(triggered, 15);
        } else {
            EXPECT_EQ(triggered, 0);
        }
        session_.reset();
    }
}

// A network camera that closes its connection (a reboot), hangs, and comes
// back: each loss is seen within 6 s, recording resumes by itself within
// 10 s of the return, and every file is finished.
TEST_F(RecordingSessionTest, ANetworkCameraThatDropsOrHangsIsFollowedBackWithoutInput) {
    test::HttpCamera camera(QSize(160, 120), 10);
    ASSERT_TRUE(camera.isListening());
    settings_.RecInterval = 200;
    RecordingSession& session = start(QStringLiteral("Door"), camera.url());
    QStringList losses;
    int backs = 0;
    QObject::connect(&session, &RecordingSession::cameraLostChanged,
                     [&](bool lost, const QString& reason) {
                         if (lost) {
                             losses << reason;
                         } else {
                             ++backs;
                         }
                     });
    QString status;
    QObject::connect(&session, &RecordingSession::statusText,
                     [&status](const QString& s) { status = s; });
    ASSERT_TRUE(runUntil([&] { return session.recordedFrames() >= 3; }, 10000));

    // The camera reboots: it closes the stream and refuses for a while.
    camera.closeConnections();
    camera.setMode(test::HttpCamera::Mode::Refuse);
    ASSERT_TRUE(runUntil([&] { return session.cameraLost(); }, 6000));
    EXPECT_FALSE(session.recordGraphExists());
    EXPECT_TRUE(status.startsWith(QStringLiteral("Camera lost: "))) << status.toStdString();
    runUntil([] { return false; }, 1500);  // refused retries change nothing
    EXPECT_EQ(losses.size(), 1);
    EXPECT_EQ(backs, 0);

    camera.setMode(test::HttpCamera::Mode::Serve);
    ASSERT_TRUE(
        runUntil([&] { return !session.cameraLost() && session.recordedFrames() >= 2; }, 10000));
    EXPECT_EQ(backs, 1);

    // The camera hangs: no error, no end, just no more pictures.
    camera.setMode(test::HttpCamera::Mode::Hang);
    ASSERT_TRUE(runUntil([&] { return session.cameraLost(); }, 6500));
    EXPECT_TRUE(losses.last().startsWith(QStringLiteral("no picture")))
        << losses.last().toStdString();

    camera.setMode(test::HttpCamera::Mode::Serve);
    ASSERT_TRUE(
        runUntil([&] { return !session.cameraLost() && session.recordedFrames() >= 2; }, 10000));
    session.shutdown();
    const QStringList names = files();
    EXPECT_GE(names.size(), 3);
    for (const QString& name : names) {
        EXPECT_TRUE(test::hasIdx1(folder_ + name)) << name.toStdString();
    }
}

// A full file is followed by the next at once while the camera runs on: the
// journals show no gap across a file change beyond the interval, for a test
// camera and for a network camera that a rebuild would have reconnected.
TEST_F(RecordingSessionTest, FilesChangeWithoutLosingAFrame) {
    test::HttpCamera network(QSize(160, 120), 10);
    ASSERT_TRUE(network.isListening());
    const std::pair<QString, QString> cameras[] = {
        {QStringLiteral("Ball"), QStringLiteral("test:ball?width=160&height=120&framerate=30")},
        {QStringLiteral("Door"), network.url()}};
    for (const auto& [name, uri] : cameras) {
        SCOPED_TRACE(name.toStdString());
        for (const QString& file : QDir(folder_).entryList(QDir::Files)) {
            QFile::remove(folder_ + file);
        }
        settings_.RecInterval = 200;
        settings_.MaxRecordSamples = 5;
        RecordingSession& session = start(name, uri);
        int cameraStarts = 0;
        QObject::connect(&session, &RecordingSession::captureFormatReady,
                         [&cameraStarts] { ++cameraStarts; });
        ASSERT_TRUE(runUntil([&] { return files().size() >= 4; }, 30000)) << files().size();
        EXPECT_EQ(cameraStarts, 1);  // the camera was never restarted for a file
        session.shutdown();
        const QStringList names = files();
        QDateTime last;
        for (int i = 0; i < names.size(); ++i) {
            const QString file = folder_ + names[i];
            const auto journal = record::readJournal(record::journalPath(file));
            ASSERT_FALSE(journal.empty()) << names[i].toStdString();
            EXPECT_EQ(test::probeAvi(file).frames, int(journal.size()));
            if (i + 1 < names.size()) {
                // The limit's frame and no more: the next frame opens the next file.
                EXPECT_EQ(int(journal.size()), settings_.MaxRecordSamples + 1);
            }
            if (last.isValid()) {
                const qint64 gap = last.msecsTo(journal.front().time);
                EXPECT_GT(gap, 0);
                EXPECT_LT(gap, 2 * settings_.RecInterval) << "before " << names[i].toStdString();
            }
            last = journal.back().time;
        }
        session_.reset();
    }
}

// Without any camera nothing pretends to record: no file, no recording graph,
// "No camera" told once however often it is retried; the camera the settings
// name is kept, a camera that appears is used, and the named one replaces
// that stand-in as soon as it is listed.
TEST_F(RecordingSessionTest, NoCameraIsAStateOfItsOwnUntilOneAppears) {
    QStringList present;
    media::clearUriCameras();
    media::ListDeviceNames(media::DeviceCategory::CLSID_VideoInputDeviceCategory, present);
    if (!present.isEmpty()) {
        GTEST_SKIP() << "this machine has a camera";
    }
    settings_.CaptureDeviceName = QStringLiteral("Door");
    session_ = std::make_unique<RecordingSession>();
    RecordingSession& session = *session_;
    session.apply(settings_);
    session.setMode(settings_.Mode);
    session.resetRestartDelay(0);
    int told = 0;
    QObject::connect(&session, &RecordingSession::buildProblem,
                     [&told](session::BuildProblem problem, int) {
                         told += problem == session::BuildProblem::NoCaptureDevice;
                     });
    QString status;
    QObject::connect(&session, &RecordingSession::statusText,
                     [&status](const QString& s) { status = s; });
    runUntil([] { return false; }, 3500);  // tried at 0, 1 and 3 s
    EXPECT_TRUE(session.noCamera());
    EXPECT_EQ(session.stateText(), QStringLiteral("No camera"));
    EXPECT_EQ(status, QStringLiteral("No camera"));
    EXPECT_FALSE(session.recordGraphExists());
    EXPECT_TRUE(session.RecordFileName().isEmpty());
    EXPECT_TRUE(files().isEmpty());
    EXPECT_EQ(told, 1);

    // Another camera is plugged in: it stands in, and the setting is kept.
    media::setCommandLineCameras(
        {{QStringLiteral("Hall"), QStringLiteral("test:ball?width=160&height=120")}});
    ASSERT_TRUE(runUntil([&] { return session.recordedFrames() >= 3; }, 10000));
    EXPECT_FALSE(session.noCamera());
    EXPECT_TRUE(session.standInCamera());
    EXPECT_EQ(session.settings().CaptureDeviceName, QStringLiteral("Door"));
    EXPECT_EQ(session.displayFormat().biWidth, 160);

    // The named camera is listed again (as a reload of the settings finds it).
    media::setCommandLineCameras(
        {{QStringLiteral("Hall"), QStringLiteral("test:ball?width=160&height=120")},
         {QStringLiteral("Door"), QStringLiteral("test:smpte75?width=320&height=240")}});
    session.apply(settings_);
    ASSERT_TRUE(runUntil(
        [&] { return session.displayFormat().biWidth == 320 && session.recordedFrames() >= 2; },
        10000));
    EXPECT_FALSE(session.standInCamera());
    EXPECT_EQ(told, 1);
    session_.reset();  // before what its signals reach
}

// A daily window that starts when it stops records nothing, and says so.
TEST_F(RecordingSessionTest, AnEmptyRecordingWindowIsTold) {
    settings_.RecUseTimer = true;
    settings_.RecStartTime = settings_.RecStopTime = 0.5;
    QString status;
    RecordingSession session;
    QObject::connect(&session, &RecordingSession::statusText,
                     [&status](const QString& s) { status = s; });
    session.apply(settings_);
    EXPECT_EQ(status, QStringLiteral("Recording window is empty"));
    EXPECT_EQ(session.stateText(), status);
    settings_.RecStopTime = 0.75;
    session.apply(settings_);
    EXPECT_NE(session.stateText(), QStringLiteral("Recording window is empty"));
    // A window anchored to the sun without a place can never record either.
    settings_.RecStartAt = int(session::WindowAnchor::Sunrise);
    session.apply(settings_);
    EXPECT_EQ(session.stateText(), QStringLiteral("Recording window is empty"));
    settings_.Latitude = QStringLiteral("52.52");
    settings_.Longitude = QStringLiteral("13.405");
    session.apply(settings_);
    EXPECT_NE(session.stateText(), QStringLiteral("Recording window is empty"));
}

// Real ticks, but the date and time of a chosen day in Berlin that run on
// from where the test puts them.
class BerlinClock : public media::Clock {
  public:
    std::uint32_t tickCount() const override { return media::systemClock().tickCount(); }
    QDateTime now() const override { return base_.addMSecs(since_.elapsed()); }
    void jumpTo(const QDateTime& at) {
        base_ = at;
        since_.restart();
    }

  private:
    QDateTime base_;
    QElapsedTimer since_;
};

// A window from sunrise to sunset on a still scene waiting for movement: the
// recording starts once the sun is up and stops once it has set, and in
// between the heartbeat records one quiet frame per IdleInterval.
TEST_F(RecordingSessionTest, TheWindowFollowsTheSunAndAStillDayKeepsAHeartbeat) {
    const QTimeZone berlin("Europe/Berlin");
    ASSERT_TRUE(berlin.isValid());
    settings_.RecUseTimer = true;
    settings_.RecStartAt = int(session::WindowAnchor::Sunrise);
    settings_.RecStopAt = int(session::WindowAnchor::Sunset);
    settings_.Latitude = QStringLiteral("52.52");
    settings_.Longitude = QStringLiteral("13.405");
    settings_.Mode = session::StatePause;
    settings_.RecInterval = 200;
    settings_.IdleInterval = 1;
    const QDate day(2026, 6, 21);
    const session::DailyWindow window =
        session::dailyWindow(session::windowSettings(settings_), day, berlin);
    ASSERT_EQ(window.state, session::WindowState::Normal);
    const QDateTime sunrise(day, QTime(0, 0).addSecs(int(std::lround(window.start * 86400))),
                            berlin);
    const QDateTime sunset(day, QTime(0, 0).addSecs(int(std::lround(window.stop * 86400))), berlin);
    EXPECT_EQ(sunrise.toString(QStringLiteral("HH:mm")), QStringLiteral("04:43"));
    EXPECT_EQ(sunset.toString(QStringLiteral("HH:mm")), QStringLiteral("21:33"));

    BerlinClock clock;
    clock.jumpTo(sunrise.addSecs(-3));
    media::setCommandLineCameras({{QStringLiteral("Still"), QStringLiteral("test:smpte75")}});
    settings_.CaptureDeviceName = QStringLiteral("Still");
    session_ = std::make_unique<RecordingSession>(clock);
    RecordingSession& session = *session_;
    session.apply(settings_);
    session.setMode(settings_.Mode);
    session.resetRestartDelay(0);
    int movements = 0;
    QObject::connect(&session, &RecordingSession::movementStarted, [&movements] { ++movements; });

    EXPECT_FALSE(runUntil([&] { return session.recordGraphExists(); }, 2000));
    EXPECT_TRUE(
        session.stateText().startsWith(QStringLiteral("Outside the recording window until 04:43")))
        << session.stateText().toStdString();
    ASSERT_TRUE(runUntil([&] { return session.recordedFrames() >= 3; }, 10000));
    EXPECT_GE(clock.now(), sunrise);
    const QString file = session.RecordFileName();

    clock.jumpTo(sunset.addSecs(-1));
    ASSERT_TRUE(runUntil([&] { return !session.recordGraphExists(); }, 6000));
    EXPECT_GT(clock.now(), sunset);
    EXPECT_EQ(movements, 0);  // quiet frames tell nobody
    session.shutdown();

    int bad = 0;
    const auto journal = record::readJournal(record::journalPath(file), &bad);
    EXPECT_EQ(bad, 0);
    ASSERT_GE(journal.size(), 3u);
    for (std::size_t i = 0; i < journal.size(); ++i) {
        EXPECT_EQ(journal[i].fate, record::JournalFate::Heartbeat) << i;
        if (i > 0 && journal[i].time.date() == journal[i - 1].time.date() &&
            journal[i].time.time().hour() == journal[i - 1].time.time().hour()) {
            // Never more often than the interval (the frames come on a 200 ms grid).
            EXPECT_GE(journal[i - 1].time.msecsTo(journal[i].time), 950) << i;
        }
    }
    EXPECT_EQ(test::probeAvi(file).frames, int(journal.size()));
}

class RecordingSessionFullDisk : public RecordingSessionTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(folder_));
        mountPoint_ = QFile::encodeName(folder_);
        if (::mount("tmpfs", mountPoint_.constData(), "tmpfs", 0, "size=1m") != 0) {
            GTEST_SKIP() << "cannot mount a small file system: " << std::strerror(errno);
        }
        mounted_ = true;
    }
    void TearDown() override {
        session_.reset();
        if (mounted_) {
            ::umount2(mountPoint_.constData(), MNT_DETACH);
        }
    }
    QByteArray mountPoint_;
    bool mounted_ = false;
};

// The disk fills: the recording stops without a box, and resumes by itself
// once space is freed; the file that hit the error stays playable.
TEST_F(RecordingSessionFullDisk, ResumesByItselfWhenSpaceReturns) {
    RecordingSession& session =
        start(QStringLiteral("Bars"), QStringLiteral("test:smpte75?width=320&height=240"));
    int failures = 0;
    int recoveries = 0;
    QObject::connect(
        &session, &RecordingSession::writeFailedChanged,
        [&](bool failed, const QString&, const QString&) { failed ? ++failures : ++recoveries; });
    ASSERT_TRUE(runUntil([&] { return session.writeFailed(); }, 20000));
    const QString full = session.RecordFileName();
    runUntil([] { return false; }, 2500);  // retries on a full disk stay quiet
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(recoveries, 0);

    // Space comes back: the user moved the full file away, and records
    // slowly enough not to fill it again at once.
    settings_.RecInterval = 500;
    session.apply(settings_);
    QTemporaryDir keep;
    ASSERT_TRUE(keep.isValid());
    const QString kept = keep.filePath(QStringLiteral("full.avi"));
    ASSERT_TRUE(runUntil([&] { return session.recordingsFinishing() == 0; }, 11000));
    ASSERT_TRUE(QFile::copy(full, kept));
    for (const QString& name : files()) {
        QFile::remove(folder_ + name);
    }

    ASSERT_TRUE(runUntil([&] { return !session.writeFailed(); }, 35000));
    EXPECT_EQ(recoveries, 1);
    EXPECT_GT(session.recordedFrames(), 0);
    const test::AviProbe probe = test::probeAvi(kept);
    ASSERT_TRUE(probe.ok);
    EXPECT_GT(probe.frames, 0);
}

}  // namespace
