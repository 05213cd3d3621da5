#pragma once

// The start the bench programs share: output by lines, so that a piped run
// shows its progress, and GStreamer ready (or a message why not).

#include "media/gst_init.h"

#include <QString>

#include <cstdio>

namespace kv::bench {

inline bool startGStreamer() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QString error;
    if (!media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

}  // namespace kv::bench
