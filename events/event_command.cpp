#include "events/event_command.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcEventCommand, "kv.events.command", QtInfoMsg)

namespace kv::events {

namespace {

// The command runs in a process group of its own, so that what it starts
// ends with it.
void killGroup(QProcess* process) {
    const qint64 pid = process->processId();
    if (pid > 0) {
        ::kill(-pid_t(pid), SIGKILL);
    }
    process->kill();
}

}  // namespace

EventCommand::EventCommand(int limit_ms, QObject* parent) : QObject(parent), limit_ms_(limit_ms) {}

EventCommand::~EventCommand() {
    // A command that outlives the recorder is ended with it.
    for (auto& [event, process] : running_) {
        process->disconnect(this);
        killGroup(process);
        process->waitForFinished(1000);
        delete process;
    }
}

void EventCommand::setCommand(const QString& commandLine) {
    QStringList words = QProcess::splitCommand(commandLine);
    program_ = words.isEmpty() ? QString() : words.takeFirst();
    arguments_ = words;
}

void EventCommand::run(const EventFields& fields) {
    if (program_.isEmpty()) {
        return;
    }
    if (running_.count(fields.event)) {
        qCInfo(lcEventCommand).noquote()
            << "the event command for" << fields.event << "still runs: this one is skipped";
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KV_EVENT"), fields.event);
    environment.insert(QStringLiteral("KV_TIME"), fields.time);
    environment.insert(QStringLiteral("KV_INSTANCE"), fields.instance);
    environment.insert(QStringLiteral("KV_FILE"), fields.file);
    environment.insert(QStringLiteral("KV_REASON"), fields.reason);
    environment.insert(QStringLiteral("KV_FRAMES"),
                       fields.frames >= 0 ? QString::number(fields.frames) : QString());
    environment.insert(QStringLiteral("KV_DAY"), fields.day);
    environment.insert(QStringLiteral("KV_RECORDINGS"),
                       fields.recordings >= 0 ? QString::number(fields.recordings) : QString());
    environment.insert(QStringLiteral("KV_LENGTH"),
                       fields.length_s >= 0 ? QString::number(fields.length_s) : QString());

    auto* process = new QProcess(this);
    process->setProcessEnvironment(environment);
    process->setProgram(program_);
    process->setArguments(arguments_);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    running_[fields.event] = process;

    auto* limit = new QTimer(process);
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, process, [process, event = fields.event, this] {
        qCWarning(lcEventCommand).noquote() << "the event command for" << event << "ran longer than"
                                            << limit_ms_ / 1000.0 << "s and is killed";
        killGroup(process);
    });
    const QString event = fields.event;
    auto done = [this, process, event](int code) {
        if (running_.count(event) && running_[event] == process) {
            running_.erase(event);
        }
        process->deleteLater();
        Q_EMIT finished(event, code);
    };
    connect(process, &QProcess::finished, this,
            [process, event, done](int exitCode, QProcess::ExitStatus status) {
                if (status == QProcess::NormalExit) {
                    qCInfo(lcEventCommand).noquote()
                        << "the event command for" << event << "exited with" << exitCode;
                    done(exitCode);
                } else {
                    qCWarning(lcEventCommand).noquote()
                        << "the event command for" << event << "ended abnormally";
                    done(-1);
                }
            });
    connect(
        process, &QProcess::errorOccurred, this, [process, event, done](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart) {
                qCWarning(lcEventCommand).noquote() << "the event command for" << event
                                                    << "cannot start:" << process->errorString();
                done(-1);
            }
        });
    limit->start(limit_ms_);
    process->start();
}

}  // namespace kv::events
