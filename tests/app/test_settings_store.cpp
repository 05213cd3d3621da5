#include "app/settings_store.h"

#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <iomanip>
#include <optional>
#include <ostream>

using namespace Qt::StringLiterals;
using kv::app::SettingsStore;
using kv::session::Settings;
using kv::test::TempHome;

static void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace kv::app {
using namespace kv::session;

namespace {
void show(std::ostream* os, const QString& value) {
    ::PrintTo(value, os);
}
void show(std::ostream* os, int value) {
    *os << value;
}
void show(std::ostream* os, bool value) {
    *os << (value ? "true" : "false");
}
void show(std::ostream* os, double value) {
    *os << std::setprecision(17) << value;
}
}  // namespace

void PrintTo(const Settings& settings, std::ostream* os) {
#define KV_PRINT_SETTING(group, name, kind, member, type, def, rule, flags) \
    *os << "\n  " << name << " = ";                                         \
    show(os, settings.member);
    KV_SETTINGS_TABLE(KV_PRINT_SETTING)
#undef KV_PRINT_SETTING
}
}  // namespace kv::app

namespace {

constexpr int kTop = 123;
constexpr int kLeft = -45;

// Collects the store's warnings.
class WarningLog {
  public:
    WarningLog() : previous_(qInstallMessageHandler(&WarningLog::handle)) { current_ = this; }
    ~WarningLog() {
        qInstallMessageHandler(previous_);
        current_ = nullptr;
    }
    const QStringList& messages() const { return messages_; }
    bool mentions(const QString& text) const {
        for (const QString& message : messages_) {
            if (message.contains(text)) {
                return true;
            }
        }
        return false;
    }

  private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (current_ && type == QtWarningMsg && qstrcmp(context.category, "kv.app.settings") == 0) {
            current_->messages_ << message;
        }
    }
    static inline WarningLog* current_ = nullptr;
    QtMessageHandler previous_;
    QStringList messages_;
};

QString dataFolder(const TempHome& home) {
    return home.documentsDir() + u"/Brannowerks/Kestrelvision/"_s;
}

// What a first start loads.
Settings firstStart(const TempHome& home) {
    Settings settings;
    settings.Top = kTop;
    settings.Left = kLeft;
    settings.AVIPath = dataFolder(home);
    settings.TempPath = dataFolder(home);
    return settings;
}

// Every value differs from its default.
Settings sample() {
    using namespace kv::app;
    Settings s;
    s.CaptureDeviceName = u"Front camera, \"hall\" \u00e9"_s;
    s.CaptureDeviceIndex = 3;
    s.CaptureFormatIndex = 7;
    s.Top = -20;
    s.Left = 1900;
    s.Width = 690;
    s.Height = 472;
    s.NotifyOnMove = true;
    s.NotifyOnCamera = false;
    s.NotifyOnWriteError = false;
    s.Latitude = u"69.65"_s;
    s.Longitude = u"-18.96"_s;
    s.RecStartAt = 1;
    s.RecStopAt = 2;
    s.RecStartOffset = -180;
    s.RecStopOffset = 45;
    s.IdleInterval = 600;
    s.DailyFilm = true;
    s.DayView = true;
    s.FilmLength = 0;
    s.FilmPace = 1;
    s.FilmDeflicker = false;
    s.FilmFormat = 1;
    s.RecInterval = 40;
    s.PostRecFrames = 12;
    s.PreRecFrames = 7;
    s.PlayInterval = 1000;
    s.Compressor = u"H.264 Compressor"_s;
    s.CompressorQuality = percentToQuality(37);
    s.CompressorKeyframeRate = 25;
    s.Mode = 1;
    s.Trigger = 30000;
    s.MaxDiskspace = 2048;
    s.RecUseTimer = true;
    s.RecStartTime = dayFractionFromTime(QTime(7, 30));
    s.RecStopTime = dayFractionFromTime(QTime(18, 15, 30));
    s.PlaySoundOnMove = true;
    s.MaxRecordSamples = 500;
    s.SoundFileName = u"/usr/share/sounds/bell,loud.wav"_s;
    s.ShowWndOnMove = true;
    s.Debug = true;
    s.Detector = 1;
    s.AVIPath = u"/srv/recordings/"_s;
    s.TempPath = u"/var/tmp/kv"_s;
    s.FTPActive = true;
    s.FTPMaxFrames = 10;
    s.UseRAS = true;
    s.RASEntry = u"Provider"_s;
    s.UseActiveOnly = true;
    s.Host = u" ftp.example.com "_s;
    s.User = u"@admin"_s;
    s.Pass = u"p@ss, w\u00f6rd;#=[x]\\"_s;
    s.Path = u"/upload/cam 1"_s;
    s.Port = 2121;
    s.MQTTHost = u"broker.lan"_s;
    s.MQTTPort = 8883;
    s.MQTTUser = u"recorder-hall"_s;
    s.MQTTPassword = u"mq#tt;pw"_s;
    s.MQTTCAFile = u"/etc/ssl/broker-ca.pem"_s;
    s.MQTTTopic = u"house/hall"_s;
    s.MQTTKeepalive = 45;
    s.MQTTDiscovery = false;
    s.MQTTTLS = true;
    s.MQTTAllowCommands = true;
    s.WebListen = u"0.0.0.0:8443"_s;
    s.WebUser = u"viewer"_s;
    s.WebPassword = u"w3b:pa55"_s;
    s.WebTLSCert = u"/etc/kv/cert.pem"_s;
    s.WebTLSKey = u"/etc/kv/key.pem"_s;
    s.OnEventCommand = u"/usr/local/bin/tell \"a b\""_s;
    return s;
}

const QString kHandTempPath = u"/var/tmp/placed by hand"_s;

// The file as another process reads it. QSettings keeps what this process wrote
// in memory, in the types it was given, so read a copy under a name of its own.
QSettings diskIni(const SettingsStore& store) {
    static int copies = 0;
    const QString copy = store.filePath() + u".disk"_s + QString::number(++copies);
    QFile::remove(copy);
    EXPECT_TRUE(QFile::copy(store.filePath(), copy));
    return QSettings(copy, QSettings::IniFormat);
}

// Loads what is on disk, through a store of its own (instance suffix "z").
Settings loadFromDisk(const SettingsStore& store, int top, int left) {
    SettingsStore reader(u"z"_s);
    QFile::remove(reader.filePath());
    EXPECT_TRUE(QFile::copy(store.filePath(), reader.filePath()));
    return reader.load(top, left);
}

void setStored(const SettingsStore& store, const QString& key, const QVariant& value) {
    QSettings ini(store.filePath(), QSettings::IniFormat);
    ini.setValue(key, value);
    ini.sync();
    ASSERT_EQ(ini.status(), QSettings::NoError);
}

void removeStored(const SettingsStore& store, const QString& key) {
    QSettings ini(store.filePath(), QSettings::IniFormat);
    ini.remove(key);
    ini.sync();
    ASSERT_EQ(ini.status(), QSettings::NoError);
}

// A complete file holding sample(), with a TempPath placed by hand.
void writeSample(SettingsStore& store) {
    QFile::remove(store.filePath());
    QString error;
    ASSERT_TRUE(store.save(sample(), &error)) << error.toStdString();
    setStored(store, u"TempPath"_s, kHandTempPath);
}

// The sample as a load gives it back.
Settings loadedSample() {
    Settings expected = sample();
    expected.TempPath = kHandTempPath;
    return expected;
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return -1;
    }
    return int(st.st_mode & 07777);
}

QStringList backupsOf(const SettingsStore& store) {
    const QFileInfo info(store.filePath());
    return info.absoluteDir().entryList({info.fileName() + u".corrupt*"_s},
                                        QDir::AllEntries | QDir::Hidden);
}

TEST(SettingsRules, ValuesReadAreCorrected) {
    using namespace kv::app::load_rule;
    struct Row {
        int (*rule)(int);
        int stored;
        int loaded;
    };
    const Row rows[] = {
        {recInterval, 10, 40},
        {recInterval, 39, 40},
        {recInterval, 40, 40},
        {recInterval, 41, 41},
        {recInterval, -5, 40},
        {playInterval, 5000, 1000},
        {playInterval, 0, 40},
        {playInterval, 1000, 1000},
        {playInterval, 999, 999},
        {trigger, 40000, 30000},
        {trigger, -1, 0},
        {trigger, 30000, 30000},
        {trigger, 0, 0},
        {mode, 0, 0},
        {mode, 2, 2},
        {mode, 3, 2},
        {mode, -1, 2},
        {preRecFrames, 101, 100},
        // Not a new file for every frame, nor more files than frames.
        {maxRecordSamples, 0, 1},
        {maxRecordSamples, -3, 1},
        {maxRecordSamples, 20000, 20000},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.rule(row.stored), row.loaded) << row.stored;
    }
    EXPECT_EQ(compressor(QString()), u"MJPEG Compressor"_s);
    EXPECT_EQ(compressor(u"VP8 Compressor"_s), u"VP8 Compressor"_s);
}

TEST(SettingsRules, NamesAreCutToTheirFieldWithoutSplittingACharacter) {
    using kv::app::load_rule::nameField;
    const QString face = u"\U0001F600"_s;  // two UTF-16 units
    struct Row {
        QString stored;
        QString loaded;
    };
    const Row rows[] = {
        {QString(79, u'x'), QString(79, u'x')},
        {QString(80, u'x'), QString(79, u'x')},
        {QString(200, u'x'), QString(79, u'x')},
        {QString(77, u'x') + face + u"tail"_s, QString(77, u'x') + face},
        {QString(78, u'x') + face + u"tail"_s, QString(78, u'x')},
        {QString(), QString()},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(nameField(row.stored), row.loaded) << row.stored.size();
    }
    EXPECT_EQ(kv::app::load_rule::compressor(QString(100, u'c')), QString(79, u'c'));
}

TEST(SettingsRules, QualityConvertsToNearestPercent) {
    using kv::app::percentToQuality;
    using kv::app::qualityToPercent;
    struct Row {
        double quality;
        int percent;
    };
    const Row rows[] = {{0.0, 0},    {1.0, 100}, {0.8, 80},   {0.804, 80},
                        {0.806, 81}, {0.3, 30},  {-0.004, 0}, {1.5, 150}};
    for (const Row& row : rows) {
        EXPECT_EQ(qualityToPercent(row.quality), row.percent) << row.quality;
    }
    for (int percent = 0; percent <= 100; ++percent) {
        EXPECT_EQ(qualityToPercent(percentToQuality(percent)), percent);
    }
}

TEST(SettingsRules, TimesOfDayAreFractions) {
    using kv::session::dayFractionFromTime;
    using kv::session::timeFromDayFraction;
    struct Row {
        double fraction;
        QTime time;
    };
    const Row rows[] = {{0.0, QTime(0, 0)},
                        {0.25, QTime(6, 0)},
                        {0.5, QTime(12, 0)},
                        {kv::session::kDefaultRecStopTime, QTime(23, 59)}};
    for (const Row& row : rows) {
        EXPECT_EQ(timeFromDayFraction(row.fraction), row.time) << row.fraction;
        EXPECT_EQ(dayFractionFromTime(row.time), row.fraction) << row.fraction;
    }
    // Values from outside the program still give a time of day.
    EXPECT_EQ(timeFromDayFraction(1.25), QTime(6, 0));
    EXPECT_EQ(timeFromDayFraction(-0.75), QTime(6, 0));
    EXPECT_EQ(timeFromDayFraction(std::nan("")), QTime(0, 0));
    EXPECT_EQ(timeFromDayFraction(0.99999999999), QTime(0, 0));
}

TEST(SettingsStore, FirstStartGivesDefaultsAndAnEmptyOwnerOnlyFile) {
    TempHome home;
    SettingsStore store;
    EXPECT_EQ(store.filePath(), home.configDir() + u"/Brannowerks/Kestrelvision.conf"_s);
    ASSERT_FALSE(QFileInfo::exists(store.filePath()));

    WarningLog log;
    const Settings loaded = store.load(kTop, kLeft);
    EXPECT_EQ(loaded, firstStart(home));
    EXPECT_EQ(kv::session::defaultDataFolder(), dataFolder(home));
    EXPECT_TRUE(QFileInfo(dataFolder(home)).isDir());
    EXPECT_EQ(QFileInfo(store.filePath()).size(), 0);
    EXPECT_EQ(modeOf(store.filePath()), 0600);
    EXPECT_TRUE(diskIni(store).allKeys().isEmpty());
    EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join(u'\n').toStdString();
    EXPECT_TRUE(backupsOf(store).isEmpty());

    // A second start before any save is a first start again.
    EXPECT_EQ(store.load(kTop, kLeft), firstStart(home));
}

TEST(SettingsStore, SaveThenLoadReturnsEveryValue) {
    const Settings defaults;
    const Settings s = sample();
#define KV_EXPECT_NOT_DEFAULT(group, name, kind, member, type, def, rule, flags) \
    EXPECT_NE(s.member, defaults.member) << name;
    KV_SETTINGS_TABLE(KV_EXPECT_NOT_DEFAULT)
#undef KV_EXPECT_NOT_DEFAULT

    TempHome home;
    SettingsStore store;
    QString error;
    ASSERT_TRUE(store.save(s, &error)) << error.toStdString();

    Settings expected = s;
    expected.TempPath = dataFolder(home);  // never written, so it loads empty
    EXPECT_EQ(store.load(0, 0), expected);
    EXPECT_EQ(loadFromDisk(store, 0, 0), expected);

    // The names and forms on disk.
    QSettings ini = diskIni(store);
    EXPECT_EQ(ini.value(u"Capture Device Name"_s), QVariant(s.CaptureDeviceName));
    EXPECT_EQ(ini.value(u"Max Diskspace"_s), QVariant(u"2048"_s));
    EXPECT_EQ(ini.value(u"Compressor Keyframe rate"_s), QVariant(u"25"_s));
    EXPECT_EQ(ini.value(u"Compressor Quality"_s), QVariant(u"37"_s));
    EXPECT_EQ(ini.value(u"RecUseTimer"_s), QVariant(u"1"_s));
    EXPECT_EQ(ini.value(u"Top"_s), QVariant(u"-20"_s));
    // Times of day as a person reads and edits them.
    EXPECT_EQ(ini.value(u"RecStartTime"_s), QVariant(u"07:30:00"_s));
    EXPECT_EQ(ini.value(u"RecStopTime"_s), QVariant(u"18:15:30"_s));
    EXPECT_EQ(ini.value(u"FTP/Pass"_s), QVariant(s.Pass));
    EXPECT_EQ(ini.value(u"TCP/Port"_s), QVariant(u"2121"_s));
    EXPECT_FALSE(ini.contains(u"TempPath"_s));
    // The broker's values beside the upload's, each under its own group.
    EXPECT_EQ(ini.value(u"MQTT/Host"_s), QVariant(u"broker.lan"_s));
    EXPECT_EQ(ini.value(u"MQTT/Port"_s), QVariant(u"8883"_s));
    EXPECT_EQ(ini.value(u"MQTT/Password"_s), QVariant(s.MQTTPassword));
    EXPECT_EQ(ini.value(u"MQTT/Discovery"_s), QVariant(u"0"_s));
    EXPECT_EQ(ini.value(u"Web/Listen"_s), QVariant(u"0.0.0.0:8443"_s));
    EXPECT_EQ(ini.childGroups(), (QStringList{u"FTP"_s, u"MQTT"_s, u"TCP"_s, u"Web"_s}));
}

// A file of an earlier version lacks the values added since: it keeps every
// value it has, the new ones take their defaults, and nothing is set aside as
// corrupt. A new value that is there but unreadable takes its default alone.
TEST(SettingsStore, AFileOfAnEarlierVersionKeepsItsValues) {
    TempHome home;
    const Settings s = sample();
    ASSERT_TRUE(SettingsStore().save(s, nullptr));
    const QStringList added{
        u"Width"_s,        u"Height"_s,         u"PreRecFrames"_s,      u"Detector"_s,
        u"NotifyOnMove"_s, u"NotifyOnCamera"_s, u"NotifyOnWriteError"_s};
    // The file as the earlier version wrote it, read by a store of its own.
    SettingsStore reader(u"z"_s);
    const auto writeOld = [&](const QByteArray& extra) {
        QByteArray text;
        for (const QByteArray& line : contentOf(SettingsStore().filePath()).split('\n')) {
            if (!added.contains(QString::fromUtf8(line.left(line.indexOf('='))))) {
                text += line + '\n';
            }
            if (line == "[General]") {
                text += extra;
            }
        }
        QFile file(reader.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    };
    writeOld({});
    Settings expected = s;
    const Settings defaults;
    expected.Width = defaults.Width;
    expected.Height = defaults.Height;
    expected.PreRecFrames = defaults.PreRecFrames;
    expected.Detector = defaults.Detector;
    expected.NotifyOnMove = defaults.NotifyOnMove;
    expected.NotifyOnCamera = defaults.NotifyOnCamera;
    expected.NotifyOnWriteError = defaults.NotifyOnWriteError;
    expected.TempPath = dataFolder(home);
    EXPECT_EQ(reader.load(0, 0), expected);
    EXPECT_TRUE(backupsOf(reader).isEmpty());

    writeOld("PreRecFrames=many\n");
    SettingsStore again(u"z"_s);
    EXPECT_EQ(again.load(0, 0), expected);  // only the unreadable one took its default
    EXPECT_EQ(backupsOf(again).size(), 1);
}

// Files of earlier versions hold times as binary fractions of the day: read,
// and written back as text.
TEST(SettingsStore, BinaryTimesOfOlderFilesAreReadAndWrittenBackAsText) {
    TempHome home;
    SettingsStore store;
    writeSample(store);
    setStored(store, u"RecStartTime"_s, QByteArray::fromHex("000000000000d43f"));  // 0.3125
    Settings s = store.load(0, 0);
    EXPECT_DOUBLE_EQ(s.RecStartTime, 0.3125);
    QString error;
    ASSERT_TRUE(store.save(s, &error)) << error.toStdString();
    EXPECT_EQ(diskIni(store).value(u"RecStartTime"_s), QVariant(u"07:30:00"_s));
    EXPECT_DOUBLE_EQ(store.load(0, 0).RecStartTime, 0.3125);
}

TEST(SettingsStore, SavedBoolsAreZeroOrOneAndAnyNonZeroReadsTrue) {
    TempHome home;
    SettingsStore store;
    writeSample(store);
    Settings off = sample();
    off.Debug = false;
    ASSERT_TRUE(store.save(off, nullptr));
    EXPECT_EQ(diskIni(store).value(u"Debug"_s), QVariant(u"0"_s));
    for (const QString& stored : {u"5"_s, u"-1"_s, u"+1"_s}) {
        setStored(store, u"Debug"_s, stored);
        EXPECT_TRUE(store.load(kTop, kLeft).Debug) << stored.toStdString();
    }
}

// Start from a complete file, change one stored value, and check what is loaded.
TEST(SettingsStore, LoadRulesApplyToStoredValues) {
    struct Row {
        QString key;
        QVariant stored;
        std::function<QVariant(const Settings&)> loaded;
        QVariant expected;
    };
    const Row rows[] = {
        {u"RecInterval"_s, u"10"_s, [](auto& s) { return QVariant(s.RecInterval); }, 40},
        {u"RecInterval"_s, u"250"_s, [](auto& s) { return QVariant(s.RecInterval); }, 250},
        {u"PlayInterval"_s, u"5000"_s, [](auto& s) { return QVariant(s.PlayInterval); }, 1000},
        {u"PlayInterval"_s, u"0"_s, [](auto& s) { return QVariant(s.PlayInterval); }, 40},
        {u"Trigger"_s, u"40000"_s, [](auto& s) { return QVariant(s.Trigger); }, 30000},
        {u"Trigger"_s, u"-3"_s, [](auto& s) { return QVariant(s.Trigger); }, 0},
        {u"Detector"_s, u"7"_s, [](auto& s) { return QVariant(s.Detector); }, 0},
        {u"Detector"_s, u"1"_s, [](auto& s) { return QVariant(s.Detector); }, 1},
        {u"Compressor"_s, u""_s, [](auto& s) { return QVariant(s.Compressor); },
         u"MJPEG Compressor"_s},
        {u"Compressor Quality"_s, u"30"_s, [](auto& s) { return QVariant(s.CompressorQuality); },
         0.30},
        {u"Capture Device Index"_s, u"007"_s,
         [](auto& s) { return QVariant(s.CaptureDeviceIndex); }, 7},
        {u"Capture Device Name"_s, QString(100, u'n'),
         [](auto& s) { return QVariant(s.CaptureDeviceName); }, QString(79, u'n')},
        {u"Compressor"_s, QString(90, u'c'), [](auto& s) { return QVariant(s.Compressor); },
         QString(79, u'c')},
        // A comma typed without quotes splits the text into a list; it is still text.
        {u"SoundFileName"_s, QStringList{u"/snd/a"_s, u"b.wav"_s},
         [](auto& s) { return QVariant(s.SoundFileName); }, u"/snd/a,b.wav"_s},
    };
    TempHome home;
    SettingsStore store;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key.toStdString() + " = " + row.stored.toString().toStdString());
        writeSample(store);
        setStored(store, row.key, row.stored);
        const Settings loaded = store.load(kTop, kLeft);
        EXPECT_EQ(row.loaded(loaded), row.expected);
        EXPECT_EQ(loaded.MaxDiskspace, sample().MaxDiskspace);  // nothing was reset
        EXPECT_EQ(loaded.Port, sample().Port);
    }
}

TEST(SettingsStore, MissingStringsReadAsEmpty) {
    TempHome home;
    SettingsStore store;
    writeSample(store);
    for (const QString& key : {u"Capture Device Name"_s, u"Compressor"_s, u"SoundFileName"_s,
                               u"FTP/Host"_s, u"FTP/Pass"_s, u"TempPath"_s}) {
        removeStored(store, key);
    }
    WarningLog log;
    Settings expected = loadedSample();
    expected.CaptureDeviceName.clear();
    expected.Compressor = u"MJPEG Compressor"_s;
    expected.SoundFileName.clear();
    expected.Host.clear();
    expected.Pass.clear();
    expected.TempPath = dataFolder(home);
    EXPECT_EQ(store.load(kTop, kLeft), expected);
    EXPECT_TRUE(log.messages().isEmpty());
}

// A value missing or of the wrong form takes its own default; every other
// value is kept. An unreadable one is logged once with what it holds (never a
// password or a control character), the file is copied aside once, and a save
// of the values as loaded, as the window makes on closing, keeps the user's
// text in the file instead of the default.
TEST(SettingsStore, AnUnreadableOrMissingValueTakesItsOwnDefaultAlone) {
    const Settings defaults;
    struct Row {
        const char* label;
        QString key;
        std::optional<QVariant> stored;  // nothing: removed
        QString shown;                   // what the warning quotes; empty when missing
        void (*reset)(Settings&);        // what the load gives instead of the sample
    };
    const Row rows[] = {
        {"integer missing", u"Mode"_s, {}, {}, [](Settings& s) { s.Mode = Settings().Mode; }},
        {"time missing",
         u"RecStopTime"_s,
         {},
         {},
         [](Settings& s) { s.RecStopTime = Settings().RecStopTime; }},
        {"FTP group missing",
         u"FTP"_s,
         {},
         {},
         [](Settings& s) {
             const Settings d;
             s.FTPActive = d.FTPActive;
             s.FTPMaxFrames = d.FTPMaxFrames;
             s.UseRAS = d.UseRAS;
             s.RASEntry = d.RASEntry;
             s.UseActiveOnly = d.UseActiveOnly;
             s.Host = d.Host;
             s.User = d.User;
             s.Pass = d.Pass;
             s.Path = d.Path;
         }},
        {"integer as text", u"Mode"_s, u"abc"_s, u"\"abc\""_s,
         [](Settings& s) { s.Mode = Settings().Mode; }},
        {"interval with a unit", u"RecInterval"_s, u"300ms"_s, u"\"300ms\""_s,
         [](Settings& s) { s.RecInterval = Settings().RecInterval; }},
        {"integer with a fraction", u"Trigger"_s, u"12.5"_s, u"\"12.5\""_s,
         [](Settings& s) { s.Trigger = Settings().Trigger; }},
        {"integer beyond 32 bits", u"Max Diskspace"_s, u"2147483648"_s, u"\"2147483648\""_s,
         [](Settings& s) { s.MaxDiskspace = Settings().MaxDiskspace; }},
        {"integer as binary", u"TCP/Port"_s, QByteArray("21"), u"2 bytes of binary data"_s,
         [](Settings& s) { s.Port = Settings().Port; }},
        {"bool as a word", u"FTP/FTPActive"_s, u"yes"_s, u"\"yes\""_s,
         [](Settings& s) { s.FTPActive = Settings().FTPActive; }},
        {"time past midnight", u"RecStopTime"_s, u"25:00:00"_s, u"\"25:00:00\""_s,
         [](Settings& s) { s.RecStopTime = Settings().RecStopTime; }},
        {"time of 7 bytes", u"RecStartTime"_s, QByteArray(7, '\x01'), u"7 bytes"_s,
         [](Settings& s) { s.RecStartTime = Settings().RecStartTime; }},
        {"binary AVIPath", u"AVIPath"_s, QByteArray("/x"), u"2 bytes"_s,
         [](Settings& s) { s.AVIPath.clear(); }},
        {"binary password", u"FTP/Pass"_s, QByteArray("S3cretPass"), u"a password"_s,
         [](Settings& s) { s.Pass = Settings().Pass; }},
        {"binary broker password", u"MQTT/Password"_s, QByteArray("S3cretPass"), u"a password"_s,
         [](Settings& s) { s.MQTTPassword = Settings().MQTTPassword; }},
        {"escape codes", u"Trigger"_s, u"\x1b]0;owned\x07\x1b[2J12"_s, u"\"12\""_s,
         [](Settings& s) { s.Trigger = Settings().Trigger; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempHome home;
        SettingsStore store;
        writeSample(store);
        if (row.stored) {
            setStored(store, row.key, *row.stored);
        } else {
            removeStored(store, row.key);
        }
        const QByteArray damaged = contentOf(store.filePath());
        Settings expected = loadedSample();
        row.reset(expected);
        if (expected.AVIPath.isEmpty()) {
            expected.AVIPath = dataFolder(home);
        }

        Settings loaded;
        {
            WarningLog log;
            loaded = store.load(kTop, kLeft);
            EXPECT_EQ(loaded, expected);
            const QString said = log.messages().join(u'\n');
            if (row.stored) {
                EXPECT_EQ(store.lastLoad().unreadable, QStringList{row.key});
                EXPECT_TRUE(log.mentions(store.filePath()));
                EXPECT_TRUE(log.mentions(u'"' + row.key + u"\" holds "_s + row.shown))
                    << said.toStdString();
                EXPECT_FALSE(said.contains(u"S3cret"_s) || said.contains(QChar(0x1b)) ||
                             said.contains(QChar(0x07)));
                EXPECT_EQ(contentOf(store.filePath() + u".corrupt"_s), damaged);
            } else {
                EXPECT_FALSE(store.lastLoad().failed());
                EXPECT_TRUE(said.isEmpty()) << said.toStdString();
                EXPECT_TRUE(backupsOf(store).isEmpty());
            }
        }

        // Quit: the window saves what it holds; the user's text stays.
        ASSERT_TRUE(store.save(loaded, nullptr));
        if (row.stored) {
            EXPECT_EQ(diskIni(store).value(row.key), *row.stored);
        }
        EXPECT_EQ(loadFromDisk(store, kTop, kLeft), expected);
        // A second start makes no second copy, though the file was saved since.
        store.load(kTop, kLeft);
        EXPECT_EQ(backupsOf(store).size(), row.stored ? 1 : 0);
    }
}

// A value the user changes replaces the unreadable text; other saves leave it.
TEST(SettingsStore, AChangedValueReplacesAnUnreadableOne) {
    TempHome home;
    SettingsStore store;
    writeSample(store);
    setStored(store, u"Mode"_s, u"abc"_s);
    setStored(store, u"RecInterval"_s, u"300ms"_s);
    Settings s = store.load(kTop, kLeft);
    EXPECT_EQ(store.lastLoad().unreadable, (QStringList{u"RecInterval"_s, u"Mode"_s}));
    s.Mode = 0;
    s.Left = 17;
    ASSERT_TRUE(store.save(s, nullptr));
    QSettings ini = diskIni(store);
    EXPECT_EQ(ini.value(u"Mode"_s), QVariant(u"0"_s));
    EXPECT_EQ(ini.value(u"Left"_s), QVariant(u"17"_s));
    EXPECT_EQ(ini.value(u"RecInterval"_s), QVariant(u"300ms"_s));

    s.RecInterval = 500;
    ASSERT_TRUE(store.save(s, nullptr));
    ASSERT_TRUE(store.save(s, nullptr));
    EXPECT_EQ(diskIni(store).value(u"RecInterval"_s), QVariant(u"500"_s));
    EXPECT_EQ(loadFromDisk(store, kTop, kLeft).RecInterval, 500);
}

// A running recorder told to reload refuses a file with an unreadable value
// as a whole, and takes one that reads.
TEST(SettingsStore, AReloadRefusesAFileWithAnUnreadableValue) {
    TempHome home;
    SettingsStore store;
    writeSample(store);
    const Settings running = store.load(0, 0);
    const QByteArray before = contentOf(store.filePath());
    for (const QByteArray& broken : {QByteArray("[General\nMode=1\n"), QByteArray()}) {
        setStored(store, u"RecInterval"_s, u"300ms"_s);
        if (!broken.isEmpty()) {
            QFile file(store.filePath());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(broken);
        }
        QString why;
        WarningLog log;
        EXPECT_FALSE(store.reload(0, 0, &why));
        EXPECT_TRUE(why.contains(store.filePath())) << why.toStdString();
        EXPECT_TRUE(broken.isEmpty() ? why.contains(u"\"RecInterval\" holds \"300ms\""_s)
                                     : why.contains(u"cannot be parsed"_s))
            << why.toStdString();
        EXPECT_TRUE(log.messages().isEmpty());  // the caller says it, once
        EXPECT_TRUE(backupsOf(store).isEmpty());
        // Saving what runs does not write the refused file's values.
        QFile file(store.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(before);
    }
    QFile::remove(store.filePath());
    QString why;
    EXPECT_FALSE(store.reload(0, 0, &why));
    EXPECT_TRUE(why.contains(u"missing"_s)) << why.toStdString();

    writeSample(store);
    setStored(store, u"Mode"_s, 0);
    const std::optional<Settings> fresh = store.reload(0, 0, &why);
    ASSERT_TRUE(fresh);
    Settings expected = running;
    expected.Mode = 0;
    EXPECT_EQ(*fresh, expected);
}

TEST(SettingsStore, QualityRoundTripsEveryPercentage) {
    TempHome home;
    SettingsStore store;
    writeSample(store);
    for (int percent = 0; percent <= 100; ++percent) {
        SCOPED_TRACE(percent);
        setStored(store, u"Compressor Quality"_s, QString::number(percent));
        const Settings loaded = store.load(kTop, kLeft);
        EXPECT_DOUBLE_EQ(loaded.CompressorQuality, percent / 100.0);
        ASSERT_TRUE(store.save(loaded, nullptr));
        EXPECT_EQ(diskIni(store).value(u"Compressor Quality"_s),
                  QVariant(QString::number(percent)));
    }
}

TEST(SettingsStore, InstanceSuffixSelectsItsOwnFileButSharesTheDataFolder) {
    TempHome home;
    SettingsStore second(u"2"_s);
    SettingsStore first;
    EXPECT_EQ(second.filePath(), home.configDir() + u"/Brannowerks/Kestrelvision2.conf"_s);

    Settings s = sample();
    s.AVIPath.clear();
    ASSERT_TRUE(second.save(s, nullptr));
    EXPECT_FALSE(QFileInfo::exists(first.filePath()));

    Settings expected = s;
    expected.AVIPath = dataFolder(home);
    expected.TempPath = dataFolder(home);
    EXPECT_EQ(second.load(kTop, kLeft), expected);
    EXPECT_EQ(first.load(kTop, kLeft), firstStart(home));
    EXPECT_EQ(diskIni(second).childGroups(),
              (QStringList{u"FTP"_s, u"MQTT"_s, u"TCP"_s, u"Web"_s}));
}

TEST(SettingsStore, UnsafeSuffixCharactersStayInsideTheFolder) {
    struct Row {
        QString suffix;
        QString fileName;
    };
    const Row rows[] = {
        {u"/"_s, u"Kestrelvision%2F.conf"_s},         {u"."_s, u"Kestrelvision%2E.conf"_s},
        {u"%"_s, u"Kestrelvision%25.conf"_s},         {u" "_s, u"Kestrelvision%20.conf"_s},
        {u"\\"_s, u"Kestrelvision%5C.conf"_s},        {u"*"_s, u"Kestrelvision%2A.conf"_s},
        {u"\u00e9"_s, u"Kestrelvision\u00e9.conf"_s}, {u"\u00a7"_s, u"Kestrelvision%C2%A7.conf"_s},
        {u"a/.."_s, u"Kestrelvisiona.conf"_s},  // one character at most
    };
    TempHome home;
    const QString folder = home.configDir() + u"/Brannowerks"_s;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.suffix.toStdString());
        SettingsStore store(row.suffix);
        EXPECT_EQ(store.filePath(), folder + u'/' + row.fileName);
        ASSERT_TRUE(store.save(sample(), nullptr));
        EXPECT_TRUE(QFileInfo(folder + u'/' + row.fileName).isFile());
    }
    EXPECT_TRUE(QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_EQ(QDir(home.configDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{u"Brannowerks"_s});
}

TEST(SettingsStore, PathsReadAreUsedUnchangedAndTempPathIsNeverWritten) {
    TempHome home;
    SettingsStore store;
    writeSample(store);
    const QString aviPath = home.path() + u"/recordings"_s;  // no separator: left as it is
    const QString tempPath = home.path() + u"/scratch/"_s;
    setStored(store, u"AVIPath"_s, aviPath);
    setStored(store, u"TempPath"_s, tempPath);

    Settings loaded = store.load(kTop, kLeft);
    EXPECT_EQ(loaded.AVIPath, aviPath);
    EXPECT_EQ(loaded.TempPath, tempPath);
    EXPECT_FALSE(QFileInfo::exists(aviPath));
    EXPECT_FALSE(QFileInfo::exists(tempPath));
    EXPECT_FALSE(QFileInfo::exists(dataFolder(home)));

    loaded.TempPath = u"/changed/in/memory"_s;
    ASSERT_TRUE(store.save(loaded, nullptr));
    EXPECT_EQ(diskIni(store).value(u"TempPath"_s), QVariant(tempPath));
    EXPECT_EQ(store.load(kTop, kLeft).TempPath, tempPath);
}

TEST(SettingsStore, FileIsReadableByItsOwnerOnly) {
    TempHome home;
    {
        // First save, with no file before it.
        SettingsStore store;
        ASSERT_TRUE(store.save(sample(), nullptr));
        EXPECT_EQ(modeOf(store.filePath()), 0600);
    }
    for (const int wider : {0644, 0666, 0400}) {
        SCOPED_TRACE(wider);
        SettingsStore store(u"w"_s);
        ASSERT_TRUE(store.save(sample(), nullptr));
        ASSERT_EQ(::chmod(QFile::encodeName(store.filePath()).constData(), mode_t(wider)), 0);
        store.load(kTop, kLeft);
        EXPECT_EQ(modeOf(store.filePath()), 0600);
        ASSERT_EQ(::chmod(QFile::encodeName(store.filePath()).constData(), mode_t(wider)), 0);
        ASSERT_TRUE(store.save(sample(), nullptr));
        EXPECT_EQ(modeOf(store.filePath()), 0600);
    }
}

TEST(SettingsStore, SaveIntoAnUnwritableLocationFailsNamingTheFile) {
    TempHome home;
    const QString blocker = home.path() + u"/blocker"_s;
    {
        QFile file(blocker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker + u"/config"_s));
    SettingsStore store;
    ASSERT_TRUE(store.filePath().startsWith(blocker));

    EXPECT_EQ(store.load(kTop, kLeft), firstStart(home));
    QString error;
    EXPECT_FALSE(store.save(sample(), &error));
    EXPECT_TRUE(error.contains(store.filePath())) << error.toStdString();
    EXPECT_FALSE(store.save(sample(), nullptr));
}

TEST(SettingsStore, CorruptFileGivesDefaultsAndIsKept) {
    struct Row {
        const char* label;
        QByteArray content;  // empty: a folder stands where the file should be
    };
    const Row rows[] = {
        {"unclosed section", "[General\nStray=1\nRecInterval=500\n"},
        {"plain text", "these are not my settings\nStray\n"},
        {"binary", QByteArray("\x00\xff\xfe[\x80Stray=\x01\n\x00", 14)},
        {"folder in its place", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempHome home;
        SettingsStore store;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(store.filePath()).absolutePath()));
        if (row.content.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(store.filePath()));
            QFile inside(store.filePath() + u"/inside"_s);
            ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
            inside.write("kept");
        } else {
            QFile file(store.filePath());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(row.content);
        }
        const QString backup = store.filePath() + u".corrupt"_s;
        const auto expectKept = [&] {
            if (row.content.isEmpty()) {
                EXPECT_EQ(contentOf(backup + u"/inside"_s), QByteArray("kept"));
            } else {
                EXPECT_EQ(contentOf(backup), row.content);
            }
        };

        {
            WarningLog log;
            EXPECT_EQ(store.load(kTop, kLeft), firstStart(home));
            EXPECT_TRUE(log.mentions(store.filePath()));
            EXPECT_TRUE(log.mentions(backup)) << log.messages().join(u'\n').toStdString();
        }
        expectKept();
        store.load(kTop, kLeft);  // a second start keeps no second copy
        EXPECT_EQ(backupsOf(store), QStringList{QFileInfo(backup).fileName()});

        QString error;
        ASSERT_TRUE(store.save(sample(), &error)) << error.toStdString();
        expectKept();
        EXPECT_FALSE(diskIni(store).contains(u"Stray"_s));
        Settings expected = sample();
        expected.TempPath = dataFolder(home);
        EXPECT_EQ(store.load(kTop, kLeft), expected);
        EXPECT_EQ(backupsOf(store).size(), 1);
    }
}

// A file written by hand with nothing but its cameras is the user's settings
// file: the defaults fill it, and the cameras stay in it.
TEST(SettingsStore, AFileWithOnlyCamerasIsKeptAndFilledIn) {
    TempHome home;
    SettingsStore store;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(store.filePath()).absolutePath()));
    {
        QFile file(store.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Cameras]\nDoor=rtsp://admin:pw@192.0.2.7/stream1\n");
    }
    WarningLog log;
    const Settings loaded = store.load(kTop, kLeft);
    EXPECT_EQ(loaded, firstStart(home));
    EXPECT_FALSE(store.lastLoad().failed());
    EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join(u'\n').toStdString();
    ASSERT_TRUE(store.save(loaded, nullptr));
    EXPECT_EQ(diskIni(store).value(u"Cameras/Door"_s),
              QVariant(u"rtsp://admin:pw@192.0.2.7/stream1"_s));
    EXPECT_TRUE(backupsOf(store).isEmpty());
}

TEST(SettingsStore, AnotherBrokenFileIsKeptBesideTheFirstCopy) {
    TempHome home;
    SettingsStore store;
    for (const QByteArray& content : {QByteArray("[one\n"), QByteArray("[three\n")}) {
        store.load(kTop, kLeft);
        QFile file(store.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        store.load(kTop, kLeft);
    }
    const QStringList backups = backupsOf(store);
    ASSERT_EQ(backups.size(), 2);
    const QDir folder = QFileInfo(store.filePath()).absoluteDir();
    QList<QByteArray> contents;
    for (const QString& name : backups) {
        contents << contentOf(folder.filePath(name));
    }
    EXPECT_TRUE(contents.contains("[one\n"));
    EXPECT_TRUE(contents.contains("[three\n"));
}

}  // namespace
