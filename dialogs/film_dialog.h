#pragma once

// "Film...": films a span of the recording folder. The span, length, pace,
// deflicker and format are chosen here, the film's name is shown as they
// change; the film is made on a thread of its own with a progress bar, the
// time left and Cancel. When it is made the dialog offers to play it or to
// show its folder.

#include "film/film_run.h"
#include "session/settings.h"

#include <QDate>
#include <QDialog>
#include <QElapsedTimer>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace kv::dialogs {

class FilmDialog : public QDialog {
    Q_OBJECT
  public:
    // folder: the recording folder; day: the span's day at first; settings:
    // the daily film's choices, taken as the dialog's first ones.
    FilmDialog(const QString& folder, QDate day, const session::Settings& settings,
               QWidget* parent = nullptr);
    ~FilmDialog() override;

    film::FilmRequest request() const;
    // The film made; empty until then.
    const QString& filmPath() const { return filmPath_; }
    // Closing while a film is being made cancels it first.
    void reject() override;

  Q_SIGNALS:
    // The user asked to play the film made.
    void playFilm(const QString& path);

  private:
    void updateName();
    void startFilm();
    void showProgress(qint64 done, qint64 total);
    void filmFinished(const film::FilmResult& result);
    void setRunning(bool running);

    QString folder_;
    film::FilmRun run_;
    QElapsedTimer elapsed_;
    QString filmPath_;
    bool closeWhenDone_ = false;

    QDateTimeEdit* from_ = nullptr;
    QDateTimeEdit* to_ = nullptr;
    QSpinBox* length_ = nullptr;
    QCheckBox* allFrames_ = nullptr;
    QComboBox* pace_ = nullptr;
    QCheckBox* deflicker_ = nullptr;
    QComboBox* format_ = nullptr;
    QLabel* name_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* timeLeft_ = nullptr;
    QLabel* outcome_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* showFolder_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace kv::dialogs
