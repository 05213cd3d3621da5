// Program entry: the application object, the windows, then WM_STARTUP; or,
// with --analyse, the analysis of footage without any window; or, with
// --headless, the recorder without a window; or, with --status, the state of
// the running one.

#include "app/Main.h"
#include "app/command_line.h"
#include "app/film_command.h"
#include "app/headless.h"
#include "app/single_instance.h"
#include "app/translations.h"
#include "app/window_messages.h"
#include "media/gst_init.h"
#include "media/redact.h"
#include "session/footage_analysis.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QMessageBox>
#include <QUrl>

#include <cstdio>
#include <cstring>
#include <exception>

namespace {

// Translated where it is printed.
const char kUsage[] = QT_TRANSLATE_NOOP(
    "kestrelvision",
    "usage: kestrelvision [/I<suffix>] [/Q] [--camera NAME=URI ...]\n"
    "       kestrelvision --headless [/I<suffix>] [--camera NAME=URI ...]\n"
    "       kestrelvision --status [/I<suffix>]\n"
    "       kestrelvision --analyse FILE [--mask MASK.bmp] [--detector classic|robust]\n"
    "                     [--trigger N] [--plot OUT.png]\n"
    "       kestrelvision --film FROM [TO] [--length S | --all] [--pace frames|clock]\n"
    "                     [--no-deflicker] [--format mp4|avi] [-o FILE]\n"
    "       kestrelvision --help | --version\n"
    "\n"
    "A time-lapse and motion recorder: it watches a camera and writes quick-motion AVI\n"
    "films into the recording folder.\n"
    "\n"
    "  /I<suffix>          run as instance <suffix>, with settings of its own\n"
    "  /Q                  start hidden in the tray\n"
    "  --camera NAME=URI   a camera by URI: test:ball, file:///path/clip.avi,\n"
    "                      rtsp://host/stream, http://host/video.mjpg\n"
    "  --headless          record without a window or a display, as a service;\n"
    "                      SIGTERM ends it, SIGHUP reloads the settings\n"
    "  --status            print the state of the running recorder of the\n"
    "                      instance; exit code 3 when none runs\n"
    "  --analyse FILE      run a video through the movement detector, without a\n"
    "                      display; the journal lines go to standard output\n");

QByteArray usage() {
    return QCoreApplication::translate("kestrelvision", kUsage).toLocal8Bit();
}

bool hasArgument(int argc, char** argv, const char* wanted) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], wanted) == 0) {
            return true;
        }
    }
    return false;
}

// A desktop program: without a display Qt would abort with a message of its own.
bool displayAvailable() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// No display is needed: the plot is drawn off screen.
int analyse(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    kv::app::installTranslations(app);
    QString error;
    const auto options =
        kv::session::parseAnalysisArguments(QCoreApplication::arguments().mid(2), &error);
    if (!options) {
        std::fprintf(stderr, "kestrelvision: %s\n%s\n", qPrintable(error),
                     qPrintable(QCoreApplication::translate(
                         "kestrelvision",
                         "usage: kestrelvision --analyse FILE [--mask MASK.bmp] "
                         "[--detector classic|robust] [--trigger N] [--plot OUT.png]")));
        return 2;
    }
    if (!kv::media::initGStreamer(&error)) {
        std::fprintf(stderr, "kestrelvision: %s\n", qPrintable(error));
        return 1;
    }
    return kv::session::analyseFootage(*options, stdout, stderr);
}

QStringList argumentsAfterProgram(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

// No display is needed: the stamp's font comes from the off-screen platform.
int film(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    kv::app::installTranslations(app);
    QString error;
    if (!kv::media::initGStreamer(&error)) {
        std::fprintf(stderr, "kestrelvision: %s\n", qPrintable(error));
        return 1;
    }
    return kv::app::runFilmCommand(argumentsAfterProgram(argc, argv).mid(1), stdout, stderr);
}

// The stamp needs fonts, which need a GUI application: the off-screen
// platform gives them without any display.
int headless(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    kv::app::installJournalMessageHandler();
    QGuiApplication app(argc, argv);
    kv::app::installTranslations(app);
    QCoreApplication::setApplicationName(QStringLiteral("Kestrelvision"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV_VERSION));
    QString error;
    if (!kv::media::initGStreamer(&error)) {
        qCritical("%s", qPrintable(error));
        return 1;
    }
    kv::app::HeadlessRecorder recorder(
        kv::app::parseCommandLine(argumentsAfterProgram(argc, argv)));
    QObject::connect(
        &recorder, &kv::app::HeadlessRecorder::stopped, &app, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
    if (!recorder.start()) {
        return recorder.failure();
    }
    return QCoreApplication::exec();
}

int status(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    kv::app::installTranslations(app);
    return kv::app::printRecorderStatus(
        kv::app::parseCommandLine(argumentsAfterProgram(argc, argv)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--analyse") == 0) {
        return analyse(argc, argv);
    }
    if (argc > 1 && std::strcmp(argv[1], "--film") == 0) {
        return film(argc, argv);
    }
    if (hasArgument(argc, argv, "--help")) {
        QCoreApplication app(argc, argv);
        kv::app::installTranslations(app);
        std::fputs(usage().constData(), stdout);
        return 0;
    }
    if (hasArgument(argc, argv, "--version")) {
        std::printf("kestrelvision %s\n", KV_VERSION);
        return 0;
    }
    {
        const kv::app::CommandLine line =
            kv::app::parseCommandLine(argumentsAfterProgram(argc, argv));
        // A mistyped option is not started as something the user did not ask for.
        if (!line.unknownOptions.isEmpty()) {
            QCoreApplication app(argc, argv);
            kv::app::installTranslations(app);
            const QString text = QCoreApplication::translate("kestrelvision", "unknown option %1")
                                     .arg(kv::media::sanitizedText(line.unknownOptions.first()));
            std::fprintf(stderr, "kestrelvision: %s\n%s", qPrintable(text), usage().constData());
            return 2;
        }
        // session::Settings, sockets and locks are named after the suffix: one that
        // cannot name a file gets no instance at all.
        QString why;
        if (!kv::app::isUsableInstanceSuffix(line.instanceSuffix, &why)) {
            std::fprintf(stderr, "kestrelvision: %s\n", qPrintable(why));
            return 2;
        }
    }
    if (hasArgument(argc, argv, "--status")) {
        return status(argc, argv);
    }
    if (hasArgument(argc, argv, "--headless")) {
        return headless(argc, argv);
    }
    if (!displayAvailable()) {
        QCoreApplication app(argc, argv);
        kv::app::installTranslations(app);
        std::fprintf(stderr, "kestrelvision: %s\n",
                     qPrintable(QCoreApplication::translate(
                         "kestrelvision",
                         "no display to show the window on (DISPLAY is not set); "
                         "kestrelvision --headless records without one")));
        return 1;
    }
    QApplication app(argc, argv);
    kv::app::installTranslations(app);
    QApplication::setApplicationName(QStringLiteral("Kestrelvision"));
    QApplication::setApplicationVersion(QStringLiteral(KV_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kestrelvision.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.brannowerks.Kestrelvision"));
    // Closing the window hides it; only Quit or the end of the session ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    try {
        QString error;
        if (!kv::media::initGStreamer(&error)) {
            const auto answer = QMessageBox::warning(
                nullptr, QStringLiteral("Kestrelvision"),
                QCoreApplication::translate("kestrelvision",
                                            "Kestrelvision needs GStreamer 1.22 or higher: \n\nOK "
                                            "brings you to the GStreamer download page.\n"),
                QMessageBox::Ok | QMessageBox::Abort);
            if (answer == QMessageBox::Ok) {
                QDesktopServices::openUrl(
                    QUrl(QStringLiteral("https://gstreamer.freedesktop.org/download/")));
            }
            return 1;
        }

        TForm1 form(QApplication::arguments().mid(1));
        // exit(), not quit(): quit() would first ask the window, which only hides.
        QObject::connect(
            &form, &TForm1::quitRequested, &app, [] { QCoreApplication::exit(0); },
            Qt::QueuedConnection);
        if (form.terminating()) {
            return 0;
        }
        if (!form.commandLine().hidden) {
            form.show();
        }
        QCoreApplication::postEvent(&form, new kv::media::MessageEvent(kv::app::WM_STARTUP));
        return QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Kestrelvision"),
                              QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
