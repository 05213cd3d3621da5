#pragma once

// Runs the real program in a child process (fork+exec through QProcess) with
// a private home, and reads its log lines as they come.

#include "tests/support/test_env.h"

#include <QProcess>
#include <QStringList>

namespace kv::test {

// Path of the built program.
QString programPath();

class ProgramRun {
  public:
    ProgramRun(const TempHome& home, const QStringList& arguments,
               const QProcessEnvironment& extra = {});
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

}  // namespace kv::test
