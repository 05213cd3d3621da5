#pragma once

// The daily film in the window: made by itself (film::DailyFilm), followed in
// a panel of the status bars (the Playback page's only while it is made), and told
// by a desktop notification that opens it when clicked. The window only
// creates it; it reads the window's settings at each check and stops with
// the program.

#include "app/desktop_notifications.h"
#include "film/daily_film.h"

#include <QObject>

class QLabel;

namespace kv::app {

struct Form1Controls;

class DailyFilmStatus : public QObject {
    Q_OBJECT
  public:
    DailyFilmStatus(const Form1Controls& controls, DesktopNotifications& notifications,
                    const session::Settings& settings, const media::Clock& clock, QObject* parent);
    ~DailyFilmStatus() override;

    film::DailyFilm& daily() { return daily_; }
    // What the status bars show about the film; empty when nothing.
    QString text() const;

  private:
    void setText(const QString& text, bool filming);

    film::DailyFilm daily_;
    QList<QLabel*> labels_;  // in the Record page's status bar, then the Playback page's
    QDate day_;
};

// "8 Dec", as the film's notification and status name a day.
QString filmDayText(QDate day);

}  // namespace kv::app
