#pragma once

#include <QString>

namespace kv::media {

// Initialises GStreamer once for the process; later calls do nothing.
// Returns false (with the reason in *error) when GStreamer cannot start.
bool initGStreamer(QString* error = nullptr);

// The version GStreamer reports at run time, e.g. "1.22.0".
QString gstreamerVersion();

}  // namespace kv::media
