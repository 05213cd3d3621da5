#include "tests/web/http_get.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>

namespace kv::test {

namespace {

void sendRequest(QTcpSocket& socket, quint16 port, const QByteArray& path,
                 const QList<QByteArray>& headers) {
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.waitForConnected(5000);
    QByteArray request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (const QByteArray& line : headers) {
        request += line + "\r\n";
    }
    socket.write(request + "\r\n");
    socket.waitForBytesWritten(5000);
}

// Takes whole chunks off raw into decoded; true when the last chunk came.
bool dechunk(QByteArray& raw, QByteArray& decoded) {
    for (;;) {
        const qsizetype eol = raw.indexOf("\r\n");
        if (eol < 0) {
            return false;
        }
        bool ok = false;
        const qsizetype size = raw.left(eol).toLongLong(&ok, 16);
        if (!ok || raw.size() < eol + 2 + size + 2) {
            return false;
        }
        decoded += raw.mid(eol + 2, size);
        raw.remove(0, eol + 2 + size + 2);
        if (size == 0) {
            return true;
        }
    }
}

int statusOf(const QByteArray& head) {
    return head.startsWith("HTTP/1.") ? head.mid(9, 3).toInt() : 0;
}

}  // namespace

QByteArray HttpAnswer::header(const QByteArray& name) const {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower()) {
            return line.mid(colon + 1).trimmed();
        }
    }
    return {};
}

HttpAnswer httpGet(quint16 port, const QByteArray& path, const QList<QByteArray>& headers,
                   int timeout_ms) {
    QTcpSocket socket;
    sendRequest(socket, port, path, headers + QList<QByteArray>{"Connection: close"});
    QByteArray data;
    QElapsedTimer timer;
    timer.start();
    HttpAnswer answer;
    while (timer.elapsed() < timeout_ms) {
        socket.waitForReadyRead(100);
        data += socket.readAll();
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0) {
            if (socket.state() != QAbstractSocket::ConnectedState) {
                break;
            }
            continue;
        }
        answer.head = data.left(end);
        QByteArray rest = data.mid(end + 4);
        const QByteArray length = answer.header("Content-Length");
        if (answer.header("Transfer-Encoding").toLower() == "chunked") {
            QByteArray decoded;
            if (dechunk(rest, decoded)) {
                answer.body = decoded;
                break;
            }
        } else if (!length.isEmpty() && rest.size() >= length.toLongLong()) {
            answer.body = rest.left(length.toLongLong());
            break;
        } else if (socket.state() != QAbstractSocket::ConnectedState) {
            answer.body = rest;
            break;
        }
    }
    answer.status = statusOf(answer.head);
    return answer;
}

QByteArray basicAuth(const QByteArray& user, const QByteArray& password) {
    return "Authorization: Basic " + (user + ':' + password).toBase64();
}

HttpStream::HttpStream(quint16 port, const QByteArray& path, const QList<QByteArray>& headers)
    : socket_(std::make_unique<QTcpSocket>()) {
    sendRequest(*socket_, port, path, headers);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        socket_->waitForReadyRead(100);
        raw_ += socket_->readAll();
        const qsizetype end = raw_.indexOf("\r\n\r\n");
        if (end >= 0) {
            head_ = raw_.left(end);
            raw_.remove(0, end + 4);
            break;
        }
    }
    status_ = statusOf(head_);
}

HttpStream::~HttpStream() = default;

bool HttpStream::fill(int timeout_ms) {
    if (!socket_->waitForReadyRead(timeout_ms)) {
        return false;
    }
    raw_ += socket_->readAll();
    dechunk(raw_, decoded_);
    return true;
}

QByteArray HttpStream::nextPart(int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    // --boundary\r\n headers \r\n\r\n body \r\n
    while (timer.elapsed() < timeout_ms) {
        const qsizetype headEnd = decoded_.indexOf("\r\n\r\n");
        if (headEnd >= 0) {
            qsizetype length = -1;
            for (const QByteArray& line : decoded_.left(headEnd).split('\n')) {
                if (line.toLower().startsWith("content-length:")) {
                    length = line.mid(15).trimmed().toLongLong();
                }
            }
            if (length >= 0 && decoded_.size() >= headEnd + 4 + length + 2) {
                const QByteArray body = decoded_.mid(headEnd + 4, length);
                decoded_.remove(0, headEnd + 4 + length + 2);
                return body;
            }
        }
        fill(200);
    }
    return {};
}

}  // namespace kv::test
