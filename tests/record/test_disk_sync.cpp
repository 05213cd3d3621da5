#include "record/avi_repair.h"
#include "record/disk_sync.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
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

void put32(QByteArray& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.append(char(v >> (8 * i)));
    }
}

void chunk(QByteArray& out, const char* id, const QByteArray& data) {
    out.append(id, 4);
    put32(out, std::uint32_t(data.size()));
    out.append(data);
    if (data.size() & 1) {
        out.append('\0');
    }
}

QByteArray list(const char* type, const QByteArray& content) {
    QByteArray out("LIST");
    put32(out, std::uint32_t(content.size() + 4));
    return out + type + content;
}

// What a kill leaves of a recording, laid out as the muxer lays it out
// (placeholder sizes, no index), without running GStreamer: the threads under
// test are the only ones.
QByteArray killedAvi(int frames) {
    QByteArray avih(56, '\0');
    avih[24] = 1;  // one stream
    QByteArray strh("vidsMJPG");
    strh.append(QByteArray(48, '\0'));
    QByteArray strf(40, '\0');
    strf.replace(16, 4, "MJPG");
    QByteArray strl;
    chunk(strl, "strh", strh);
    chunk(strl, "strf", strf);
    chunk(strl, "JUNK", QByteArray(536, '\0'));
    QByteArray hdrl;
    chunk(hdrl, "avih", avih);
    hdrl += list("strl", strl);
    QByteArray dmlh;
    chunk(dmlh, "dmlh", QByteArray(4, '\0'));
    hdrl += list("odml", dmlh);
    QByteArray avi("RIFF");
    put32(avi, 784);
    avi += "AVI " + list("hdrl", hdrl) + "LIST";
    put32(avi, 4);
    avi += "movi";
    for (int i = 0; i < frames; ++i) {
        chunk(avi, "00db", QByteArray(1001 + i, char(i)));
    }
    return avi;
}

std::shared_ptr<RecordingFile> killedRecording(const QTemporaryDir& dir, const QString& name) {
    const QByteArray bytes = killedAvi(5);
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

    // An existing name is never opened, nor emptied; nor is a link, even one
    // that leads nowhere yet.
    QString error;
    EXPECT_FALSE(RecordingFile::open(dir.filePath(u"a.avi"_s), &error));
    EXPECT_TRUE(error.contains(u"a.avi"_s)) << error.toStdString();
    EXPECT_EQ(repairAviFile(path, &busy, true).frames, 5u);
    ASSERT_TRUE(QFile::link(dir.filePath(u"elsewhere.csv"_s), dir.filePath(u"planted.csv"_s)));
    EXPECT_FALSE(RecordingFile::open(dir.filePath(u"planted.csv"_s), &error));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"elsewhere.csv"_s)));

    EXPECT_FALSE(RecordingFile::open(dir.filePath(u"gone/b.avi"_s), &error));
    EXPECT_TRUE(error.contains(u"gone/b.avi"_s)) << error.toStdString();
}

// While a file is written the sync thread notices when its name is taken
// away: the file deleted, or its whole folder.
TEST(DiskSync, NoticesAFileOrFolderDeletedWhileWriting) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(u"recordings"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    DiskSync sync(std::chrono::milliseconds(20));
    QString error;
    auto kept = RecordingFile::open(folder + u"/kept.avi"_s, &error);
    auto deleted = RecordingFile::open(folder + u"/deleted.avi"_s, &error);
    // A network file system deletes an open file by renaming it to a hidden
    // name: it keeps its link, but its own name is gone.
    auto hidden = RecordingFile::open(folder + u"/hidden.avi"_s, &error);
    ASSERT_TRUE(kept && deleted && hidden) << error.toStdString();
    sync.watch(kept);
    sync.watch(deleted);
    sync.watch(hidden);
    const auto waitFor = [](const RecordingFile& file, RecordingFile::Lost lost) {
        QElapsedTimer waited;
        waited.start();
        while (file.lost() != lost && waited.elapsed() < 5000) {
            QThread::msleep(10);
        }
        return file.lost() == lost;
    };
    ASSERT_TRUE(QFile::remove(folder + u"/deleted.avi"_s));
    EXPECT_TRUE(waitFor(*deleted, RecordingFile::Lost::FileDeleted));
    ASSERT_TRUE(QFile::rename(folder + u"/hidden.avi"_s, folder + u"/.nfs0001"_s));
    EXPECT_TRUE(waitFor(*hidden, RecordingFile::Lost::FileDeleted));
    EXPECT_EQ(kept->lost(), RecordingFile::Lost::No);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_TRUE(waitFor(*kept, RecordingFile::Lost::FolderGone));
    EXPECT_EQ(deleted->lost(), RecordingFile::Lost::FileDeleted);  // told once, as it was
    sync.release(std::move(kept), DiskSync::Release::Sync);
    sync.release(std::move(deleted), DiskSync::Release::Sync);
    sync.release(std::move(hidden), DiskSync::Release::Sync);
    EXPECT_TRUE(sync.waitIdle(5000));
}

// A file let go unfinished without one whole frame (the disk was full from
// its first bytes) is removed with its journal; one whose name now leads to
// another file leaves that file alone.
TEST(DiskSync, AFileWithoutAFrameGoesWithItsJournal) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    DiskSync sync(std::chrono::milliseconds(50));
    const QByteArray header = killedAvi(0);
    QString error;
    for (const bool replaced : {false, true}) {
        const QString avi = dir.filePath(u"empty.avi"_s);
        auto file = RecordingFile::open(avi, &error);
        auto journal = RecordingFile::open(dir.filePath(u"empty.csv"_s), &error);
        ASSERT_TRUE(file && journal) << error.toStdString();
        ASSERT_EQ(::write(file->fd(), header.constData(), size_t(header.size())), header.size());
        file->setJournal(journal);
        if (replaced) {
            // Deleted, and the name given to a new recording meanwhile.
            ASSERT_TRUE(QFile::remove(avi));
            QFile other(avi);
            ASSERT_TRUE(other.open(QIODevice::WriteOnly));
            other.write("a newer recording");
        }
        sync.release(std::move(journal), DiskSync::Release::Sync);
        sync.release(std::move(file), DiskSync::Release::Repair);
        ASSERT_TRUE(sync.waitIdle(5000));
        EXPECT_EQ(QFileInfo::exists(avi), replaced);
        EXPECT_EQ(QFileInfo::exists(dir.filePath(u"empty.csv"_s)), replaced);
        QFile::remove(dir.filePath(u"empty.csv"_s));
        QFile::remove(avi);
    }
}

}  // namespace
