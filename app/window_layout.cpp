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
    // The original figure, w + 36 by h + 144, is the outer size of a window whose
    // frame and caption the program drew itself. Here the window manager adds its
    // own decoration, of a size unknown before the window is mapped, so the figure
    // is taken as the client size: the page control keeps its left and top margin
    // of 5 and gains a little room at the right and bottom, under any decoration.
    l.window = QSize(w + 36, h + 144);
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
