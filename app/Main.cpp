#include "app/Main.h"

#include "app/session_events.h"
#include "app/settings_store.h"
#include "app/single_instance.h"
#include "media/window_messages.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcMain, "kv.main", QtWarningMsg)

using namespace kv;
using media::MessageEvent;

TForm1::TForm1(const QStringList& arguments, QWidget* parent)
    : QWidget(parent), commandLine_(app::parseCommandLine(arguments)) {
    for (const QString& problem : commandLine_.problems) {
        qCWarning(lcMain).noquote() << problem;
    }
    setWindowTitle(QStringLiteral("Kestrelvision"));
    buildControls();

    sessionEvents_ = new app::SessionEvents(this);
    connect(sessionEvents_, &app::SessionEvents::endSession, this, &TForm1::EndSession);
    connect(sessionEvents_, &app::SessionEvents::powerEvent, this, &TForm1::PowerBroadcast);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TForm1::ShutdownRoutine);

    recordMode_ = 0;
    postRecCountdown_ = 0;
    recordedFrames_ = 0;

    runSingleInstanceTest();

    settings_.RecInterval = 1000;
    settings_.CaptureDeviceIndex = -1;
    settings_.CaptureFormatIndex = 0;
    FormCreate();
}

TForm1::~TForm1() { FormDestroy(); }

void TForm1::buildControls() {
    auto* layout = new QVBoxLayout(this);
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    layout->addWidget(PageControl);
    tsRecord = new QWidget;
    tsRecord->setObjectName(QStringLiteral("tsRecord"));
    tsPlayback = new QWidget;
    tsPlayback->setObjectName(QStringLiteral("tsPlayback"));
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl->addTab(tsRecord, QStringLiteral("Record"));
    PageControl->addTab(tsPlayback, QStringLiteral("Playback"));
    PageControl->addTab(TabSheet1, QStringLiteral("Info"));
    PanelGerman = new QLabel(QString::fromUtf8("Kestrelvision erzeugt Zeitrafferfilme für lange "
                                               "Beobachtungen. Auch bewegungsgesteuert."),
                             TabSheet1);
    PanelGerman->setObjectName(QStringLiteral("PanelGerman"));
    PanelGerman->hide();

    RecordTimer = new QTimer(this);
    RecordTimer->setObjectName(QStringLiteral("RecordTimer"));
    RecordTimer->setInterval(1000);
    connect(RecordTimer, &QTimer::timeout, this, &TForm1::RecordTimerTimer);
    RecordTimer->start();
    TimerTrackBar = new QTimer(this);
    TimerTrackBar->setObjectName(QStringLiteral("TimerTrackBar"));
    TimerTrackBar->setInterval(100);
    resize(427, 371);
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

void TForm1::FormDestroy() { ShutdownRoutine(); }

bool TForm1::event(QEvent* event) {
    const int type = int(event->type());
    switch (type) {
        case media::WM_STARTUP:
            Startup();
            return true;
        case media::WM_OTHERINSTANCE:
            otherInstanceWindow_ = static_cast<MessageEvent*>(event)->lParam();
            return true;
        case media::WM_NEWFRAME:
        case media::WM_TRAYICON:
        case media::WM_GRAPHNOTIFY:
            return true;
        default:
            return QWidget::event(event);
    }
}

void TForm1::Startup() {
    instanceSuffix_.clear();
    instanceSuffix_ = commandLine_.instanceSuffix;
    if (commandLine_.hidden) {
        hide();
    }
    LoadSettings();

    const QLocale::Language german = QLocale::German;
    const bool isGerman =
        QLocale().language() == german || QLocale::system().language() == german;
    PanelGerman->move(0, PanelGerman->y());
    PanelGerman->setVisible(isGerman);

    if (!RecordTimer->isActive()) {
        RecordTimer->start();
    }
    qCInfo(lcMain) << "started";
}

void TForm1::LoadSettings() {
    settingsStore_ = std::make_unique<app::SettingsStore>(instanceSuffix_);
    const QRect screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->geometry()
                             : QRect(0, 0, width(), height());
    const int defaultTop = (screen.height() - height()) / 2;
    const int defaultLeft = (screen.width() - width()) / 2;
    settings_ = settingsStore_->load(defaultTop, defaultLeft);
    move(settings_.Left, settings_.Top);
    qCInfo(lcMain) << "settings loaded from" << settingsStore_->filePath();
}

bool TForm1::SaveSettings() {
    if (!settingsStore_) {
        settingsStore_ = std::make_unique<app::SettingsStore>(instanceSuffix_);
    }
    settings_.Left = x();
    settings_.Top = y();
    QString error;
    if (!settingsStore_->save(settings_, &error)) {
        qCWarning(lcMain).noquote() << error;
        QMessageBox::warning(this, QStringLiteral("Kestrelvision"), error);
        return false;
    }
    return true;
}

void TForm1::RecordTimerTimer() {
    if (!restartDelay_.tick()) {
        return;
    }
    RecordTimer->stop();
    if (terminating_) {
        return;
    }
    RecordTimer->start();
}

void TForm1::PowerBroadcast() { restartDelay_.powerEvent(); }

void TForm1::EndSession() {
    ShutdownRoutine();
    QCoreApplication::quit();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (quitting_) {
        event->accept();
        return;
    }
    // Closing only hides the window; recording goes on.
    event->ignore();
    show();
    hide();
    SaveSettings();
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
    QCoreApplication::quit();
}

void TForm1::ShutdownRoutine() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    if (RecordTimer) {
        RecordTimer->stop();
    }
    if (TimerTrackBar) {
        TimerTrackBar->stop();
    }
    qCInfo(lcMain) << "shutdown";
}
