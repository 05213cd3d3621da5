#include "media/sound_player.h"

#include "media/pipeline.h"
#include "media/redact.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QUrl>

Q_LOGGING_CATEGORY(lcSound, "kv.media.sound", QtInfoMsg)

namespace kv::media {

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

SoundPlayer::~SoundPlayer() {
    stop();
}

bool SoundPlayer::play(const QString& fileName) {
    stop();
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.isFile() || info.size() == 0) {
        if (reported_ != fileName) {
            reported_ = fileName;
            qCWarning(lcSound) << "no sound to play:"
                               << (fileName.isEmpty() ? QStringLiteral("no file chosen")
                                                      : fileName);
        }
        return false;
    }
    playbin_ = adopt(gst_element_factory_make("playbin", "movement sound"));
    if (!playbin_) {
        qCWarning(lcSound) << "playbin is not installed; no sound";
        return false;
    }
    // Sound only: a video stream in the file must not open a window.
    Element fakeVideo = adopt(gst_element_factory_make("fakesink", nullptr));
    const QByteArray uri = QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded();
    g_object_set(playbin_.get(), "uri", uri.constData(), "video-sink", fakeVideo.get(), nullptr);
    bus_ = std::make_unique<BusObserver>(adopt(gst_element_get_bus(playbin_.get())));
    bus_->addFilter([this](GstMessage* message) {
        const GstMessageType type = GST_MESSAGE_TYPE(message);
        if (type == GST_MESSAGE_ERROR) {
            GError* raw = nullptr;
            gst_message_parse_error(message, &raw, nullptr);
            Error error = adopt(raw);
            qCWarning(lcSound).noquote()
                << "sound failed:" << sanitizedText(describeError(error.get()), 500);
        }
        if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) {
            // Not from inside the bus callback's own pipeline teardown.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    stop();
                    Q_EMIT finished();
                },
                Qt::QueuedConnection);
        }
    });
    if (gst_element_set_state(playbin_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        qCWarning(lcSound) << "cannot play" << fileName;
        stop();
        return false;
    }
    return true;
}

void SoundPlayer::stop() {
    if (playbin_) {
        gst_element_set_state(playbin_.get(), GST_STATE_NULL);
    }
    bus_.reset();
    playbin_.reset();
}

}  // namespace kv::media
