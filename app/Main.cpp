#include "app/Main.h"

#include "app/session_events.h"
#include "app/settings_store.h"
#include "app/setup_exchange.h"
#include "app/single_instance.h"
#include "app/window_layout.h"
#include "capture/capture_graph.h"
#include "capture/frame_stamp.h"
#include "capture/grabber_callback.h"
#include "capture/motion.h"
#include "dialogs/Dlgeinstellung.h"
#include "media/Dlgselectcapturesrc.h"
#include "media/device_catalogue.h"
#include "media/property_dialog.h"
#include "media/sound_player.h"
#include "media/uri_camera.h"
#include "media/window_messages.h"
#include "playback/frame_export.h"
#include "playback/playback_graph.h"
#include "playback/record_navigation.h"
#include "record/Dlgselectcompressor.h"
#include "record/record_files.h"
#include "record/record_graph.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <cstring>

Q_LOGGING_CATEGORY(lcMain, "kv.main", QtWarningMsg)

using namespace kv;
using media::MessageEvent;

namespace {

const QString kProduct = QStringLiteral("Kestrelvision");
const QString kNoCaptureDevice = QStringLiteral("No capture device available.");
const QString kNeedsGStreamer = QStringLiteral(
    "Kestrelvision needs GStreamer 1.22 or higher: \n\nOK brings you to the GStreamer download "
    "page.\n");
const QString kNoNullRenderer = QStringLiteral(
    "Nullrenderer not available. \nKestrelvision needs GStreamer 1.22 or higher: \n\n");
const QString kSourceMissing = QStringLiteral("Record source filter not available. \n\n");

// Shows the wait cursor for a long operation, restored on every way out.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Holds the record timer while a handler closes and rebuilds the graphs around
// a modal dialog: a tick inside the dialog's event loop would build them under it.
class RecordTimerPause {
  public:
    RecordTimerPause(QTimer* timer, const bool& terminating)
        : timer_(timer), terminating_(terminating), wasActive_(timer->isActive()) {
        timer_->stop();
    }
    ~RecordTimerPause() {
        if (wasActive_ && !terminating_) {
            timer_->start();
        }
    }
    RecordTimerPause(const RecordTimerPause&) = delete;
    RecordTimerPause& operator=(const RecordTimerPause&) = delete;

  private:
    QTimer* timer_;
    const bool& terminating_;
    bool wasActive_;
};

}  // namespace

TForm1::TForm1(const QStringList& arguments, const media::Clock& clock, QWidget* parent)
    : QWidget(parent), clock_(clock), commandLine_(app::parseCommandLine(arguments)) {
    for (const QString& problem : commandLine_.problems) {
        qCWarning(lcMain).noquote() << problem;
    }
    media::setCommandLineCameras(commandLine_.cameras);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    c_ = app::buildForm1Controls(this);
    wireControls();

    sessionEvents_ = new app::SessionEvents(this);
    connect(sessionEvents_, &app::SessionEvents::endSession, this, &TForm1::EndSession);
    connect(sessionEvents_, &app::SessionEvents::powerEvent, this, &TForm1::PowerBroadcast);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TForm1::ShutdownRoutine);

    createTrayIcon();

    settings_.Mode = capture::StateOff;
    postRecord_.reset();
    recordedFrames_ = 0;
    WindowLayout(320, 240);

    grabber_ = std::make_unique<capture::TGrabberCallback>(media::WM_NEWFRAME, this);
    captureGraph_ = new capture::CaptureGraph(*grabber_, this);
    connect(captureGraph_, &capture::CaptureGraph::cameraLost, this, &TForm1::onCameraLost,
            Qt::QueuedConnection);
    recordGraph_ = new record::RecordGraph(this);
    connect(recordGraph_, &record::RecordGraph::writeError, this, &TForm1::onRecordWriteError,
            Qt::QueuedConnection);
    sound_ = new media::SoundPlayer(this);
    playbackGraph_ = new playback::PlaybackGraph(this, this);
    connect(playbackGraph_, &playback::PlaybackGraph::frameReady, c_.PaintBoxPlayback,
            qOverload<>(&QWidget::update));

    runSingleInstanceTest();

    settings_.RecInterval = 1000;
    settings_.CaptureDeviceIndex = -1;
    settings_.CaptureFormatIndex = 0;
    c_.PaintBoxRecord->setAttribute(Qt::WA_OpaquePaintEvent);
    FormCreate();
    c_.RecordTimer->start();

    dlgSelectCapture_ = new TDlgSelectCapture(this);
    dlgSelectComp_ = new TDlgSelectComp(this);
    dlgSetup_ = new TDlgSetup(this);
}

TForm1::~TForm1() {
    FormDestroy();
    // The pipelines refer to the hand-off object, a member that dies before
    // the widget's children would be deleted: they go first, then it.
    delete captureGraph_;
    captureGraph_ = nullptr;
    delete recordGraph_;
    recordGraph_ = nullptr;
    delete playbackGraph_;
    playbackGraph_ = nullptr;
    grabber_.reset();
    qApp->removeEventFilter(this);
}

void TForm1::wireControls() {
    connect(c_.RecordTimer, &QTimer::timeout, this, &TForm1::RecordTimerTimer);
    connect(c_.RecordModeGroup, &QButtonGroup::idClicked, this, &TForm1::tBtnRecClick);
    connect(c_.tBtnSelectCaptureDev, &QToolButton::clicked, this,
            &TForm1::BtnSelectCaptureDevClick);
    connect(c_.tBtnSelectCompressor, &QToolButton::clicked, this,
            &TForm1::BtnSelectCompressorClick);
    connect(c_.tBtnSelectCompressor, &QWidget::customContextMenuRequested, this,
            &TForm1::tBtnSelectCompressorContextPopup);
    connect(c_.tBtnSetup, &QToolButton::clicked, this, &TForm1::tBtnSetupClick);
    connect(c_.cmShow, &QAction::triggered, this, &TForm1::cmShowClick);
    connect(c_.cmClose, &QAction::triggered, this, &TForm1::cmCloseClick);
    connect(c_.cmShowMask, &QAction::triggered, this, &TForm1::cmShowMaskClick);
    connect(c_.cmAutoSetMask, &QAction::triggered, this, &TForm1::cmAutoSetMaskClick);
    connect(c_.cmClearMask, &QAction::triggered, this, &TForm1::cmClearMaskClick);
    c_.PaintBoxRecord->setPaintHook([this](QPainter& painter) { PaintBoxRecordPaint(painter); });
    c_.PaintBoxPlayback->setPaintHook([this](QPainter& painter) {
        const QImage frame = playbackGraph_->currentImage();
        painter.fillRect(c_.PaintBoxPlayback->rect(), palette().color(QPalette::Window));
        if (!frame.isNull()) {
            painter.drawImage(c_.PaintBoxPlayback->rect(), frame);
        }
    });
    connect(c_.tBtnOpenActual, &QToolButton::clicked, this, &TForm1::tBtnOpenActualClick);
    connect(c_.tBtnOpen, &QToolButton::clicked, this, &TForm1::BtnOpenClick);
    connect(c_.tBtnStop, &QToolButton::clicked, this, &TForm1::BtnStopClick);
    connect(c_.tBtnPlay, &QToolButton::clicked, this, &TForm1::BtnStartClick);
    connect(c_.tBtnBack, &QToolButton::clicked, this, &TForm1::BtnBackClick);
    connect(c_.tBtnForward, &QToolButton::clicked, this, &TForm1::BtnForwardClick);
    connect(c_.tBtnPrev, &QToolButton::clicked, this, &TForm1::BtnPrevFileClick);
    connect(c_.tBtnNext, &QToolButton::clicked, this, &TForm1::BtnNextFileClick);
    connect(c_.tBtnSave, &QToolButton::clicked, this, &TForm1::BtnSaveClick);
    connect(c_.tBtnPrint, &QToolButton::clicked, this, &TForm1::tBtnPrintClick);
    connect(c_.PanelPlayback, &app::Panel::doubleClicked, this, &TForm1::PanelPlaybackDblClick);
    connect(c_.TBPlayback, &QSlider::valueChanged, this, &TForm1::TBPlaybackChange);
    connect(c_.TBPlayback, &QSlider::sliderPressed, this, &TForm1::TBPlaybackStartDrag);
    connect(c_.TBPlayback, &QSlider::sliderReleased, this, &TForm1::TBPlaybackEndDrag);
    connect(c_.TimerTrackBar, &QTimer::timeout, this, &TForm1::TimerTrackBarTimer);
    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);
}

void TForm1::createTrayIcon() {
    tray_ = new QSystemTrayIcon(c_.ImageListRecordE.value(5), this);
    tray_->setToolTip(kProduct);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        // The notification area's mouse events, as the tray message carries them.
        if (r == QSystemTrayIcon::DoubleClick) {
            TrayIconEvent(media::WM_LBUTTONDBLCLK);
        } else if (r == QSystemTrayIcon::Context) {
            TrayIconEvent(media::WM_RBUTTONDOWN);
        }
    });
    tray_->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Without a notification area a hidden window could not be reached again:
        // closing minimises instead, and Quit is offered in the window itself.
        auto* quit = new QAction(this);
        quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        connect(quit, &QAction::triggered, this, &TForm1::cmCloseClick);
        addAction(quit);
    }
}

void TForm1::runSingleInstanceTest() {
    otherInstanceWindow_.reset();
    instanceChannel_ = new app::InstanceChannel(this);
    connect(instanceChannel_, &app::InstanceChannel::otherInstance, this,
            [this](qint64 wParam, qint64 lParam) {
                MessageEvent reply(media::WM_OTHERINSTANCE, wParam, lParam);
                QCoreApplication::sendEvent(this, &reply);
            });
    connect(instanceChannel_, &app::InstanceChannel::showNormalRequested, this,
            &TForm1::showNormalForOtherInstance);
    instanceChannel_->listen();
    instanceChannel_->broadcastRunning(0, instanceChannel_->windowId());
    if (commandLine_.argumentCount == 1) {
        otherInstanceWindow_.reset();
    }
    if (otherInstanceWindow_) {
        instanceChannel_->showWindowNormal(*otherInstanceWindow_);
        qCInfo(lcMain) << "instance" << *otherInstanceWindow_ << "shown; this one ends";
        terminating_ = true;
    }
}

void TForm1::showNormalForOtherInstance() {
    qCInfo(lcMain) << "another start asked for the window";
    showNormal();
    raise();
    activateWindow();
}

void TForm1::FormCreate() {
    autoSet_ = false;
    restartDelay_.reset(capture::RestartDelay::kAfterCreate);
}

void TForm1::FormDestroy() {
    ShutdownRoutine();
}

bool TForm1::event(QEvent* event) {
    switch (int(event->type())) {
        case media::WM_STARTUP:
            Startup();
            return true;
        case media::WM_NEWFRAME:
            FrameLoop();
            return true;
        case media::WM_TRAYICON:
            TrayIconEvent(static_cast<MessageEvent*>(event)->lParam());
            return true;
        case media::WM_OTHERINSTANCE:
            otherInstanceWindow_ = static_cast<MessageEvent*>(event)->lParam();
            return true;
        case media::WM_GRAPHNOTIFY:
            PlaybackGraphNotify();
            return true;
        default:
            return QWidget::event(event);
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) {
            if (FormKeyDown(static_cast<QKeyEvent*>(event)->key())) {
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm1::FormKeyDown(int key) {
    QWidget* page = c_.PageControl->currentWidget();
    if (page == c_.tsRecord && key == Qt::Key_F1) {
        BtnSelectCaptureDevClick();
        return true;
    }
    if (page != c_.tsPlayback) {
        return false;
    }
    switch (key) {
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
        default:
            return false;
    }
}

void TForm1::Startup() {
    instanceSuffix_.clear();
    instanceSuffix_ = commandLine_.instanceSuffix;
    if (commandLine_.hidden) {
        hide();
    }
    dlgSetup_->fillRasEntries({});  // no dial-up entries exist here
    LoadSettings();
    dlgSetup_->hideFtpPage();

    switch (settings_.Mode) {
        case capture::StateOff:
            c_.tBtnRecOff->setChecked(true);
            break;
        case capture::StateRecord:
            c_.tBtnRecOn->setChecked(true);
            break;
        default:
            c_.tBtnRecMove->setChecked(true);
            break;
    }
    WindowLayout(grabber_->format().bmiHeader.biWidth, grabber_->format().bmiHeader.biHeight);

    const bool isGerman =
        QLocale().language() == QLocale::German || QLocale::system().language() == QLocale::German;
    c_.PanelGerman->move(0, c_.PanelGerman->y());
    c_.PanelGerman->setVisible(isGerman);

    EnforceDiskQuota();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        setRecordStatus(QStringLiteral("No tray: close minimises, Ctrl+Q quits"));
    }
    if (!c_.RecordTimer->isActive()) {
        c_.RecordTimer->start();
    }
    qCInfo(lcMain) << "started";
}

void TForm1::LoadSettings() {
    settingsStore_ = std::make_unique<app::SettingsStore>(instanceSuffix_);
    const QRect screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->geometry()
                             : QRect(0, 0, width(), height());
    settings_ =
        settingsStore_->load((screen.height() - height()) / 2, (screen.width() - width()) / 2);
    if (settings_.Mode < capture::StateOff || settings_.Mode > capture::StatePause) {
        qCWarning(lcMain) << "record mode" << settings_.Mode << "unknown; recording on movement";
        settings_.Mode = capture::StatePause;
    }
    settings_.AVIPath = record::recordingFolder(settings_.AVIPath);
    move(settings_.Left, settings_.Top);
    c_.MotionTriggerBar->setValue(settings_.Trigger);
    grabber_->setInterval(200);
    media::loadConfiguredCameras(settingsStore_->filePath());
    qCInfo(lcMain) << "settings loaded from" << settingsStore_->filePath();
}

bool TForm1::SaveSettings() {
    if (!settingsStore_) {
        settingsStore_ = std::make_unique<app::SettingsStore>(instanceSuffix_);
    }
    settings_.Left = x();
    settings_.Top = y();
    settings_.Trigger = c_.MotionTriggerBar->value();
    QString error;
    if (!settingsStore_->save(settings_, &error)) {
        qCWarning(lcMain).noquote() << error;
        QMessageBox::warning(this, kProduct, error);
        return false;
    }
    return true;
}

void TForm1::EnforceDiskQuota() {
    record::EnforceDiskQuota(settings_.AVIPath, settings_.MaxDiskspace, playbackFileName_);
}

// --- window and tray

void TForm1::closeEvent(QCloseEvent* event) {
    if (quitting_) {
        event->accept();
        return;
    }
    // Closing only hides the window; recording goes on.
    event->ignore();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        show();
        hide();
    } else {
        showMinimized();
    }
    SaveSettings();
}

void TForm1::TrayIconEvent(long long lParam) {
    if (lParam == media::WM_LBUTTONDBLCLK) {
        c_.PageControl->setCurrentWidget(c_.tsRecord);
        hide();
        show();
        if (QApplication::activeWindow() != this) {
            raise();
            activateWindow();
        }
    } else if (lParam == media::WM_RBUTTONDOWN) {
        c_.PopupMenu->popup(QCursor::pos());
    }
}

void TForm1::cmShowClick() {
    show();
    raise();
    activateWindow();
}

void TForm1::cmCloseClick() {
    if (!SaveSettings()) {
        return;
    }
    quitting_ = true;
    terminating_ = true;
    close();
    QCoreApplication::exit(0);
}

// --- life cycle

void TForm1::PowerBroadcast() {
    restartDelay_.powerEvent();
}

void TForm1::EndSession() {
    ShutdownRoutine();
    // exit(), not quit(): quit() would first ask the window, which only hides.
    QCoreApplication::exit(0);
}

void TForm1::ShutdownRoutine() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    c_.RecordTimer->stop();
    c_.TimerTrackBar->stop();
    CloseCaptureGraph();
    CloseRecordGraph();
    ClosePlaybackGraph();
    if (tray_) {
        tray_->hide();
    }
    qCInfo(lcMain) << "shutdown";
}

// --- record page

void TForm1::tBtnRecClick(int tag) {
    settings_.Mode = tag;
    postRecord_.reset();
    grabber_->setInterval(tag == capture::StateOff ? 200u : std::uint32_t(settings_.RecInterval));
}

void TForm1::cmShowMaskClick() {
    c_.PaintBoxRecord->update();
}

void TForm1::cmAutoSetMaskClick() {
    autoSet_ = c_.cmAutoSetMask->isChecked();
    if (!autoSet_) {
        QString error;
        if (!mask_.save(settings_.AVIPath + QStringLiteral("Mask.bmp"), &error)) {
            QMessageBox::warning(this, kProduct, error);
        }
    }
}

void TForm1::cmClearMaskClick() {
    mask_.clear();
}

void TForm1::WindowLayout(int width, int height) {
    const app::WindowLayout layout = app::windowLayoutFor(width, height);
    app::applyWindowLayout(c_, this, layout);
    livePicture_ = QImage(layout.livePicture, QImage::Format_RGB32);
    clearLivePicture();
}

void TForm1::clearLivePicture() {
    livePicture_.fill(palette().color(QPalette::Button));
    c_.PaintBoxRecord->update();
}

void TForm1::PaintBoxRecordPaint(QPainter& painter) {
    painter.drawImage(0, 0, livePicture_);
}

void TForm1::setRecordStatus(const QString& text) {
    c_.StatusBarRecord->setPanelText(0, text);
}

void TForm1::drawIndicator(QPainter& painter, int state) {
    QString text;
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (state == capture::StateRecord) {
        painter.setPen(QColor(255, 0, 0));
        painter.setBrush(QColor(255, 0, 0));
        painter.drawEllipse(QRect(5, 5, 10, 10));
        text = QStringLiteral("Record");
    } else if (state == capture::StatePause) {
        painter.setPen(Qt::white);
        painter.setBrush(Qt::white);
        painter.drawRect(QRect(5, 6, 3, 8));
        painter.drawRect(QRect(10, 6, 3, 8));
        text = QStringLiteral("Pause (no movement)");
    } else {
        painter.setPen(Qt::white);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRect(5, 5, 10, 10));
        text = QStringLiteral("Off (Live)");
    }
    painter.setPen(Qt::white);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(QRect(20, 3, livePicture_.width() - 20, 20), Qt::AlignLeft | Qt::AlignTop,
                     text);
}

void TForm1::FrameLoop() {
    if (!recordGraph_->exists() || displayCopy_.empty()) {
        return;  // stale: the graph that sent it is gone
    }
    const media::BITMAPINFOHEADER& format = displayFormat_;
    int motion = 0;
    bool measured = false;
    {
        const capture::TGrabberCallback::ReadLock frames = grabber_->lockForRead();
        if (!frames.hasBuffers() || frames.format().biSizeImage != format.biSizeImage) {
            return;
        }
        std::memcpy(displayCopy_.data(), frames.newest(), format.biSizeImage);
        if (warmUp_ > 0) {
            --warmUp_;
        }
        if (settings_.Mode != capture::StateOff) {
            grabber_->setInterval(std::uint32_t(settings_.RecInterval));
        }
        if (settings_.Mode == capture::StatePause && warmUp_ == 0) {
            motion =
                capture::MotionMeasure(frames.buffer(0), frames.buffer(1), format, mask_, autoSet_);
            measured = true;
        }
    }
    if (measured) {
        if (postRecord_.motion(motion, c_.MotionTriggerBar->value(), settings_.PostRecFrames)) {
            if (settings_.ShowWndOnMove) {
                QCoreApplication::postEvent(
                    this, new MessageEvent(media::WM_TRAYICON, 0, media::WM_LBUTTONDBLCLK));
            }
            if (settings_.PlaySoundOnMove) {
                sound_->play(settings_.SoundFileName);
            }
        }
        c_.MotionDisplayBar->setValue(qBound(0, motion, c_.MotionDisplayBar->maximum()));
    } else {
        c_.MotionDisplayBar->setValue(0);
    }

    const QRect whole(QPoint(0, 0), livePicture_.size());
    {
        QPainter live(&livePicture_);
        media::drawFrame(live, whole, displayCopy_.data(), format);
        if (c_.cmShowMask->isChecked() || c_.cmAutoSetMask->isChecked()) {
            mask_.drawOverlay(live, whole);
        }
    }
    const QDateTime now = clock_.now();
    capture::stampFrame(displayCopy_.data(), format, now);
    QPainter live(&livePicture_);
    capture::drawStamp(live, livePicture_.width(), livePicture_.height(), now);

    const capture::FrameState state = postRecord_.fate(settings_.Mode);
    if (state == capture::StateRecord) {
        ++recordedFrames_;
        c_.tBtnOpenActual->setEnabled(true);
        recordGraph_->push(displayCopy_.data(), format,
                           std::int64_t(settings_.PlayInterval) * 10000);
        const record::RecordCounters counters = recordGraph_->counters();
        if (const std::uint64_t lost = counters.dropped + counters.failed) {
            c_.StatusBarRecord->setPanelText(1, QStringLiteral("%1 lost").arg(lost));
        }
        setRecordStatus(QFileInfo(recordFileName_).fileName() + QStringLiteral(": ") +
                        QString::number(recordedFrames_) + QStringLiteral(" Frames."));
    }
    drawIndicator(live, state);
    live.end();
    c_.PaintBoxRecord->update();
}

// --- record timer and graphs

void TForm1::RecordTimerTimer() {
    if (!restartDelay_.tick()) {
        return;
    }
    c_.RecordTimer->stop();
    if (terminating_) {
        return;
    }
    capture::TimerInputs in;
    in.recordGraphExists = recordGraph_->exists();
    in.recUseTimer = settings_.RecUseTimer;
    in.now = capture::timeOfDay(clock_.now());
    in.start = settings_.RecStartTime;
    in.stop = settings_.RecStopTime;
    in.recordedFrames = recordedFrames_;
    in.maxRecordSamples = settings_.MaxRecordSamples;
    switch (capture::recordTimerAction(in)) {
        case capture::TimerAction::Stop:
            CloseRecordGraph();
            CloseCaptureGraph();
            break;
        case capture::TimerAction::Start:
            if (cameraLost_ && !cameraAvailable()) {
                break;  // wait quietly until the camera is back
            }
            EnforceDiskQuota();
            // A capture graph left from a failed recording start is closed first.
            CloseCaptureGraph();
            BuildCaptureGraph();
            if (cameraLost_ && !captureGraph_->exists()) {
                break;
            }
            BuildRecordGraph();
            break;
        case capture::TimerAction::None:
            break;
    }
    if (!terminating_) {
        c_.RecordTimer->start();
    }
}

bool TForm1::cameraAvailable() const {
    media::Element camera;
    media::FindDeviceFilter(media::DeviceCategory::CLSID_VideoInputDeviceCategory,
                            settings_.CaptureDeviceName, settings_.CaptureDeviceIndex, camera);
    return static_cast<bool>(camera);
}

bool TForm1::captureGraphExists() const {
    return captureGraph_->exists();
}
bool TForm1::recordGraphExists() const {
    return recordGraph_->exists();
}

void TForm1::BuildCaptureGraph() {
    WaitCursor wait;
    const capture::CaptureBuild result =
        captureGraph_->build(settings_.CaptureDeviceName, settings_.CaptureDeviceIndex,
                             settings_.CaptureFormatIndex, settings_.Debug);
    switch (result) {
        case capture::CaptureBuild::NoCaptureDevice:
            CloseCaptureGraph();
            if (!cameraLost_) {
                QMessageBox::warning(this, kProduct, kNoCaptureDevice);
            }
            return;
        case capture::CaptureBuild::GrabberMissing: {
            CloseCaptureGraph();
            const auto answer = QMessageBox::warning(this, kProduct, kNeedsGStreamer,
                                                     QMessageBox::Ok | QMessageBox::Abort);
            if (answer == QMessageBox::Ok) {
                QDesktopServices::openUrl(
                    QUrl(QStringLiteral("https://gstreamer.freedesktop.org/download/")));
            }
            return;
        }
        case capture::CaptureBuild::RendererMissing:
            QMessageBox::warning(this, kProduct, kNoNullRenderer);
            CloseCaptureGraph();
            return;
        case capture::CaptureBuild::Running:
            break;
    }
    if (captureGraph_->lost()) {
        // The camera failed while starting: it is not there yet.
        onCameraLost(QString());
        return;
    }
    if (cameraLost_) {
        cameraLost_ = false;
        qCInfo(lcMain) << "camera is back";
    }
    const media::BITMAPINFOHEADER header = grabber_->format().bmiHeader;
    if (media::isFrameFormat(header)) {
        mask_.resetAndLoad(settings_.AVIPath + QStringLiteral("Mask.bmp"));
        displayFormat_ = header;
        displayCopy_.assign(header.biSizeImage, 0);
    }
    if (header.biBitCount != 24) {
        c_.tBtnRecOff->setChecked(true);
        c_.tBtnRecMove->setEnabled(false);
    }
}

void TForm1::CloseCaptureGraph() {
    captureGraph_->close();
    displayCopy_.clear();
    displayCopy_.shrink_to_fit();
    displayFormat_ = media::BITMAPINFOHEADER{};
    clearLivePicture();
}

void TForm1::onCameraLost(const QString& reason) {
    if (captureGraph_->exists() ? !captureGraph_->lost() : cameraLost_) {
        return;  // from a graph that has been closed or rebuilt since
    }
    qCWarning(lcMain).noquote() << "camera lost" << reason;
    cameraLost_ = true;
    CloseCaptureGraph();
    CloseRecordGraph();
    setRecordStatus(QStringLiteral("Camera lost"));
}

void TForm1::BuildRecordGraph() {
    QString folderError;
    if (!record::ensureRecordingFolder(settings_.AVIPath, &folderError)) {
        qCWarning(lcMain).noquote() << "recording folder:" << folderError;
    }
    recordFileName_ = record::NewRecordFileName(settings_.AVIPath, clock_);
    record::RecordGraphParams params;
    params.fileName = recordFileName_;
    params.compressor = settings_.Compressor;
    params.quality = settings_.CompressorQuality;
    params.keyFrameRate = settings_.CompressorKeyframeRate;
    params.playInterval_ms = settings_.PlayInterval;
    params.width = grabber_->format().bmiHeader.biWidth;
    params.height = grabber_->format().bmiHeader.biHeight;
    params.debug = settings_.Debug;
    const record::RecordBuild result = recordGraph_->build(params);
    if (result == record::RecordBuild::SourceMissing) {
        QMessageBox::warning(this, kProduct, kSourceMissing);
        CloseRecordGraph();
        return;
    }
    if (const std::optional<int> failure = recordGraph_->compressorFailure()) {
        QMessageBox::warning(this, kProduct, record::RecordGraph::compressorFailureText(*failure));
    }
    recordedFrames_ = 0;
    warmUp_ = 2;
    setRecordStatus(QFileInfo(recordFileName_).fileName() + QStringLiteral(": 0 Frames."));
    c_.tBtnOpenActual->setEnabled(false);
    c_.tBtnSelectCompressor->setEnabled(true);
    c_.tBtnRecOff->setEnabled(true);
    c_.tBtnRecOn->setEnabled(true);
    c_.tBtnRecMove->setEnabled(true);
    if (settings_.Mode != capture::StateOff) {
        grabber_->setInterval(200);
    }
    grabber_->setEnabled(true);
}

void TForm1::CloseRecordGraph() {
    c_.tBtnSelectCompressor->setEnabled(false);
    c_.tBtnRecOff->setEnabled(false);
    c_.tBtnRecOn->setEnabled(false);
    c_.tBtnRecMove->setEnabled(false);
    grabber_->setEnabled(false);
    grabber_->resetReady();
    grabber_->resetIndex();
    recordGraph_->close();
    c_.tBtnOpenActual->setEnabled(false);
    setRecordStatus(QStringLiteral("AUS"));
    c_.StatusBarRecord->setPanelText(1, QString());
    grabber_->setInterval(200);
}

void TForm1::onRecordWriteError(const QString& fileName, const QString& reason) {
    if (!recordGraph_->exists()) {
        return;
    }
    CloseRecordGraph();
    // No rebuild, and no second box, while the user reads this one.
    const bool ticking = c_.RecordTimer->isActive();
    c_.RecordTimer->stop();
    QMessageBox::warning(this, kProduct,
                         QStringLiteral("Recording into %1 stopped: %2").arg(fileName, reason));
    if (ticking && !terminating_) {
        c_.RecordTimer->start();
    }
}

// --- dialogs

void TForm1::BtnSelectCaptureDevClick() {
    const RecordTimerPause pause(c_.RecordTimer, terminating_);
    {
        WaitCursor wait;
        CloseCaptureGraph();
        CloseRecordGraph();
    }
    if (!media::PrepareCaptureDialog(*dlgSelectCapture_, settings_.CaptureDeviceIndex,
                                     settings_.CaptureFormatIndex)) {
        QMessageBox::warning(this, kProduct, kNoCaptureDevice);
        return;
    }
    if (dlgSelectCapture_->exec() == QDialog::Accepted) {
        const media::CaptureChoice choice = media::ChosenCapture(*dlgSelectCapture_);
        settings_.CaptureDeviceName = choice.deviceName;
        settings_.CaptureDeviceIndex = choice.deviceIndex;
        settings_.CaptureFormatIndex = choice.formatIndex;
        cameraLost_ = false;
        SaveSettings();
    }
    WaitCursor wait;
    EnforceDiskQuota();
    BuildCaptureGraph();
    BuildRecordGraph();
    WindowLayout(grabber_->format().bmiHeader.biWidth, grabber_->format().bmiHeader.biHeight);
}

void TForm1::BtnSelectCompressorClick() {
    const RecordTimerPause pause(c_.RecordTimer, terminating_);
    record::FillCompressorDialog(*dlgSelectComp_, settings_.Compressor,
                                 settings_.CompressorQuality);
    if (dlgSelectComp_->exec() != QDialog::Accepted) {
        return;
    }
    CloseRecordGraph();
    const record::CompressorChoice choice = record::ChosenCompressor(*dlgSelectComp_);
    settings_.CompressorQuality = choice.quality;
    settings_.Compressor = choice.compressor;
    if (!SaveSettings()) {
        return;
    }
    BuildRecordGraph();
}

void TForm1::tBtnSelectCompressorContextPopup() {
    if (GstElement* compressor = recordGraph_->compressor()) {
        media::ShowPropertyDialog(compressor, {}, this);
    }
}

void TForm1::tBtnSetupClick() {
    app::copySettingsToSetup(settings_, *dlgSetup_);
    if (dlgSetup_->exec() != QDialog::Accepted) {
        return;
    }
    const QString folderBefore = settings_.AVIPath;
    app::copySetupToSettings(*dlgSetup_, settings_);
    if (settings_.Mode != capture::StateOff) {
        grabber_->setInterval(std::uint32_t(settings_.RecInterval));
    }
    if (settings_.AVIPath != folderBefore && recordGraph_->exists()) {
        // The next file, and the mask, come from the new folder: the record
        // timer builds both graphs again on its next tick.
        qCInfo(lcMain).noquote() << "recording folder is now" << settings_.AVIPath;
        CloseRecordGraph();
        CloseCaptureGraph();
    }
}

// --- playback page

void TForm1::BuildPlaybackGraph() {
    WaitCursor wait;
    const playback::PlaybackBuild result = playbackGraph_->build(playbackFileName_);
    if (result != playback::PlaybackBuild::Loaded) {
        const QString message = playback::PlaybackBuildMessage(result);
        if (!message.isEmpty()) {
            QMessageBox::warning(this, kProduct, message);
        }
        ClosePlaybackGraph();
        return;
    }
    c_.TBPlayback->setMaximum(int(playbackGraph_->frameCount()));
    c_.StatusBarPlayback->setSimpleText(
        playback::PlaybackStatusText(playbackFileName_, playbackGraph_->frameCount()));
    c_.TimerTrackBar->start();
    for (QToolButton* button : {c_.tBtnStop, c_.tBtnPlay, c_.tBtnBack, c_.tBtnForward, c_.tBtnPrev,
                                c_.tBtnNext, c_.tBtnSave, c_.tBtnPrint}) {
        button->setEnabled(true);
    }
}

void TForm1::ClosePlaybackGraph() {
    playbackGraph_->close();
    c_.PaintBoxPlayback->update();
}

void TForm1::tBtnOpenActualClick() {
    if (recordedFrames_ <= 0) {
        return;
    }
    WaitCursor wait;
    playbackFileName_ = recordFileName_;
    CloseRecordGraph();
    BuildRecordGraph();
    ClosePlaybackGraph();
    BuildPlaybackGraph();
}

void TForm1::BtnOpenClick() {
    // Recordings live in the recording folder, not beside the program.
    c_.OpenDialog->setDirectory(settings_.AVIPath);
    if (c_.OpenDialog->exec() != QDialog::Accepted || c_.OpenDialog->selectedFiles().isEmpty()) {
        return;
    }
    ClosePlaybackGraph();
    playbackFileName_ = c_.OpenDialog->selectedFiles().first();
    BuildPlaybackGraph();
}

void TForm1::BtnStopClick() {
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

void TForm1::BtnStartClick() {
    if (!playbackGraph_->loaded()) {
        return;
    }
    playbackGraph_->play();
    c_.TimerTrackBar->start();
}

void TForm1::BtnBackClick() {
    if (!playbackGraph_->loaded()) {
        return;
    }
    c_.TimerTrackBar->stop();
    c_.TBPlayback->setValue(int(playbackGraph_->stepBack()));
}

void TForm1::BtnForwardClick() {
    if (!playbackGraph_->loaded()) {
        return;
    }
    c_.TimerTrackBar->stop();
    c_.TBPlayback->setValue(int(playbackGraph_->stepForward()));
}

void TForm1::TBPlaybackChange() {
    if (playbackGraph_->loaded()) {
        playbackGraph_->seekToFrame(c_.TBPlayback->value());
    }
}

void TForm1::TBPlaybackStartDrag() {
    if (playbackGraph_->loaded()) {
        playbackGraph_->stop();
    }
    c_.TimerTrackBar->stop();
}

void TForm1::TBPlaybackEndDrag() {
    QApplication::beep();
}

void TForm1::TimerTrackBarTimer() {
    if (!playbackGraph_->loaded()) {
        return;
    }
    // Moving the bar from here must not seek.
    const QSignalBlocker blocker(c_.TBPlayback);
    c_.TBPlayback->setValue(int(playbackGraph_->position()));
}

void TForm1::PlaybackGraphNotify() {
    if (playbackGraph_->handleGraphNotify() && !terminating_) {
        BtnStopClick();
    }
}

void TForm1::StepRecordFile(bool forward) {
    QList<record::RecordFileEntry> list;
    record::ListRecordFiles(settings_.AVIPath, list);
    const QString target = playback::StepRecordFile(list, playbackFileName_, forward);
    if (target.isEmpty()) {
        return;
    }
    ClosePlaybackGraph();
    playbackFileName_ = target;
    BuildPlaybackGraph();
}

QImage TForm1::exportedFrame() const {
    media::BITMAPINFOHEADER header{};
    QByteArray pixels;
    if (!playbackGraph_->loaded() || !playbackGraph_->currentFrame(header, pixels)) {
        return {};
    }
    return playback::exportFrameImage(header, pixels);
}

void TForm1::BtnSaveClick() {
    const QImage frame = exportedFrame();
    if (frame.isNull()) {
        return;  // nothing loaded
    }
    QFileDialog& dialog = *c_.SaveDialog;
    dialog.setWindowTitle(QStringLiteral("Save Frame:"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString chosen = dialog.selectedFiles().first();
    dialog.setDirectory(playback::exportFolder(chosen));
    const int index = playback::selectedFilterIndex(dialog);
    const QString name = playback::exportFileName(chosen, index);
    if (name != chosen && QFileInfo::exists(name) &&
        QMessageBox::question(this, kProduct,
                              QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                  .arg(QFileInfo(name).fileName())) != QMessageBox::Yes) {
        return;  // the completed name was not the one the dialog asked about
    }
    QString error;
    WaitCursor wait;
    if (!playback::saveFrame(frame, name, index, &error)) {
        QMessageBox::warning(this, kProduct, error);
    }
}

void TForm1::tBtnPrintClick() {
    const QImage frame = exportedFrame();
    if (frame.isNull()) {
        return;
    }
    if (!playback::defaultPrinterAvailable()) {
        QMessageBox::warning(this, kProduct, playback::noPrinterMessage());
        return;
    }
    QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    QString error;
    const QString footer =
        playback::printFooter(playbackFileName_, playbackGraph_->position(), clock_.now());
    if (!playback::printFrame(frame, printer, footer, &error)) {
        QMessageBox::warning(this, kProduct, error);
    }
}
