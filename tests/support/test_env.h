#pragma once

// A private home for one test: HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and the
// documents folder all point into a temporary folder that is removed afterwards,
// so no test ever sees the user's settings or recordings.

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <optional>

namespace kv::test {

class TempHome {
  public:
    TempHome();
    ~TempHome();

    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    QString path() const { return dir_.path(); }
    QString configDir() const;
    QString runtimeDir() const;
    QString documentsDir() const;

    // The environment for a child process that lives in this home.
    QProcessEnvironment environment() const;

  private:
    QTemporaryDir dir_;
    std::map<QByteArray, std::optional<QByteArray>> saved_;
};

// Runs the event loop until done() holds; false when it never did in time.
bool pumpUntil(const std::function<bool()>& done, int timeout_ms = 10000);

}  // namespace kv::test
