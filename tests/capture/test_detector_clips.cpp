// Both movement detectors on clips the test makes itself: a textured scene
// under sensor noise, a lamp switched on or off, half the room lit, a dusk,
// each still and with a small object moving through it, and a busy scene.
// The clips go through MJPEG and back with ffmpeg, as a camera's would, and
// stay in the build folder (clips/) to be looked at.
//
// Robust must not trigger on a still clip at the default trigger, and must
// trigger on at least 90 % of the frame pairs in which the object covers four
// or more cells it did not cover before. Classic's figures are printed beside.

#include "capture/motion.h"
#include "capture/robust_motion.h"
#include "media/frame.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <vector>

using namespace kv;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kW = 320;
constexpr int kH = 240;
constexpr int kCell = 4;  // pixels per cell at 320 x 240
constexpr int kFrames = 90;
constexpr int kTrigger = 25000;  // the default

struct Rect {
    int x, y, w, h;  // pixels
};

struct Clip {
    const char* name;
    float noise = 0.0f;  // sigma, levels
    // The light at frame t on picture column x: a gain.
    std::function<float(int t, int x)> light = [](int, int) { return 1.0f; };
    // The moving things at frame t.
    std::function<std::vector<Rect>(int t)> objects = [](int) { return std::vector<Rect>{}; };
};

// A still textured scene, 60..200 with a little colour.
float scene(int x, int y, int channel) {
    return 130.0f + 45.0f * std::sin(float(x) / 11.0f) * std::cos(float(y) / 7.0f) +
           25.0f * std::sin(float(x + 2 * y) / 5.0f) + 6.0f * float(channel - 1);
}

// A 20 x 20 object crossing the picture one cell a frame from frame 5 on.
std::vector<Rect> crossing(int t) {
    if (t < 5) {
        return {};
    }
    return {{-20 + (t - 5) * kCell, 100, 20, 20}};
}

// The scene's levels, and a table of normal noise that each frame reads from
// a random place: computing either per pixel and frame would make the test
// slow in a debug build.
const std::vector<float>& sceneLevels() {
    static const std::vector<float> levels = [] {
        std::vector<float> v(std::size_t(kW * kH * 3));
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                for (int c = 0; c < 3; ++c) {
                    v[std::size_t((y * kW + x) * 3 + c)] = scene(x, y, c);
                }
            }
        }
        return v;
    }();
    return levels;
}

const std::vector<float>& unitNoise() {
    static const std::vector<float> noise = [] {
        std::mt19937 random(3);
        std::normal_distribution<float> normal(0.0f, 1.0f);
        std::vector<float> v(1 << 20);
        for (float& n : v) {
            n = normal(random);
        }
        return v;
    }();
    return noise;
}

std::vector<std::uint8_t> render(const Clip& clip, int t, std::mt19937& random) {
    std::vector<std::uint8_t> rgb(std::size_t(kW * kH * 3));  // top-down, as ffmpeg takes it
    const std::vector<float>& levels = sceneLevels();
    const std::vector<float>& noise = unitNoise();
    std::size_t n = std::uniform_int_distribution<std::size_t>(0, noise.size() - 1)(random);
    const std::vector<Rect> objects = clip.objects(t);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            bool object = false;
            for (const Rect& r : objects) {
                object = object || (x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h);
            }
            const float gain = clip.light(t, x);
            for (int c = 0; c < 3; ++c) {
                const std::size_t i = std::size_t((y * kW + x) * 3 + c);
                n = n + 1 < noise.size() ? n + 1 : 0;
                const float v = (object ? 25.0f : levels[i]) * gain + clip.noise * noise[n];
                rgb[i] = std::uint8_t(std::clamp(v, 0.0f, 255.0f));
            }
        }
    }
    return rgb;
}

// The cells an object covers at frame t.
std::set<int> cells(const Clip& clip, int t) {
    std::set<int> covered;
    for (const Rect& r : clip.objects(t)) {
        for (int y = std::max(r.y, 0); y < std::min(r.y + r.h, kH); ++y) {
            for (int x = std::max(r.x, 0); x < std::min(r.x + r.w, kW); ++x) {
                covered.insert((y / kCell) * 80 + x / kCell);
            }
        }
    }
    return covered;
}

// Writes the clip through ffmpeg's MJPEG encoder and reads it back decoded,
// as bottom-up frames.
std::vector<std::vector<std::uint8_t>> throughMjpeg(const Clip& clip, const QString& path) {
    std::mt19937 random(7);
    QProcess encode;
    encode.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"rawvideo"_s, u"-pix_fmt"_s,
                               u"bgr24"_s, u"-s"_s, u"320x240"_s, u"-r"_s, u"10"_s, u"-i"_s, u"-"_s,
                               u"-c:v"_s, u"mjpeg"_s, u"-q:v"_s, u"3"_s, path});
    if (!encode.waitForStarted()) {
        return {};
    }
    for (int t = 0; t < kFrames; ++t) {
        const auto frame = render(clip, t, random);
        encode.write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
        encode.waitForBytesWritten(-1);
    }
    encode.closeWriteChannel();
    if (!encode.waitForFinished(60000) || encode.exitCode() != 0) {
        return {};
    }
    QProcess decode;
    decode.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-i"_s, path, u"-f"_s, u"rawvideo"_s,
                               u"-pix_fmt"_s, u"bgr24"_s, u"-"_s});
    if (!decode.waitForFinished(60000)) {
        return {};
    }
    const QByteArray raw = decode.readAllStandardOutput();
    const media::BITMAPINFOHEADER format = media::makeFrameHeader(kW, kH);
    const qsizetype frameBytes = kW * kH * 3;
    std::vector<std::vector<std::uint8_t>> frames;
    for (qsizetype at = 0; at + frameBytes <= raw.size(); at += frameBytes) {
        std::vector<std::uint8_t> bottomUp(format.biSizeImage);
        for (int y = 0; y < kH; ++y) {
            std::memcpy(bottomUp.data() + std::ptrdiff_t(kH - 1 - y) * media::frameStride(kW),
                        raw.constData() + at + qsizetype(y) * kW * 3, std::size_t(kW * 3));
        }
        frames.push_back(std::move(bottomUp));
    }
    return frames;
}

struct Figures {
    int stillTriggers = 0;  // pairs without new object cells that trigger
    int movingPairs = 0;    // pairs with four or more new object cells
    int movingTriggers = 0;
    std::vector<int> movingValues;
    // The median value over the moving pairs: how the two scales compare.
    int medianMoving() {
        if (movingValues.empty()) {
            return 0;
        }
        std::nth_element(movingValues.begin(), movingValues.begin() + movingValues.size() / 2,
                         movingValues.end());
        return movingValues[movingValues.size() / 2];
    }
};

template <typename Measure>
Figures judge(const Clip& clip, const std::vector<std::vector<std::uint8_t>>& frames,
              Measure measure) {
    Figures f;
    for (int t = 1; t < int(frames.size()); ++t) {
        const int value = measure(frames[std::size_t(t)], frames[std::size_t(t - 1)]);
        const bool triggered = value > kTrigger;
        const std::set<int> before = cells(clip, t - 1);
        int fresh = 0;
        for (const int cell : cells(clip, t)) {
            fresh += before.count(cell) ? 0 : 1;
        }
        if (fresh >= 4) {
            ++f.movingPairs;
            f.movingTriggers += triggered ? 1 : 0;
            f.movingValues.push_back(value);
        } else if (clip.objects(t).empty() && clip.objects(t - 1).empty()) {
            f.stillTriggers += triggered ? 1 : 0;
        }
    }
    return f;
}

TEST(DetectorClips, RobustIgnoresLightAndNoiseAndSeesTheObject) {
    const auto step = [](float gain) {
        return [gain](int t, int) { return t >= 45 ? gain : 1.0f; };
    };
    const auto halfLit = [](int t, int x) { return t >= 45 && x < kW / 2 ? 1.4f : 1.0f; };
    const auto dusk = [](int t, int) {
        return 1.0f - 0.6f * std::clamp(float(t - 30) / 30.0f, 0.0f, 1.0f);
    };
    std::vector<Clip> clips;
    for (const float sigma : {8.0f, 16.0f, 24.0f}) {
        clips.push_back({sigma == 8.0f ? "noise8" : sigma == 16.0f ? "noise16" : "noise24", sigma});
    }
    clips.push_back({"lamp125", 2.0f, step(1.25f)});
    clips.push_back({"lamp080", 2.0f, step(0.8f)});
    clips.push_back({"halflit", 2.0f, halfLit});
    clips.push_back({"dusk", 2.0f, dusk});
    const std::size_t still = clips.size();
    for (std::size_t i = 0; i < still; ++i) {
        Clip moving = clips[i];
        moving.objects = crossing;
        clips.push_back(moving);
    }
    // A busy scene: someone walking, a bird, a light that flickers a little.
    clips.push_back(
        {"busy", 4.0f, [](int t, int) { return 1.0f + 0.03f * std::sin(float(t)); },
         [](int t) {
             return std::vector<Rect>{{-24 + t * 4, 60, 24, 60}, {300 - t * 12 % 400, 30, 8, 8}};
         }});

    const QString folder = QStringLiteral(KV_CLIP_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    std::printf("%-16s %36s %36s\n", "clip", "classic: still / moving (median)",
                "robust: still / moving (median)");
    for (std::size_t i = 0; i < clips.size(); ++i) {
        const Clip& clip = clips[i];
        const bool withObject = i >= still;
        const QString name = QString::fromLatin1(clip.name) +
                             (withObject && i < clips.size() - 1 ? u"+object"_s : u""_s);
        SCOPED_TRACE(name.toStdString());
        const auto frames = throughMjpeg(clip, folder + u"/"_s + name + u".avi"_s);
        ASSERT_EQ(int(frames.size()), kFrames);
        const media::BITMAPINFOHEADER format = media::makeFrameHeader(kW, kH);

        capture::MotionMask classicMask;
        Figures classic = judge(clip, frames, [&](const auto& now, const auto& before) {
            return capture::MotionMeasure(now.data(), before.data(), format, classicMask, false);
        });
        capture::MotionMask robustMask;
        capture::RobustMotion robust;
        robust.measure(frames.front().data(), format, robustMask, false);
        Figures robustFigures = judge(clip, frames, [&](const auto& now, const auto&) {
            return robust.measure(now.data(), format, robustMask, false);
        });
        std::printf("%-16s %14d / %2d of %2d (%7d) %14d / %2d of %2d (%7d)\n", qPrintable(name),
                    classic.stillTriggers, classic.movingTriggers, classic.movingPairs,
                    classic.medianMoving(), robustFigures.stillTriggers,
                    robustFigures.movingTriggers, robustFigures.movingPairs,
                    robustFigures.medianMoving());
        EXPECT_EQ(robustFigures.stillTriggers, 0);
        if (robustFigures.movingPairs > 0) {
            EXPECT_GE(robustFigures.movingTriggers, 0.9 * robustFigures.movingPairs);
        }
    }
}

}  // namespace
