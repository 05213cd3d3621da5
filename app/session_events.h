#pragma once

// The end of the session and power events, as the desktop reports them:
// SIGTERM and SIGINT (through a signal-safe self-pipe) and the session
// manager's end of the session become endSession(), SIGHUP hangUp() (the
// window ends by it, a service reloads its settings); logind's PrepareForSleep
// on the system bus becomes powerEvent(). Without a system bus there are
// simply no power events.

#include <QObject>

class QSocketNotifier;

namespace kv::app {

class SessionEvents : public QObject {
    Q_OBJECT
  public:
    explicit SessionEvents(QObject* parent = nullptr);
    ~SessionEvents() override;

    bool watchingPower() const { return watchingPower_; }

  Q_SIGNALS:
    void endSession();
    void hangUp();
    void powerEvent();

  private Q_SLOTS:
    void onPrepareForSleep(bool start);

  private:
    void onSignal();

    QSocketNotifier* notifier_ = nullptr;
    bool watchingPower_ = false;
};

}  // namespace kv::app
