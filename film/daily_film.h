#pragma once

// The film of each day, made by itself once the day is over (at midnight, or
// when the daily recording window closes), while recording goes on.
//
//   film::DailyFilm daily(media::systemClock());
//   daily.setSettings(settings);   // DailyFilm, FilmLength, FilmPace, ... and the window
//   daily.start();                 // clears films a quit or a crash cut off, checks each minute
//   ...
//   daily.stop();                  // on quit: cancels, waits a bounded time
//
// A day is filmed once: its film in Films/ ("2026-12-08.mp4" or ".avi") is
// the record. The film is made under a partial name ("2026-12-08.mp4.part")
// and renamed when complete, so a film cut off by a quit or a crash is found
// at the next start, removed and made again. Films are made one at a time on
// a thread of their own at the lowest CPU and I/O priority; every signal comes
// on the thread this object lives on.

#include "film/film_run.h"
#include "media/clock.h"
#include "session/settings.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kv::film {

class DailyFilm : public QObject {
    Q_OBJECT
  public:
    explicit DailyFilm(const media::Clock& clock, QObject* parent = nullptr);
    ~DailyFilm() override;

    void setSettings(const session::Settings& settings);
    // Settings that live on (the window's): read again at each check.
    void setSettingsSource(const session::Settings* settings) { source_ = settings; }
    // Checks now and every minute. The first check of a folder removes the
    // partial films a quit or a crash left there (their days are filmed again).
    void start();
    // Cancels the film being made and waits for its thread at most wait_ms;
    // a thread that overruns is left to end with the program. No signal follows.
    void stop(int wait_ms = 5000);
    // Starts the film of the next day that is due and not yet filmed.
    void check();
    bool busy() const { return run_.running(); }

    // The days due at `now` by the settings: yesterday, and today once the
    // daily window has closed (with a grace for the last file to be closed).
    static QList<QDate> dueDays(const session::Settings& settings, const QDateTime& now);
    // The day's film already made, in either format; empty when none is.
    static QString existingFilm(const QString& filmsFolder, QDate day);

    static constexpr int kGrace_s = 120;
    static constexpr int kCheckInterval_ms = 60000;

  Q_SIGNALS:
    void started(QDate day);
    void progress(qint64 done, qint64 total);
    void finished(QDate day, const QString& path, double length_s, int recordings);
    void failed(QDate day, const QString& reason);

  private:
    void begin(QDate day);
    void done(const FilmResult& result);
    void removePartialFilms();

    const media::Clock& clock_;
    session::Settings settings_;
    const session::Settings* source_ = nullptr;
    QTimer timer_;
    QString cleared_;       // the films folder whose partial films are gone
    QList<QDate> recover_;  // days whose partial film was removed at start
    QList<QDate> tried_;    // days filmed, empty or failed in this run: not tried again
    FilmRun run_;
    QDate filming_;
};

}  // namespace kv::film
