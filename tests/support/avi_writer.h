#pragma once

// Writes AVI files through the same muxer the recorder uses, from a moving
// test pattern: finished, or as a kill leaves them (every frame on the disk,
// but placeholder headers and no index).

#include <QString>

namespace kv::test {

struct TestAvi {
    QString path;
    QString encoder;  // a GStreamer encoder with its properties; empty: raw BGR
    int frames = 10;
    int width = 160;
    int height = 120;
    bool finish = true;  // false: stopped as a kill would stop it
};

// False, with a warning, when the pipeline fails.
bool writeTestAvi(const TestAvi& avi);

}  // namespace kv::test
