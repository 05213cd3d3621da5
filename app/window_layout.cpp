#include "app/window_layout.h"

#include "app/day_view.h"
#include "app/form_controls.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProgressBar>
#include <QRegion>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QWidget>

#include <algorithm>

namespace kv::app {

namespace {

// What the window's inside holds besides the picture: the page control's margin
// of 5 on every side, its tabs, the panel's bevel and the page's bottom panels.
constexpr QSize kAroundPicture{30, 112};

}  // namespace

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
    l.window = QSize(w, h) + kAroundPicture;
    l.PageControl = QRect(5, 5, w + 20, h + 102);
    // The panels' 2-pixel bevel leaves exactly w x h for the picture inside.
    l.PanelRecord = QRect(5, 5, w + 4, h + 4);
    l.PanelPlayback = QRect(5, 5, w + 4, h + 4);
    l.MotionDisplayBar = QRect(5, 2, w + 2, 7);
    l.MotionTriggerBar = QRect(0, 9, w + 12, 14);
    l.TBPlayback = QRect(0, 1, w + 12, 21);
    return l;
}

WindowLayout windowLayoutForClient(QSize client) {
    const QSize picture = (client - kAroundPicture).expandedTo(kSmallestPicture);
    WindowLayout l = windowLayoutFor(picture.width(), picture.height());
    l.window = l.window.expandedTo(client);
    return l;
}

QSize pictureFittingScreen(QSize picture, QSize available, QSize frame) {
    if (picture.isEmpty()) {
        picture = QSize(320, 240);
    }
    const QSize room = (available - frame - kAroundPicture).expandedTo(kSmallestPicture);
    if (picture.width() <= room.width() && picture.height() <= room.height()) {
        return picture;
    }
    return picture.scaled(room, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QRect letterboxed(QSize picture, QRect area) {
    if (picture.isEmpty() || area.isEmpty()) {
        return area;
    }
    const QSize size = picture.scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2, size.width(), size.height());
}

void applyWindowLayout(Form1Controls& c, QWidget* form, const WindowLayout& layout) {
    form->setMinimumSize(windowLayoutFor(kSmallestPicture.width(), kSmallestPicture.height())
                             .window.boundedTo(layout.window));
    form->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    form->resize(layout.window);
    applyClientLayout(c, layout);
}

void applyClientLayout(Form1Controls& c, const WindowLayout& layout) {
    c.PageControl->setGeometry(layout.PageControl);
    // The paint boxes follow their panels; the bottom panels and status bars follow
    // the pages.
    c.PanelRecord->setGeometry(layout.PanelRecord);
    placePlaybackPanel(c, layout.PanelPlayback);
    c.MotionDisplayBar->setGeometry(layout.MotionDisplayBar);
    c.MotionTriggerBar->setGeometry(layout.MotionTriggerBar);
    c.TBPlayback->setGeometry(layout.TBPlayback);
}

void placePlaybackPanel(Form1Controls& c, QRect panel) {
    c.PanelPlayback->setProperty("fullGeometry", panel);
    if (c.DayPanel && !c.DayPanel->isHidden()) {
        // The picture gives up its lower part, down to the smallest picture.
        const int height =
            std::min(kDayViewHeight, std::max(panel.height() - kSmallestPicture.height(), 0));
        c.DayPanel->setGeometry(panel.x(), panel.bottom() + 1 - height, panel.width(), height);
        panel.setHeight(panel.height() - height - 2);
    }
    c.PanelPlayback->setGeometry(panel);
}

void replacePlaybackPanel(Form1Controls& c) {
    placePlaybackPanel(c, c.PanelPlayback->property("fullGeometry").toRect());
}

void drawLetterboxed(QPainter& painter, const QRect& area, const QImage& picture) {
    const QRect target = letterboxed(picture.size(), area);
    if (target != area) {
        const QRegion bars = QRegion(area).subtracted(QRegion(target));
        for (const QRect& bar : bars) {
            painter.fillRect(bar, Qt::black);
        }
    }
    painter.drawImage(target, picture);
}

void placeWindow(QWidget* window, QPoint topLeft) {
    // Its top strip must be on a screen, or it could not be dragged back.
    const QRect top(topLeft, QSize(window->width(), 20));
    bool visible = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        visible = visible || screen->availableGeometry().intersects(top);
    }
    if (!visible && QGuiApplication::primaryScreen()) {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        topLeft = area.center() - QPoint(window->width() / 2, window->height() / 2);
    }
    window->setGeometry(QRect(topLeft, window->size()));
}

QSize availableRoom(const QWidget* window) {
    return window->screen() ? window->screen()->availableGeometry().size() : QSize(1024, 768);
}

void keepOnScreen(QWidget* window) {
    if (!window->isVisible() || window->screen() == nullptr) {
        return;
    }
    const QRect area = window->screen()->availableGeometry();
    const QRect outer = window->frameGeometry();
    QPoint shift(std::min(0, area.right() - outer.right()),
                 std::min(0, area.bottom() - outer.bottom()));
    shift.rx() = std::max(shift.x(), area.left() - outer.left());
    shift.ry() = std::max(shift.y(), area.top() - outer.top());
    if (!shift.isNull()) {
        window->move(window->pos() + shift);
    }
}

}  // namespace kv::app
