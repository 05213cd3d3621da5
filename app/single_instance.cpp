#include "app/single_instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>

#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcInstance, "kv.instance", QtWarningMsg)

namespace kv::app {

namespace {

const QLatin1String kSuffix(".sock");
// A state in JSON is the longest reply.
constexpr qint64 kMaxReply = 64 * 1024;

// The folder must be ours alone: a folder another user made (in /tmp) could
// hand our messages to a stranger.
bool isPrivateFolder(const QString& path) {
    struct stat st {};
    if (lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

bool makePrivateFolder(const QString& path) {
    if (!QFileInfo::exists(path)) {
        if (mkdir(QFile::encodeName(path).constData(), 0700) != 0 && !QFileInfo::exists(path)) {
            return false;
        }
    }
    return isPrivateFolder(path);
}

}  // namespace

std::optional<qint64> answerInstanceRunning(qint64 wParam, qint64 lParam, qint64 ownWindow) {
    if (wParam != 0 || lParam == ownWindow) {
        return std::nullopt;
    }
    return lParam;
}

InstanceChannel::InstanceChannel(QObject* parent)
    : QObject(parent), folder_(socketFolder()), windowId_(QCoreApplication::applicationPid()) {}

InstanceChannel::~InstanceChannel() {
    if (server_) {
        server_->close();  // removes our socket file
    }
}

QString InstanceChannel::socketFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString folder;
    if (!runtime.isEmpty() && isPrivateFolder(runtime)) {
        folder = runtime + QStringLiteral("/kestrelvision");
    } else {
        folder = QDir::tempPath() + QStringLiteral("/kestrelvision-%1").arg(geteuid());
    }
    if (!makePrivateFolder(folder)) {
        qCWarning(lcInstance) << "cannot use" << folder
                              << "for the single-instance sockets; running without";
        return {};
    }
    return folder;
}

QString InstanceChannel::socketPath(qint64 window) const {
    return folder_ + QLatin1Char('/') + QString::number(window) + kSuffix;
}

bool InstanceChannel::listen() {
    if (folder_.isEmpty()) {
        return false;
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = socketPath(windowId_);
    QLocalServer::removeServer(path);  // left behind by a crash of a process with our id
    if (!server_->listen(path)) {
        qCWarning(lcInstance) << "cannot listen on" << path << server_->errorString();
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            serve(socket);
        }
    });
    return true;
}

void InstanceChannel::serve(QLocalSocket* socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        if (socket->canReadLine() && socket->state() == QLocalSocket::ConnectedState) {
            const QList<QByteArray> words = socket->readLine(256).trimmed().split(' ');
            QByteArray reply;
            if (words.size() == 3 && words[0] == "RUNNING" && answersRunning_) {
                bool okW = false;
                bool okL = false;
                const qint64 wParam = words[1].toLongLong(&okW);
                const qint64 lParam = words[2].toLongLong(&okL);
                if (okW && okL && answerInstanceRunning(wParam, lParam, windowId_)) {
                    reply = "OTHERINSTANCE 0 " + QByteArray::number(windowId_) + '\n';
                }
            } else if (words.size() == 1 && words[0] == "SHOWNORMAL") {
                Q_EMIT showNormalRequested();
                reply = "OK\n";
            } else if (words.size() == 1 && words[0] == "STATUS" && status_) {
                reply = "STATUS " + status_().replace('\n', ' ') + '\n';
            }
            if (!reply.isEmpty()) {
                socket->write(reply);
                socket->flush();
            }
            socket->disconnectFromServer();
        }
    });
}

std::optional<QByteArray> InstanceChannel::request(const QString& path, const QByteArray& line,
                                                   int timeout_ms) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeout_ms)) {
        const auto error = socket.error();
        if (error == QLocalSocket::ConnectionRefusedError ||
            error == QLocalSocket::ServerNotFoundError) {
            // Nobody listens: the instance that made it has died.
            QLocalServer::removeServer(path);
        }
        return std::nullopt;
    }
    socket.write(line);
    socket.waitForBytesWritten(timeout_ms);
    QByteArray reply;
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState) {
        if (!socket.waitForReadyRead(timeout_ms)) {
            break;
        }
    }
    reply = socket.readLine(kMaxReply).trimmed();
    socket.disconnectFromServer();
    return reply;
}

QStringList InstanceChannel::otherSockets() const {
    if (folder_.isEmpty()) {
        return {};
    }
    const QDir dir(folder_);
    const QString own = socketPath(windowId_);
    QStringList paths;
    for (const QString& name :
         dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = dir.filePath(name);
        // Our own would not answer: we are busy asking.
        if (name.endsWith(kSuffix) && path != own) {
            paths << path;
        }
    }
    return paths;
}

QList<QByteArray> InstanceChannel::statuses(int timeout_ms) {
    QList<QByteArray> states;
    for (const QString& path : otherSockets()) {
        const std::optional<QByteArray> reply = request(path, "STATUS\n", timeout_ms);
        if (reply && reply->startsWith("STATUS ")) {
            states << reply->mid(7);
        }
    }
    return states;
}

void InstanceChannel::broadcastRunning(qint64 wParam, qint64 lParam, int timeout_ms) {
    for (const QString& path : otherSockets()) {
        const QByteArray message =
            "RUNNING " + QByteArray::number(wParam) + ' ' + QByteArray::number(lParam) + '\n';
        const std::optional<QByteArray> reply = request(path, message, timeout_ms);
        if (!reply) {
            continue;
        }
        const QList<QByteArray> words = reply->split(' ');
        bool okW = false;
        bool okL = false;
        if (words.size() == 3 && words[0] == "OTHERINSTANCE") {
            const qint64 w = words[1].toLongLong(&okW);
            const qint64 l = words[2].toLongLong(&okL);
            if (okW && okL) {
                qCInfo(lcInstance) << "instance" << l << "is running";
                Q_EMIT otherInstance(w, l);
            }
        }
    }
}

bool InstanceChannel::showWindowNormal(qint64 window, int timeout_ms) {
    if (folder_.isEmpty()) {
        return false;
    }
    const std::optional<QByteArray> reply = request(socketPath(window), "SHOWNORMAL\n", timeout_ms);
    return reply && *reply == "OK";
}

}  // namespace kv::app
