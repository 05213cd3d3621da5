#pragma once

// Single instance over per-user local sockets. Every running instance listens
// on its own socket in a private folder; a starting instance asks each of them
// whether it is running, as a broadcast to every top-level window would, and
// takes the one that answered last.

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace kv::app {

// The rule a running instance applies to the instance-running message: it
// answers only a message with wParam 0 that did not come from itself. Returns
// the window to answer with WM_OTHERINSTANCE, or nothing.
std::optional<qint64> answerInstanceRunning(qint64 wParam, qint64 lParam, qint64 ownWindow);

class InstanceChannel : public QObject {
    Q_OBJECT
  public:
    explicit InstanceChannel(QObject* parent = nullptr);
    ~InstanceChannel() override;

    // The folder of the sockets: $XDG_RUNTIME_DIR/kestrelvision, or a private
    // folder in /tmp. Empty when no folder can be used safely.
    static QString socketFolder();

    // This instance's window identity in the protocol.
    qint64 windowId() const { return windowId_; }

    // Starts answering other instances. A stale socket of a crashed instance
    // with the same identity is removed first.
    bool listen();

    // Sends the instance-running message (wParam, lParam) to every other
    // running instance and reports each WM_OTHERINSTANCE reply through
    // otherInstance(), synchronously, before it returns.
    void broadcastRunning(qint64 wParam, qint64 lParam, int timeout_ms = 1000);

    // Asks the instance with that window to show its window in the normal state.
    bool showWindowNormal(qint64 window, int timeout_ms = 1000);

    // An instance without a window is nobody's first instance to show.
    void setAnswersRunning(bool answers) { answersRunning_ = answers; }

    // What this instance tells when asked for its state: one line of JSON.
    void setStatusProvider(std::function<QByteArray()> provider) { status_ = std::move(provider); }
    // The states of every other running instance that tells one.
    QList<QByteArray> statuses(int timeout_ms = 1000);

  Q_SIGNALS:
    // A reply to our broadcast: WM_OTHERINSTANCE with its parameters.
    void otherInstance(qint64 wParam, qint64 lParam);
    // Another instance asked us to show our window.
    void showNormalRequested();

  private:
    void serve(QLocalSocket* socket);
    QString socketPath(qint64 window) const;
    std::optional<QByteArray> request(const QString& path, const QByteArray& line, int timeout_ms);

    // Every other instance's socket in the folder.
    QStringList otherSockets() const;

    QString folder_;
    qint64 windowId_;
    std::function<QByteArray()> status_;
    bool answersRunning_ = true;
    QLocalServer* server_ = nullptr;
};

}  // namespace kv::app
