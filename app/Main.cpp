#include "app/Main.h"
#include "app/daily_film_status.h"
#include "app/info_page.h"
#include "app/live_panel.h"
#include "app/playback_page.h"
#include "app/record_page.h"
#include "app/recorder_status.h"
#include "app/session_events.h"
#include "app/settings_store.h"
#include "app/setup_exchange.h"
#include "app/single_instance.h"
#include "app/tray_state.h"
#include "app/wait_cursor.h"
#include "app/web_service.h"
#include "app/window_layout.h"
#include "app/window_messages.h"
#include "dialogs/Dlgeinstellung.h"
#include "dialogs/Dlgselectcapturesrc.h"
#include "dialogs/Dlgselectcompressor.h"
#include "dialogs/property_dialog.h"
#include "events/event_publisher.h"
#include "media/sound_player.h"
#include "media/uri_camera.h"
#include "session/recording_session.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QDBusConnection>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLocale>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <cstdlib>
#include <memory>

Q_LOGGING_CATEGORY(lcMain, "kv.app.main", QtInfoMsg)

using namespace kv;
using media::MessageEvent;

namespace {

const QString kProduct = QStringLiteral("Kestrelvision");

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

    settings_.Mode = session::StateOff;
    session_ = new session::RecordingSession(clock_, this);
    createTrayIcon();
    notifications_ = new app::DesktopNotifications(QDBusConnection::sessionBus(), this);
    live_ = new app::LivePanel(c_, this, *session_, clock_);
    record_ = new app::RecordPage(c_, this, *session_, *live_);
    record_->setTray(tray_->icon());
    info_ = new app::InfoPage(c_, this, *session_);
    connect(record_, &app::RecordPage::noCameraFound, this, &TForm1::noCameraFound);
    connect(live_, &app::LivePanel::maskSaveFailed, record_, &app::RecordPage::setStatus);
    connectSession();
    session_->setMode(session::StateOff);
    WindowLayout(320, 240);
    sound_ = new media::SoundPlayer(this);
    playback_ = new app::PlaybackPage(c_, this, settings_, *session_, clock_, terminating_);
    dailyFilm_ = new app::DailyFilmStatus(c_, *notifications_, settings_, clock_, this);

    runSingleInstanceTest();

    c_.PaintBoxRecord->setAttribute(Qt::WA_OpaquePaintEvent);
    FormCreate();

    dlgSelectCapture_ = new TDlgSelectCapture(this);
    dlgSelectComp_ = new TDlgSelectComp(this);
    dlgSetup_ = new TDlgSetup(this);
}

TForm1::~TForm1() {
    FormDestroy();
    qApp->removeEventFilter(this);
    // The controls go before the panel: it must not see their last events.
    c_.PaintBoxRecord->removeEventFilter(live_);
}

void TForm1::wireControls() {
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
    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);
}

void TForm1::createTrayIcon() {
    tray_ = new app::TrayState(c_.ImageListRecordE.value(5), *session_, this);
    connect(tray_, &app::TrayState::trayEvent, this, &TForm1::TrayIconEvent);
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
                MessageEvent reply(app::WM_OTHERINSTANCE, wParam, lParam);
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
        const QString text = tr("This instance of Kestrelvision records already without a window "
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
    instanceChannel_->setStatusProvider([this] { return statusJson(); });
}

QByteArray TForm1::statusJson() const {
    return app::toJson(
        app::recorderStatus(*session_, commandLine_.instanceSuffix, false, lastMovement_));
}

void TForm1::showNormalForOtherInstance() {
    qCInfo(lcMain) << "another start asked for the window";
    showNormal();
    raise();
    activateWindow();
}

void TForm1::FormCreate() {
    session_->setAutoSetMask(false);
    session_->resetRestartDelay(session::RestartDelay::kAfterCreate);
}

void TForm1::FormDestroy() {
    ShutdownRoutine();
}

bool TForm1::event(QEvent* event) {
    switch (int(event->type())) {
        case app::WM_STARTUP:
            Startup();
            return true;
        case app::WM_TRAYICON:
            TrayIconEvent(static_cast<MessageEvent*>(event)->lParam());
            return true;
        case app::WM_OTHERINSTANCE:
            otherInstanceWindow_ = static_cast<MessageEvent*>(event)->lParam();
            return true;
        default:
            return QWidget::event(event);
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::KeyPress && widget && widget->window() == this) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        if ((ctrl && playback_->keyPressed(key->key(), key->modifiers())) || live_->maskKey(*key) ||
            info_->keyPressed(*key) || FormKeyDown(key->key())) {
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm1::FormKeyDown(int key) {
    if (c_.PageControl->currentWidget() == c_.tsRecord && key == Qt::Key_F1) {
        BtnSelectCaptureDevClick();
        return true;
    }
    return playback_->keyPressed(key, Qt::NoModifier);
}

void TForm1::Startup() {
    instanceSuffix_ = commandLine_.instanceSuffix;
    if (commandLine_.hidden) {
        hide();
    }
    dlgSetup_->fillRasEntries({});  // no dial-up entries exist here
    LoadSettings();
    // Events go to the broker the settings name, if any, and commands come back.
    auto* publisher = new events::EventPublisher(
        *session_, instanceSuffix_, [this](int mode) { c_.RecordModeGroup->button(mode)->click(); },
        this);
    publisher->setStateProvider([this] { return statusJson(); });
    app::serveWeb(*session_, instanceSuffix_, false, this);
    connect(&dailyFilm_->daily(), &film::DailyFilm::finished, publisher,
            &events::EventPublisher::filmReady);
    dlgSetup_->hideFtpPage();

    // The buttons' ids are the modes; the loaded mode is always one of them.
    if (QAbstractButton* button = c_.RecordModeGroup->button(settings_.Mode)) {
        button->setChecked(true);
    }
    if (settings_.Width > 0 && settings_.Height > 0) {
        // The size the user left it at; the camera's frames keep their aspect in it.
        const QSize room = app::availableRoom(this);
        app::applyWindowLayout(
            c_, this,
            app::windowLayoutForClient(QSize(settings_.Width, settings_.Height).boundedTo(room)));
        live_->fit();
        live_->clear();
    } else {
        // A first start: 320 x 240 until the camera's size is known, then laid out for it.
        WindowLayout(session_->cameraFormat().biWidth, std::abs(session_->cameraFormat().biHeight));
        layoutPending_ = true;
    }

    const bool isGerman =
        QLocale().language() == QLocale::German || QLocale::system().language() == QLocale::German;
    c_.PanelGerman->move(0, c_.PanelGerman->y());
    c_.PanelGerman->setVisible(isGerman);

    // Unfinished recordings are repaired first, then the quota runs; the
    // record timer starts.
    session_->setPlaybackFileName(playback_->PlaybackFileName());
    session_->startUp();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        record_->setStatus(tr("No tray: close minimises, Ctrl+Q quits"));
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
    app::placeWindow(this, QPoint(settings_.Left, settings_.Top));
    c_.MotionTriggerBar->setValue(settings_.Trigger);
    c_.tBtnDayView->setChecked(settings_.DayView);
    applySettingsToSession();
    qCInfo(lcMain) << "settings loaded from" << settingsStore_->filePath();
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
    settings_.DayView = c_.tBtnDayView->isChecked();
    QString error;
    if (!settingsStore_->save(settings_, &error)) {
        qCWarning(lcMain).noquote() << error;
        QMessageBox::warning(this, kProduct, error);
        return false;
    }
    return true;
}

void TForm1::applySettingsToSession() {
    settings_.Trigger = c_.MotionTriggerBar->value();
    session_->apply(settings_);
    session_->setPlaybackFileName(playback_->PlaybackFileName());
    notifications_->setChoice(
        {settings_.NotifyOnMove, settings_.NotifyOnCamera, settings_.NotifyOnWriteError});
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
    if (lParam == app::WM_LBUTTONDBLCLK) {
        c_.PageControl->setCurrentWidget(c_.tsRecord);
        hide();
        // Without a tray, closing minimised the window: show() alone would keep it so.
        showNormal();
        if (QApplication::activeWindow() != this) {
            raise();
            activateWindow();
        }
    } else if (lParam == app::WM_RBUTTONDOWN) {
        c_.PopupMenu->popup(QCursor::pos());
    } else if (lParam == app::WM_LBUTTONUP) {
        cmShowClick();  // one click shows the window as it was left
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
    c_.TimerTrackBar->stop();
    session_->shutdown();
    playback_->ClosePlaybackGraph();
    if (tray_) {
        tray_->icon()->hide();
    }
    qCInfo(lcMain) << "shutdown";
}

// --- record page

void TForm1::tBtnRecClick(int tag) {
    settings_.Mode = tag;
    session_->setMode(tag);
}

void TForm1::cmShowMaskClick() {
    live_->showMaskHint();
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
    live_->setFrameSize(QSize(width, height));
    // A camera larger than the screen gets a smaller picture, never a window
    // whose tool bars and close box lie off the screen.
    const QSize room = app::availableRoom(this);
    const QSize picture =
        app::pictureFittingScreen(live_->frameSize(), room, frameGeometry().size() - size());
    const app::WindowLayout layout = app::windowLayoutFor(picture.width(), picture.height());
    app::applyWindowLayout(c_, this, layout);
    live_->resetPicture(layout.livePicture);
    app::keepOnScreen(this);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    app::applyClientLayout(c_, app::windowLayoutForClient(size()));
    live_->fit();
}

// The second panel: what the recorder is doing, and frames it lost.
void TForm1::connectSession() {
    using session::RecordingSession;
    connect(c_.MotionTriggerBar, &QSlider::valueChanged, session_, &RecordingSession::setTrigger);
    connect(session_, &RecordingSession::liveFrame, live_, &app::LivePanel::drawFrame);
    // After the Record page has stamped the frame.
    connect(session_, &RecordingSession::frameHandled, notifications_,
            [this](session::FrameState state, int) {
                notifications_->movementFrame(
                    settings_.Mode == session::StatePause && state == session::StateRecord,
                    live_->picture());
            });
    connect(session_, &RecordingSession::movementStarted, this, [this] {
        lastMovement_ = QDateTime::currentDateTime();
        if (settings_.ShowWndOnMove) {
            QCoreApplication::postEvent(
                this, new MessageEvent(app::WM_TRAYICON, 0, app::WM_LBUTTONDBLCLK));
        }
        if (settings_.PlaySoundOnMove) {
            sound_->play(settings_.SoundFileName);
        }
    });
    connect(session_, &RecordingSession::captureGraphClosed, live_, &app::LivePanel::clear);
    connect(session_, &RecordingSession::captureFormatReady, this, [this](int width, int height) {
        notifications_->setCameraName(session_->cameraName());
        if (layoutPending_) {
            layoutPending_ = false;
            WindowLayout(width, height);
        } else if (width > 0 && height > 0 && QSize(width, height) != live_->frameSize()) {
            // The window keeps its size; the picture keeps the frames' aspect.
            live_->setFrameSize(QSize(width, height));
            live_->fit();
            live_->clear();
        }
    });
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
                    notifications_->cameraLost(session_->cameraName(), reason);
                } else {
                    notifications_->cameraBack(session_->cameraName());
                }
            });
}

// --- record timer and graphs

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

void TForm1::BtnSelectCompressorClick() {
    const session::RecordingSession::TimerHold hold(*session_);
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
    if (GstElement* compressor = session_->compressorElement()) {
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
    if (settings_.AVIPath != folderBefore && session_->recordGraphExists()) {
        // The next file, and the mask, come from the new folder: the record
        // timer builds both graphs again on its next tick.
        qCInfo(lcMain).noquote() << "recording folder is now" << settings_.AVIPath;
        CloseRecordGraph();
        CloseCaptureGraph();
    }
}
