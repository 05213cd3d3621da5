#pragma once

// The web page of a running recorder, window or headless: follows the
// session's [Web] settings, tells the page the state every second and hands
// it the live picture while someone watches.

#include <QDateTime>
#include <QObject>
#include <QString>

namespace kv::session {
class RecordingSession;
}

namespace kv::web {
class WebServer;
}

namespace kv::app {

class WebService : public QObject {
    Q_OBJECT
  public:
    WebService(session::RecordingSession& session, QString suffix, bool headless, QObject* parent);
    web::WebServer& server() { return *server_; }

  private:
    void follow();
    void tellState();

    session::RecordingSession& session_;
    const QString suffix_;
    const bool headless_;
    web::WebServer* server_ = nullptr;
    QDateTime lastMovement_;
};

// Starts serving the page for this session (off until [Web] Listen is set).
WebService* serveWeb(session::RecordingSession& session, const QString& suffix, bool headless,
                     QObject* parent);

}  // namespace kv::app
