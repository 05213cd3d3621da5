#include "app/playback_page.h"
#include "app/wait_cursor.h"

#include "app/day_strip.h"
#include "app/day_view.h"
#include "app/window_layout.h"
#include "dialogs/film_dialog.h"
#include "playback/frame_export.h"
#include "playback/journal_activity.h"
#include "playback/playback_graph.h"
#include "playback/record_navigation.h"
#include "record/record_files.h"
#include "record/record_graph.h"
#include "session/recording_session.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <memory>
#include <utility>

Q_LOGGING_CATEGORY(lcPlayback, "kv.app.playback", QtWarningMsg)

namespace kv::app {

namespace {

const QString kProduct = QStringLiteral("Kestrelvision");

}  // namespace

void PlaybackPage::setPlaybackFileName(const QString& name) {
    playbackFileName_ = name;
    session_.setPlaybackFileName(name);  // the quota spares it
}

PlaybackPage::PlaybackPage(const Form1Controls& controls, QWidget* window,
                           const session::Settings& settings, session::RecordingSession& session,
                           const media::Clock& clock, const bool& terminating)
    : QObject(window),
      c_(controls),
      window_(window),
      settings_(settings),
      session_(session),
      clock_(clock),
      terminating_(terminating) {
    playbackGraph_ = new playback::PlaybackGraph(this, this);
    connect(playbackGraph_, &playback::PlaybackGraph::frameReady, c_.PaintBoxPlayback,
            qOverload<>(&QWidget::update));
    connect(playbackGraph_, &playback::PlaybackGraph::loadFinished, this,
            &PlaybackPage::PlaybackLoadFinished);
    wireControls();
}

PlaybackPage::~PlaybackPage() = default;

void PlaybackPage::wireControls() {
    connect(c_.BtnCancelLoad, &QPushButton::clicked, this, &PlaybackPage::BtnCancelLoadClick);
    c_.PaintBoxPlayback->setPaintHook([this](QPainter& painter) {
        const QImage frame = playbackGraph_->currentImage();
        painter.fillRect(c_.PaintBoxPlayback->rect(), window_->palette().color(QPalette::Window));
        if (!frame.isNull()) {
            drawLetterboxed(painter, c_.PaintBoxPlayback->rect(), frame);
        }
    });
    connect(c_.tBtnOpenActual, &QToolButton::clicked, this, &PlaybackPage::tBtnOpenActualClick);
    connect(c_.tBtnSpeed, &QToolButton::clicked, this, [this] { ChangePlaySpeed(0); });
    connect(c_.tBtnOpen, &QToolButton::clicked, this, &PlaybackPage::BtnOpenClick);
    connect(c_.tBtnFilm, &QToolButton::clicked, this, &PlaybackPage::tBtnFilmClick);
    connect(c_.PageControl, &QTabWidget::currentChanged, this, [this] {
        const bool shown = c_.PageControl->currentWidget() == c_.tsPlayback;
        c_.tBtnFilm->setVisible(shown);
        c_.tBtnDayView->setVisible(shown);
        if (shown) {
            refreshDayView();
        }
    });
    connect(c_.tBtnDayView, &QToolButton::toggled, this, [this](bool on) {
        c_.DayPanel->setVisible(on);
        replacePlaybackPanel(c_);
        refreshDayView();
    });
    connect(c_.DayPanel, &DayView::goTo, this, &PlaybackPage::showRecordedFrame);
    connect(c_.DayPanel, &DayView::message, this,
            [this](const QString& text) { c_.StatusBarPlayback->setPanelText(1, text); });
    // Today's strip grows with each recording the recorder finishes.
    connect(&session_, &session::RecordingSession::recordingFinished, this,
            &PlaybackPage::refreshDayView);
    connect(c_.tBtnStop, &QToolButton::clicked, this, &PlaybackPage::BtnStopClick);
    connect(c_.tBtnPlay, &QToolButton::clicked, this, &PlaybackPage::BtnStartClick);
    connect(c_.tBtnBack, &QToolButton::clicked, this, &PlaybackPage::BtnBackClick);
    connect(c_.tBtnForward, &QToolButton::clicked, this, &PlaybackPage::BtnForwardClick);
    connect(c_.tBtnPrev, &QToolButton::clicked, this, &PlaybackPage::BtnPrevFileClick);
    connect(c_.tBtnNext, &QToolButton::clicked, this, &PlaybackPage::BtnNextFileClick);
    connect(c_.tBtnSave, &QToolButton::clicked, this, &PlaybackPage::BtnSaveClick);
    connect(c_.tBtnPrint, &QToolButton::clicked, this, &PlaybackPage::tBtnPrintClick);
    connect(c_.PanelPlayback, &Panel::doubleClicked, this, &PlaybackPage::PanelPlaybackDblClick);
    connect(c_.TBPlayback, &QSlider::valueChanged, this, &PlaybackPage::TBPlaybackChange);
    connect(c_.TBPlayback, &QSlider::sliderPressed, this, &PlaybackPage::TBPlaybackStartDrag);
    connect(c_.TBPlayback, &QSlider::sliderReleased, this, &PlaybackPage::TBPlaybackEndDrag);
    connect(c_.TimerTrackBar, &QTimer::timeout, this, &PlaybackPage::TimerTrackBarTimer);
}

bool PlaybackPage::event(QEvent* event) {
    if (int(event->type()) == playback::WM_GRAPHNOTIFY) {
        PlaybackGraphNotify();
        return true;
    }
    return QObject::event(event);
}

bool PlaybackPage::keyPressed(int key, Qt::KeyboardModifiers modifiers) {
    if (c_.PageControl->currentWidget() != c_.tsPlayback) {
        return false;
    }
    if ((modifiers & Qt::ControlModifier) && (key == Qt::Key_Right || key == Qt::Key_Left)) {
        JumpToMovement(key == Qt::Key_Right);
        return true;
    }
    if ((modifiers & Qt::ControlModifier) && key == Qt::Key_G) {
        showDayView();
        c_.DayPanel->askGoToTime();
        return true;
    }
    if (modifiers & Qt::ControlModifier) {
        return false;  // left to the window (Ctrl+Z, Ctrl+Q ...)
    }
    switch (key) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            showDayView();
            c_.DayPanel->stepDay(key == Qt::Key_PageDown);
            return true;
        case Qt::Key_Space:
            if (!playbackGraph_->loaded()) {
                return false;  // goes on to the focused control
            }
            if (playbackGraph_->isStopped()) {
                BtnStartClick();
            } else {
                BtnStopClick();
            }
            return true;
        case Qt::Key_Up:
            BtnBackClick();
            return true;
        case Qt::Key_Down:
            BtnForwardClick();
            return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            if (!c_.DayPanel->zoomKey(+1)) {
                ChangePlaySpeed(+1);
            }
            return true;
        case Qt::Key_Minus:
            if (!c_.DayPanel->zoomKey(-1)) {
                ChangePlaySpeed(-1);
            }
            return true;
        default:
            return false;
    }
}

void PlaybackPage::BuildPlaybackGraph() {
    record::repairBeforePlayback(playbackFileName_);
    // The file loads in the background, however slow its disk: the window
    // shows that it is busy and offers Cancel.
    c_.StatusBarPlayback->setSimpleText(
        tr("Loading %1 ...").arg(QFileInfo(playbackFileName_).fileName()));
    c_.PlaybackBusy->show();
    playbackGraph_->load(playbackFileName_);
}

void PlaybackPage::PlaybackLoadFinished(playback::PlaybackBuild result) {
    c_.PlaybackBusy->hide();
    const std::optional<qint64> seekTo = std::exchange(seekAfterLoad_, std::nullopt);
    if (result != playback::PlaybackBuild::Loaded) {
        c_.StatusBarPlayback->setSimpleText(QString());
        const QString message = playback::PlaybackBuildMessage(result);
        if (!message.isEmpty()) {
            QMessageBox::warning(window_, kProduct, message);
        }
        ClosePlaybackGraph();
        return;
    }
    c_.TBPlayback->setMaximum(int(playbackGraph_->frameCount()));
    c_.StatusBarPlayback->setSimpleText(
        playback::PlaybackStatusText(playbackFileName_, playbackGraph_->frameCount()));
    playbackJournal_ = record::readJournal(record::journalPath(playbackFileName_));
    showPlaybackActivity();
    showPlaybackPosition();
    c_.TimerTrackBar->start();
    for (QToolButton* button : {c_.tBtnStop, c_.tBtnPlay, c_.tBtnBack, c_.tBtnForward, c_.tBtnPrev,
                                c_.tBtnNext, c_.tBtnSave, c_.tBtnPrint}) {
        button->setEnabled(true);
    }
    if (seekTo) {
        c_.TBPlayback->setValue(int(*seekTo));
    }
}

void PlaybackPage::BtnCancelLoadClick() {
    if (!playbackGraph_->loading()) {
        return;
    }
    qCInfo(lcPlayback).noquote() << "loading" << playbackFileName_ << "cancelled";
    ClosePlaybackGraph();
    c_.StatusBarPlayback->setSimpleText(QString());
}

void PlaybackPage::ClosePlaybackGraph() {
    playbackGraph_->close();
    c_.PlaybackBusy->hide();
    seekAfterLoad_.reset();
    playbackJournal_.clear();
    c_.TBPlayback->setActivity({}, {}, 0);
    c_.StatusBarPlayback->setPanelText(1, QString());
    c_.PaintBoxPlayback->update();
}

void PlaybackPage::tBtnOpenActualClick() {
    if (session_.recordedFrames() <= 0) {
        return;
    }
    WaitCursor wait;
    const QString current = session_.RecordFileName();
    setPlaybackFileName(current);
    session_.CloseRecordGraph();
    session_.BuildRecordGraph();
    ClosePlaybackGraph();
    // It can be read once its index is written, which happens in the background.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(&session_, &session::RecordingSession::recordingFinished, this,
                          [this, current, connection](const QString& fileName) {
                              if (fileName != current) {
                                  return;
                              }
                              disconnect(*connection);
                              if (playbackFileName_ == current && !playbackGraph_->loaded() &&
                                  !playbackGraph_->loading()) {
                                  BuildPlaybackGraph();
                              }
                          });
}

void PlaybackPage::BtnOpenClick() {
    // Recordings live in the recording folder, not beside the program.
    c_.OpenDialog->setDirectory(settings_.AVIPath);
    if (c_.OpenDialog->exec() != QDialog::Accepted || c_.OpenDialog->selectedFiles().isEmpty()) {
        return;
    }
    openFile(c_.OpenDialog->selectedFiles().first());
}

void PlaybackPage::openFile(const QString& path) {
    ClosePlaybackGraph();
    setPlaybackFileName(path);
    BuildPlaybackGraph();
}

QDate PlaybackPage::filmDay() const {
    if (const std::optional<QDateTime> shown = shownFrameTime()) {
        return shown->date();
    }
    const QString name = QFileInfo(playbackFileName_).fileName();
    if (record::isRecordingName(name)) {
        const QDate named = QDate::fromString(name.left(6), QStringLiteral("yyMMdd"));
        if (named.isValid()) {
            return named.addYears(100);  // "yy" reads as 19yy
        }
    }
    return clock_.now().date();
}

void PlaybackPage::tBtnFilmClick() {
    auto* dialog = new dialogs::FilmDialog(record::recordingFolder(settings_.AVIPath), filmDay(),
                                           settings_, window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &dialogs::FilmDialog::playFilm, this, [this](const QString& path) {
        c_.PageControl->setCurrentWidget(c_.tsPlayback);
        openFile(path);
    });
    dialog->open();
}

void PlaybackPage::BtnStopClick() {
    if (!playbackGraph_->loaded()) {
        return;
    }
    playbackGraph_->stop();
    c_.TimerTrackBar->stop();
    TimerTrackBarTimer();
    if (c_.PageControl->currentWidget() == c_.tsPlayback) {
        c_.TBPlayback->setFocus();
    }
}

void PlaybackPage::BtnStartClick() {
    if (!playbackGraph_->loaded()) {
        return;
    }
    playbackGraph_->play();
    c_.TimerTrackBar->start();
}

void PlaybackPage::BtnBackClick() {
    if (!playbackGraph_->loaded()) {
        return;
    }
    c_.TimerTrackBar->stop();
    c_.TBPlayback->setValue(int(playbackGraph_->stepBack()));
}

void PlaybackPage::BtnForwardClick() {
    if (!playbackGraph_->loaded()) {
        return;
    }
    c_.TimerTrackBar->stop();
    c_.TBPlayback->setValue(int(playbackGraph_->stepForward()));
}

void PlaybackPage::TBPlaybackChange() {
    if (playbackGraph_->loaded()) {
        playbackGraph_->seekToFrame(c_.TBPlayback->value());
        showPlaybackPosition();
    }
}

// 1x, 2x, 4x, 8x, 16x: up or down one (held at the ends), or with 0 the next
// one round (the button).
void PlaybackPage::ChangePlaySpeed(int step) {
    constexpr int kFastest = 16;
    int rate = int(playbackGraph_->rate());
    if (step > 0) {
        rate = std::min(rate * 2, kFastest);
    } else if (step < 0) {
        rate = std::max(rate / 2, 1);
    } else {
        rate = rate >= kFastest ? 1 : rate * 2;
    }
    playbackGraph_->setRate(rate);
    c_.tBtnSpeed->setText(QStringLiteral("%1x").arg(rate));
}

// The journal's motion values behind the position track bar, one per frame.
void PlaybackPage::showPlaybackActivity() {
    playback::JournalActivity activity =
        playback::journalActivity(playbackJournal_, playbackGraph_->frameCount());
    c_.TBPlayback->setActivity(std::move(activity.motion), std::move(activity.moving),
                               activity.trigger, std::move(activity.heartbeat));
}

// "Frame N of M" and the time of day it was taken (the date is in the file's
// name): from the journal, or without one (a file from elsewhere) the time
// from the file's start.
void PlaybackPage::showPlaybackPosition() {
    const qint64 frame = shownFrame();
    const std::optional<QDateTime> taken = shownFrameTime();
    const QString when =
        taken ? taken->toString(QStringLiteral("HH:mm:ss"))
              : QTime(0, 0)
                    .addMSecs(int(frame * playbackGraph_->frameDuration_ns() / 1000000))
                    .toString(QStringLiteral("+HH:mm:ss.zzz"));
    c_.StatusBarPlayback->setPanelText(
        1, tr("Frame %1 of %2, %3").arg(frame + 1).arg(playbackGraph_->frameCount()).arg(when));
    c_.DayPanel->setShownFrame(playbackFileName_, taken);
}

void PlaybackPage::showRecordedFrame(const QString& path, qint64 frame) {
    if (path == playbackFileName_ && playbackGraph_->loaded()) {
        c_.TimerTrackBar->stop();
        playbackGraph_->stop();
        c_.TBPlayback->setValue(int(frame));
        return;
    }
    ClosePlaybackGraph();
    setPlaybackFileName(path);
    seekAfterLoad_ = frame;  // shown once the file is loaded
    BuildPlaybackGraph();
}

void PlaybackPage::showDayView() {
    if (!c_.tBtnDayView->isChecked()) {
        c_.tBtnDayView->setChecked(true);
    }
}

void PlaybackPage::refreshDayView() {
    if (c_.DayPanel->isVisible() ||
        (c_.tBtnDayView->isChecked() && c_.PageControl->currentWidget() == c_.tsPlayback)) {
        c_.DayPanel->refresh(settings_.AVIPath);
    }
}

void PlaybackPage::TBPlaybackStartDrag() {
    if (playbackGraph_->loaded()) {
        playbackGraph_->stop();
    }
    c_.TimerTrackBar->stop();
}

void PlaybackPage::TBPlaybackEndDrag() {
    QApplication::beep();
}

void PlaybackPage::TimerTrackBarTimer() {
    if (!playbackGraph_->loaded()) {
        return;
    }
    // Moving the bar from here must not seek.
    const QSignalBlocker blocker(c_.TBPlayback);
    c_.TBPlayback->setValue(int(playbackGraph_->position()));
    showPlaybackPosition();
}

void PlaybackPage::PlaybackGraphNotify() {
    if (playbackGraph_->handleGraphNotify() && !terminating_) {
        BtnStopClick();
    }
}

void PlaybackPage::StepRecordFile(bool forward) {
    QList<record::RecordFileEntry> list;
    record::ListRecordFiles(settings_.AVIPath, list);
    const QString target = playback::StepRecordFile(list, playbackFileName_, forward);
    if (target.isEmpty()) {
        return;
    }
    ClosePlaybackGraph();
    setPlaybackFileName(target);
    BuildPlaybackGraph();
}

void PlaybackPage::JumpToMovement(bool forward) {
    if (!playbackGraph_->loaded()) {
        return;
    }
    const qint64 here = playbackGraph_->position();
    std::vector<qint64> starts = record::movementStarts(playbackJournal_);
    const auto seek = [this](qint64 frame) { c_.TBPlayback->setValue(int(frame)); };
    if (forward) {
        const auto next = std::upper_bound(starts.begin(), starts.end(), here);
        if (next != starts.end()) {
            seek(*next);
            return;
        }
    } else {
        const auto next = std::lower_bound(starts.begin(), starts.end(), here);
        if (next != starts.begin()) {
            seek(*std::prev(next));
            return;
        }
    }
    // On through the day and the days after it, when the day view knows them.
    if (const std::optional<QDateTime> taken = shownFrameTime();
        taken && c_.DayPanel->jumpToMovement(taken->toMSecsSinceEpoch(), forward)) {
        return;
    }
    // Else on through the neighbouring recordings, in folder order.
    QList<record::RecordFileEntry> list;
    record::ListRecordFiles(settings_.AVIPath, list);
    QString file = playbackFileName_;
    for (;;) {
        file = playback::StepRecordFile(list, file, forward);
        if (file.isEmpty()) {
            c_.StatusBarPlayback->setPanelText(1, tr("No further movement"));
            return;
        }
        starts = record::movementStarts(record::readJournal(record::journalPath(file)));
        if (!starts.empty()) {
            ClosePlaybackGraph();
            setPlaybackFileName(file);
            // Shown once the file is loaded.
            seekAfterLoad_ = forward ? starts.front() : starts.back();
            BuildPlaybackGraph();
            return;
        }
    }
}

// The frame the picture shows: the last one once playing reached the end.
qint64 PlaybackPage::shownFrame() const {
    return std::min(playbackGraph_->position(),
                    std::max<qint64>(playbackGraph_->frameCount() - 1, 0));
}

std::optional<QDateTime> PlaybackPage::shownFrameTime() const {
    const qint64 frame = shownFrame();
    if (frame >= 0 && frame < qint64(playbackJournal_.size()) &&
        playbackJournal_[std::size_t(frame)].frame == frame) {
        return playbackJournal_[std::size_t(frame)].time;
    }
    return std::nullopt;
}

QImage PlaybackPage::exportedFrame() const {
    media::BITMAPINFOHEADER header{};
    QByteArray pixels;
    if (!playbackGraph_->loaded() || !playbackGraph_->currentFrame(header, pixels)) {
        return {};
    }
    return playback::exportFrameImage(header, pixels);
}

void PlaybackPage::BtnSaveClick() {
    const QImage frame = exportedFrame();
    if (frame.isNull()) {
        return;  // nothing loaded
    }
    QFileDialog& dialog = *c_.SaveDialog;
    dialog.setWindowTitle(tr("Save Frame:"));
    // Named after the moment it shows, when the recording's journal tells it.
    // Its extension is that of the filter left selected by the last save.
    if (const std::optional<QDateTime> taken = shownFrameTime()) {
        dialog.selectFile(
            playback::suggestedExportName(taken->toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")),
                                          playback::selectedFilterIndex(dialog)));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString chosen = dialog.selectedFiles().first();
    dialog.setDirectory(playback::exportFolder(chosen));
    const int index = playback::selectedFilterIndex(dialog);
    const QString name = playback::exportFileName(chosen, index);
    if (name != chosen && QFileInfo::exists(name) &&
        QMessageBox::question(
            window_, kProduct,
            tr("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(name).fileName())) !=
            QMessageBox::Yes) {
        return;  // the completed name was not the one the dialog asked about
    }
    QString error;
    WaitCursor wait;
    if (!playback::saveFrame(frame, name, index, &error)) {
        QMessageBox::warning(window_, kProduct, error);
    }
}

void PlaybackPage::tBtnPrintClick() {
    const QImage frame = exportedFrame();
    if (frame.isNull()) {
        return;
    }
    if (!playback::defaultPrinterAvailable()) {
        QMessageBox::warning(window_, kProduct, playback::noPrinterMessage());
        return;
    }
    QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    QString error;
    // The moment the frame shows, or, without a journal, when it is printed.
    const QString footer = playback::printFooter(playbackFileName_, playbackGraph_->position(),
                                                 shownFrameTime().value_or(clock_.now()));
    if (!playback::printFrame(frame, printer, footer, &error)) {
        QMessageBox::warning(window_, kProduct, error);
    }
}

}  // namespace kv::app
