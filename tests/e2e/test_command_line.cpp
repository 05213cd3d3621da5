// The program's own answers on the command line: --help, --version, and a
// clear error instead of an abort where there is no display.

#include "tests/e2e/program_run.h"

#include <gtest/gtest.h>

namespace {

using kv::test::runToEnd;

TEST(CommandLine, HelpVersionAndNoDisplayAnswerWithoutAWindow) {
    // Without a display too: neither needs one.
    const auto help = runToEnd({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("usage: kestrelvision")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--camera NAME=URI"));

    const auto version = runToEnd({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QByteArray("kestrelvision " KV_VERSION "\n"));

    // A mistyped option: the usage on the error stream, and nothing started.
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--bogus")},
          QStringList{QStringLiteral("/I2"), QStringLiteral("--headles")},
          QStringList{QStringLiteral("--status"),
                      QStringLiteral("--camra=Door=rtsp://u:pw@host/")}}) {
        const auto unknown = runToEnd(arguments);
        EXPECT_EQ(unknown.exitCode, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(unknown.out.isEmpty());
        EXPECT_TRUE(unknown.err.startsWith("kestrelvision: unknown option --"))
            << unknown.err.toStdString();
        EXPECT_TRUE(unknown.err.contains("\nusage: kestrelvision"));
        EXPECT_FALSE(unknown.err.contains("pw@"));
    }
    // Classic switches of every kind still start: without a display, that ends at once.
    const auto classic =
        runToEnd({QStringLiteral("/I3"), QStringLiteral("-q"), QStringLiteral("x")});
    EXPECT_EQ(classic.exitCode, 1) << classic.err.toStdString();

    const auto noDisplay = runToEnd({});
    EXPECT_EQ(noDisplay.exitCode, 1);
    EXPECT_EQ(noDisplay.err.count('\n'), 1) << noDisplay.err.toStdString();
    EXPECT_TRUE(noDisplay.err.contains("no display"));
}

// The program speaks the language of the locale it is started in, and the
// texts as written under "C".
TEST(CommandLine, AnswersInTheUsersLanguage) {
    const auto inLocale = [](const char* lang, const QStringList& arguments) {
        QProcessEnvironment env = kv::test::noDisplayEnvironment();
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LANGUAGE"));
        env.insert(QStringLiteral("LANG"), QString::fromLatin1(lang));
        return runToEnd(arguments, env);
    };
    const auto german = inLocale("de_DE.UTF-8", {QStringLiteral("--help")});
    EXPECT_EQ(german.exitCode, 0);
    EXPECT_TRUE(german.out.contains("--camera NAME=URI"));
    EXPECT_FALSE(german.out.contains("print the state of the running recorder"))
        << german.out.toStdString();

    const auto source = inLocale("C", {QStringLiteral("--help")});
    EXPECT_TRUE(source.out.contains("print the state of the running recorder"));

    const auto unknown = inLocale("de_DE.UTF-8", {QStringLiteral("--bogus")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("--bogus"));
    EXPECT_FALSE(unknown.err.contains("unknown option")) << unknown.err.toStdString();

    // Where the window cannot open, the reason comes in the user's language too.
    const auto noDisplay = inLocale("de_DE.UTF-8", {});
    EXPECT_EQ(noDisplay.exitCode, 1);
    EXPECT_TRUE(noDisplay.err.contains("--headless"));
    EXPECT_FALSE(noDisplay.err.contains("no display to show the window on"));
}

}  // namespace
