// Stepping between recordings over a real recording folder listed by
// ListRecordFiles.

#include "playback/record_navigation.h"
#include "record/record_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace kv::playback {
namespace {

struct Row {
    const char* what;
    const char* loaded;  // "@" stands for the recording folder
    bool forward;
    const char* expected;  // file name in the folder, or "" for none
};

class RecordNavigation : public ::testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        aviPath_ = dir_.path() + u"/"_s;
        for (const char* name :
             {"241203_TU01.avi", "241203_TU02.avi", "241204_WE01.avi", "notes.avi"}) {
            QFile file(aviPath_ + QString::fromLatin1(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        record::ListRecordFiles(aviPath_, list_);
        ASSERT_EQ(list_.size(), 4);
    }

    QString expand(const char* text) const {
        QString s = QString::fromUtf8(text);
        return s.replace(u"@"_s, aviPath_);
    }

    QTemporaryDir dir_;
    QString aviPath_;
    QList<record::RecordFileEntry> list_;
};

TEST_P(RecordNavigation, StepsToTheNeighbour) {
    const Row& row = GetParam();
    const QString expected = *row.expected ? aviPath_ + QString::fromUtf8(row.expected) : QString();
    EXPECT_EQ(StepRecordFile(list_, expand(row.loaded), row.forward), expected) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RecordNavigation,
    ::testing::Values(
        Row{"nothing loaded, next: the oldest", "", true, "241203_TU01.avi"},
        Row{"nothing loaded, previous: none", "", false, ""},
        Row{"first, previous: none", "@241203_TU01.avi", false, ""},
        Row{"first, next", "@241203_TU01.avi", true, "241203_TU02.avi"},
        Row{"middle, previous", "@241204_WE01.avi", false, "241203_TU02.avi"},
        Row{"last dated, next: notes.avi", "@241204_WE01.avi", true, "notes.avi"},
        Row{"last, next: none", "@notes.avi", true, ""},
        Row{"last, previous", "@notes.avi", false, "241204_WE01.avi"},
        Row{"another folder, next: the oldest", "/elsewhere/241203_TU02.avi", true,
            "241203_TU01.avi"},
        Row{"another folder, previous: none", "/elsewhere/241203_TU02.avi", false, ""},
        Row{"upper-cased name found", "@241203_TU02.AVI", true, "241204_WE01.avi"},
        Row{"doubled separator found", "@/241203_TU02.avi", false, "241203_TU01.avi"}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(RecordNavigationFolder, EmptyFolderGoesNowhere) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QList<record::RecordFileEntry> list;
    record::ListRecordFiles(dir.path() + u"/"_s, list);
    ASSERT_TRUE(list.isEmpty());
    EXPECT_TRUE(StepRecordFile(list, QString(), true).isEmpty());
    EXPECT_TRUE(StepRecordFile(list, QString(), false).isEmpty());
    EXPECT_TRUE(StepRecordFile(list, dir.path() + u"/241203_TU01.avi"_s, true).isEmpty());
}

TEST(RecordNavigationFolder, WholePathCaseIsIgnored) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString aviPath = dir.path() + u"/Cam/"_s;
    ASSERT_TRUE(QDir().mkpath(aviPath));
    for (const char* name : {"241203_TU01.avi", "241203_TU02.avi"}) {
        QFile file(aviPath + QString::fromLatin1(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QList<record::RecordFileEntry> list;
    record::ListRecordFiles(aviPath, list);
    ASSERT_EQ(list.size(), 2);
    // "Open recording" upper-cases the whole path; the real name comes back.
    const QString upper = (aviPath + u"241203_TU01.avi"_s).toUpper();
    EXPECT_EQ(StepRecordFile(list, upper, true), aviPath + u"241203_TU02.avi"_s);
}

}  // namespace
}  // namespace kv::playback
