#include "fuzz/avi_repair_check.h"
#include "record/avi_repair.h"
#include "tests/support/avi_probe.h"
#include "tests/support/avi_writer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::record::AviState;
using kv::record::MemoryStorage;
using kv::record::repairAvi;
using kv::record::repairAviFile;
using kv::test::TestAvi;
using kv::test::writeTestAvi;

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void append(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(bytes);
}

// A chunk header that promises more than follows: a frame torn by a kill.
QByteArray tornFrame(int promised, int written) {
    QByteArray torn("00db");
    for (int i = 0; i < 4; ++i) {
        torn.append(char(promised >> (8 * i)));
    }
    return torn + QByteArray(written, '\x5a');
}

std::uint32_t le32(const QByteArray& bytes, qsizetype at) {
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.constData() + at, 4);
    return v;
}

// The key-frame flag of every idx1 entry.
std::vector<bool> idx1KeyFlags(const QByteArray& avi) {
    std::vector<bool> keys;
    const qsizetype at = avi.lastIndexOf("idx1");
    if (at < 0) {
        return keys;
    }
    const std::uint32_t entries = le32(avi, at + 4) / 16;
    for (std::uint32_t i = 0; i < entries; ++i) {
        keys.push_back((le32(avi, at + 8 + 16 * i + 4) & 0x10) != 0);
    }
    return keys;
}

kv::record::AviRepairResult repairBytes(QByteArray& bytes, bool checkOnly = false) {
    MemoryStorage storage(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    const auto result = repairAvi(storage, checkOnly);
    bytes = QByteArray(reinterpret_cast<const char*>(storage.bytes().data()),
                       qsizetype(storage.bytes().size()));
    return result;
}

struct Codec {
    const char* name;
    const char* factory;  // null: uncompressed
    const char* encoder;
};

class AviRepairCodec : public ::testing::TestWithParam<Codec> {};

// A recording cut off by a kill, ending in a torn frame, is finished with
// every whole frame, the index flags the muxer itself would have written, and
// is then left alone; so is a file the muxer finished.
TEST_P(AviRepairCodec, AKilledRecordingIsFinishedLikeTheMuxerWouldHave) {
    const Codec codec = GetParam();
    if (codec.factory &&
        !gst_registry_check_feature_version(gst_registry_get(), codec.factory, 1, 0, 0)) {
        GTEST_SKIP() << codec.factory << " is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString finished = dir.filePath(u"finished.avi"_s);
    const QString killed = dir.filePath(u"killed.avi"_s);
    const QString encoder = QString::fromUtf8(codec.encoder);
    ASSERT_TRUE(writeTestAvi({finished, encoder, 12, 160, 120, true}));
    ASSERT_TRUE(writeTestAvi({killed, encoder, 12, 160, 120, false}));
    append(killed, tornFrame(5000, 1234));

    const QByteArray finishedBytes = contents(finished);
    EXPECT_EQ(repairAviFile(finished.toStdString()).state, AviState::Finished);
    EXPECT_EQ(contents(finished), finishedBytes);

    const QByteArray before = contents(killed);
    const auto check = repairAviFile(killed.toStdString(), nullptr, true);
    EXPECT_EQ(check.state, AviState::Unfinished);
    EXPECT_EQ(contents(killed), before);  // a check writes nothing

    const auto repaired = repairAviFile(killed.toStdString());
    ASSERT_EQ(repaired.state, AviState::Repaired) << repaired.reason;
    EXPECT_EQ(repaired.frames, 12u);
    EXPECT_EQ(repaired.cutBytes, 8u + 1234u);

    const QByteArray after = contents(killed);
    EXPECT_EQ(repairAviFile(killed.toStdString()).state, AviState::Finished);
    EXPECT_EQ(contents(killed), after);
    EXPECT_EQ(idx1KeyFlags(after), idx1KeyFlags(finishedBytes));
    // The frame counts of both headers, as an independent reader sees them.
    const kv::test::AviProbe probe = kv::test::probeAvi(killed);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.frames, 12);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, AviRepairCodec,
    ::testing::Values(Codec{"Raw", nullptr, ""}, Codec{"Mjpeg", "jpegenc", "jpegenc"},
                      Codec{"H264", "x264enc", "x264enc key-int-max=5 tune=zerolatency"},
                      Codec{"Mpeg4", "avenc_mpeg4", "avenc_mpeg4 gop-size=5"},
                      Codec{"MsMpeg4", "avenc_msmpeg4", "avenc_msmpeg4 gop-size=5"},
                      Codec{"Vp8", "vp8enc", "vp8enc keyframe-max-dist=5"}),
    [](const auto& info) { return std::string(info.param.name); });

// Files of more than 1 GB are written in OpenDML parts. One killed in its
// second part keeps the frames of both; one killed right after the muxer
// began a part keeps the first part whole.
TEST(AviRepair, AnOpenDmlRecordingKilledInItsSecondPartKeepsBothParts) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString finished = dir.filePath(u"finished.avi"_s);
    const QString killed = dir.filePath(u"killed.avi"_s);
    // 6.2 MB frames: the first part ends after 172 of them.
    ASSERT_TRUE(writeTestAvi({finished, QString(), 180, 1920, 1080, true}));
    const QByteArray head = [&] {
        QFile file(finished);
        return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
    }();
    EXPECT_EQ(repairAviFile(finished.toStdString()).state, AviState::Finished);
    ASSERT_TRUE(QFile::remove(finished));

    ASSERT_TRUE(writeTestAvi({killed, QString(), 180, 1920, 1080, false}));
    append(killed, tornFrame(6220800, 4096));
    const QString early = dir.filePath(u"early.avi"_s);
    ASSERT_TRUE(QFile::copy(killed, early));

    const auto repaired = repairAviFile(killed.toStdString());
    ASSERT_EQ(repaired.state, AviState::Repaired) << repaired.reason;
    EXPECT_EQ(repaired.frames, 180u);
    EXPECT_EQ(repaired.parts, 2u);
    EXPECT_EQ(repairAviFile(killed.toStdString()).state, AviState::Finished);
    {
        // The headers now say what the muxer's own did.
        QFile file(killed);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray repairedHead = file.read(4096);
        for (qsizetype at : {4, 44, 48, 140, 776}) {
            EXPECT_EQ(le32(repairedHead, at), le32(head, at)) << "offset " << at;
        }
        EXPECT_EQ(repairedHead.mid(212, 544), head.mid(212, 544));  // the super index
    }
    EXPECT_EQ(kv::test::probeAvi(killed).frames, 180);
    ASSERT_TRUE(QFile::remove(killed));

    // Killed a moment after the second part began: its header and half a frame.
    const QByteArray bytes = contents(early);
    const qsizetype second = bytes.indexOf("RIFF", 12);
    ASSERT_GT(second, 0);
    ASSERT_TRUE(QFile::resize(early, second + 24 + 1000));
    const auto firstOnly = repairAviFile(early.toStdString());
    ASSERT_EQ(firstOnly.state, AviState::Repaired) << firstOnly.reason;
    EXPECT_EQ(firstOnly.frames, 172u);
    EXPECT_EQ(repairAviFile(early.toStdString()).state, AviState::Finished);
    EXPECT_EQ(kv::test::probeAvi(early).frames, 172);
}

// What the repair does with damage that a kill does not explain: nothing.
// What a kill or a power cut explains is mended.
TEST(AviRepair, DamageItCannotExplainIsLeftUntouched) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"killed.avi"_s);
    ASSERT_TRUE(writeTestAvi({path, u"jpegenc"_s, 6, 160, 120, false}));
    const QByteArray killed = contents(path);
    const qsizetype movi = killed.indexOf("movi");
    const qsizetype third = killed.indexOf("00db", killed.indexOf("00db", movi + 12) + 8);
    ASSERT_GT(third, 0);

    const auto untouched = [](QByteArray bytes, const char* what) {
        const QByteArray before = bytes;
        const auto result = repairBytes(bytes);
        EXPECT_EQ(result.state, AviState::NotUnderstood) << what;
        EXPECT_FALSE(result.reason.empty()) << what;
        EXPECT_EQ(bytes, before) << what;
    };
    QByteArray garbage = killed;
    garbage.replace(third, 4, "XY\x01Z");
    untouched(garbage, "an unknown chunk between frames");
    untouched(killed + tornFrame(900'000'000, 100), "a torn chunk of an impossible size");
    QByteArray notAvi = killed;
    notAvi.replace(8, 4, "WAVE");
    untouched(notAvi, "not AVI");
    untouched(QByteArray("MZ\x90\x00", 4), "not RIFF");

    // A power cut leaves zeros where the file system had room but no data.
    QByteArray zeros = killed + QByteArray(70000, '\0');
    const auto mended = repairBytes(zeros);
    EXPECT_EQ(mended.state, AviState::Repaired);
    EXPECT_EQ(mended.frames, 6u);
    EXPECT_EQ(mended.cutBytes, 70000u);
    EXPECT_EQ(repairBytes(zeros).state, AviState::Finished);

    // Killed before the first frame: nothing worth keeping.
    QByteArray headerOnly = killed.left(movi + 8);
    EXPECT_EQ(repairBytes(headerOnly).state, AviState::NoFrames);
    QByteArray empty;
    EXPECT_EQ(repairBytes(empty).state, AviState::NoFrames);
}

// The recorder locks every file it writes: such a file is reported busy and
// not touched, until the writer lets it go.
TEST(AviRepair, AFileBeingWrittenIsLeftAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"writing.avi"_s);
    ASSERT_TRUE(writeTestAvi({path, u"jpegenc"_s, 4, 160, 120, false}));
    const QByteArray before = contents(path);
    const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
    bool busy = false;
    EXPECT_NE(repairAviFile(path.toStdString(), &busy).state, AviState::Repaired);
    EXPECT_TRUE(busy);
    EXPECT_EQ(contents(path), before);
    ::close(writer);
    EXPECT_EQ(repairAviFile(path.toStdString(), &busy).state, AviState::Repaired);
    EXPECT_FALSE(busy);
}

// Only a file of the user's with no other name is repaired: through a hard
// link the repair once rewrote a file outside the folder. A link, another
// user's file and one with a second name are left as they are, with the
// reason; the start-up repair of the folder logs them and goes on.
TEST(AviRepair, LinksAndOtherUsersFilesAreLeftAlone) {
    QTemporaryDir dir;
    QTemporaryDir outside;
    ASSERT_TRUE(dir.isValid() && outside.isValid());
    const QString original = outside.filePath(u"kept.avi"_s);
    ASSERT_TRUE(writeTestAvi({original, u"jpegenc"_s, 4, 160, 120, false}));
    const QByteArray before = contents(original);

    const QString hard = dir.filePath(u"251201_MO00.avi"_s);
    ASSERT_EQ(::link(QFile::encodeName(original).constData(), QFile::encodeName(hard).constData()),
              0);
    auto result = repairAviFile(hard.toStdString());
    EXPECT_EQ(result.state, AviState::NotUnderstood);
    EXPECT_NE(result.reason.find("2 names"), std::string::npos) << result.reason;
    const QString soft = dir.filePath(u"251201_MO01.avi"_s);
    ASSERT_TRUE(QFile::link(original, soft));
    EXPECT_EQ(repairAviFile(soft.toStdString()).state, AviState::NotUnderstood);
    EXPECT_EQ(contents(original), before);
    // Checking only reads: a second name is no reason to refuse.
    EXPECT_EQ(repairAviFile(hard.toStdString(), nullptr, true).state, AviState::Unfinished);

    if (::geteuid() != 0) {
        GTEST_SKIP() << "another user's recording: giving a file away needs root";
    }
    const QString foreign = dir.filePath(u"251201_MO02.avi"_s);
    ASSERT_TRUE(writeTestAvi({foreign, u"jpegenc"_s, 4, 160, 120, false}));
    ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    const QByteArray foreignBefore = contents(foreign);
    result = repairAviFile(foreign.toStdString());
    EXPECT_EQ(result.state, AviState::NotUnderstood);
    EXPECT_EQ(result.reason, "owned by another user");
    EXPECT_EQ(contents(foreign), foreignBefore);
}

// The fuzz target's promises, over thousands of mutations of real recordings
// (the sanitizer builds of the tests run this too): flipped and overwritten
// bytes, cut ends, repeated and zeroed stretches.
TEST(AviRepair, KeepsItsPromisesOnMutatedRecordings) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<QByteArray> seeds;
    for (const bool finish : {true, false}) {
        for (const QString& encoder : {u"jpegenc quality=10"_s, u"x264enc key-int-max=2"_s}) {
            const QString path = dir.filePath(u"seed%1.avi"_s.arg(seeds.size()));
            ASSERT_TRUE(writeTestAvi({path, encoder, 6, 32, 24, finish}));
            seeds.push_back(contents(path));
        }
    }
    std::mt19937 random(20261208);
    const auto below = [&random](qsizetype n) {
        return qsizetype(
            std::uniform_int_distribution<qsizetype>(0, std::max<qsizetype>(n - 1, 0))(random));
    };
    int failures = 0;
    for (int i = 0; i < 20000 && failures < 5; ++i) {
        QByteArray bytes = seeds[std::size_t(i) % seeds.size()];
        for (int edits = 1 + int(below(4)); edits > 0 && !bytes.isEmpty(); --edits) {
            const qsizetype at = below(bytes.size());
            switch (below(5)) {
                case 0:
                    bytes[at] = char(bytes[at] ^ (1 << below(8)));
                    break;
                case 1:
                    bytes[at] = char(below(256));
                    break;
                case 2:
                    bytes.truncate(at);
                    break;
                case 3:
                    bytes.insert(at, bytes.mid(below(bytes.size()), below(64)));
                    break;
                default:
                    bytes.replace(at, below(64), QByteArray(below(64), '\0'));
                    break;
            }
        }
        std::string broken;
        if (!kv::fuzz::checkAviRepair(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                      std::size_t(bytes.size()), &broken)) {
            ++failures;
            ADD_FAILURE() << "input " << i << ": " << broken;
        }
    }
}

}  // namespace
