// Repairing recordings a kill left unfinished: MJPEG files of 2,000 and
// 20,000 frames, cut off as a kill leaves them, timed from a cold page cache
// of the file (goal: 20,000 frames in under 2 s). A plain program.
//
// kv_bench_repair [frames ...]

#include "bench/bench_summary.h"
#include "media/gst_init.h"
#include "record/avi_repair.h"
#include "tests/support/avi_writer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

// Asks the kernel to forget the file's cached pages, as after a reboot.
void dropCache(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString error;
    if (!kv::media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    QList<int> counts{2000, 20000};
    if (argc > 1) {
        counts.clear();
        for (int i = 1; i < argc; ++i) {
            counts.append(QString::fromLocal8Bit(argv[i]).toInt());
        }
    }
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/kv-bench-repair-XXXXXX"));
    bool ok = true;
    for (const int frames : counts) {
        const QString path = dir.filePath(QStringLiteral("killed-%1.avi").arg(frames));
        if (!kv::test::writeTestAvi({path, QStringLiteral("jpegenc"), frames, 320, 240, false})) {
            std::printf("cannot write %d frames\n", frames);
            ok = false;
            continue;
        }
        dropCache(path);
        QElapsedTimer timer;
        timer.start();
        const auto result = kv::record::repairAviFile(QFile::encodeName(path).toStdString());
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        std::printf("repair of %d frames (%.1f MB, cold cache): %s, %llu frames kept, %.1f ms%s\n",
                    frames, double(QFileInfo(path).size()) / 1e6,
                    kv::record::aviStateName(result.state), (unsigned long long)result.frames, ms,
                    frames >= 20000 ? " (goal under 2000 ms)" : "");
        ok = ok && result.state == kv::record::AviState::Repaired;
        if (frames >= 20000) {
            kv::bench::summary(kv::bench::format("repair of a killed %d-frame recording", frames),
                               kv::bench::format("%.0f ms", ms), "< 2000 ms",
                               result.state == kv::record::AviState::Repaired && ms < 2000);
        }
        timer.restart();
        const auto check = kv::record::repairAviFile(QFile::encodeName(path).toStdString());
        std::printf("  the check of the repaired file at start-up: %s, %.1f ms\n",
                    kv::record::aviStateName(check.state), double(timer.nsecsElapsed()) / 1e6);
    }
    return ok ? 0 : 1;
}
