#pragma once

// A posted message with the two parameters of a window message: the capture
// hand-off's new-frame message and the playback graph's notification cross
// from a streaming thread to the main thread this way, as do the window's own
// messages. Each owner numbers its messages; they are posted with
// QCoreApplication::postEvent and handled in the receiver's event().

#include <QEvent>

namespace kv::media {

class MessageEvent : public QEvent {
  public:
    MessageEvent(int message, long long wParam = 0, long long lParam = 0)
        : QEvent(static_cast<QEvent::Type>(message)), wParam_(wParam), lParam_(lParam) {}
    long long wParam() const { return wParam_; }
    long long lParam() const { return lParam_; }

  private:
    long long wParam_;
    long long lParam_;
};

}  // namespace kv::media
