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

    // The folder of the sockets and locks: $XDG_RUNTIME_DIR/kestrelvision, or
    // else kestrelvision in $XDG_CACHE_HOME (~/.cache); only a folder owned by
    // the user with mode 0700. Empty, with the reason in why, when none is.
    static QString socketFolder(QString* why = nullptr);

    // This instance's window identity in the protocol.
    qint64 windowId() const { return windowId_; }

    // Starts answering other instances. A stale socket of a crashed instance
    // with the same identity is removed first. Should the socket go (a failed
    // accept closes it, or its file is removed), it is made again.
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

    // A request is one line of at most this many bytes; a connection lasts at
    // most kConnection_ms, and at most kMaxConnections are served at once.
    static constexpr qint64 kMaxRequest = 4096;
    static constexpr int kConnection_ms = 2000;
    static constexpr int kMaxConnections = 16;

  Q_SIGNALS:
    // A reply to our broadcast: WM_OTHERINSTANCE with its parameters.
    void otherInstance(qint64 wParam, qint64 lParam);
    // Another instance asked us to show our window.
    void showNormalRequested();

  private:
    void serve(QLocalSocket* socket);
    void keepListening();
    QString socketPath(qint64 window) const;
    std::optional<QByteArray> request(const QString& path, const QByteArray& line, int timeout_ms);

    // Every other instance's socket in the folder.
    QStringList otherSockets() const;

    QString folder_;
    qint64 windowId_;
    std::function<QByteArray()> status_;
    bool answersRunning_ = true;
    QLocalServer* server_ = nullptr;
    int connections_ = 0;
    bool relistening_ = false;  // the socket was lost and is not back yet: said once
};

// The state line as it may go out: every text in it without control
// characters and no longer than 200 characters (paths 4096), so that a
// camera's error text can neither reach a terminal raw nor outgrow the reply.
QByteArray sanitizedStatus(const QByteArray& json);

// Whether an instance suffix can name the instance's files (its settings, its
// lock): none, or one letter or digit. Otherwise false, with a message for the
// user.
bool isUsableInstanceSuffix(const QString& suffix, QString* why);

}  // namespace kv::app
