#pragma once

// The program's own messages, as Qt event types with their historic numbers.
// They are posted with QCoreApplication::postEvent and handled in event().

#include <QEvent>

namespace kv::media {

enum WindowMessage : int {
    WM_STARTUP = 1124,
    WM_NEWFRAME = 1125,
    WM_TRAYICON = 1127,
    WM_OTHERINSTANCE = 1128,
    WM_GRAPHNOTIFY = 32769,
};

// Tray events carried in lParam, as the notification area reports them.
constexpr long WM_LBUTTONDBLCLK = 515;
constexpr long WM_RBUTTONDOWN = 516;

// A posted message with the two parameters of a window message.
class MessageEvent : public QEvent {
  public:
    MessageEvent(WindowMessage message, long long wParam = 0, long long lParam = 0)
        : QEvent(static_cast<QEvent::Type>(message)), wParam_(wParam), lParam_(lParam) {}
    long long wParam() const { return wParam_; }
    long long lParam() const { return lParam_; }

  private:
    long long wParam_;
    long long lParam_;
};

}  // namespace kv::media
