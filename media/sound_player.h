#pragma once

// Plays a sound file asynchronously through playbin; a new sound replaces one
// that is still playing. A missing or empty file name plays nothing and is
// reported once.

#include "media/bus_observer.h"
#include "media/gst_handle.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace kv::media {

class SoundPlayer : public QObject {
    Q_OBJECT
  public:
    explicit SoundPlayer(QObject* parent = nullptr);
    ~SoundPlayer() override;

    // Returns false when the file cannot be played (nothing starts).
    bool play(const QString& fileName);
    void stop();
    bool playing() const { return static_cast<bool>(playbin_); }

  Q_SIGNALS:
    void finished();

  private:
    Element playbin_;
    std::unique_ptr<BusObserver> bus_;
    std::optional<QString> reported_;  // the last file name a problem was logged for
};

}  // namespace kv::media
