// Test entry: a QApplication on the offscreen platform and GStreamer, both
// ready before the first test runs.

#include "media/gst_init.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QString error;
    if (!kv::media::initGStreamer(&error)) {
        fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    return RUN_ALL_TESTS();
}
