#include "dialogs/film_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

namespace kv::dialogs {

namespace {

// The name createNew() in the film maker will take: the wanted one, or with
// " (2)", " (3)" ... when taken.
QString freeName(const QString& folder, const QString& wanted) {
    const QFileInfo info(wanted);
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? wanted
                                    : QStringLiteral("%1 (%2).%3")
                                          .arg(info.completeBaseName())
                                          .arg(n)
                                          .arg(info.suffix());
        if (!QFileInfo::exists(folder + u'/' + name)) {
            return name;
        }
    }
    return wanted;
}

QString duration(qint64 seconds) {
    if (seconds < 60) {
        return FilmDialog::tr("%1 s").arg(seconds);
    }
    if (seconds < 3600) {
        return FilmDialog::tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    }
    return FilmDialog::tr("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

}  // namespace

FilmDialog::FilmDialog(const QString& folder, QDate day, const session::Settings& settings,
                       QWidget* parent)
    : QDialog(parent), folder_(folder) {
    setObjectName(QStringLiteral("FilmDialog"));
    setWindowTitle(tr("Film"));

    const QString format = QStringLiteral("yyyy-MM-dd HH:mm");
    from_ = new QDateTimeEdit(QDateTime(day, QTime(0, 0)));
    from_->setObjectName(QStringLiteral("FilmFrom"));
    from_->setDisplayFormat(format);
    from_->setCalendarPopup(true);
    to_ = new QDateTimeEdit(QDateTime(day, QTime(23, 59)));
    to_->setObjectName(QStringLiteral("FilmTo"));
    to_->setDisplayFormat(format);
    to_->setCalendarPopup(true);

    length_ = new QSpinBox;
    length_->setObjectName(QStringLiteral("FilmLength"));
    length_->setRange(1, 86400);
    length_->setSuffix(tr(" s"));
    length_->setValue(settings.FilmLength > 0 ? settings.FilmLength : 60);
    allFrames_ = new QCheckBox(tr("All frames"));
    allFrames_->setObjectName(QStringLiteral("FilmAllFrames"));
    allFrames_->setChecked(settings.FilmLength <= 0);
    length_->setEnabled(!allFrames_->isChecked());
    auto* lengthRow = new QHBoxLayout;
    lengthRow->addWidget(length_, 1);
    lengthRow->addWidget(allFrames_);

    pace_ = new QComboBox;
    pace_->setObjectName(QStringLiteral("FilmPace"));
    pace_->addItem(tr("Frames: busy hours take more of the film"));
    pace_->addItem(tr("Clock: the film's clock runs steadily"));
    pace_->setCurrentIndex(settings.FilmPace == 1 ? 1 : 0);
    deflicker_ = new QCheckBox(tr("Remove flicker"));
    deflicker_->setObjectName(QStringLiteral("FilmDeflicker"));
    deflicker_->setChecked(settings.FilmDeflicker);
    format_ = new QComboBox;
    format_->setObjectName(QStringLiteral("FilmFormat"));
    format_->addItem(tr("MP4 (H.264), plays everywhere"));
    format_->addItem(tr("AVI with the recordings' compressor"));
    format_->setCurrentIndex(settings.FilmFormat == 1 ? 1 : 0);
    name_ = new QLabel;
    name_->setObjectName(QStringLiteral("FilmName"));
    name_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* form = new QFormLayout;
    form->addRow(tr("From:"), from_);
    form->addRow(tr("To:"), to_);
    form->addRow(tr("Length:"), lengthRow);
    form->addRow(tr("Pace:"), pace_);
    form->addRow(QString(), deflicker_);
    form->addRow(tr("Format:"), format_);
    form->addRow(tr("Film:"), name_);

    bar_ = new QProgressBar;
    bar_->setObjectName(QStringLiteral("FilmProgress"));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    timeLeft_ = new QLabel;
    timeLeft_->setObjectName(QStringLiteral("FilmTimeLeft"));
    timeLeft_->setMinimumWidth(fontMetrics().horizontalAdvance(tr("About 59 min 59 s left")));
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(bar_, 1);
    progressRow->addWidget(timeLeft_);
    outcome_ = new QLabel;
    outcome_->setObjectName(QStringLiteral("FilmOutcome"));
    outcome_->setWordWrap(true);

    start_ = new QPushButton(tr("Start"));
    start_->setObjectName(QStringLiteral("FilmStart"));
    start_->setDefault(true);
    cancel_ = new QPushButton(tr("Cancel"));
    cancel_->setObjectName(QStringLiteral("FilmCancel"));
    play_ = new QPushButton(tr("Play"));
    play_->setObjectName(QStringLiteral("FilmPlay"));
    showFolder_ = new QPushButton(tr("Show in folder"));
    showFolder_->setObjectName(QStringLiteral("FilmShowFolder"));
    close_ = new QPushButton(tr("Close"));
    close_->setObjectName(QStringLiteral("FilmClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(play_);
    buttons->addWidget(showFolder_);
    buttons->addStretch(1);
    buttons->addWidget(start_);
    buttons->addWidget(cancel_);
    buttons->addWidget(close_);

    auto* all = new QVBoxLayout(this);
    all->addLayout(form);
    all->addLayout(progressRow);
    all->addWidget(outcome_);
    all->addStretch(1);
    all->addLayout(buttons);

    connect(from_, &QDateTimeEdit::dateTimeChanged, this, &FilmDialog::updateName);
    connect(to_, &QDateTimeEdit::dateTimeChanged, this, &FilmDialog::updateName);
    connect(format_, &QComboBox::currentIndexChanged, this, &FilmDialog::updateName);
    connect(allFrames_, &QCheckBox::toggled, length_,
            [this](bool all) { length_->setEnabled(!all); });
    connect(start_, &QPushButton::clicked, this, &FilmDialog::startFilm);
    connect(cancel_, &QPushButton::clicked, this, [this] { run_.cancel(); });
    connect(close_, &QPushButton::clicked, this, &FilmDialog::reject);
    connect(play_, &QPushButton::clicked, this, [this] {
        Q_EMIT playFilm(filmPath_);
        accept();
    });
    connect(showFolder_, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(filmPath_).absolutePath()));
    });
    connect(&run_, &film::FilmRun::progress, this, &FilmDialog::showProgress);
    connect(&run_, &film::FilmRun::finished, this, &FilmDialog::filmFinished);

    setRunning(false);
    play_->hide();
    showFolder_->hide();
    updateName();
}

FilmDialog::~FilmDialog() = default;

film::FilmRequest FilmDialog::request() const {
    film::FilmRequest r;
    r.folder = folder_;
    r.from = from_->dateTime();
    // The minute shown as the end is filmed to its last frame.
    r.to = to_->dateTime().addMSecs(59999);
    r.lengthSeconds = allFrames_->isChecked() ? 0 : length_->value();
    r.pace = pace_->currentIndex() == 1 ? film::Pace::Clock : film::Pace::Frames;
    r.deflicker = deflicker_->isChecked();
    r.format = format_->currentIndex() == 1 ? film::FilmFormat::Avi : film::FilmFormat::Mp4;
    return r;
}

void FilmDialog::updateName() {
    const film::FilmRequest r = request();
    if (r.to < r.from) {
        name_->setText(tr("The end lies before the start"));
        start_->setEnabled(false);
        return;
    }
    const QString folder = film::filmsFolder(folder_);
    name_->setText(QDir::toNativeSeparators(
        QStringLiteral("Films/") + freeName(folder, film::filmFileName(r.from, r.to, r.format))));
    start_->setEnabled(!run_.running());
}

void FilmDialog::setRunning(bool running) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{from_, to_, allFrames_, pace_, deflicker_, format_}) {
        w->setEnabled(!running);
    }
    length_->setEnabled(!running && !allFrames_->isChecked());
    start_->setVisible(!running);
    cancel_->setVisible(running);
    close_->setVisible(!running);
    bar_->setEnabled(running);
}

void FilmDialog::startFilm() {
    if (!run_.start(request(), false)) {
        return;
    }
    filmPath_.clear();
    play_->hide();
    showFolder_->hide();
    outcome_->clear();
    bar_->setValue(0);
    timeLeft_->setText(tr("Reading the recordings..."));
    elapsed_.start();
    setRunning(true);
    cancel_->setFocus();
}

void FilmDialog::showProgress(qint64 done, qint64 total) {
    if (total <= 0) {
        return;
    }
    bar_->setValue(int(done * 100 / total));
    if (done > 0 && done < total) {
        const qint64 left_s = elapsed_.elapsed() * (total - done) / done / 1000;
        timeLeft_->setText(left_s < 1 ? tr("Almost done")
                                      : tr("About %1 left").arg(duration(left_s)));
    }
}

void FilmDialog::filmFinished(const film::FilmResult& result) {
    setRunning(false);
    timeLeft_->clear();
    if (closeWhenDone_) {
        QDialog::reject();
        return;
    }
    if (result.ok) {
        filmPath_ = result.path;
        bar_->setValue(100);
        const QString from = result.recordings == 1
                                 ? tr("from 1 recording")
                                 : tr("from %1 recordings").arg(result.recordings);
        QString text = tr("%1 made: %2, %3.")
                           .arg(QFileInfo(result.path).fileName(),
                                duration(qRound64(result.duration_s)), from);
        if (!result.warnings.isEmpty()) {
            text += u'\n' + result.warnings.join(u'\n');
        }
        outcome_->setText(text);
        play_->show();
        showFolder_->show();
        play_->setDefault(true);
        play_->setFocus();
    } else {
        bar_->setValue(0);
        outcome_->setText(result.cancelled ? tr("Cancelled; no film was made.") : result.error);
    }
    updateName();
}

void FilmDialog::reject() {
    if (run_.running()) {
        // The film goes first; the dialog closes when it has.
        closeWhenDone_ = true;
        run_.cancel();
        return;
    }
    QDialog::reject();
}

}  // namespace kv::dialogs
