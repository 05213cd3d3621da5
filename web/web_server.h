#pragma once

// The recorder's own web page: a small read-only HTTP server on a thread of
// its own (libsoup's server on its own GLib main context). The main thread
// only hands it settings, the state as JSON and, while someone watches, a
// copy of the live frame five times a second; it never waits on a client.
//
// Why libsoup 3 and not Qt HTTP Server: GStreamer already brings libsoup, so
// nothing new runs on the box; its server streams a response chunk by chunk
// with pause and unpause, which an endless multipart live picture needs; TLS
// comes from GIO's GTlsCertificate; and taking each accepted socket from our
// own GSocketService lets us count and cap connections. Qt HTTP Server is a
// technology preview in Qt 6.4 with no streamed responses and no connection
// limit.

#include "media/frame.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <thread>

namespace kv::web {

struct WebConfig {
    QString listen;  // empty: off
    QString user;
    QString password;
    QString tlsCert;
    QString tlsKey;
    QString aviPath;
    bool operator==(const WebConfig&) const = default;
};

inline constexpr int kMaxConnections = 32;
inline constexpr int kMaxLiveViewers = 4;
inline constexpr int kLiveInterval_ms = 200;

class WebServer : public QObject {
    Q_OBJECT
  public:
    explicit WebServer(QObject* parent = nullptr);
    ~WebServer() override;

    // Starts, restarts or stops the server for these settings; a refused or
    // failed start is logged and told by statusText().
    void configure(const WebConfig& config);
    QString statusText() const { return statusText_; }
    bool running() const { return thread_.joinable(); }

    // The facts of --status, given by the owner; any thread.
    void setStatusJson(const QByteArray& json);
    // Someone watches the live picture.
    bool hasViewers() const;
    // A handled frame: copied for the live picture only while someone
    // watches and no more often than every kLiveInterval_ms. Main thread.
    void offerFrame(const std::uint8_t* pixels, const media::BITMAPINFOHEADER& format);

  Q_SIGNALS:
    void statusTextChanged(const QString& text);

  private:
    struct Core;
    void stop();
    void setStatusText(const QString& text);

    // --- main thread only
    std::shared_ptr<Core> core_;
    std::thread thread_;
    WebConfig config_;
    QString statusText_;
    QElapsedTimer liveClock_;
    qint64 nextLive_ms_ = 0;  // on liveClock_
};

}  // namespace kv::web
