// The systemd user units of the headless recorder: the sandbox they set is
// scored "OK" by systemd-analyze, and where a user manager runs, the recorder
// records under exactly that sandbox into private files.

#include "app/settings_store.h"
#include "tests/e2e/program_run.h"
#include "tests/support/avi_probe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QStringList kUnits{u"kestrelvision.service"_s, u"kestrelvision@.service"_s};

// The unit as an install makes it, naming the built program.
QString configuredUnit(const QString& unit) {
    QFile in(QStringLiteral(KV_SOURCE_DIR) + u"/packaging/"_s + unit + u".in"_s);
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    return QString::fromUtf8(in.readAll())
        .replace(u"@KV_BINDIR@"_s, QFileInfo(kv::test::programPath()).absolutePath());
}

struct Outcome {
    int exitCode = -1;
    QString out;
};
Outcome run(const QString& program, const QStringList& arguments,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Outcome result;
    if (process.waitForFinished(60000)) {
        result.exitCode = process.exitCode();
    }
    result.out = QString::fromUtf8(process.readAll());
    return result;
}

TEST(ServiceUnits, TheirSandboxIsScoredOk) {
    if (QStandardPaths::findExecutable(u"systemd-analyze"_s).isEmpty()) {
        GTEST_SKIP() << "systemd-analyze is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString runtime = dir.filePath(u"run"_s);
    ASSERT_EQ(::mkdir(QFile::encodeName(runtime).constData(), 0700), 0);
    env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    for (const QString& unit : kUnits) {
        SCOPED_TRACE(unit.toStdString());
        const QString name = QString(unit).replace(u"@."_s, u"@2."_s);
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(configuredUnit(unit).toUtf8());
        file.close();
        const Outcome score =
            run(u"systemd-analyze"_s,
                {u"security"_s, u"--offline=yes"_s, u"--user"_s, file.fileName()}, env);
        const QRegularExpressionMatch level =
            QRegularExpression(u"Overall exposure level for \\S+: (\\d+\\.\\d) (\\w+)"_s)
                .match(score.out);
        ASSERT_TRUE(level.hasMatch()) << score.out.toStdString();
        EXPECT_LE(level.captured(1).toDouble(), 4.0) << score.out.toStdString();
        EXPECT_EQ(level.captured(2), u"OK"_s) << score.out.toStdString();
    }
}

// The [Service] settings of a unit that make its sandbox, as systemd-run
// properties, with the specifiers a transient unit does not expand filled in.
QStringList sandboxProperties(const QString& unit) {
    static const QStringList kNotSandbox{u"Type"_s,       u"ExecStart"_s,
                                         u"ExecReload"_s, u"Restart"_s,
                                         u"RestartSec"_s, u"RestartPreventExitStatus"_s};
    QStringList properties;
    bool service = false;
    for (QString line : configuredUnit(unit).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            service = line == u"[Service]"_s;
            continue;
        }
        if (!service || line.isEmpty() || line.startsWith(u'#') ||
            kNotSandbox.contains(line.section(u'=', 0, 0))) {
            continue;
        }
        properties << u"-p"_s
                   << line.replace(u"%h"_s, QDir::homePath())
                          .replace(u"%t"_s, qEnvironmentVariable("XDG_RUNTIME_DIR"));
    }
    return properties;
}

TEST(ServiceUnits, TheRecorderRecordsUnderTheirSandbox) {
    // Needs the user's own manager, which the test cannot make.
    if (QStandardPaths::findExecutable(u"systemd-run"_s).isEmpty() ||
        run(u"systemctl"_s, {u"--user"_s, u"show-environment"_s}).exitCode != 0) {
        GTEST_SKIP() << "no systemd user manager runs here";
    }
    // In the real home: the sandbox gives the service a /tmp of its own.
    QTemporaryDir home(QDir::homePath() + u"/.cache/kv-unit-test-XXXXXX"_s);
    ASSERT_TRUE(home.isValid());
    const QString folder = home.filePath(u"rec/"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        const std::optional<QByteArray> before = qEnvironmentVariableIsSet("XDG_CONFIG_HOME")
                                                     ? std::optional(qgetenv("XDG_CONFIG_HOME"))
                                                     : std::nullopt;
        qputenv("XDG_CONFIG_HOME", home.filePath(u".config"_s).toUtf8());
        kv::session::Settings settings;
        settings.AVIPath = folder;
        settings.RecInterval = 40;
        settings.Mode = 1;
        const bool saved = kv::app::SettingsStore(u"7"_s).save(settings, nullptr);
        if (before) {
            qputenv("XDG_CONFIG_HOME", *before);
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
        ASSERT_TRUE(saved);
    }
    const Outcome service =
        run(u"systemd-run"_s,
            QStringList{u"--user"_s, u"--wait"_s, u"--collect"_s, u"--quiet"_s,
                        u"--setenv=HOME="_s + home.path(),
                        u"--setenv=XDG_CONFIG_HOME="_s + home.filePath(u".config"_s),
                        u"--setenv=XDG_CACHE_HOME="_s + home.filePath(u".cache"_s),
                        u"--setenv=ASAN_OPTIONS=detect_leaks=0"_s, u"-p"_s, u"RuntimeMaxSec=6"_s} +
                sandboxProperties(u"kestrelvision@.service"_s) +
                QStringList{kv::test::programPath(), u"--headless"_s, u"/I7"_s, u"--camera"_s,
                            u"Ball=test:ball?width=160&height=120"_s});
    const QStringList files = QDir(folder).entryList({u"*.avi"_s}, QDir::Files);
    ASSERT_FALSE(files.isEmpty()) << service.out.toStdString();
    const QString first = folder + files.first();
    EXPECT_GT(kv::test::probeAvi(first).frames, 0);
    EXPECT_EQ(QFile::permissions(first) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());  // UMask=0077
}

}  // namespace
