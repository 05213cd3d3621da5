#pragma once

// The main window's geometry for a frame size: the live picture and the panels
// that show it grow with the frame, everything else keeps its place.

#include <QRect>
#include <QSize>

class QWidget;

namespace kv::app {

struct Form1Controls;

struct WindowLayout {
    QSize livePicture;
    QSize window;  // client area of the main window
    // Page control in the window; panels in their page; bars in their bottom panel.
    QRect PageControl;
    QRect PanelRecord;
    QRect PanelPlayback;
    QRect MotionDisplayBar;
    QRect MotionTriggerBar;
    QRect TBPlayback;
};

// A frame size with either side 0 (no capture format yet) lays out for 320 x 240.
WindowLayout windowLayoutFor(int w, int h);

// Sizes the window and its controls; the window's position is left as it is.
void applyWindowLayout(Form1Controls& controls, QWidget* form, const WindowLayout& layout);

}  // namespace kv::app
