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

}  // namespace
