#include "app/Main.h"

#include "app/desktop_notifications.h"
#include "app/recorder_status.h"
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
#include "dialogs/Dlgselectcapturesrc.h"
#include "dialogs/Dlgselectcompressor.h"
#include "dialogs/property_dialog.h"
#include "media/device_catalogue.h"
#include "media/sound_player.h"
#include "media/uri_camera.h"
#include "media/window_messages.h"
#include "playback/frame_export.h"
#include "playback/playback_graph.h"
#include "playback/record_navigation.h"
#include "record/record_files.h"
#include "record/record_graph.h"
#include "session/recording_session.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

Q_LOGGING_CATEGORY(lcMain, "kv.app.main", QtInfoMsg)

using namespace kv;
using media::MessageEvent;

namespace {

// Bars of black beside a picture whose aspect is not the panel's.
void drawLetterboxed(QPainter& painter, const QRect& area, const QImage& picture) {
    const QRect target = app::letterboxed(picture.size(), area);
    if (target != area) {
        const QRegion bars = QRegion(area).subtracted(QRegion(target));
        for (const QRect& bar : bars) {
            painter.fillRect(bar, Qt::black);
        }
    }
    painter.drawImage(target, picture);
}

const QString kProduct = QStringLiteral("Kestrelvision");
const QString kNoCaptureDevice = QStringLiteral("No capture device available.");

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
    connect(sessionEvents_, &app::SessionEvents::hangUp, this, &TForm1::EndSession);
    connect(sessionEvents_, &app::SessionEvents::powerEvent, this, &TForm1::PowerBroadcast);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TForm1::ShutdownRoutine);

    createTrayIcon();

    settings_.Mode = capture::StateOff;
    session_ = new session::RecordingSession(clock_, this);
    notifications_ = new app::DesktopNotifications(QDBusConnection::sessionBus(), this);
    maskPainter_ = std::make_unique<capture::MaskPainter>(session_->mask());
    connectSession();
    session_->setMode(capture::StateOff);
    WindowLayout(320, 240);

    sound_ = new media::SoundPlayer(this);
    playbackGraph_ = new playback::PlaybackGraph(this, this);
    connect(playbackGraph_, &playback::PlaybackGraph::frameReady, c_.PaintBoxPlayback,
            qOverload<>(&QWidget::update));
    connect(playbackGraph_, &playback::PlaybackGraph::loadFinished, this,
            &TForm1::PlaybackLoadFinished);
    connect(c_.BtnCancelLoad, &QPushButton::clicked, this, &TForm1::BtnCancelLoadClick);

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
            drawLetterboxed(painter, c_.PaintBoxPlayback->rect(), frame);
        }
    });
    connect(c_.tBtnOpenActual, &QToolButton::clicked, this, &TForm1::tBtnOpenActualClick);
    connect(c_.tBtnSpeed, &QToolButton::clicked, this, [this] { ChangePlaySpeed(0); });
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
    // Quit is offered in the window itself too: without a notification area
    // (closing then minimises) it is the only way, and with one it is at hand.
    auto* quit = new QAction(this);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &TForm1::cmCloseClick);
    addAction(quit);
    for (QPushButton* button : {c_.BtnQuit, c_.BtnQuitGerman}) {
        connect(button, &QPushButton::clicked, this, &TForm1::cmCloseClick);
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
        return;
    }
    // A recorder without a window may write this instance's folder: never two at once.
    const std::optional<app::RecorderStatus> other =
        app::runningRecorder(*instanceChannel_, commandLine_.instanceSuffix);
    if (other && other->headless) {
        const QString text = QStringLiteral(
                                 "This instance of Kestrelvision records already without a window "
                                 "(process %1). Stop that recorder to use the window, or start the "
                                 "window as another instance.")
                                 .arg(other->pid);
        std::fprintf(stderr, "kestrelvision: %s\n", qPrintable(text));
        terminating_ = true;
        auto* box = new QMessageBox(QMessageBox::Information, kProduct, text, QMessageBox::Ok);
        QTimer::singleShot(20000, box, &QMessageBox::accept);  // nobody may be there to answer
        box->exec();
        delete box;
        return;
    }
    instanceChannel_->setStatusProvider([this] {
        return app::toJson(
            app::recorderStatus(*session_, commandLine_.instanceSuffix, false, lastMovement_));
    });
}

void TForm1::showNormalForOtherInstance() {
    qCInfo(lcMain) << "another start asked for the window";
    showNormal();
    raise();
    activateWindow();
}

void TForm1::FormCreate() {
    session_->setAutoSetMask(false);
    session_->resetRestartDelay(capture::RestartDelay::kAfterCreate);
}

void TForm1::FormDestroy() {
    ShutdownRoutine();
}

bool TForm1::event(QEvent* event) {
    switch (int(event->type())) {
        case media::WM_STARTUP:
            Startup();
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
        const auto* key = static_cast<QKeyEvent*>(event);
        if (widget && widget->window() == this && (key->modifiers() & Qt::ControlModifier) &&
            (key->key() == Qt::Key_Right || key->key() == Qt::Key_Left) &&
            c_.PageControl->currentWidget() == c_.tsPlayback) {
            JumpToMovement(key->key() == Qt::Key_Right);
            return true;
        }
        if (widget && widget->window() == this && maskKey(*key)) {
            return true;
        }
        if (widget && widget->window() == this) {
            if (FormKeyDown(static_cast<QKeyEvent*>(event)->key())) {
                return true;
            }
        }
    }
    if (watched == c_.PaintBoxRecord && c_.cmShowMask->isChecked() && paintMask(event)) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// --- painting the mask on the live picture, while it is shown

QPointF TForm1::maskCellAt(QPointF position) const {
    const QRect picture = app::letterboxed(livePicture_.size(), c_.PaintBoxRecord->rect());
    if (picture.isEmpty()) {
        return {-1, -1};  // off the mask: paints nothing
    }
    return {(position.x() - picture.x()) * capture::MotionMask::kWidth / picture.width(),
            (position.y() - picture.y()) * capture::MotionMask::kHeight / picture.height()};
}

bool TForm1::paintMask(QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton) {
                return false;
            }
            // Left ignores; right, or Shift with the left, watches.
            const bool watched =
                mouse->button() == Qt::RightButton || (mouse->modifiers() & Qt::ShiftModifier);
            maskPainter_->begin(maskCellAt(mouse->position()), watched);
            c_.PaintBoxRecord->update();
            return true;
        }
        case QEvent::MouseMove:
            if (!maskPainter_->painting()) {
                return false;
            }
            maskPainter_->moveTo(maskCellAt(static_cast<QMouseEvent*>(event)->position()));
            c_.PaintBoxRecord->update();
            return true;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!maskPainter_->painting()) {
                return false;
            }
            if (maskPainter_->end()) {
                saveMask();
            } else if (mouse->button() == Qt::RightButton) {
                // A right click that changed nothing still opens the menu.
                c_.PopUpFilter->popup(mouse->globalPosition().toPoint());
            }
            return true;
        }
        case QEvent::ContextMenu:
            return true;  // the right button paints; its release decides
        default:
            return false;
    }
}

bool TForm1::maskKey(const QKeyEvent& key) {
    if (!c_.cmShowMask->isChecked() || c_.PageControl->currentWidget() != c_.tsRecord) {
        return false;
    }
    if (key.key() == Qt::Key_Z && (key.modifiers() & Qt::ControlModifier)) {
        if (maskPainter_->undo()) {
            saveMask();
            c_.PaintBoxRecord->update();
        }
        return true;
    }
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        return false;
    }
    switch (key.key()) {
        case Qt::Key_1:
        case Qt::Key_3:
        case Qt::Key_5:
            maskPainter_->setBrush(key.key() - Qt::Key_0);
            showMaskHint();
            return true;
        default:
            return false;
    }
}

void TForm1::showMaskHint() {
    c_.PaintBoxRecord->setToolTip(
        c_.cmShowMask->isChecked()
            ? QStringLiteral("Paint the mask: the left button ignores cells, the right button "
                             "(or Shift) watches them. Brush %1 (keys 1, 3, 5); Ctrl+Z undoes.")
                  .arg(maskPainter_->brush())
            : QString());
}

void TForm1::saveMask() {
    QString error;
    if (!session_->saveMask(&error)) {
        qCWarning(lcMain).noquote() << error;
        setRecordStatus(error);
    }
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
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ChangePlaySpeed(+1);
            return true;
        case Qt::Key_Minus:
            ChangePlaySpeed(-1);
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
    if (settings_.Width > 0 && settings_.Height > 0) {
        // The size the user left it at; the camera's frames keep their aspect in it.
        const QSize room = availableRoom();
        app::applyWindowLayout(
            c_, this,
            app::windowLayoutForClient(QSize(settings_.Width, settings_.Height).boundedTo(room)));
        fitLivePicture();
        clearLivePicture();
    } else {
        // The first start: 320 x 240 until the camera tells its size, then laid
        // out for the camera.
        WindowLayout(session_->grabber().format().bmiHeader.biWidth,
                     session_->grabber().format().bmiHeader.biHeight);
        layoutPending_ = true;
    }

    const bool isGerman =
        QLocale().language() == QLocale::German || QLocale::system().language() == QLocale::German;
    c_.PanelGerman->move(0, c_.PanelGerman->y());
    c_.PanelGerman->setVisible(isGerman);

    // Unfinished recordings are repaired first, then the quota runs.
    session_->setPlaybackFileName(playbackFileName_);
    session_->startUp();
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
    settings_ = app::loadRecorderSettings(*settingsStore_, (screen.height() - height()) / 2,
                                          (screen.width() - width()) / 2);
    placeWindow(QPoint(settings_.Left, settings_.Top));
    c_.MotionTriggerBar->setValue(settings_.Trigger);
    applySettingsToSession();
    session_->grabber().setInterval(session::RecordingSession::kIdleInterval_ms);
    qCInfo(lcMain) << "settings loaded from" << settingsStore_->filePath();
}

// Puts the window's inside where it was; a position no screen shows any more
// (a monitor taken away) brings the window to the middle of the main screen.
void TForm1::placeWindow(QPoint topLeft) {
    // Its top strip must be on a screen, or it could not be dragged back.
    const QRect top(topLeft, QSize(width(), 20));
    bool visible = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        visible = visible || screen->availableGeometry().intersects(top);
    }
    if (!visible && QGuiApplication::primaryScreen()) {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        topLeft = area.center() - QPoint(width() / 2, height() / 2);
    }
    setGeometry(QRect(topLeft, size()));
}

bool TForm1::SaveSettings() {
    if (!settingsStore_) {
        settingsStore_ = std::make_unique<app::SettingsStore>(instanceSuffix_);
    }
    // Where the window's inside is: the frame around it is the window
    // manager's, and unknown when the next start places the window.
    settings_.Left = geometry().x();
    settings_.Top = geometry().y();
    settings_.Width = width();
    settings_.Height = height();
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
    session_->setPlaybackFileName(playbackFileName_);
    session_->EnforceDiskQuota();
}

session::SessionConfig TForm1::sessionConfig() const {
    return app::sessionConfigFor(settings_, c_.MotionTriggerBar->value());
}

void TForm1::applySettingsToSession() {
    session_->setConfig(sessionConfig());
    session_->setPlaybackFileName(playbackFileName_);
    notifications_->setChoice(
        {settings_.NotifyOnMove, settings_.NotifyOnCamera, settings_.NotifyOnWriteError});
    notifications_->setCameraName(settings_.CaptureDeviceName);
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
        // Without a tray, closing minimised the window: show() alone would keep it so.
        showNormal();
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
    ShutdownRoutine();
    Q_EMIT quitRequested();
}

// --- life cycle

void TForm1::PowerBroadcast() {
    session_->powerEvent();
}

void TForm1::EndSession() {
    ShutdownRoutine();
    Q_EMIT quitRequested();
}

void TForm1::ShutdownRoutine() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    c_.RecordTimer->stop();
    c_.TimerTrackBar->stop();
    session_->shutdown();
    ClosePlaybackGraph();
    if (tray_) {
        tray_->hide();
    }
    qCInfo(lcMain) << "shutdown";
}

// --- record page

void TForm1::tBtnRecClick(int tag) {
    settings_.Mode = tag;
    session_->setMode(tag);
}

void TForm1::cmShowMaskClick() {
    showMaskHint();
    c_.PaintBoxRecord->update();
}

void TForm1::cmAutoSetMaskClick() {
    session_->setAutoSetMask(c_.cmAutoSetMask->isChecked());
    if (!session_->autoSetMask()) {
        QString error;
        if (!session_->saveMask(&error)) {
            QMessageBox::warning(this, kProduct, error);
        }
    }
}

void TForm1::cmClearMaskClick() {
    session_->clearMask();
}

void TForm1::WindowLayout(int width, int height) {
    frameSize_ = width == 0 || height == 0 ? QSize(320, 240) : QSize(width, height);
    // A camera larger than the screen gets a smaller picture, never a window
    // whose tool bars and close box lie off the screen.
    const QSize room = availableRoom();
    const QSize picture =
        app::pictureFittingScreen(frameSize_, room, frameGeometry().size() - size());
    const app::WindowLayout layout = app::windowLayoutFor(picture.width(), picture.height());
    app::applyWindowLayout(c_, this, layout);
    livePicture_ = QImage(layout.livePicture, QImage::Format_RGB32);
    clearLivePicture();
    keepOnScreen();
}

QSize TForm1::availableRoom() const {
    return screen() ? screen()->availableGeometry().size() : QSize(1024, 768);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    app::applyClientLayout(c_, app::windowLayoutForClient(size()));
    fitLivePicture();
}

void TForm1::fitLivePicture() {
    const QSize fitted =
        app::letterboxed(frameSize_, QRect(QPoint(0, 0), c_.PanelRecord->contentsRect().size()))
            .size();
    if (fitted.isEmpty() || fitted == livePicture_.size()) {
        return;
    }
    // What was shown, scaled, until the next frame is drawn at the new size.
    livePicture_ =
        livePicture_.isNull()
            ? QImage(fitted, QImage::Format_RGB32)
            : livePicture_.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_RGB32);
    c_.PaintBoxRecord->update();
}

void TForm1::keepOnScreen() {
    if (!isVisible() || screen() == nullptr) {
        return;
    }
    const QRect area = screen()->availableGeometry();
    const QRect outer = frameGeometry();
    QPoint shift(std::min(0, area.right() - outer.right()),
                 std::min(0, area.bottom() - outer.bottom()));
    shift.rx() = std::max(shift.x(), area.left() - outer.left());
    shift.ry() = std::max(shift.y(), area.top() - outer.top());
    if (!shift.isNull()) {
        move(pos() + shift);
    }
}

void TForm1::clearLivePicture() {
    livePicture_.fill(palette().color(QPalette::Button));
    c_.PaintBoxRecord->update();
}

void TForm1::PaintBoxRecordPaint(QPainter& painter) {
    drawLetterboxed(painter, c_.PaintBoxRecord->rect(), livePicture_);
    // Drawn as the panel is painted, so that a stroke shows at once.
    if (c_.cmShowMask->isChecked() || c_.cmAutoSetMask->isChecked()) {
        session_->mask().drawOverlay(
            painter, app::letterboxed(livePicture_.size(), c_.PaintBoxRecord->rect()));
    }
}

// The second panel: what the recorder is doing, and frames it lost.
void TForm1::showRecorderState() {
    QString text = session_->stateText();
    if (lostFrames_ > 0) {
        text += QStringLiteral(", %1 lost").arg(lostFrames_);
    }
    c_.StatusBarRecord->setPanelText(1, text);
}

void TForm1::setRecordStatus(const QString& text) {
    c_.StatusBarRecord->setPanelText(0, text);
    showRecorderState();
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

void TForm1::connectSession() {
    using session::RecordingSession;
    connect(c_.MotionTriggerBar, &QSlider::valueChanged, session_, &RecordingSession::setTrigger);
    connect(session_, &RecordingSession::liveFrame, this,
            [this](const std::uint8_t* pixels, const media::BITMAPINFOHEADER& format) {
                const QRect whole(QPoint(0, 0), livePicture_.size());
                QPainter live(&livePicture_);
                media::drawFrame(live, whole, pixels, format);
            });
    connect(session_, &RecordingSession::frameHandled, this, &TForm1::showHandledFrame);
    connect(session_, &RecordingSession::movementStarted, this, [this] {
        lastMovement_ = QDateTime::currentDateTime();
        if (settings_.ShowWndOnMove) {
            QCoreApplication::postEvent(
                this, new MessageEvent(media::WM_TRAYICON, 0, media::WM_LBUTTONDBLCLK));
        }
        if (settings_.PlaySoundOnMove) {
            sound_->play(settings_.SoundFileName);
        }
    });
    connect(session_, &RecordingSession::statusText, this, &TForm1::setRecordStatus);
    connect(session_, &RecordingSession::lostFrames, this, [this](std::uint64_t lost) {
        lostFrames_ = lost;
        showRecorderState();
    });
    connect(session_, &RecordingSession::frameRecorded, this,
            [this] { c_.tBtnOpenActual->setEnabled(true); });
    connect(session_, &RecordingSession::recordGraphBuilt, this, [this] {
        c_.tBtnOpenActual->setEnabled(false);
        for (QToolButton* button :
             {c_.tBtnSelectCompressor, c_.tBtnRecOff, c_.tBtnRecOn, c_.tBtnRecMove}) {
            button->setEnabled(true);
        }
    });
    connect(session_, &RecordingSession::recordGraphClosed, this, [this] {
        for (QToolButton* button : {c_.tBtnSelectCompressor, c_.tBtnRecOff, c_.tBtnRecOn,
                                    c_.tBtnRecMove, c_.tBtnOpenActual}) {
            button->setEnabled(false);
        }
        lostFrames_ = 0;
        showRecorderState();
    });
    connect(session_, &RecordingSession::captureGraphClosed, this, &TForm1::clearLivePicture);
    // Shown after the build has returned: a box never holds the session up.
    connect(session_, &RecordingSession::buildProblem, this, &TForm1::showBuildProblem,
            Qt::QueuedConnection);
    connect(session_, &RecordingSession::captureFormatReady, this, [this](int width, int height) {
        if (layoutPending_) {
            layoutPending_ = false;
            WindowLayout(width, height);
        } else if (width > 0 && height > 0 && QSize(width, height) != frameSize_) {
            // The window keeps its size; the picture keeps the frames' aspect.
            frameSize_ = QSize(width, height);
            fitLivePicture();
            clearLivePicture();
        }
    });
    connect(session_, &RecordingSession::writeFailedChanged, this, &TForm1::showWriteFailure);
    connect(session_, &RecordingSession::writeFailedChanged, notifications_,
            [this](bool failed, const QString& fileName, const QString& reason) {
                if (failed) {
                    notifications_->writeFailed(QFileInfo(fileName).fileName() +
                                                QStringLiteral(": ") + reason);
                } else {
                    notifications_->writeResumed();
                }
            });
    connect(session_, &RecordingSession::cameraLostChanged, notifications_,
            [this](bool lost, const QString& reason) {
                if (lost) {
                    notifications_->cameraLost(reason);
                } else {
                    notifications_->cameraBack();
                }
            });
}

void TForm1::showHandledFrame(capture::FrameState state, int motionBar) {
    c_.MotionDisplayBar->setValue(qBound(0, motionBar, c_.MotionDisplayBar->maximum()));
    showRecorderState();
    QPainter live(&livePicture_);
    capture::drawStamp(live, livePicture_.width(), livePicture_.height(), clock_.now());
    drawIndicator(live, state);
    live.end();
    c_.PaintBoxRecord->update();
    notifications_->movementFrame(
        settings_.Mode == capture::StatePause && state == capture::StateRecord, livePicture_);
}

void TForm1::showBuildProblem(session::BuildProblem problem, int code) {
    const QString text = session::buildProblemText(problem, code);
    if (problem == session::BuildProblem::GrabberMissing) {
        if (QMessageBox::warning(this, kProduct, text, QMessageBox::Ok | QMessageBox::Abort) ==
            QMessageBox::Ok) {
            QDesktopServices::openUrl(
                QUrl(QStringLiteral("https://gstreamer.freedesktop.org/download/")));
        }
        return;
    }
    QMessageBox::warning(this, kProduct, text);
}

// Told once, without holding anything up: the recording retries by itself.
void TForm1::showWriteFailure(bool failed, const QString& fileName, const QString& reason) {
    if (!failed) {
        if (writeFailureBox_) {
            writeFailureBox_->hide();
        }
        return;
    }
    const QString text =
        QStringLiteral("Recording into %1 stopped: %2\n\nKestrelvision tries again by itself.")
            .arg(fileName, reason);
    if (!writeFailureBox_) {
        writeFailureBox_ =
            new QMessageBox(QMessageBox::Warning, kProduct, QString(), QMessageBox::Ok, this);
        writeFailureBox_->setObjectName(QStringLiteral("WriteFailureBox"));
        writeFailureBox_->setModal(false);
        writeFailureBox_->setWindowModality(Qt::NonModal);
    }
    writeFailureBox_->setText(text);
    writeFailureBox_->show();
    if (tray_ && QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages()) {
        tray_->showMessage(kProduct, text, QSystemTrayIcon::Warning);
    }
}

// --- record timer and graphs

void TForm1::RecordTimerTimer() {
    // A build may show a message box: no second tick runs under it.
    c_.RecordTimer->stop();
    if (terminating_) {
        return;
    }
    session_->setPlaybackFileName(playbackFileName_);
    session_->recordTimerTick();
    showRecorderState();
    if (!terminating_) {
        c_.RecordTimer->start();
    }
}

bool TForm1::captureGraphExists() const {
    return session_->captureGraphExists();
}
bool TForm1::recordGraphExists() const {
    return session_->recordGraphExists();
}
int TForm1::restartDelay() const {
    return session_->restartDelay();
}
int TForm1::recordedFrames() const {
    return session_->recordedFrames();
}
const QString& TForm1::RecordFileName() const {
    return session_->RecordFileName();
}
capture::MotionMask& TForm1::mask() {
    return session_->mask();
}
capture::TGrabberCallback& TForm1::grabber() {
    return session_->grabber();
}
record::RecordGraph& TForm1::recordGraph() {
    return session_->recordGraph();
}

void TForm1::FrameLoop() {
    session_->FrameLoop();
}

void TForm1::BuildCaptureGraph() {
    WaitCursor wait;
    session_->BuildCaptureGraph();
}

void TForm1::CloseCaptureGraph() {
    session_->CloseCaptureGraph();
}

void TForm1::BuildRecordGraph() {
    session_->BuildRecordGraph();
}

void TForm1::CloseRecordGraph() {
    session_->CloseRecordGraph();
}

// --- dialogs

void TForm1::BtnSelectCaptureDevClick() {
    const RecordTimerPause pause(c_.RecordTimer, terminating_);
    {
        WaitCursor wait;
        CloseCaptureGraph();
        CloseRecordGraph();
    }
    if (!dialogs::PrepareCaptureDialog(*dlgSelectCapture_, settings_.CaptureDeviceIndex,
                                       settings_.CaptureFormatIndex)) {
        QMessageBox::warning(this, kProduct, kNoCaptureDevice);
        return;
    }
    if (dlgSelectCapture_->exec() == QDialog::Accepted) {
        const dialogs::CaptureChoice choice = dialogs::ChosenCapture(*dlgSelectCapture_);
        settings_.CaptureDeviceName = choice.deviceName;
        settings_.CaptureDeviceIndex = choice.deviceIndex;
        settings_.CaptureFormatIndex = choice.formatIndex;
        session_->resetFaults();
        SaveSettings();
    }
    applySettingsToSession();
    session_->setPlaybackFileName(playbackFileName_);
    // The window follows the camera's frame size once the camera tells it.
    layoutPending_ = true;
    session_->StartGraphs();
}

void TForm1::BtnSelectCompressorClick() {
    const RecordTimerPause pause(c_.RecordTimer, terminating_);
    dialogs::FillCompressorDialog(*dlgSelectComp_, settings_.Compressor,
                                  settings_.CompressorQuality);
    if (dlgSelectComp_->exec() != QDialog::Accepted) {
        return;
    }
    CloseRecordGraph();
    const dialogs::CompressorChoice choice = dialogs::ChosenCompressor(*dlgSelectComp_);
    settings_.CompressorQuality = choice.quality;
    settings_.Compressor = choice.compressor;
    applySettingsToSession();
    if (!SaveSettings()) {
        return;
    }
    BuildRecordGraph();
}

void TForm1::tBtnSelectCompressorContextPopup() {
    if (GstElement* compressor = session_->recordGraph().compressor()) {
        dialogs::ShowPropertyDialog(compressor, {}, this);
    }
}

void TForm1::tBtnSetupClick() {
    app::copySettingsToSetup(settings_, *dlgSetup_);
    dlgSetup_->setFrameBytes(session_->displayFormat().biSizeImage);
    if (dlgSetup_->exec() != QDialog::Accepted) {
        return;
    }
    const QString folderBefore = settings_.AVIPath;
    app::copySetupToSettings(*dlgSetup_, settings_);
    applySettingsToSession();
    if (settings_.Mode != capture::StateOff) {
        session_->grabber().setInterval(std::uint32_t(settings_.RecInterval));
    }
    if (settings_.AVIPath != folderBefore && session_->recordGraphExists()) {
        // The next file, and the mask, come from the new folder: the record
        // timer builds both graphs again on its next tick.
        qCInfo(lcMain).noquote() << "recording folder is now" << settings_.AVIPath;
        CloseRecordGraph();
        CloseCaptureGraph();
    }
}

// --- playback page

void TForm1::BuildPlaybackGraph() {
    record::repairBeforePlayback(playbackFileName_);
    // The file loads in the background, however slow its disk: the window
    // shows that it is busy and offers Cancel.
    c_.StatusBarPlayback->setSimpleText(
        tr("Loading %1 ...").arg(QFileInfo(playbackFileName_).fileName()));
    c_.PlaybackBusy->show();
    playbackGraph_->load(playbackFileName_);
}

void TForm1::PlaybackLoadFinished(playback::PlaybackBuild result) {
    c_.PlaybackBusy->hide();
    const std::optional<qint64> seekTo = std::exchange(seekAfterLoad_, std::nullopt);
    if (result != playback::PlaybackBuild::Loaded) {
        c_.StatusBarPlayback->setSimpleText(QString());
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

void TForm1::BtnCancelLoadClick() {
    if (!playbackGraph_->loading()) {
        return;
    }
    qCInfo(lcMain).noquote() << "loading" << playbackFileName_ << "cancelled";
    ClosePlaybackGraph();
    c_.StatusBarPlayback->setSimpleText(QString());
}

void TForm1::ClosePlaybackGraph() {
    playbackGraph_->close();
    c_.PlaybackBusy->hide();
    seekAfterLoad_.reset();
    playbackJournal_.clear();
    c_.TBPlayback->setActivity({}, {}, 0);
    c_.StatusBarPlayback->setPanelText(1, QString());
    c_.PaintBoxPlayback->update();
}

void TForm1::tBtnOpenActualClick() {
    if (session_->recordedFrames() <= 0) {
        return;
    }
    WaitCursor wait;
    const QString current = session_->RecordFileName();
    playbackFileName_ = current;
    session_->setPlaybackFileName(current);
    CloseRecordGraph();
    BuildRecordGraph();
    ClosePlaybackGraph();
    // It can be read once its index is written, which happens in the background.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(&session_->recordGraph(), &record::RecordGraph::finished, this,
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
        showPlaybackPosition();
    }
}

// 1x, 2x, 4x, 8x, 16x: up or down one (held at the ends), or with 0 the next
// one round (the button).
void TForm1::ChangePlaySpeed(int step) {
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
void TForm1::showPlaybackActivity() {
    const qint64 count = playbackGraph_->frameCount();
    std::vector<int> motion(std::size_t(std::max<qint64>(count, 0)), 0);
    std::vector<bool> moving(motion.size(), false);
    int trigger = 0;
    for (const record::JournalLine& line : playbackJournal_) {
        if (line.frame >= 0 && line.frame < count) {
            motion[std::size_t(line.frame)] = line.motion;
            moving[std::size_t(line.frame)] = line.fate == record::JournalFate::Movement ||
                                              line.fate == record::JournalFate::PreRecord;
            trigger = line.trigger;
        }
    }
    if (playbackJournal_.empty()) {
        motion.clear();
        moving.clear();
    }
    c_.TBPlayback->setActivity(std::move(motion), std::move(moving), trigger);
}

// "Frame N of M" and the time of day it was taken (the date is in the file's
// name): from the journal, or without one (a file from elsewhere) the time
// from the file's start.
void TForm1::showPlaybackPosition() {
    const qint64 frame = shownFrame();
    const std::optional<QDateTime> taken = shownFrameTime();
    const QString when =
        taken ? taken->toString(QStringLiteral("HH:mm:ss"))
              : QTime(0, 0)
                    .addMSecs(int(frame * playbackGraph_->frameDuration_ns() / 1000000))
                    .toString(QStringLiteral("+HH:mm:ss.zzz"));
    c_.StatusBarPlayback->setPanelText(1, QStringLiteral("Frame %1 of %2, %3")
                                              .arg(frame + 1)
                                              .arg(playbackGraph_->frameCount())
                                              .arg(when));
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
    showPlaybackPosition();
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

void TForm1::JumpToMovement(bool forward) {
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
    // On through the neighbouring recordings, in folder order.
    QList<record::RecordFileEntry> list;
    record::ListRecordFiles(settings_.AVIPath, list);
    QString file = playbackFileName_;
    for (;;) {
        file = playback::StepRecordFile(list, file, forward);
        if (file.isEmpty()) {
            c_.StatusBarPlayback->setPanelText(1, QStringLiteral("No further movement"));
            return;
        }
        starts = record::movementStarts(record::readJournal(record::journalPath(file)));
        if (!starts.empty()) {
            ClosePlaybackGraph();
            playbackFileName_ = file;
            // Shown once the file is loaded.
            seekAfterLoad_ = forward ? starts.front() : starts.back();
            BuildPlaybackGraph();
            return;
        }
    }
}

// The frame the picture shows: the last one once playing reached the end.
qint64 TForm1::shownFrame() const {
    return std::min(playbackGraph_->position(),
                    std::max<qint64>(playbackGraph_->frameCount() - 1, 0));
}

std::optional<QDateTime> TForm1::shownFrameTime() const {
    const qint64 frame = shownFrame();
    if (frame >= 0 && frame < qint64(playbackJournal_.size()) &&
        playbackJournal_[std::size_t(frame)].frame == frame) {
        return playbackJournal_[std::size_t(frame)].time;
    }
    return std::nullopt;
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
    // The moment the frame shows, or, without a journal, when it is printed.
    const QString footer = playback::printFooter(playbackFileName_, playbackGraph_->position(),
                                                 shownFrameTime().value_or(clock_.now()));
    if (!playback::printFrame(frame, printer, footer, &error)) {
        QMessageBox::warning(this, kProduct, error);
    }
}
