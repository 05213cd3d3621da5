#include "media/gst_init.h"

#include "media/graph_log.h"
#include "media/gst_handle.h"
#include "media/jpeg_encoder.h"

#include <mutex>

namespace kv::media {

bool initGStreamer(QString* error) {
    static std::once_flag once;
    static bool ok = false;
    static QString reason;
    std::call_once(once, [] {
        GError* raw = nullptr;
        ok = gst_init_check(nullptr, nullptr, &raw);
        Error err = adopt(raw);
        if (!ok) {
            reason = err ? QString::fromUtf8(err->message) : QStringLiteral("unknown error");
            return;
        }
        redactTerminalLog();
        if (!registerJpegEncoder()) {
            g_warning("the MJPEG compressor could not be registered");
        }
    });
    if (!ok && error) {
        *error = reason;
    }
    return ok;
}

QString gstreamerVersion() {
    Chars version = adopt(gst_version_string());
    return QString::fromUtf8(version.get());
}

}  // namespace kv::media
