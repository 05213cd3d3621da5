#pragma once

// Reads a recording back with an independent reader (ffprobe).

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QWidget;

namespace kv::test {

struct AviProbe {
    bool ok = false;
    int frames = 0;
    QString frameRate;  // "25/1"
    QString codec;      // "mjpeg", "rawvideo"
    int width = 0;
    int height = 0;
};

AviProbe probeAvi(const QString& path);

// The first frame of a file as GStreamer decodes it: BGR rows, top first.
struct DecodedFrame {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> pixels;
    // Every byte of the row within tolerance of value (lossy codecs ring).
    bool rowNear(int row, int value, int tolerance = 0) const;
    // For a picture of four flat quadrants (top left, top right, bottom left,
    // bottom right; blue, green, red each): the four corners and a point inside
    // two quadrants keep their colours within tolerance.
    void expectQuadrants(const std::uint8_t (&colours)[4][3], int tolerance) const;
};
DecodedFrame decodeFirstFrame(const QString& path, int timeout_ms = 10000);

// Whether the file holds the AVI index a finished recording has.
bool hasIdx1(const QString& path);

// Answers the next modal dialog or message box from the event loop: answer()
// gets it once it is up. Returns at once; call it before the code that shows it.
void answerNextModal(std::function<void(QWidget*)> answer, int timeout_ms = 10000);

}  // namespace kv::test
