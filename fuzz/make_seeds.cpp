// Writes the seeds of the journal and mask fuzz targets with the program's own
// writers: journals as the recorder writes them (the header, then one line
// per frame of each fate, across a change of the UTC offset), and masks as
// MotionMask::save writes them (fresh, painted, all off).
// usage: make_seeds CORPUS_FOLDER

#include "capture/motion_mask.h"
#include "record/journal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTimeZone>

#include <cstdio>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds CORPUS_FOLDER\n");
        return 2;
    }
    const QString out = QFile::decodeName(argv[1]) + QLatin1Char('/');
    using kv::record::JournalFate;
    const JournalFate fates[] = {JournalFate::On,       JournalFate::PreRecord,
                                 JournalFate::Movement, JournalFate::PostRecord,
                                 JournalFate::Still,    JournalFate::Heartbeat};
    // Berlin's clocks go back an hour at 03:00 on 26 October 2025.
    const QDateTime start(QDate(2025, 10, 26), QTime(2, 59, 58, 120),
                          QTimeZone(QByteArrayLiteral("Europe/Berlin")));
    QByteArray journal(kv::record::kJournalHeader);
    for (int i = 0; i < 40; ++i) {
        kv::record::JournalLine line;
        line.frame = i;
        line.time = start.addMSecs(200 * i);
        line.motion = (i * 7919) % 30001;
        line.trigger = 2500;
        line.fate = fates[i % 6];
        journal += kv::record::formatJournalLine(line);
    }
    bool ok = writeFile(out + QStringLiteral("journal.csv"), journal);
    ok =
        ok && writeFile(out + QStringLiteral("journal-torn.csv"), journal.left(journal.size() - 9));
    ok = ok && writeFile(out + QStringLiteral("journal-header.csv"), kv::record::kJournalHeader);

    kv::capture::MotionMask mask;
    QString error;
    ok = ok && mask.save(out + QStringLiteral("mask-fresh.bmp"), &error);
    for (int y = 10; y < 40; ++y) {
        for (int x = 5; x < 60; ++x) {
            mask.setActive(x, y, (x / 4 + y / 3) % 2 == 0);
        }
    }
    ok = ok && mask.save(out + QStringLiteral("mask-painted.bmp"), &error);
    for (int y = 0; y < kv::capture::MotionMask::kHeight; ++y) {
        for (int x = 0; x < kv::capture::MotionMask::kWidth; ++x) {
            mask.learn(x, y);
        }
    }
    ok = ok && mask.save(out + QStringLiteral("mask-off.bmp"), &error);
    if (!ok) {
        std::fprintf(stderr, "cannot write the seeds: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
