// The movement sound: played asynchronously, nothing for a missing file.

#include "media/sound_player.h"
#include "tests/support/test_env.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

using kv::media::SoundPlayer;

namespace {

TEST(SoundPlayer, NoFileOrAnEmptyOneStartsNothing) {
    kv::test::TempHome home;
    SoundPlayer player;
    EXPECT_FALSE(player.play(QString()));
    EXPECT_FALSE(player.play(home.path() + QStringLiteral("/missing.wav")));
    QFile empty(home.path() + QStringLiteral("/empty.wav"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_FALSE(player.play(empty.fileName()));
    EXPECT_FALSE(player.playing());
}

TEST(SoundPlayer, PlaysAWaveFileWithoutWaitingAndEndsByItself) {
    kv::test::TempHome home;
    const QString wave = home.path() + QStringLiteral("/ding.wav");
    QProcess make;
    make.start(
        QStringLiteral("gst-launch-1.0"),
        {QStringLiteral("-q"), QStringLiteral("audiotestsrc"), QStringLiteral("num-buffers=5"),
         QStringLiteral("!"), QStringLiteral("wavenc"), QStringLiteral("!"),
         QStringLiteral("filesink"), QStringLiteral("location=") + wave});
    ASSERT_TRUE(make.waitForFinished(20000));
    ASSERT_EQ(make.exitCode(), 0);

    SoundPlayer player;
    QSignalSpy finished(&player, &SoundPlayer::finished);
    ASSERT_TRUE(player.play(wave));
    EXPECT_TRUE(player.playing());
    EXPECT_TRUE(finished.wait(10000));
    EXPECT_FALSE(player.playing());
    // A second sound may follow the first.
    EXPECT_TRUE(player.play(wave));
}

}  // namespace
