#include "app/session_events.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QSessionManager>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

Q_LOGGING_CATEGORY(lcSession, "kv.app.sessionevents", QtInfoMsg)

namespace kv::app {

namespace {

int signalFds[2] = {-1, -1};

extern "C" void onTerminationSignal(int number) {
    const char byte = char(number);
    // write() is async-signal-safe; the loop reads it back on the main thread.
    [[maybe_unused]] const ssize_t n = ::write(signalFds[1], &byte, 1);
}

}  // namespace

SessionEvents::SessionEvents(QObject* parent) : QObject(parent) {
    if (signalFds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalFds) != 0) {
        qCWarning(lcSession) << "no signal pipe; SIGTERM ends the program without shutdown";
    }
    if (signalFds[0] >= 0) {
        ::fcntl(signalFds[1], F_SETFL, O_NONBLOCK);
        notifier_ = new QSocketNotifier(signalFds[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &SessionEvents::onSignal);
        struct sigaction action {};
        action.sa_handler = onTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int number : {SIGTERM, SIGINT, SIGHUP}) {
            sigaction(number, &action, nullptr);
        }
    }

    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The session may always end; its end runs the shutdown through quit.
        connect(gui, &QGuiApplication::commitDataRequest, this, [](QSessionManager&) {});
    }

    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        watchingPower_ = bus.connect(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
            this, SLOT(onPrepareForSleep(bool)));
    }
    qCInfo(lcSession) << "power events" << (watchingPower_ ? "watched" : "not available");
}

SessionEvents::~SessionEvents() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(number, &action, nullptr);
    }
}

void SessionEvents::onSignal() {
    char byte = 0;
    if (::read(signalFds[0], &byte, 1) == 1) {
        if (byte == SIGHUP) {
            qCInfo(lcSession) << "hang-up signal";
            Q_EMIT hangUp();
            return;
        }
        qCInfo(lcSession) << "signal" << int(byte) << "ends the session";
        Q_EMIT endSession();
    }
}

void SessionEvents::onPrepareForSleep(bool start) {
    qCInfo(lcSession) << (start ? "going to sleep" : "woke up");
    Q_EMIT powerEvent();
}

}  // namespace kv::app
