#pragma once

// Real recordings for film tests: each frame carries a code in its top band,
// written through the program's own recording graph with a journal.

#include "media/frame.h"
#include "record/journal.h"
#include "record/record_graph.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace kv::film::test {

inline constexpr int kBits = 10;

// A grey picture whose top band carries `code` in ten black or white blocks,
// so that the film's frames can be put back in order.
inline std::vector<std::uint8_t> codedFrame(const kv::media::BITMAPINFOHEADER& header, int code) {
    const int w = header.biWidth;
    const int h = header.biHeight;
    const int stride = kv::media::frameStride(w);
    std::vector<std::uint8_t> pixels(header.biSizeImage, 110);
    for (int row = 0; row < h / 6; ++row) {
        std::uint8_t* line = pixels.data() + std::ptrdiff_t(h - 1 - row) * stride;  // bottom-up
        for (int x = 0; x < w; ++x) {
            const int bit = x * kBits / w;
            std::memset(line + x * 3, (code >> (kBits - 1 - bit)) & 1 ? 235 : 20, 3);
        }
    }
    return pixels;
}

// Records `count` frames one second apart from `start`, each coded with
// firstCode + its position, through the program's own recording graph.
inline void record(const QString& path, const QString& compressor, int width, int height,
                   const QDateTime& start, int count, int firstCode, bool journal = true) {
    kv::record::RecordGraph graph;
    kv::record::RecordGraphParams p;
    p.fileName = path;
    p.compressor = compressor;
    p.width = width;
    p.height = height;
    p.keyFrameRate = 10;
    ASSERT_EQ(graph.build(p), kv::record::RecordBuild::Running);
    const kv::media::BITMAPINFOHEADER header = kv::media::makeFrameHeader(width, height);
    for (int i = 0; i < count; ++i) {
        const std::vector<std::uint8_t> pixels = codedFrame(header, firstCode + i);
        kv::record::JournalLine line;
        line.time = start.addSecs(i);
        bool taken = false;
        for (int tries = 0; tries < 2000 && !taken; ++tries) {
            taken = graph.push(pixels.data(), header, 400000, &line);
            if (!taken) {
                QThread::msleep(2);
            }
        }
        ASSERT_TRUE(taken) << "frame " << i;
    }
    graph.close();
    ASSERT_TRUE(QFileInfo::exists(path));
    if (!journal) {
        ASSERT_TRUE(QFile::remove(kv::record::journalPath(path)));
    }
}

}  // namespace kv::film::test
