// What reaches the recorder from its own machine: a settings file edited by
// hand, clients of the instance socket that flood it, trickle or stay silent,
// a start without a runtime folder, strange instance suffixes, and a plot
// name that is a link. None of them stops recording, hangs a start or writes
// where the user did not ask.

#include "tests/e2e/program_run.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

using namespace kv;
using namespace Qt::StringLiterals;

namespace {

const QStringList kCamera{u"--camera"_s, u"Ball=test:ball?width=160&height=120&framerate=30"_s};

struct Answer {
    int exitCode;
    QString out;
    QString err;
};

// A start of the program to its end, in the home, without a display;
// withoutRuntime: as if XDG_RUNTIME_DIR were not set.
Answer runOnce(const test::TempHome& home, const QStringList& arguments,
               bool withoutRuntime = false) {
    QProcessEnvironment env = home.environment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QString::fromLatin1(name));
    }
    if (withoutRuntime) {
        env.remove(u"XDG_RUNTIME_DIR"_s);
    }
    env.insert(u"ASAN_OPTIONS"_s, u"detect_leaks=0"_s);
    const test::ProgramAnswer answer = test::runToEnd(arguments, env);
    return {answer.exitCode, QString::fromUtf8(answer.out), QString::fromUtf8(answer.err)};
}

bool terminate(test::ProgramRun& run) {
    ::kill(pid_t(run.pid()), SIGTERM);
    return run.waitForExit(20000) && run.exitCode() == 0;
}

void replaceInFile(const QString& path, const QByteArray& from, const QByteArray& to) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll();
    ASSERT_TRUE(text.contains(from)) << text.toStdString();
    text.replace(from, to);
    file.resize(0);
    file.seek(0);
    file.write(text);
}

// A non-blocking client of a local socket; -1 when it could not connect.
int connectTo(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(),
                std::min<std::size_t>(std::size_t(name.size()), sizeof(address.sun_path) - 1));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether the peer closes the connection within the time (reading what comes).
bool peerCloses(int fd, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    char buffer[256];
    while (::poll(&p, 1, timeout_ms) > 0) {
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN)) {
            return true;
        }
    }
    return false;
}

class LocalInput : public test::RecordingHomeTest {
  protected:
    LocalInput() {
        settings_.RecInterval = 40;
        settings_.Mode = 1;
        settings_.MaxRecordSamples = 30;
    }
    QString settingsFile() const { return app::SettingsStore().filePath(); }
    std::unique_ptr<test::ProgramRun> startHeadless(const QProcessEnvironment& env = {}) {
        return std::make_unique<test::ProgramRun>(home_, QStringList{u"--headless"_s} + kCamera,
                                                  env, test::ProgramRun::Display::None);
    }
};

// A value typed wrongly by hand takes its default alone: the recorder records
// into the user's folder with the user's mode. A hang-up after another typo
// keeps the running settings; one after the mend takes the new ones. The
// recorder never writes the file.
TEST_F(LocalInput, AnUnreadableSettingIsNamedAndAHangUpWithATypoChangesNothing) {
    settings_.MaxRecordSamples = 20000;
    writeSettings();
    replaceInFile(settingsFile(), "\nPostRecFrames=0\n", "\nPostRecFrames=abc\n");
    auto run = startHeadless();
    ASSERT_TRUE(run->waitForLog(u"<6>recording into "_s + folder_, 20000))
        << run->log().toStdString();
    EXPECT_TRUE(run->hasLogged(u"\"PostRecFrames\" holds \"abc\""_s)) << run->log().toStdString();

    replaceInFile(settingsFile(), "\nRecInterval=40\n", "\nRecInterval=300ms\n");
    replaceInFile(settingsFile(), "\nMode=1\n", "\nMode=0\n");
    ::kill(pid_t(run->pid()), SIGHUP);
    ASSERT_TRUE(run->waitForLog(u"<4>settings not reloaded"_s, 10000)) << run->log().toStdString();
    EXPECT_TRUE(run->hasLogged(u"\"RecInterval\" holds \"300ms\""_s));
    EXPECT_FALSE(run->hasLogged(u"settings reloaded"_s));
    const Answer status = runOnce(home_, {u"--status"_s});
    EXPECT_TRUE(status.out.contains(u"Mode:           On\n"_s)) << status.out.toStdString();
    EXPECT_TRUE(status.out.contains(u" in "_s + folder_)) << status.out.toStdString();
    // The settings name no camera: the one found is named.
    EXPECT_TRUE(status.out.contains(u"Camera:         Ball (the first camera found)\n"_s))
        << status.out.toStdString();

    replaceInFile(settingsFile(), "\nRecInterval=300ms\n", "\nRecInterval=100\n");
    replaceInFile(settingsFile(), "\nPostRecFrames=abc\n", "\nPostRecFrames=2\n");
    ::kill(pid_t(run->pid()), SIGHUP);
    ASSERT_TRUE(run->waitForLog(u"<6>settings reloaded"_s, 10000)) << run->log().toStdString();
    EXPECT_TRUE(run->hasLogged(u"RecInterval 100 ms, mode 0"_s)) << run->log().toStdString();
    ASSERT_TRUE(terminate(*run)) << run->log().toStdString();
    EXPECT_EQ(QSettings(settingsFile(), QSettings::IniFormat).value(u"RecInterval"_s),
              QVariant(u"100"_s));
}

// At a limit of 128 descriptors, 150 silent clients and one that sends a
// megabyte without a newline: the recorder keeps recording, answers --status,
// keeps its socket (and makes it again when it is removed), and closes the
// silent ones by itself.
TEST_F(LocalInput, FloodingClientsNeitherStopTheRecorderNorTakeItsSocket) {
    writeSettings();
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 128;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    auto run = startHeadless();  // inherits the limit
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_TRUE(run->waitForLog(u"<6>recording into"_s, 20000)) << run->log().toStdString();
    const QString socket =
        home_.runtimeDir() + u"/kestrelvision/"_s + QString::number(run->pid()) + u".sock"_s;
    ASSERT_TRUE(QFileInfo::exists(socket));

    // In waves: the listen backlog takes about 50 before the recorder accepts.
    std::vector<int> silent;
    for (int tries = 0; silent.size() < 150 && tries < 2000; ++tries) {
        const int fd = connectTo(socket);
        if (fd >= 0) {
            silent.push_back(fd);
        } else {
            ::usleep(5 * 1000);
        }
    }
    EXPECT_GE(silent.size(), 20u);  // more than it serves at once
    // The backlog is full of silent ones at first: the recorder drains it.
    int talker = -1;
    for (int i = 0; i < 200 && talker < 0; ++i) {
        talker = connectTo(socket);
        ::usleep(talker < 0 ? 50 * 1000 : 0);
    }
    ASSERT_GE(talker, 0);
    const QByteArray chunk(64 * 1024, 'x');
    qint64 sent = 0;
    bool refused = false;
    pollfd p{talker, POLLOUT, 0};
    while (sent < 1024 * 1024 && !refused) {
        if (::poll(&p, 1, 10000) <= 0) {
            break;  // the recorder stopped reading and kept the connection
        }
        const ssize_t n =
            ::send(talker, chunk.constData(), std::size_t(chunk.size()), MSG_NOSIGNAL);
        refused = n < 0 && errno != EAGAIN;
        sent += std::max<ssize_t>(n, 0);
    }
    EXPECT_TRUE(refused) << sent << " bytes were taken";
    ::close(talker);
    ASSERT_FALSE(silent.empty());
    EXPECT_TRUE(peerCloses(silent.front(), 15000));
    EXPECT_TRUE(peerCloses(silent.back(), 15000));

    const int before = int(files().size());
    const Answer status = runOnce(home_, {u"--status"_s});
    EXPECT_EQ(status.exitCode, 0) << status.err.toStdString();
    EXPECT_TRUE(status.out.contains(u"State:          Recording\n"_s)) << status.out.toStdString();
    EXPECT_TRUE(QFileInfo::exists(socket));
    EXPECT_TRUE(waitForFiles(before + 1, 20000)) << run->log().toStdString();
    for (const int fd : silent) {
        ::close(fd);
    }

    // A socket file removed from outside comes back.
    ASSERT_TRUE(QFile::remove(socket));
    EXPECT_TRUE(run->waitForLog(u"listening again on"_s, 15000)) << run->log().toStdString();
    EXPECT_TRUE(QFileInfo::exists(socket));
    EXPECT_EQ(runOnce(home_, {u"--status"_s}).exitCode, 0);
    ASSERT_TRUE(terminate(*run)) << run->log().toStdString();
}

// A peer on the instance socket that trickles a byte at a time and never ends
// its line: --status gives up on it and says that no recorder runs.
TEST(StatusClient, APeerThatTricklesBytesCannotHoldIt) {
    test::TempHome home;
    const QString folder = home.runtimeDir() + u"/kestrelvision"_s;
    ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
    // Named after this process, which runs: never removed as stale.
    const QString path = folder + u"/"_s + QString::number(::getpid()) + u".sock"_s;
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(server, 8), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> served{0};
    std::thread trickler([&] {
        while (!stop) {
            pollfd p{server, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) {
                continue;
            }
            const int client = ::accept(server, nullptr, nullptr);
            ++served;
            while (!stop && ::send(client, "S", 1, MSG_NOSIGNAL) == 1) {
                ::usleep(50 * 1000);
            }
            ::close(client);
        }
    });

    const Answer status = runOnce(home, {u"--status"_s});
    stop = true;
    trickler.join();
    ::close(server);
    EXPECT_GE(served.load(), 1);
    EXPECT_EQ(status.exitCode, 3) << status.err.toStdString();
    EXPECT_TRUE(status.err.contains(u"no recorder of the first instance runs"_s));
    EXPECT_TRUE(QFileInfo::exists(path));  // a live peer's socket is not removed
}

// Without XDG_RUNTIME_DIR the lock and the socket live in the user's cache
// folder, 0700, whatever another user made in /tmp; a folder there that is not
// the user's stops the start, and so does a suffix that cannot name a file.
TEST_F(LocalInput, WithoutARuntimeFolderTheLockLivesInTheUsersCache) {
    writeSettings();
    const bool root = ::geteuid() == 0;
    const QString planted = u"/tmp/kestrelvision-%1"_s.arg(::geteuid());
    bool plantedHere = false;
    if (root && !QFileInfo::exists(planted)) {
        // Another user's, open to all: the old fallback took it or gave up the lock.
        plantedHere = ::mkdir(QFile::encodeName(planted).constData(), 0777) == 0 &&
                      ::chown(QFile::encodeName(planted).constData(), 65534, 65534) == 0;
    }
    QProcessEnvironment noRuntime;
    noRuntime.insert(u"XDG_RUNTIME_DIR"_s, QString());
    auto first = startHeadless(noRuntime);
    ASSERT_TRUE(first->waitForLog(u"<6>recording into"_s, 20000)) << first->log().toStdString();
    const QString cache = home_.path() + u"/.cache/kestrelvision"_s;
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(cache).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(QFileInfo::exists(cache + u"/headless.lock"_s));
    EXPECT_TRUE(QFileInfo::exists(cache + u"/"_s + QString::number(first->pid()) + u".sock"_s));

    const Answer twice = runOnce(home_, QStringList{u"--headless"_s} + kCamera, true);
    EXPECT_EQ(twice.exitCode, 4) << twice.err.toStdString();
    EXPECT_TRUE(twice.err.contains(u"runs already; this start ends"_s));
    const Answer status = runOnce(home_, {u"--status"_s}, true);
    EXPECT_EQ(status.exitCode, 0) << status.err.toStdString();
    EXPECT_TRUE(status.out.contains(u"headless, process %1"_s.arg(first->pid())));
    ASSERT_TRUE(terminate(*first)) << first->log().toStdString();
    if (plantedHere) {
        ::rmdir(QFile::encodeName(planted).constData());
    }

    for (const QString& suffix : {u"/I/"_s, u"/I."_s, u"/I\x01"_s}) {
        SCOPED_TRACE(suffix.toStdString());
        for (const QString& mode : {u"--headless"_s, u"--status"_s}) {
            const Answer refused = runOnce(home_, {mode, suffix});
            EXPECT_EQ(refused.exitCode, 2);
            EXPECT_TRUE(refused.err.contains(u"cannot name an instance's files"_s))
                << refused.err.toStdString();
            EXPECT_FALSE(refused.err.contains(QChar(1)));
        }
    }

    if (!root) {
        GTEST_SKIP() << "a folder of another user needs root to make";
    }
    ASSERT_EQ(::chown(QFile::encodeName(cache).constData(), 65534, 65534), 0);
    const Answer stranger = runOnce(home_, QStringList{u"--headless"_s} + kCamera, true);
    ASSERT_EQ(::chown(QFile::encodeName(cache).constData(), ::geteuid(), ::getegid()), 0);
    EXPECT_EQ(stranger.exitCode, 5) << stranger.err.toStdString();
    EXPECT_TRUE(stranger.err.contains(u"no private folder for the recorder's lock"_s))
        << stranger.err.toStdString();
    EXPECT_FALSE(stranger.err.contains(u"recording into"_s));
}

// --plot writes a new file or replaces a regular one of the user's; a link
// (to a file or to nothing), a FIFO or a folder at the name is refused before
// the analysis and left as it was.
TEST(Plot, ReplacesOnlyARegularFileAndNeverFollowsALink) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString clip = dir.filePath(u"clip.avi"_s);
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                               u"testsrc=s=160x120:r=10:d=1"_s, u"-c:v"_s, u"mjpeg"_s, clip});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
    const auto plot = [&](const QString& out) {
        QProcess run;
        run.setProcessEnvironment(test::noDisplayEnvironment());
        run.start(test::programPath(), {u"--analyse"_s, clip, u"--plot"_s, out});
        EXPECT_TRUE(run.waitForFinished(60000));
        return Answer{run.exitCode(), QString(), QString::fromUtf8(run.readAllStandardError())};
    };

    const QString secret = dir.filePath(u"secret"_s);
    {
        QFile file(secret);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("mine");
    }
    const QString link = dir.filePath(u"link.png"_s);
    const QString dangling = dir.filePath(u"dangling.png"_s);
    const QString fifo = dir.filePath(u"fifo.png"_s);
    const QString folder = dir.filePath(u"folder.png"_s);
    ASSERT_TRUE(QFile::link(secret, link));
    ASSERT_TRUE(QFile::link(dir.filePath(u"made-through-a-link"_s), dangling));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& out : {link, dangling, fifo, folder}) {
        SCOPED_TRACE(out.toStdString());
        const Answer answer = plot(out);
        EXPECT_EQ(answer.exitCode, 2);
        EXPECT_TRUE(answer.err.contains(u"cannot write "_s + out)) << answer.err.toStdString();
    }
    QFile kept(secret);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("mine"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"made-through-a-link"_s)));

    const QString old = dir.filePath(u"old.png"_s);
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("an old plot");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(old).constData(), 0640), 0);
    const QString fresh = dir.filePath(u"new.png"_s);
    for (const QString& out : {old, fresh}) {
        SCOPED_TRACE(out.toStdString());
        const Answer answer = plot(out);
        EXPECT_EQ(answer.exitCode, 0) << answer.err.toStdString();
        EXPECT_EQ(QImage(out).width(), 1200);
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(old).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file's mode stays
    // No temporary file is left beside them.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Hidden | QDir::Files)) {
        EXPECT_FALSE(name.startsWith(u'.')) << name.toStdString();
    }
}

}  // namespace
