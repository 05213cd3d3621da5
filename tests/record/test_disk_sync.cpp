#include "record/avi_repair.h"
#include "record/disk_sync.h"
#include "tests/support/avi_writer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using kv::record::AviState;
using kv::record::DiskSync;
using kv::record::RecordingFile;
using kv::record::repairAviFile;

namespace {

// A recording file holding what a kill leaves: frames, no index.
std::shared_ptr<RecordingFile> killedRecording(const QTemporaryDir& dir, const QString& name) {
    const QString source = dir.filePath(u"source.avi"_s);
    if (!kv::test::writeTestAvi({source, u"jpegenc"_s, 5, 160, 120, false})) {
        return nullptr;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        return nullptr;
    }
    const QByteArray bytes = in.readAll();
    QString error;
    auto file = RecordingFile::open(dir.filePath(name), &error);
    if (!file || ::write(file->fd(), bytes.constData(), size_t(bytes.size())) != bytes.size()) {
        return nullptr;
    }
    return file;
}

// The sync thread syncs a file while it grows and keeps it locked; a file let
// go unfinished is repaired there, synced and unlocked, while the caller only
// waits if it wants to.
TEST(DiskSync, SyncsWhileWritingAndRepairsWhatIsLetGoUnfinished) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = QFile::encodeName(dir.filePath(u"a.avi"_s)).toStdString();
    DiskSync sync(std::chrono::milliseconds(50));
    auto file = killedRecording(dir, u"a.avi"_s);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->created());
    sync.watch(file);
    QElapsedTimer waited;
    waited.start();
    while (sync.syncs() < 3 && waited.elapsed() < 5000) {
        QThread::msleep(10);
    }
    EXPECT_GE(sync.syncs(), 3u);

    bool busy = false;
    EXPECT_EQ(repairAviFile(path, &busy).state, AviState::Failed);
    EXPECT_TRUE(busy);  // locked while it is written

    sync.release(std::move(file), DiskSync::Release::Repair);
    ASSERT_TRUE(sync.waitIdle(5000));
    const auto after = repairAviFile(path, &busy, true);
    EXPECT_FALSE(busy);
    EXPECT_EQ(after.state, AviState::Finished);
    EXPECT_EQ(after.frames, 5u);

    // Opening an existing name empties it, and says it was not created.
    QString error;
    auto again = RecordingFile::open(dir.filePath(u"a.avi"_s), &error);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->created());
    EXPECT_EQ(QFile(dir.filePath(u"a.avi"_s)).size(), 0);
    sync.release(std::move(again), DiskSync::Release::Discard);
    ASSERT_TRUE(sync.waitIdle(5000));

    EXPECT_FALSE(RecordingFile::open(dir.filePath(u"gone/b.avi"_s), &error));
    EXPECT_TRUE(error.contains(u"gone/b.avi"_s)) << error.toStdString();
}

}  // namespace
