#pragma once

// The window's own messages, with their historic numbers.

#include "media/message_event.h"

namespace kv::app {

enum WindowMessage : int {
    WM_STARTUP = 1124,
    WM_TRAYICON = 1127,
    WM_OTHERINSTANCE = 1128,
};

// Tray events carried in lParam, as the notification area reports them.
constexpr long WM_LBUTTONUP = 514;
constexpr long WM_LBUTTONDBLCLK = 515;
constexpr long WM_RBUTTONDOWN = 516;

}  // namespace kv::app
