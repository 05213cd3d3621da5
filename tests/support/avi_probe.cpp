#include "tests/support/avi_probe.h"

#include "media/gst_handle.h"

#include <gst/app/gstappsink.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace kv::test {

AviProbe probeAvi(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
         QStringLiteral("-select_streams"), QStringLiteral("v:0"), QStringLiteral("-show_entries"),
         QStringLiteral("stream=nb_read_frames,r_frame_rate,codec_name,width,height"),
         QStringLiteral("-of"), QStringLiteral("json"), path});
    AviProbe probe;
    if (!ffprobe.waitForFinished(60000) || ffprobe.exitCode() != 0) {
        return probe;
    }
    const QJsonArray streams = QJsonDocument::fromJson(ffprobe.readAllStandardOutput())
                                   .object()
                                   .value(QStringLiteral("streams"))
                                   .toArray();
    if (streams.isEmpty()) {
        return probe;
    }
    const QJsonObject stream = streams.first().toObject();
    probe.ok = true;
    probe.frames = stream.value(QStringLiteral("nb_read_frames")).toString().toInt();
    probe.frameRate = stream.value(QStringLiteral("r_frame_rate")).toString();
    probe.codec = stream.value(QStringLiteral("codec_name")).toString();
    probe.width = stream.value(QStringLiteral("width")).toInt();
    probe.height = stream.value(QStringLiteral("height")).toInt();
    return probe;
}

bool DecodedFrame::rowNear(int row, int value, int tolerance) const {
    if (row < 0 || row >= height || pixels.size() < std::size_t(stride) * std::size_t(height)) {
        return false;
    }
    const std::uint8_t* p = pixels.data() + std::ptrdiff_t(row) * stride;
    return std::all_of(p, p + width * 3,
                       [=](std::uint8_t b) { return std::abs(int(b) - value) <= tolerance; });
}

void DecodedFrame::expectQuadrants(const std::uint8_t (&colours)[4][3], int tolerance) const {
    ASSERT_GE(pixels.size(), std::size_t(stride) * std::size_t(height));
    const int points[][3] = {{0, 0, 0},
                             {width - 1, 0, 1},
                             {0, height - 1, 2},
                             {width - 1, height - 1, 3},
                             {width / 4, height / 4, 0},
                             {width * 3 / 4, height * 3 / 4, 3}};
    for (const auto& [x, y, quadrant] : points) {
        const std::uint8_t* pixel = pixels.data() + std::ptrdiff_t(y) * stride + x * 3;
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(int(pixel[c]), int(colours[quadrant][c]), tolerance)
                << "at " << x << "," << y << ", channel " << c;
        }
    }
}

DecodedFrame decodeFirstFrame(const QString& path, int timeout_ms) {
    using namespace kv::media;
    DecodedFrame frame;
    Error error;
    Element pipeline = adopt(gst_parse_launch(
        "filesrc name=src ! decodebin ! videoconvert ! video/x-raw,format=BGR ! appsink name=sink",
        error.out()));
    if (!pipeline) {
        return frame;
    }
    Element src = adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));
    Element sink = adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    g_object_set(src.get(), "location", QFile::encodeName(path).constData(), nullptr);
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    Sample sample =
        adopt(gst_app_sink_try_pull_preroll(GST_APP_SINK(sink.get()), timeout_ms * GST_MSECOND));
    if (sample) {
        GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
        gst_structure_get_int(s, "width", &frame.width);
        gst_structure_get_int(s, "height", &frame.height);
        frame.stride = GST_ROUND_UP_4(frame.width * 3);
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            frame.pixels.assign(map.data, map.data + map.size);
            gst_buffer_unmap(buffer, &map);
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return frame;
}

bool hasIdx1(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("idx1");
}

void answerNextModal(std::function<void(QWidget*)> answer, int timeout_ms) {
    auto* timer = new QTimer(qApp);
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, waited, answer, timeout_ms] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->deleteLater();
            timer->stop();
            answer(modal);
        } else if (waited->elapsed() > timeout_ms) {
            timer->deleteLater();
            timer->stop();
        }
    });
    timer->start(20);
}

}  // namespace kv::test
