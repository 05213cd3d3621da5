// Program entry: the application object, the windows, then WM_STARTUP; or,
// with --analyse, the analysis of footage without any window.

#include "app/Main.h"
#include "media/gst_init.h"
#include "media/window_messages.h"
#include "session/footage_analysis.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include <cstdio>
#include <cstring>
#include <exception>

namespace {

// No display is needed: the plot is drawn off screen.
int analyse(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QString error;
    const auto options =
        kv::session::parseAnalysisArguments(QCoreApplication::arguments().mid(2), &error);
    if (!options) {
        std::fprintf(stderr,
                     "kestrelvision: %s\nusage: kestrelvision --analyse FILE [--mask MASK.bmp] "
                     "[--detector classic|robust] [--trigger N] [--plot OUT.png]\n",
                     qPrintable(error));
        return 2;
    }
    if (!kv::media::initGStreamer(&error)) {
        std::fprintf(stderr, "kestrelvision: %s\n", qPrintable(error));
        return 1;
    }
    return kv::session::analyseFootage(*options, stdout, stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--analyse") == 0) {
        return analyse(argc, argv);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrelvision"));
    QApplication::setApplicationVersion(QStringLiteral(KV_VERSION));
    // Closing the window hides it; only Quit or the end of the session ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    try {
        QString error;
        if (!kv::media::initGStreamer(&error)) {
            const auto answer = QMessageBox::warning(
                nullptr, QStringLiteral("Kestrelvision"),
                QStringLiteral("Kestrelvision needs GStreamer 1.22 or higher: \n\nOK brings you "
                               "to the GStreamer download page.\n"),
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
        QCoreApplication::postEvent(&form, new kv::media::MessageEvent(kv::media::WM_STARTUP));
        return QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Kestrelvision"),
                              QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
