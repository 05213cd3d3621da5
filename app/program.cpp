#include "app/Main.h"
#include "media/gst_init.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kv::media::initGStreamer();
    TForm1 form(app.arguments().mid(1));
    form.show();
    return app.exec();
}
