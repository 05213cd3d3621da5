#include "app/web_service.h"

#include "app/recorder_status.h"
#include "session/recording_session.h"
#include "web/web_server.h"

#include <QDateTime>
#include <QTimer>

namespace kv::app {

WebService::WebService(session::RecordingSession& session, QString suffix, bool headless,
                       QObject* parent)
    : QObject(parent), session_(session), suffix_(std::move(suffix)), headless_(headless) {
    server_ = new web::WebServer(this);
    connect(&session_, &session::RecordingSession::movementStarted, this,
            [this] { lastMovement_ = QDateTime::currentDateTime(); });
    connect(&session_, &session::RecordingSession::settingsApplied, this, &WebService::follow);
    // The frame is stamped by the time it has been handled.
    connect(&session_, &session::RecordingSession::frameHandled, this,
            [this] { server_->offerFrame(session_.displayCopy(), session_.displayFormat()); });
    auto* timer = new QTimer(this);
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &WebService::tellState);
    timer->start();
    follow();
}

void WebService::follow() {
    const session::Settings& s = session_.settings();
    server_->configure(
        {s.WebListen, s.WebUser, s.WebPassword, s.WebTLSCert, s.WebTLSKey, s.AVIPath});
    tellState();
}

void WebService::tellState() {
    if (!server_->running()) {
        return;
    }
    // The folder is counted on the server's thread, not here.
    server_->setStatusJson(
        toJson(recorderStatus(session_, suffix_, headless_, lastMovement_, false)));
}

WebService* serveWeb(session::RecordingSession& session, const QString& suffix, bool headless,
                     QObject* parent) {
    return new WebService(session, suffix, headless, parent);
}

}  // namespace kv::app
