#include "app/window_layout.h"

#include "app/form_controls.h"

#include <QProgressBar>
#include <QSlider>
#include <QTabWidget>

namespace kv::app {

WindowLayout windowLayoutFor(int w, int h) {
    if (w == 0 || h == 0) {
        w = 320;
        h = 240;
    }
    WindowLayout l;
    l.livePicture = QSize(w, h);
    // w + 36 by h + 144 is the outer size of a dialog frame with 3-pixel borders
    // and a 29-pixel caption. Here the window manager draws the frame, so the
    // client is sized: the page control with its margin of 5 on every side.
    l.window = QSize(w + 30, h + 112);
    l.PageControl = QRect(5, 5, w + 20, h + 102);
    // The panels' 2-pixel bevel leaves exactly w x h for the picture inside.
    l.PanelRecord = QRect(5, 5, w + 4, h + 4);
    l.PanelPlayback = QRect(5, 5, w + 4, h + 4);
    l.MotionDisplayBar = QRect(5, 2, w + 2, 7);
    l.MotionTriggerBar = QRect(0, 9, w + 12, 14);
    l.TBPlayback = QRect(0, 1, w + 12, 21);
    return l;
}

void applyWindowLayout(Form1Controls& c, QWidget* form, const WindowLayout& layout) {
    // The window is not resizable by the user; only this layout changes its size.
    form->setFixedSize(layout.window);
    c.PageControl->setGeometry(layout.PageControl);
    // The paint boxes follow their panels; the bottom panels and status bars follow
    // the pages.
    c.PanelRecord->setGeometry(layout.PanelRecord);
    c.PanelPlayback->setGeometry(layout.PanelPlayback);
    c.MotionDisplayBar->setGeometry(layout.MotionDisplayBar);
    c.MotionTriggerBar->setGeometry(layout.MotionTriggerBar);
    c.TBPlayback->setGeometry(layout.TBPlayback);
}

}  // namespace kv::app
