#pragma once

// The main window's geometry for a picture size: the live and playback pictures
// take what the window leaves them, everything else keeps its place.

#include <QPoint>
#include <QRect>
#include <QSize>

class QImage;
class QPainter;
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

// The layout that fills a window's inside of the given size, as after the user
// resized it. The pictures never get smaller than the smallest picture.
WindowLayout windowLayoutForClient(QSize client);
inline constexpr QSize kSmallestPicture{160, 120};

// The picture size for a camera's first layout: the frame size, made smaller
// with its aspect kept where the window would not fit the available screen.
// `frame` is what the window manager's frame adds around the window's inside.
QSize pictureFittingScreen(QSize picture, QSize available, QSize frame);

// Where a picture is drawn in an area: as large as fits, with its aspect kept,
// centred between bars. An empty picture fills the area.
QRect letterboxed(QSize picture, QRect area);

// Draws picture letterboxed in area, the bars beside it black.
void drawLetterboxed(QPainter& painter, const QRect& area, const QImage& picture);

// Sizes the window and its controls; the window's position is left as it is.
// The user may resize it afterwards, down to the smallest picture.
void applyWindowLayout(Form1Controls& controls, QWidget* form, const WindowLayout& layout);

// Places the controls for a window that already has the layout's size.
void applyClientLayout(Form1Controls& controls, const WindowLayout& layout);

// Places the playback picture's panel in the room the layout gives it, with
// the day view under it when that is shown; replacePlaybackPanel() again in
// the same room, after the day view was shown or hidden.
inline constexpr int kDayViewHeight = 64;
void placePlaybackPanel(Form1Controls& controls, QRect panel);
void replacePlaybackPanel(Form1Controls& controls);

// Puts the window's inside at topLeft; a position no screen shows any more
// (a monitor taken away) brings the window to the middle of the main screen.
void placeWindow(QWidget* window, QPoint topLeft);
// The screen's area for windows, where the window is.
QSize availableRoom(const QWidget* window);
// Moves the window left and up where its size took it off its screen.
void keepOnScreen(QWidget* window);

}  // namespace kv::app
