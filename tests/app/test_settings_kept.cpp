// The window over a settings file that a user edited by hand, one value of
// which cannot be read: the others are used, and neither closing the window
// nor Quit writes the defaults over the user's values.

#include "app/Main.h"
#include "app/settings_store.h"
#include "app/window_messages.h"
#include "media/uri_camera.h"
#include "session/recording_session.h"
#include "tests/support/test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>

#include <gtest/gtest.h>

using namespace kv;
using namespace Qt::StringLiterals;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A line of the file as another program reads it.
QString storedValue(const QString& file, const QString& key) {
    const QString copy = file + u".read"_s;
    QFile::remove(copy);
    EXPECT_TRUE(QFile::copy(file, copy));
    return QSettings(copy, QSettings::IniFormat).value(key).toString();
}

TEST(SettingsKept, AnUnreadableValueSurvivesTheWindowsSavesOnCloseAndQuit) {
    test::TempHome home;
    const QString folder = home.documentsDir() + u"/garden/"_s;
    ASSERT_TRUE(QDir().mkpath(folder));
    session::Settings user;
    user.AVIPath = folder;
    user.RecInterval = 250;
    user.Mode = 0;
    user.MaxDiskspace = 1500;
    user.MaxRecordSamples = 321;
    user.CompressorKeyframeRate = 7;
    app::SettingsStore store(u"9"_s);
    ASSERT_TRUE(store.save(user, nullptr));
    // The hand edit: a unit typed after the trigger.
    QByteArray text = contentOf(store.filePath());
    ASSERT_TRUE(text.contains("\nTrigger=25000\n"));
    text.replace("\nTrigger=25000\n", "\nTrigger=9000 units\n");
    {
        QFile file(store.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    auto form = std::make_unique<TForm1>(
        QStringList{u"/I9"_s, u"--camera"_s, u"Ball=test:ball?width=160&height=120"_s});
    media::MessageEvent startup(app::WM_STARTUP);
    QCoreApplication::sendEvent(form.get(), &startup);
    ASSERT_TRUE(test::pumpUntil([&] { return !form->session().repairing(); }));
    EXPECT_EQ(form->settings().AVIPath, folder);
    EXPECT_EQ(form->settings().RecInterval, 250);
    EXPECT_EQ(form->settings().Mode, 0);
    EXPECT_EQ(form->settings().MaxDiskspace, 1500);
    EXPECT_EQ(form->settings().Trigger, session::Settings().Trigger);
    EXPECT_EQ(contentOf(store.filePath() + u".corrupt"_s), text);

    const auto expectKept = [&] {
        const QString file = store.filePath();
        EXPECT_EQ(storedValue(file, u"Trigger"_s), u"9000 units"_s);
        EXPECT_EQ(storedValue(file, u"AVIPath"_s), folder);
        EXPECT_EQ(storedValue(file, u"RecInterval"_s), u"250"_s);
        EXPECT_EQ(storedValue(file, u"Mode"_s), u"0"_s);
        EXPECT_EQ(storedValue(file, u"Max Diskspace"_s), u"1500"_s);
        EXPECT_EQ(storedValue(file, u"MaxRecordSamples"_s), u"321"_s);
        EXPECT_EQ(storedValue(file, u"Compressor Keyframe rate"_s), u"7"_s);
    };
    form->show();
    form->close();  // hides, and saves
    expectKept();
    form->controls().BtnQuit->click();  // saves, and ends
    ASSERT_TRUE(form->terminating());
    expectKept();
    form.reset();
    media::clearUriCameras();

    // The next start reads the same, and keeps no second copy.
    app::SettingsStore again(u"9"_s);
    const session::Settings next = again.load(0, 0);
    EXPECT_EQ(next.RecInterval, 250);
    EXPECT_EQ(next.MaxRecordSamples, 321);
    EXPECT_EQ(again.lastLoad().unreadable, QStringList{u"Trigger"_s});
    EXPECT_EQ(QDir(QFileInfo(store.filePath()).absolutePath())
                  .entryList({u"*.corrupt*"_s}, QDir::Files)
                  .size(),
              1);
}

}  // namespace
