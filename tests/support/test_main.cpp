// Test entry: a QApplication on the offscreen platform (or, built with
// KV_TEST_CORE_APP, a QCoreApplication) and GStreamer, both
// ready before the first test runs.

#include "media/gst_init.h"

#include <QApplication>
#include <QCoreApplication>

#include <gtest/gtest.h>

// Sanitizer builds: the system libraries are not instrumented and keep caches
// for the life of the process that would read as leaks.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}
extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
extern "C" const char* __tsan_default_options() {
    return "halt_on_error=1:second_deadlock_stack=1";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("GST_REGISTRY")) {
        qputenv("GST_REGISTRY", KV_TEST_GST_REGISTRY);
    }
    // The texts as written in the code, whatever the desktop's language, for
    // this process and the programs the tests start; a test that wants a
    // language sets it on the program it starts.
    qputenv("LC_ALL", "C.UTF-8");
    qunsetenv("LANGUAGE");
    ::testing::InitGoogleTest(&argc, argv);
#ifdef KV_TEST_CORE_APP
    QCoreApplication app(argc, argv);
#else
    QApplication app(argc, argv);
#endif
    QString error;
    if (!kv::media::initGStreamer(&error)) {
        fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    return RUN_ALL_TESTS();
}
