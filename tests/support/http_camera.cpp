#include "tests/support/http_camera.h"

#include <QBuffer>
#include <QHostAddress>
#include <QImage>
#include <QPainter>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <map>

namespace kv::test {

namespace {

constexpr char kPath[] = "/video.mjpg";
constexpr char kBoundary[] = "kvframe";
constexpr int kJpegQuality = 80;
constexpr qsizetype kMaxRequest_bytes = 16 * 1024;
// A reader that stops reading misses frames instead of growing our buffer.
constexpr qint64 kMaxBacklog_bytes = 1024 * 1024;
constexpr int kCounterBits = 16;

// A square that moves on every frame, and the frame number as a row of
// black and white cells along the top (no fonts needed off the main thread).
QByteArray drawFrame(QSize size, quint32 number) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 60, 90));
    QPainter painter(&image);
    const int side = std::max(4, std::min(size.width(), size.height()) / 4);
    const int step = std::max(1, size.width() / 20);
    const int rangeX = std::max(1, size.width() - side);
    const int rangeY = std::max(1, size.height() - side);
    const int x = int((number * step) % rangeX);
    const int y = int((number * step / 2) % rangeY);
    painter.fillRect(x, y, side, side, QColor(240, 200, 40));
    const int cell = std::max(1, size.width() / kCounterBits);
    const int cellHeight = std::max(2, size.height() / 12);
    for (int bit = 0; bit < kCounterBits; ++bit) {
        const bool set = (number >> (kCounterBits - 1 - bit)) & 1;
        painter.fillRect(bit * cell, 0, cell, cellHeight, set ? Qt::white : Qt::black);
    }
    painter.end();
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", kJpegQuality);
    return jpeg;
}

QByteArray responseHeader() {
    return QByteArrayLiteral(
               "HTTP/1.0 200 OK\r\n"
               "Server: kv-test-camera\r\n"
               "Connection: close\r\n"
               "Cache-Control: no-cache\r\n"
               "Pragma: no-cache\r\n"
               "Content-Type: multipart/x-mixed-replace; boundary=") +
           kBoundary + "\r\n\r\n";
}

QByteArray notFound() {
    const QByteArray body = "not found\n";
    return QByteArrayLiteral(
               "HTTP/1.0 404 Not Found\r\nConnection: close\r\n"
               "Content-Type: text/plain\r\nContent-Length: ") +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

// Everything here runs on the camera's thread; the counters are read from the
// creating thread.
class HttpCameraServer : public QObject {
  public:
    using Mode = HttpCamera::Mode;

    HttpCameraServer(QSize size, int framesPerSecond)
        : size_(size), interval_ms_(std::max(1, 1000 / std::max(1, framesPerSecond))) {}

    quint16 start() {
        listener_ = new QTcpServer(this);
        connect(listener_, &QTcpServer::newConnection, this, &HttpCameraServer::accept);
        if (!listener_->listen(QHostAddress::LocalHost, 0)) {
            qWarning("test camera cannot listen: %s", qPrintable(listener_->errorString()));
            return 0;
        }
        port_ = listener_->serverPort();
        timer_ = new QTimer(this);
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, &HttpCameraServer::sendFrame);
        timer_->start(interval_ms_);
        return port_;
    }

    bool setMode(Mode mode) {
        mode_ = mode;
        if (port_ == 0) {
            return false;  // never listened
        }
        if (mode == Mode::Refuse) {
            listener_->close();
        } else if (!listener_->isListening() &&
                   !listener_->listen(QHostAddress::LocalHost, port_)) {
            qWarning("test camera cannot listen on port %u again: %s", unsigned(port_),
                     qPrintable(listener_->errorString()));
            return false;
        }
        // Only Hang holds requests back; Refuse turns away new connections alone.
        if (mode != Mode::Hang) {
            for (QTcpSocket* socket : socketsIn(State::Waiting)) {
                answer(socket);
            }
        }
        return true;
    }

    void closeConnections() {
        for (auto& entry : clients_) {
            entry.second.state = State::Closing;
        }
        // disconnectFromHost() may report the disconnection at once, which
        // edits clients_; so work on a copy of the list.
        for (QTcpSocket* socket : socketsIn(State::Closing)) {
            socket->disconnectFromHost();
        }
    }

    void stop() {
        if (timer_) {
            timer_->stop();
        }
        for (auto& entry : clients_) {
            QTcpSocket* socket = entry.first;
            socket->disconnect(this);
            socket->abort();
            delete socket;
        }
        clients_.clear();
        openConnections = 0;
        delete listener_;
        listener_ = nullptr;
        delete timer_;
        timer_ = nullptr;
    }

    std::atomic<int> framesSent{0};
    std::atomic<int> connections{0};
    std::atomic<int> openConnections{0};

  private:
    enum class State { Reading, Waiting, Streaming, Closing };
    struct Client {
        QByteArray request;
        State state = State::Reading;
    };

    QList<QTcpSocket*> socketsIn(State state) const {
        QList<QTcpSocket*> sockets;
        for (const auto& [socket, client] : clients_) {
            if (client.state == state) {
                sockets.append(socket);
            }
        }
        return sockets;
    }

    void accept() {
        while (QTcpSocket* socket = listener_->nextPendingConnection()) {
            socket->setParent(this);
            clients_[socket] = Client{};
            ++connections;
            ++openConnections;
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
            read(socket);
        }
    }

    void forget(QTcpSocket* socket) {
        if (clients_.erase(socket) > 0) {
            --openConnections;
            socket->deleteLater();
        }
    }

    void read(QTcpSocket* socket) {
        auto found = clients_.find(socket);
        if (found == clients_.end()) {
            return;
        }
        Client& client = found->second;
        const QByteArray data = socket->readAll();
        if (client.state != State::Reading) {
            return;  // nothing more is expected from a client once it has asked
        }
        client.request += data;
        if (!client.request.contains("\r\n\r\n")) {
            if (client.request.size() > kMaxRequest_bytes) {
                client.state = State::Closing;
                socket->disconnectFromHost();
            }
            return;
        }
        client.state = State::Waiting;
        if (mode_ != Mode::Hang) {
            answer(socket);
        }
    }

    void answer(QTcpSocket* socket) {
        Client& client = clients_[socket];
        const QList<QByteArray> requestLine =
            client.request.left(client.request.indexOf("\r\n")).split(' ');
        const QByteArray path =
            requestLine.size() >= 2 ? requestLine[1].split('?').constFirst() : QByteArray();
        if (requestLine.constFirst() != "GET" || path != kPath) {
            client.state = State::Closing;
            socket->write(notFound());
            socket->disconnectFromHost();
            return;
        }
        client.state = State::Streaming;
        socket->write(responseHeader());
    }

    void sendFrame() {
        if (mode_ == Mode::Hang) {
            return;
        }
        const QList<QTcpSocket*> streams = socketsIn(State::Streaming);
        if (streams.isEmpty()) {
            return;
        }
        const QByteArray jpeg = drawFrame(size_, frameNumber_++);
        const QByteArray part =
            QByteArrayLiteral("--") + kBoundary +
            "\r\nContent-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(jpeg.size()) +
            "\r\n\r\n" + jpeg + "\r\n";
        for (QTcpSocket* socket : streams) {
            if (socket->bytesToWrite() < kMaxBacklog_bytes) {
                socket->write(part);
                ++framesSent;
            }
        }
    }

    const QSize size_;
    const int interval_ms_;
    Mode mode_ = Mode::Serve;
    quint16 port_ = 0;
    quint32 frameNumber_ = 0;
    QTcpServer* listener_ = nullptr;
    QTimer* timer_ = nullptr;
    std::map<QTcpSocket*, Client> clients_;
};

HttpCamera::HttpCamera(QSize size, int framesPerSecond, QObject* parent)
    : QObject(parent), size_(size), framesPerSecond_(framesPerSecond) {
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("kv-http-camera"));
    server_ = new HttpCameraServer(size, framesPerSecond);
    server_->moveToThread(thread_);
    thread_->start();
    quint16 port = 0;
    QMetaObject::invokeMethod(
        server_, [&] { port = server_->start(); }, Qt::BlockingQueuedConnection);
    port_ = port;
}

HttpCamera::~HttpCamera() {
    QMetaObject::invokeMethod(
        server_, [this] { server_->stop(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete server_;  // its thread has ended and it holds nothing any more
}

QString HttpCamera::url() const {
    if (port_ == 0) {
        return {};
    }
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(QLatin1String(kPath));
}

bool HttpCamera::setMode(Mode mode) {
    bool ok = false;
    QMetaObject::invokeMethod(
        server_, [&] { ok = server_->setMode(mode); }, Qt::BlockingQueuedConnection);
    mode_ = mode;
    return ok;
}

void HttpCamera::closeConnections() {
    QMetaObject::invokeMethod(
        server_, [this] { server_->closeConnections(); }, Qt::BlockingQueuedConnection);
}

int HttpCamera::framesSent() const {
    return server_->framesSent;
}

int HttpCamera::connections() const {
    return server_->connections;
}

int HttpCamera::openConnections() const {
    return server_->openConnections;
}

}  // namespace kv::test
