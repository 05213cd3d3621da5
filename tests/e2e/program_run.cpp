#include "tests/e2e/program_run.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <csignal>

namespace kv::test {

QString programPath() {
    return QStringLiteral(KV_PROGRAM_PATH);
}

QProcessEnvironment noDisplayEnvironment(const TempHome* home) {
    QProcessEnvironment env = home ? home->environment() : QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QString::fromLatin1(name));
    }
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return env;
}

ProgramAnswer runToEnd(const QStringList& arguments, const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(programPath(), arguments);
    ProgramAnswer answer;
    if (process.waitForFinished(30000)) {
        answer.exitCode = process.exitCode();
    }
    answer.out = process.readAllStandardOutput();
    answer.err = process.readAllStandardError();
    return answer;
}

ProgramRun::ProgramRun(const TempHome& home, const QStringList& arguments,
                       const QProcessEnvironment& extra, Display display) {
    QProcessEnvironment env = home.environment();
    if (display == Display::None) {
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(QString::fromLatin1(name));
        }
    }
    // The lines checked are those the program shows by default.
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    // A sanitizer build of the program would count library caches as leaks.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    env.insert(QStringLiteral("GST_REGISTRY"), qEnvironmentVariable("GST_REGISTRY"));
    for (const QString& key : extra.keys()) {
        env.insert(key, extra.value(key));
    }
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(home.path());
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(programPath(), arguments);
    process_.waitForStarted(10000);
}

ProgramRun::~ProgramRun() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

void ProgramRun::collect() {
    log_ += QString::fromUtf8(process_.readAll());
}

QString ProgramRun::log() {
    collect();
    return log_;
}

bool ProgramRun::hasLogged(const QString& text) {
    return log().contains(text);
}

bool ProgramRun::waitForLog(const QString& text, int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    while (!hasLogged(text)) {
        if (timer.elapsed() > timeout_ms || process_.state() == QProcess::NotRunning) {
            return hasLogged(text);
        }
        process_.waitForReadyRead(100);
    }
    return true;
}

bool ProgramRun::waitForExit(int timeout_ms) {
    const bool done =
        process_.state() == QProcess::NotRunning || process_.waitForFinished(timeout_ms);
    collect();
    return done;
}

RecordingHomeTest::RecordingHomeTest() {
    folder_ = home_.documentsDir() + QStringLiteral("/rec/");
    QDir().mkpath(folder_);
    settings_.AVIPath = folder_;
}

void RecordingHomeTest::writeSettings() {
    QString error;
    ASSERT_TRUE(app::SettingsStore().save(settings_, &error)) << error.toStdString();
}

QStringList RecordingHomeTest::files() const {
    return QDir(folder_).entryList({QStringLiteral("*.avi")}, QDir::Files, QDir::Name);
}

bool RecordingHomeTest::waitForFiles(int count, int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    while (files().size() < count && timer.elapsed() < timeout_ms) {
        QThread::msleep(5);
    }
    return files().size() >= count;
}

}  // namespace kv::test
