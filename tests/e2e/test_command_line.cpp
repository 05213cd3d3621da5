// The program's own answers on the command line: --help, --version, and a
// clear error instead of an abort where there is no display.

#include "tests/e2e/program_run.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct Answer {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Answer run(const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(kv::test::noDisplayEnvironment());
    process.start(kv::test::programPath(), arguments);
    Answer answer;
    if (process.waitForFinished(30000)) {
        answer.exitCode = process.exitCode();
        answer.out = process.readAllStandardOutput();
        answer.err = process.readAllStandardError();
    }
    return answer;
}

TEST(CommandLine, HelpVersionAndNoDisplayAnswerWithoutAWindow) {
    // Without a display too: neither needs one.
    const Answer help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("usage: kestrelvision")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--camera NAME=URI"));

    const Answer version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QByteArray("kestrelvision " KV_VERSION "\n"));

    const Answer noDisplay = run({});
    EXPECT_EQ(noDisplay.exitCode, 1);
    EXPECT_EQ(noDisplay.err.count('\n'), 1) << noDisplay.err.toStdString();
    EXPECT_TRUE(noDisplay.err.contains("no display"));
}

}  // namespace
