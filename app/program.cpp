// Program entry: the application object, the windows, then WM_STARTUP.

#include "app/Main.h"
#include "media/gst_init.h"
#include "media/window_messages.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include <exception>

int main(int argc, char** argv) {
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
