#pragma once

// A plain HTTP/1.1 client over one socket for the web tests: every byte the
// server sends is seen as sent, nothing is repaired on the way.

#include <QByteArray>
#include <QList>
#include <QPair>

#include <memory>

class QTcpSocket;

namespace kv::test {

struct HttpAnswer {
    int status = 0;  // 0: no answer
    QByteArray head;
    QByteArray body;  // de-chunked
    QByteArray header(const QByteArray& name) const;
};

// GET path on 127.0.0.1:port with extra header lines ("Name: value").
HttpAnswer httpGet(quint16 port, const QByteArray& path, const QList<QByteArray>& headers = {},
                   int timeout_ms = 10000);

// "Authorization: Basic ..." for user and password.
QByteArray basicAuth(const QByteArray& user, const QByteArray& password);

// An endless response read part by part: the parts of a multipart stream.
class HttpStream {
  public:
    HttpStream(quint16 port, const QByteArray& path, const QList<QByteArray>& headers);
    ~HttpStream();
    int status() const { return status_; }
    QByteArray head() const { return head_; }
    // The next part's body, or empty when none came in time.
    QByteArray nextPart(int timeout_ms = 10000);

  private:
    bool fill(int timeout_ms);
    std::unique_ptr<QTcpSocket> socket_;
    int status_ = 0;
    QByteArray head_;
    QByteArray raw_;      // as received, chunked
    QByteArray decoded_;  // de-chunked, not yet taken
};

}  // namespace kv::test
