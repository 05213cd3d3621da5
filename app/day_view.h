#pragma once

// The Playback page's day view: a strip of one calendar day with everything
// recorded on it, read from the recordings' journals in the background, with
// the day's date (a calendar marks the days that have recordings), the days
// before and after, a thumbnail of the moment under the mouse, the day's
// movements as a row of thumbnails, and "Go to time…". It asks the page to
// show a frame with goTo(); the window never waits on a journal or a decode.

#include "review/day_loader.h"

#include <QDate>
#include <QDateTime>
#include <QWidget>

#include <memory>
#include <optional>

class QCalendarWidget;
class QLabel;
class QListWidget;
class QToolButton;

namespace kv::review {
class FramePictures;
}

namespace kv::app {

class DayStrip;

class DayView : public QWidget {
    Q_OBJECT
  public:
    explicit DayView(QWidget* parent = nullptr);
    ~DayView() override;

    // The recording folder (AVIPath): its days are listed again, and the day
    // shown is read again (unchanged recordings come from the cache).
    void refresh(const QString& aviPath);
    // Shows a day: the nearest day with recordings when it has none.
    void showDay(QDate day);
    QDate shownDay() const { return day_; }
    // Page Up / Page Down: the day before or after with recordings.
    void stepDay(bool forward);
    // The recorded frame nearest the moment, on its day.
    void goToTime(const QDateTime& when);
    // Asks for a date and time (Ctrl+G).
    void askGoToTime();
    // The start of the next (previous) movement after the moment, on through
    // the days with recordings. False when the day view cannot tell (the
    // moment is not on the day it shows).
    bool jumpToMovement(qint64 time_ms, bool forward);
    // The frame the Playback page shows: its moment marks the strip, and a
    // frame of another day brings that day.
    void setShownFrame(const QString& path, std::optional<QDateTime> taken);
    // + and - over the strip zoom it.
    bool zoomKey(int steps);

    DayStrip* strip() const { return strip_; }
    const std::shared_ptr<const review::DayActivity>& activity() const { return activity_; }

  Q_SIGNALS:
    void goTo(const QString& path, qint64 frame);
    // A line for the status bar: a damaged file skipped, no further movement.
    void message(const QString& text);

  private:
    enum class After { Nothing, GoToTime, FirstMovement, LastMovement };
    void daysListed(std::shared_ptr<const review::FolderDays> days);
    void dayLoaded(std::shared_ptr<const review::DayActivity> day);
    void load(QDate day, After after, qint64 time_ms = 0);
    void goToFrame(const review::DayFrame& frame);
    void hovered(qint64 time_ms, QPoint global);
    void pictureReady(const QString& path, qint64 frame, const QImage& picture,
                      const QString& error);
    void showMovements();
    void markCalendar();
    void updateHeader();

    review::DayLoader* loader_ = nullptr;
    review::FramePictures* pictures_ = nullptr;
    DayStrip* strip_ = nullptr;
    QToolButton* previous_ = nullptr;
    QToolButton* date_ = nullptr;
    QToolButton* next_ = nullptr;
    QToolButton* movementsButton_ = nullptr;
    QLabel* summary_ = nullptr;
    QCalendarWidget* calendar_ = nullptr;
    QLabel* hover_ = nullptr;           // the thumbnail under the mouse, a tool tip window
    QListWidget* movements_ = nullptr;  // the day's movements, a popup
    std::size_t movementPictures_ = 0;  // the next movement whose thumbnail is asked for

    QString aviPath_;
    std::shared_ptr<const review::FolderDays> days_;
    std::shared_ptr<const review::DayActivity> activity_;
    QDate day_;
    After after_ = After::Nothing;
    qint64 afterTime_ = 0;
    std::optional<review::DayFrame> hovering_;
    QPoint hoverAt_;
};

}  // namespace kv::app
