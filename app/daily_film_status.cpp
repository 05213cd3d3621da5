#include "app/daily_film_status.h"

#include "app/desktop_notifications.h"
#include "app/form_controls.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QTimer>

namespace kv::app {

// The day as the user's region writes it, like the stamp's date.
QString filmDayText(QDate day) {
    return QLocale().toString(day, QStringLiteral("d MMM"));
}

DailyFilmStatus::DailyFilmStatus(const Form1Controls& c, DesktopNotifications& notifications,
                                 const session::Settings& settings, const media::Clock& clock,
                                 QObject* parent)
    : QObject(parent), daily_(clock) {
    for (PanelStatusBar* bar : {c.StatusBarRecord, c.StatusBarPlayback}) {
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("lbDailyFilm"));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setContentsMargins(2, 0, 2, 0);
        label->hide();
        bar->layout()->addWidget(label);
        labels_ << label;
    }
    daily_.setSettingsSource(&settings);
    connect(&daily_, &film::DailyFilm::started, this, [this](QDate day) {
        day_ = day;
        setText(tr("Filming %1").arg(filmDayText(day)), true);
    });
    connect(&daily_, &film::DailyFilm::progress, this, [this](qint64 done, qint64 total) {
        if (total > 0) {
            setText(tr("Filming %1: %2 %").arg(filmDayText(day_)).arg(done * 100 / total), true);
        }
    });
    connect(
        &daily_, &film::DailyFilm::finished, this,
        [this, &notifications](QDate day, const QString& path, double length_s, int recordings) {
            setText(tr("Film of %1 ready").arg(filmDayText(day)), false);
            for (QLabel* label : std::as_const(labels_)) {
                label->setToolTip(path);
            }
            notifications.filmReady(day, path, length_s, recordings);
        });
    connect(&daily_, &film::DailyFilm::failed, this, [this](QDate day, const QString& reason) {
        setText(tr("No film of %1").arg(filmDayText(day)), false);
        for (QLabel* label : std::as_const(labels_)) {
            label->setToolTip(reason);
        }
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { daily_.stop(); });
    // The window loads its settings on its start-up message, posted once it is
    // built: start behind that message. Later changes are read at each check.
    QTimer::singleShot(0, this,
                       [this] { QTimer::singleShot(0, this, [this] { daily_.start(); }); });
}

DailyFilmStatus::~DailyFilmStatus() {
    daily_.stop();
}

QString DailyFilmStatus::text() const {
    return labels_.isEmpty() ? QString() : labels_.first()->text();
}

void DailyFilmStatus::setText(const QString& text, bool filming) {
    for (QLabel* label : std::as_const(labels_)) {
        label->setText(text);
        // The Playback page's panels need the room for the file and frame
        // shown: there the film shows only while it is made.
        label->setVisible(!text.isEmpty() && (filming || label == labels_.first()));
    }
}

}  // namespace kv::app
