// The day view's data: a day of 288 recordings of 300 frames (one a second,
// 86,400 journal lines) read with the journals cold in the page cache and
// again from the day cache (goals 300 ms and 30 ms), and the day list of a
// folder of 100,000 recording names (goal 1 s; the directory itself is warm,
// as dropping it needs root). A plain program.
//
// kv_bench_day [recordings]   288, the default, is a whole day.

#include "bench/bench_summary.h"
#include "media/gst_init.h"
#include "record/journal.h"
#include "review/day_activity.h"
#include "review/folder_days.h"
#include "tests/support/avi_writer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kFramesPerRecording = 300;

// Writes the file to the disk and asks the kernel to forget its cached
// pages, as after a reboot.
void dropCache(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

void setModified(const QString& path, qint64 ms) {
    const struct timespec times[2] = {{ms / 1000, (ms % 1000) * 1000000},
                                      {ms / 1000, (ms % 1000) * 1000000}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

// The n-th recording of a day as the recorder names them.
QString recordingName(const QDate& day, int n) {
    static const char* codes[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
    const QString stem = QString::asprintf("%02d%02d%02d_%s", day.year() % 100, day.month(),
                                           day.day(), codes[day.dayOfWeek() % 7]);
    return n < 100 ? stem + QString::asprintf("%02d.avi", n)
                   : stem + QString::asprintf("99_%d.avi", n - 99);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double since(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString error;
    if (!kv::media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    const int recordings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 288;
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/kv-bench-day-XXXXXX"));
    const QString folder = dir.path() + QStringLiteral("/rec/");
    QDir().mkpath(folder);

    // One 300-frame MJPEG recording, copied: each copy a file of its own on
    // the disk, as the recorder leaves them.
    std::printf("making %d recordings of %d frames with journals...\n", recordings,
                kFramesPerRecording);
    std::fflush(stdout);
    kv::test::TestAvi source;
    source.path = dir.filePath(QStringLiteral("source.avi"));
    source.encoder = QStringLiteral("jpegenc");
    source.frames = kFramesPerRecording;
    if (!kv::test::writeTestAvi(source)) {
        std::printf("cannot make the recording\n");
        return 1;
    }
    const QDate day(2026, 12, 8);
    const QDateTime midnight = day.startOfDay();
    QStringList files;
    for (int n = 0; n < recordings; ++n) {
        const QString path = folder + recordingName(day, n);
        if (!QFile::copy(source.path, path)) {
            std::printf("cannot copy to %s\n", qPrintable(path));
            return 1;
        }
        QByteArray text = kv::record::kJournalHeader;
        const QDateTime first = midnight.addSecs(qint64(n) * kFramesPerRecording);
        for (int f = 0; f < kFramesPerRecording; ++f) {
            kv::record::JournalLine line;
            line.frame = f;
            line.time = first.addSecs(f);
            // A movement of a minute in every fourth recording.
            const bool moving = n % 4 == 0 && f >= 100 && f < 160;
            line.motion = moving ? 90 : f % 7;
            line.trigger = 40;
            line.fate = moving ? kv::record::JournalFate::Movement : kv::record::JournalFate::On;
            text += kv::record::formatJournalLine(line);
        }
        QFile journal(kv::record::journalPath(path));
        journal.open(QIODevice::WriteOnly);
        journal.write(text);
        journal.close();
        setModified(path, first.addSecs(kFramesPerRecording).toMSecsSinceEpoch());
        files << path << journal.fileName();
    }
    for (const QString& f : files) {
        dropCache(f);
    }

    const kv::review::FolderDays days = kv::review::listDays(folder);
    std::vector<double> cold;
    std::size_t frames = 0;
    std::size_t movements = 0;
    kv::review::DayCache cache;
    for (int run = 0; run < 3; ++run) {
        for (const QString& f : files) {
            dropCache(f);
        }
        cache.clear();
        QElapsedTimer timer;
        timer.start();
        const kv::review::DayActivity activity = kv::review::readDay(days, day, &cache);
        cold.push_back(since(timer));
        frames = activity.frames.size();
        movements = activity.movements.size();
        if (!activity.warnings.isEmpty()) {
            std::printf("warnings: %s\n", qPrintable(activity.warnings.join(QLatin1Char('\n'))));
        }
    }
    std::vector<double> cached;
    for (int run = 0; run < 10; ++run) {
        QElapsedTimer timer;
        timer.start();
        const kv::review::DayActivity activity = kv::review::readDay(days, day, &cache);
        cached.push_back(since(timer));
    }
    std::printf("a day of %d recordings: %zu frames, %zu movements\n", recordings, frames,
                movements);
    std::printf("  cold page cache: %.1f ms (median of 3; %.1f .. %.1f)\n", median(cold),
                *std::min_element(cold.begin(), cold.end()),
                *std::max_element(cold.begin(), cold.end()));
    std::printf("  day cache:       %.2f ms (median of 10)\n", median(cached));

    // A year of names: 100,000 empty files, 288 a day, each last changed when
    // its five minutes ended.
    const QString year = dir.path() + QStringLiteral("/year/");
    QDir().mkpath(year);
    constexpr int kYearFiles = 100000;
    for (int i = 0; i < kYearFiles; ++i) {
        const QDate named = QDate(2026, 1, 1).addDays(i / 288);
        const QString path = year + recordingName(named, i % 288);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.close();
        setModified(path, named.startOfDay().toMSecsSinceEpoch() + (i % 288 + 1) * 300000LL);
    }
    std::vector<double> listing;
    std::size_t listedDays = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        listedDays = kv::review::listDays(year).days.size();
        listing.push_back(since(timer));
    }
    std::printf("listing %d recordings: %zu days in %.1f ms (median of 3)\n", kYearFiles,
                listedDays, median(listing));
    // The machine may be shared: its load tells how far to trust the times.
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly)) {
        std::printf("load average: %s", load.readLine().constData());
    }

    kv::bench::summary("day of 288 recordings read, cold",
                       kv::bench::format("%.0f ms", median(cold)), "< 300 ms", median(cold) < 300);
    kv::bench::summary("day of 288 recordings read, cached",
                       kv::bench::format("%.1f ms", median(cached)), "< 30 ms",
                       median(cached) < 30);
    kv::bench::summary("days of 100,000 recordings listed",
                       kv::bench::format("%.0f ms", median(listing)), "< 1000 ms",
                       median(listing) < 1000);
    return 0;
}
