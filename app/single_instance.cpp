#include "app/single_instance.h"

#include "media/redact.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

Q_LOGGING_CATEGORY(lcInstance, "kv.app.instance", QtInfoMsg)

namespace kv::app {

namespace {

const QLatin1String kSuffix(".sock");
// A state in JSON is the longest reply.
constexpr qint64 kMaxReply = 64 * 1024;
// Every request of one asking, all sockets together, ends within this.
constexpr int kAllRequests_ms = 3000;
// A folder of sockets holds a handful; past this many the rest are junk.
constexpr int kMaxSockets = 64;
// sockaddr_un's path, less the terminator, must hold "<folder>/<pid>.sock".
constexpr qsizetype kMaxSocketPath = 107;
constexpr qsizetype kLongestSocketName = 1 + 10 + 5;

// The folder must be ours alone: a folder another user made could hand our
// messages to a stranger, or take our lock.
bool isPrivateFolder(const QString& path, bool exactly0700 = true) {
    struct stat st {};
    if (lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return false;
    }
    const mode_t mode = st.st_mode & 0777;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (exactly0700 ? mode == 0700 : (mode & 077) == 0);
}

// Makes the folder (and its missing parents, 0700) or narrows one of ours.
bool makePrivateFolder(const QString& path, QString* why) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (lstat(name.constData(), &st) != 0) {
        const QString parent = QFileInfo(path).absolutePath();
        if (!QFileInfo(parent).isDir() && mkdir(QFile::encodeName(parent).constData(), 0700) != 0 &&
            !QFileInfo(parent).isDir()) {
            *why = QStringLiteral("%1 cannot be made").arg(parent);
            return false;
        }
        if (mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
            *why = QStringLiteral("%1 cannot be made").arg(path);
            return false;
        }
        if (lstat(name.constData(), &st) != 0) {
            *why = QStringLiteral("%1 cannot be made").arg(path);
            return false;
        }
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        *why = QStringLiteral("%1 is not a folder of this user").arg(path);
        return false;
    }
    if ((st.st_mode & 0777) != 0700 && chmod(name.constData(), 0700) != 0) {
        *why = QStringLiteral("%1 cannot be made private").arg(path);
        return false;
    }
    return isPrivateFolder(path);
}

// Whether the process that made a socket runs: a socket is removed as stale
// only when it does not, never because a busy one refused a connection.
bool ownerRuns(const QString& socketPath) {
    bool ok = false;
    const qint64 pid = QFileInfo(socketPath).completeBaseName().toLongLong(&ok);
    if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max()) {
        return false;
    }
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

QJsonValue sanitizedValue(const QString& key, const QJsonValue& value) {
    if (value.isString()) {
        const bool path = key == QLatin1String("file") || key == QLatin1String("folder");
        return media::sanitizedText(value.toString(), path ? 4096 : 200);
    }
    if (value.isArray() || value.isObject()) {
        return QJsonValue();  // a state holds none
    }
    return value;
}

}  // namespace

QByteArray sanitizedStatus(const QByteArray& json) {
    const QJsonObject in = QJsonDocument::fromJson(json).object();
    QJsonObject out;
    for (auto it = in.begin(); it != in.end() && out.size() < 32; ++it) {
        out.insert(media::sanitizedText(it.key(), 40), sanitizedValue(it.key(), it.value()));
    }
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

bool isUsableInstanceSuffix(const QString& suffix, QString* why) {
    bool usable = suffix.size() <= 16;
    for (const QChar c : suffix) {
        usable = usable && c.isLetterOrNumber() && !c.isSurrogate();
    }
    if (!usable && why) {
        *why = QCoreApplication::translate(
                   "kv::app",
                   "the instance suffix \"%1\" cannot name an instance's files: use a letter or a "
                   "digit, as in /I2")
                   .arg(media::sanitizedText(suffix, 20));
    }
    return usable;
}

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

QString InstanceChannel::socketFolder(QString* why) {
    QStringList candidates;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(u'/') && isPrivateFolder(runtime, false)) {
        candidates << runtime + QStringLiteral("/kestrelvision");
    }
    // Never /tmp: another user could make the folder first and take it over.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!cache.startsWith(u'/')) {
        cache = QDir::homePath() + QStringLiteral("/.cache");
    }
    candidates << cache + QStringLiteral("/kestrelvision");
    QStringList problems;
    for (const QString& folder : std::as_const(candidates)) {
        QString problem;
        if (QFile::encodeName(folder).size() + kLongestSocketName > kMaxSocketPath) {
            problems << QStringLiteral("%1 is too long a path for a socket").arg(folder);
        } else if (makePrivateFolder(folder, &problem)) {
            return folder;
        } else {
            problems << problem;
        }
    }
    const QString text = problems.join(QStringLiteral("; "));
    qCWarning(lcInstance).noquote()
        << "no private folder for the instance sockets and locks:" << text;
    if (why) {
        *why = text;
    }
    return {};
}

QString InstanceChannel::socketPath(qint64 window) const {
    return folder_ + QLatin1Char('/') + QString::number(window) + kSuffix;
}

bool InstanceChannel::listen() {
    if (folder_.isEmpty()) {
        return false;
    }
    if (!server_) {
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        connect(server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = server_->nextPendingConnection()) {
                serve(socket);
            }
        });
        // Qt closes a server whose accept fails (no descriptor left), and
        // with it the socket file: look now and then, and listen again.
        auto* watch = new QTimer(this);
        watch->setInterval(kConnection_ms);
        connect(watch, &QTimer::timeout, this, &InstanceChannel::keepListening);
        watch->start();
    }
    const QString path = socketPath(windowId_);
    QLocalServer::removeServer(path);  // left behind by a crash of a process with our id
    if (!server_->listen(path)) {
        if (!relistening_) {
            qCWarning(lcInstance) << "cannot listen on" << path << server_->errorString();
        }
        return false;
    }
    return true;
}

void InstanceChannel::keepListening() {
    if (server_->isListening() && QFileInfo::exists(server_->fullServerName())) {
        return;
    }
    if (!relistening_) {
        qCWarning(lcInstance) << "the instance socket was lost; listening again";
    }
    server_->close();
    relistening_ = !listen();
    if (!relistening_) {
        qCInfo(lcInstance) << "listening again on" << server_->fullServerName();
    }
}

void InstanceChannel::serve(QLocalSocket* socket) {
    if (connections_ >= kMaxConnections) {
        // Silent clients must not use up the descriptors the recorder needs.
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++connections_;
    connect(socket, &QObject::destroyed, this, [this] { --connections_; });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    socket->setReadBufferSize(kMaxRequest);
    // Idle or slow: the whole exchange has this long.
    QTimer::singleShot(kConnection_ms, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() >= kMaxRequest) {
                socket->abort();  // no line this long is ours
                socket->deleteLater();
            }
            return;
        }
        if (socket->state() != QLocalSocket::ConnectedState) {
            return;
        }
        const QList<QByteArray> words = socket->readLine(kMaxRequest).trimmed().split(' ');
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
            reply = "STATUS " + sanitizedStatus(status_()) + '\n';
        }
        if (!reply.isEmpty() && reply.size() <= kMaxReply) {
            socket->write(reply);
            socket->flush();
        }
        socket->disconnectFromServer();
    });
}

std::optional<QByteArray> InstanceChannel::request(const QString& path, const QByteArray& line,
                                                   int timeout_ms) {
    // One deadline for the whole exchange: a peer that trickles bytes
    // cannot stretch it.
    const QDeadlineTimer deadline(timeout_ms);
    QLocalSocket socket;
    socket.setReadBufferSize(kMaxReply);
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        const auto error = socket.error();
        if ((error == QLocalSocket::ConnectionRefusedError ||
             error == QLocalSocket::ServerNotFoundError) &&
            !ownerRuns(path)) {
            // Nobody listens and its maker is gone: a crashed instance's.
            QLocalServer::removeServer(path);
        }
        return std::nullopt;
    }
    socket.write(line);
    socket.waitForBytesWritten(int(deadline.remainingTime()));
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState &&
           socket.bytesAvailable() < kMaxReply && !deadline.hasExpired()) {
        socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
    }
    if (!socket.canReadLine()) {
        socket.abort();
        return std::nullopt;
    }
    QByteArray reply = socket.readLine(kMaxReply).trimmed();
    socket.abort();
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
        if (name.endsWith(kSuffix) && path != own && paths.size() < kMaxSockets) {
            paths << path;
        }
    }
    return paths;
}

QList<QByteArray> InstanceChannel::statuses(int timeout_ms) {
    QList<QByteArray> states;
    const QDeadlineTimer all(kAllRequests_ms);
    for (const QString& path : otherSockets()) {
        if (all.hasExpired()) {
            break;
        }
        const std::optional<QByteArray> reply =
            request(path, "STATUS\n", int(std::min<qint64>(timeout_ms, all.remainingTime())));
        if (reply && reply->startsWith("STATUS ")) {
            states << reply->mid(7);
        }
    }
    return states;
}

void InstanceChannel::broadcastRunning(qint64 wParam, qint64 lParam, int timeout_ms) {
    const QDeadlineTimer all(kAllRequests_ms);
    for (const QString& path : otherSockets()) {
        if (all.hasExpired()) {
            break;
        }
        const QByteArray message =
            "RUNNING " + QByteArray::number(wParam) + ' ' + QByteArray::number(lParam) + '\n';
        const std::optional<QByteArray> reply =
            request(path, message, int(std::min<qint64>(timeout_ms, all.remainingTime())));
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
