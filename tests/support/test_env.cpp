#include "tests/support/test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <optional>

namespace kv::test {

namespace {
const char* const kVariables[] = {
    "HOME",          "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "XDG_DOCUMENTS_DIR",
    "XDG_DATA_HOME", "XDG_CACHE_HOME"};
}

TempHome::TempHome() {
    for (const char* name : kVariables) {
        saved_[name] =
            qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }
    QDir root(dir_.path());
    root.mkpath(QStringLiteral(".config"));
    root.mkpath(QStringLiteral("run"));
    root.mkpath(QStringLiteral("Documents"));
    QFile::setPermissions(runtimeDir(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", dir_.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", configDir().toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtimeDir().toUtf8());
    qputenv("XDG_DATA_HOME", (dir_.path() + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (dir_.path() + QStringLiteral("/.cache")).toUtf8());
    qunsetenv("XDG_DOCUMENTS_DIR");
}

TempHome::~TempHome() {
    for (const auto& [name, value] : saved_) {
        if (value) {
            qputenv(name.constData(), *value);
        } else {
            qunsetenv(name.constData());
        }
    }
}

QString TempHome::configDir() const {
    return dir_.path() + QStringLiteral("/.config");
}
QString TempHome::runtimeDir() const {
    return dir_.path() + QStringLiteral("/run");
}
QString TempHome::documentsDir() const {
    return dir_.path() + QStringLiteral("/Documents");
}

QProcessEnvironment TempHome::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir_.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir_.path() + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), dir_.path() + QStringLiteral("/.cache"));
    env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

bool pumpUntil(const std::function<bool()>& done, int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeout_ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

}  // namespace kv::test
