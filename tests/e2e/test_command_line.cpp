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

    const auto noDisplay = runToEnd({});
    EXPECT_EQ(noDisplay.exitCode, 1);
    EXPECT_EQ(noDisplay.err.count('\n'), 1) << noDisplay.err.toStdString();
    EXPECT_TRUE(noDisplay.err.contains("no display"));
}

}  // namespace
