#pragma once

// Runs the real program in a child process (fork+exec through QProcess) with
// a private home, and reads its log lines as they come.

#include "app/settings_store.h"
#include "tests/support/test_env.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

namespace kv::test {

// Path of the built program.
QString programPath();

// The environment for running the program on its own, with no display at
// all: a sanitizer build would otherwise count library caches as leaks.
// With a home, the program's home, configuration and runtime folders are its.
QProcessEnvironment noDisplayEnvironment(const TempHome* home = nullptr);

// A start of the program run to its end (30 s at most), with its output.
struct ProgramAnswer {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
ProgramAnswer runToEnd(const QStringList& arguments,
                       const QProcessEnvironment& env = noDisplayEnvironment());

class ProgramRun {
  public:
    // Without display, no display and no Qt platform reach the program.
    enum class Display { Offscreen, None };
    ProgramRun(const TempHome& home, const QStringList& arguments,
               const QProcessEnvironment& extra = {}, Display display = Display::Offscreen);
    ~ProgramRun();

    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Waits until a log line contains text; false on time-out or exit.
    bool waitForLog(const QString& text, int timeout_ms = 15000);
    // Waits for the process to end; false on time-out.
    bool waitForExit(int timeout_ms = 15000);
    bool hasLogged(const QString& text);

    QProcess& process() { return process_; }
    QString log();
    qint64 pid() const { return process_.processId(); }
    int exitCode() const { return process_.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return process_.exitStatus(); }

  private:
    void collect();

    QProcess process_;
    QString log_;
};

// A private home whose settings record into a folder of their own; the
// tests change settings_ and write them before they start the program.
class RecordingHomeTest : public ::testing::Test {
  protected:
    RecordingHomeTest();
    void writeSettings();
    // The folder's *.avi files, by name.
    QStringList files() const;
    // Waits (polling every few ms) until the folder holds count files.
    bool waitForFiles(int count, int timeout_ms);

    TempHome home_;
    QString folder_;  // ends with a separator
    session::Settings settings_;
};

}  // namespace kv::test
