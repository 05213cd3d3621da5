// Filming a day: 640x480 MJPEG recordings of one frame a second, 300 frames
// (5 minutes) each with their journals, filmed into 60 s of MP4 (1,500
// frames) by the program's FilmMaker, beside ffmpeg doing the same (concat of
// the files, a select filter taking the same frames, libx264 at the same
// preset and quality). Prints both wall times and peak memory. A plain
// program.
//
// kv_bench_film [recordings]   288, the default, is a whole day (86,400
//                              frames: about 80 s, most of it ffmpeg's);
//                              fewer make a part of one.

#include "bench/bench_summary.h"
#include "film/film_maker.h"
#include "media/gst_init.h"
#include "record/journal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

extern char** environ;

namespace {

constexpr int kFramesPerRecording = 300;
constexpr int kFilmFrames = 60 * kv::film::kFilmFramesPerSecond;

// Runs a program to its end: its wall time in ms and peak resident set in KiB.
bool runMeasured(const QStringList& arguments, double* wall_ms, long* peak_kib) {
    std::vector<QByteArray> bytes;
    std::vector<char*> argv;
    for (const QString& a : arguments) {
        bytes.push_back(a.toLocal8Bit());
    }
    for (QByteArray& b : bytes) {
        argv.push_back(b.data());
    }
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) {
        return false;
    }
    *wall_ms = double(timer.nsecsElapsed()) / 1e6;
    *peak_kib = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long peakOfSelf_kib() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The name of the n-th recording of the day, as the recorder names them.
QString recordingName(int n) {
    return n < 100 ? QStringLiteral("261208_TU%1.avi").arg(n, 2, 10, QLatin1Char('0'))
                   : QStringLiteral("261208_TU99_%1.avi").arg(n - 99);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QString error;
    if (!kv::media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    const int recordings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 288;
    const int frames = recordings * kFramesPerRecording;
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/kv-bench-film-XXXXXX"));
    const QString folder = dir.path() + QStringLiteral("/rec/");
    QDir().mkpath(folder);

    // Four different 5-minute recordings, each the source of a quarter of
    // the files (hard links: the set costs the disk four files).
    std::printf("making %d recordings of %d frames at 640x480 MJPEG (%d frames)...\n", recordings,
                kFramesPerRecording, frames);
    std::fflush(stdout);
    QStringList sources;
    for (int s = 0; s < 4; ++s) {
        const QString source = dir.filePath(QStringLiteral("source%1.avi").arg(s));
        double ms = 0;
        long kib = 0;
        if (!runMeasured(
                {QStringLiteral("ffmpeg"), QStringLiteral("-v"), QStringLiteral("error"),
                 QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("testsrc2=size=640x480:rate=25:duration=12,hue=h=%1").arg(s * 90),
                 QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"),
                 QStringLiteral("5"), source},
                &ms, &kib)) {
            std::printf("ffmpeg cannot make the recordings\n");
            return 1;
        }
        sources << source;
    }
    const QDateTime midnight(QDate(2026, 12, 8), QTime(0, 0));
    QFile list(dir.filePath(QStringLiteral("concat.txt")));
    list.open(QIODevice::WriteOnly);
    for (int n = 0; n < recordings; ++n) {
        const QString path = folder + recordingName(n);
        if (::link(QFile::encodeName(sources[n % 4]).constData(),
                   QFile::encodeName(path).constData()) != 0) {
            std::printf("cannot link %s\n", qPrintable(path));
            return 1;
        }
        QFile journal(kv::record::journalPath(path));
        journal.open(QIODevice::WriteOnly);
        QByteArray text = kv::record::kJournalHeader;
        for (int f = 0; f < kFramesPerRecording; ++f) {
            kv::record::JournalLine line;
            line.frame = f;
            line.time = midnight.addSecs(qint64(n) * kFramesPerRecording + f);
            text += kv::record::formatJournalLine(line);
        }
        journal.write(text);
        list.write("file '" + QFile::encodeName(path) + "'\n");
    }
    list.close();

    // Ours: the day's span, 60 s by frames, deflicker on, MP4.
    kv::film::FilmRequest request;
    request.folder = folder;
    request.from = midnight;
    request.to = midnight.addDays(1).addMSecs(-1);
    request.lengthSeconds = 60;
    const long before_kib = peakOfSelf_kib();
    QElapsedTimer timer;
    timer.start();
    kv::film::FilmMaker maker;
    const kv::film::FilmResult film = maker.make(request);
    const double ours_ms = double(timer.nsecsElapsed()) / 1e6;
    const long ours_kib = peakOfSelf_kib();
    if (!film.ok) {
        std::printf("the film failed: %s\n", qPrintable(film.error));
        return 1;
    }
    std::printf(
        "kestrelvision: %lld frames from %d recordings in %.1f s, peak resident %ld MiB "
        "(%ld MiB before filming)\n",
        (long long)film.frames, film.recordings, ours_ms / 1000, ours_kib / 1024,
        before_kib / 1024);

    // ffmpeg: the same frames (frame n where n = floor((i + 0.5) * N / C)).
    const QString select = QStringLiteral("select='eq(n\\,floor((floor(n*%2/%1)+0.5)*%1/%2))'")
                               .arg(frames)
                               .arg(kFilmFrames);
    double ffmpeg_ms = 0;
    long ffmpeg_kib = 0;
    const bool ffmpegOk = runMeasured({QStringLiteral("ffmpeg"),
                                       QStringLiteral("-v"),
                                       QStringLiteral("error"),
                                       QStringLiteral("-f"),
                                       QStringLiteral("concat"),
                                       QStringLiteral("-safe"),
                                       QStringLiteral("0"),
                                       QStringLiteral("-i"),
                                       list.fileName(),
                                       QStringLiteral("-vf"),
                                       select,
                                       QStringLiteral("-fps_mode"),
                                       QStringLiteral("passthrough"),
                                       QStringLiteral("-r"),
                                       QStringLiteral("25"),
                                       QStringLiteral("-c:v"),
                                       QStringLiteral("libx264"),
                                       QStringLiteral("-preset"),
                                       QStringLiteral("veryfast"),
                                       QStringLiteral("-crf"),
                                       QStringLiteral("23"),
                                       QStringLiteral("-pix_fmt"),
                                       QStringLiteral("yuv420p"),
                                       QStringLiteral("-movflags"),
                                       QStringLiteral("+faststart"),
                                       dir.filePath(QStringLiteral("ffmpeg.mp4"))},
                                      &ffmpeg_ms, &ffmpeg_kib);
    if (!ffmpegOk) {
        std::printf("ffmpeg failed\n");
        return 1;
    }
    std::printf("ffmpeg:        the same in %.1f s, peak resident %ld MiB\n", ffmpeg_ms / 1000,
                ffmpeg_kib / 1024);
    const double speedup = ffmpeg_ms / ours_ms;
    std::printf("kestrelvision is %.1fx faster\n", speedup);

    // The goal is for a whole day; a smaller set scales it by its share.
    const double day_share = double(frames) / 86400.0;
    using kv::bench::format;
    using kv::bench::summary;
    summary(format("film of %d frames (%d files) into 60 s", frames, recordings),
            format("%.1f s", ours_ms / 1000), format("< %.0f s", 60 * day_share),
            ours_ms < 60000 * day_share);
    summary("film against ffmpeg", format("%.1fx faster", speedup), ">= 5x", speedup >= 5);
    summary("film peak memory",
            format("%ld MiB (ffmpeg %ld MiB)", ours_kib / 1024, ffmpeg_kib / 1024), "bounded",
            std::nullopt);
    return 0;
}
