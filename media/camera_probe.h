#pragma once

// Tries a camera address before it is kept: opens it in a thread of its own
// and tells its picture size, or why it cannot be used, on the main thread
// within a bounded time. A camera that never answers holds up only that
// thread, which nobody joins.

#include <QObject>
#include <QSize>
#include <QString>

#include <memory>

namespace kv::media {

class CameraProbe : public QObject {
    Q_OBJECT
  public:
    static constexpr int kDefaultTimeout_ms = 5000;

    explicit CameraProbe(QObject* parent = nullptr);
    ~CameraProbe() override;

    // Starts a test of uri; a test under way is forgotten. finished follows
    // once, at the latest about timeout_ms later.
    void start(const QString& uri, int timeout_ms = kDefaultTimeout_ms);
    bool running() const { return running_; }

  Q_SIGNALS:
    // size is valid when the camera gave a picture; error (passwords left
    // out) says why not otherwise.
    void finished(QSize size, const QString& error);

  private:
    void finish(quint64 run, QSize size, const QString& error);

    // --- main thread only
    std::shared_ptr<bool> alive_;
    quint64 run_ = 0;
    bool running_ = false;
};

}  // namespace kv::media
