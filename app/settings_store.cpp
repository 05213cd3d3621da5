#include "app/settings_store.h"

#include "media/camera_settings.h"
#include "media/redact.h"
#include "media/uri_camera.h"
#include "record/record_files.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTime>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

namespace kv::app {

using session::kAddedLater;
using session::kKeptOnFailure;
using session::kNotSaved;
using session::kStored;
using session::SettingGroup;
using session::SettingKind;
using session::Settings;
namespace load_rule = session::load_rule;
namespace {

Q_LOGGING_CATEGORY(lcSettings, "kv.app.settings", QtInfoMsg)

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Why a stored value cannot be used; nullptr when it can.
using Problem = const char*;

constexpr Problem kNotAnInteger = "is not a whole decimal number";

bool isWholeNumberType(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return true;
        default:
            return false;
    }
}

Problem decodeInteger(const QVariant& stored, int* out) {
    if (!stored.isValid()) {
        return "is missing";
    }
    if (isWholeNumberType(stored)) {
        // What QSettings hands back for a value this process wrote itself.
        bool ok = false;
        const qlonglong value = stored.toLongLong(&ok);
        if (!ok || value < std::numeric_limits<int>::min() ||
            value > std::numeric_limits<int>::max()) {
            return "does not fit in 32 bits";
        }
        *out = int(value);
        return nullptr;
    }
    if (stored.typeId() != QMetaType::QString) {
        return kNotAnInteger;
    }
    const QString text = stored.toString();
    qsizetype i = (text.startsWith(u'-') || text.startsWith(u'+')) ? 1 : 0;
    if (i == text.size()) {
        return kNotAnInteger;
    }
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9') {
            return kNotAnInteger;
        }
    }
    bool ok = false;
    *out = text.toInt(&ok, 10);
    return ok ? nullptr : "does not fit in 32 bits";
}

template <SettingKind>
struct Codec;

template <>
struct Codec<SettingKind::String> {
    using Type = QString;
    static Problem decode(const QVariant& stored, QString* out) {
        if (!stored.isValid()) {
            out->clear();
            return nullptr;
        }
        switch (stored.typeId()) {
            case QMetaType::QString:
                *out = stored.toString();
                return nullptr;
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
                // Digits written by this process; on disk they would be text.
                *out = stored.toString();
                return nullptr;
            case QMetaType::QStringList:
                // An unquoted comma typed by hand splits the text; it is still text.
                *out = stored.toStringList().join(u',');
                return nullptr;
            default:
                return "is not text";
        }
    }
    static QVariant encode(const QString& value) { return value; }
};

template <>
struct Codec<SettingKind::Integer> {
    using Type = int;
    static Problem decode(const QVariant& stored, int* out) { return decodeInteger(stored, out); }
    static QVariant encode(int value) { return value; }
};

template <>
struct Codec<SettingKind::Bool> {
    using Type = bool;
    static Problem decode(const QVariant& stored, bool* out) {
        int value = 0;
        const Problem problem = decodeInteger(stored, &value);
        *out = value != 0;
        return problem;
    }
    static QVariant encode(bool value) { return value ? 1 : 0; }
};

template <>
struct Codec<SettingKind::Percent> {
    using Type = double;
    static Problem decode(const QVariant& stored, double* out) {
        int percent = 0;
        const Problem problem = decodeInteger(stored, &percent);
        *out = session::percentToQuality(percent);
        return problem;
    }
    static QVariant encode(double quality) { return session::qualityToPercent(quality); }
};

template <>
struct Codec<SettingKind::Time> {
    using Type = double;
    static Problem decode(const QVariant& stored, double* out) {
        if (!stored.isValid()) {
            return "is missing";
        }
        // Written as "06:00:00"; files of earlier versions hold the fraction
        // of the day as 8 binary bytes, which are still read.
        if (stored.typeId() == QMetaType::QString) {
            const QString text = stored.toString();
            const QTime time = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
            if (text.size() != 8 || !time.isValid()) {
                return "is not a time of day HH:MM:SS";
            }
            *out = session::dayFractionFromTime(time);
            return nullptr;
        }
        if (stored.typeId() != QMetaType::QByteArray) {
            return "is not a time of day";
        }
        const QByteArray bytes = stored.toByteArray();
        if (bytes.size() != qsizetype(sizeof(double))) {
            return "is not 8 bytes long";
        }
        *out = qFromLittleEndian<double>(bytes.constData());
        return nullptr;
    }
    static QVariant encode(double fraction) {
        // To the second: what the dialog's time fields hold.
        const int seconds = int(std::lround(fraction * 86400.0)) % 86400;
        return QTime(0, 0).addSecs(std::max(seconds, 0)).toString(QStringLiteral("HH:mm:ss"));
    }
};

struct Entry {
    SettingGroup group;
    const char* name;
    unsigned flags;
    Problem (*read)(const QVariant& stored, session::Settings& into);
    QVariant (*write)(const session::Settings& from);
    void (*copy)(const session::Settings& from, session::Settings& to);
};

#define KV_SETTINGS_ENTRY(group, name, kind, member, type, def, rule, flags)               \
    Entry{SettingGroup::group,                                                             \
          name,                                                                            \
          flags,                                                                           \
          [](const QVariant& stored, session::Settings& into) -> Problem {                 \
              using C = Codec<SettingKind::kind>;                                          \
              static_assert(std::is_same_v<C::Type, type>, "kind and member type differ"); \
              C::Type value{};                                                             \
              if (const Problem problem = C::decode(stored, &value)) {                     \
                  return problem;                                                          \
              }                                                                            \
              into.member = load_rule::rule(std::move(value));                             \
              return nullptr;                                                              \
          },                                                                               \
          [](const session::Settings& from) {                                              \
              return Codec<SettingKind::kind>::encode(from.member);                        \
          },                                                                               \
          [](const session::Settings& from, session::Settings& to) { to.member = from.member; }},

const Entry kEntries[] = {KV_SETTINGS_TABLE(KV_SETTINGS_ENTRY)};

#undef KV_SETTINGS_ENTRY

QString keyOf(const Entry& entry) {
    const QString name = QString::fromLatin1(entry.name);
    switch (entry.group) {
        case SettingGroup::FTP:
            return QStringLiteral("FTP/") + name;
        case SettingGroup::TCP:
            return QStringLiteral("TCP/") + name;
        case SettingGroup::MQTT:
            return QStringLiteral("MQTT/") + name;
        case SettingGroup::Web:
            return QStringLiteral("Web/") + name;
        case SettingGroup::Main:
            break;
    }
    return name;
}

// Letters and digits stand for themselves; everything else is percent-encoded, so
// that no suffix can name another folder.
QString encodeSuffix(const QString& suffix) {
    QString encoded;
    for (const char32_t c : suffix.toUcs4()) {
        const QString text = QString::fromUcs4(&c, 1);
        if (QChar::isLetter(c) || QChar::isDigit(c)) {
            encoded += text;
            continue;
        }
        for (const char byte : text.toUtf8()) {
            encoded += QStringLiteral("%%1").arg(uint(uchar(byte)), 2, 16, QChar(u'0')).toUpper();
        }
    }
    return encoded;
}

bool sameContent(const QString& a, const QString& b) {
    constexpr qint64 kLargestCompared = 16 * 1024 * 1024;
    QFile fa(a);
    QFile fb(b);
    if (fa.size() != fb.size() || fa.size() > kLargestCompared) {
        return false;
    }
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly)) {
        return false;
    }
    return fa.readAll() == fb.readAll();
}

bool isOwnerOnly(const QString& path) {
    constexpr QFileDevice::Permissions kOthers = QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                 QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                                 QFileDevice::ReadOther | QFileDevice::WriteOther |
                                                 QFileDevice::ExeOther;
    const QFileDevice::Permissions permissions = QFile::permissions(path);
    return (permissions & kOwnerOnly) == kOwnerOnly && !(permissions & kOthers);
}

bool makeOwnerOnly(const QString& path) {
    return isOwnerOnly(path) || (QFile::setPermissions(path, kOwnerOnly) && isOwnerOnly(path));
}

// What a log line shows of a value that cannot be read.
QString shownValue(const Entry& entry, const QVariant& stored) {
    if (qstrcmp(entry.name, "Pass") == 0 || qstrcmp(entry.name, "Password") == 0) {
        return QStringLiteral("a password");
    }
    switch (stored.typeId()) {
        case QMetaType::QString:
            return u'"' + media::sanitizedText(stored.toString(), 80) + u'"';
        case QMetaType::QStringList:
            return u'"' + media::sanitizedText(stored.toStringList().join(u','), 80) + u'"';
        case QMetaType::QByteArray:
            return QStringLiteral("%1 bytes of binary data").arg(stored.toByteArray().size());
        default:
            return QStringLiteral("a value of type %1")
                .arg(QString::fromLatin1(stored.metaType().name()));
    }
}

QStringList allSavedKeys() {
    QStringList keys;
    for (const Entry& entry : kEntries) {
        if (!(entry.flags & kNotSaved)) {
            keys << keyOf(entry);
        }
    }
    return keys;
}

// Empty paths become the shared data folder, which is made.
void fillPaths(session::Settings& settings) {
    const QString folder = session::defaultDataFolder();
    for (QString* path : {&settings.AVIPath, &settings.TempPath}) {
        if (path->isEmpty()) {
            *path = folder;
            if (!QDir().mkpath(folder)) {
                qCWarning(lcSettings, "data folder \"%s\" cannot be created",
                          qUtf8Printable(folder));
            }
        }
    }
}

}  // namespace

SettingsStore::FileStamp SettingsStore::stampOf(const QString& path) {
    const QFileInfo info(path);
    return {info.exists() ? info.size() : -1,
            info.exists() ? info.lastModified().toUTC() : QDateTime()};
}

SettingsStore::SettingsStore(QString instanceSuffix) {
    QList<uint> characters = instanceSuffix.toUcs4();
    if (characters.size() > 1) {
        qCWarning(lcSettings,
                  "instance suffix \"%s\" is longer than one character; using the first",
                  qUtf8Printable(instanceSuffix));
        characters.resize(1);
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty()) {
        folder = QDir::homePath() + QStringLiteral("/.config");
    }
    const QString suffix = QString::fromUcs4(
        reinterpret_cast<const char32_t*>(characters.constData()), characters.size());
    path_ = folder + QStringLiteral("/Brannowerks/Kestrelvision") + encodeSuffix(suffix) +
            QStringLiteral(".conf");
}

struct SettingsStore::ReadResult {
    session::Settings settings;
    LoadReport report;
    QStringList problems;       // a text per unreadable value, or why the file is
    QStringList defaultsTaken;  // the default each unreadable value took
};

SettingsStore::ReadResult SettingsStore::read(const session::Settings& defaults) const {
    ReadResult result{defaults, {}, {}, {}};
    QSettings ini(path_, QSettings::IniFormat);
    const QFileInfo info(path_);
    if (ini.status() != QSettings::NoError ||
        (unparsableStamp_ && *unparsableStamp_ == stampOf(path_))) {
        // QSettings caches what it parsed and reports no error for the same
        // file again: the stamp remembers a file found unparsable.
        result.report.unparsable = true;
        result.problems << (ini.status() == QSettings::AccessError || !info.isFile()
                                ? QStringLiteral("cannot be read")
                                : QStringLiteral("cannot be parsed"));
        return result;
    }
    for (const Entry& entry : kEntries) {
        const QString key = keyOf(entry);
        const QVariant stored = ini.value(key);
        if (!stored.isValid()) {
            if (!(entry.flags & kNotSaved)) {
                result.report.missing << key;
            }
            continue;
        }
        // A value is assigned only when it can be read: the default stays otherwise.
        if (const Problem problem = entry.read(stored, result.settings)) {
            result.report.unreadable << key;
            result.problems << QStringLiteral("\"%1\" holds %2, which %3")
                                   .arg(key, shownValue(entry, stored),
                                        QString::fromLatin1(problem));
            result.defaultsTaken << entry.write(defaults).toString();
        }
    }
    if (result.report.missing.size() == qsizetype(allSavedKeys().size()) && info.size() > 0 &&
        !ini.childGroups().contains(QStringLiteral("Cameras")) &&
        !ini.childGroups().contains(QStringLiteral("Camera Settings"))) {
        // Text, but none of ours: not a settings file of this program. A file
        // with only its cameras, or their settings, is one.
        result.settings = defaults;
        result.report = {};
        result.report.unparsable = true;
        result.problems = QStringList{QStringLiteral("holds none of the settings")};
    }
    return result;
}

session::Settings SettingsStore::load(int defaultTop, int defaultLeft) {
    session::Settings defaults;
    defaults.Top = defaultTop;
    defaults.Left = defaultLeft;

    QString why;
    if (!ensurePrivateFile(&why)) {
        qCWarning(lcSettings, "settings file \"%s\" cannot be created: %s", qUtf8Printable(path_),
                  qUtf8Printable(why));
    }

    ReadResult read = this->read(defaults);
    report_ = read.report;
    keptAsStored_ = report_.unreadable;
    session::Settings result = read.settings;
    const QFileInfo info(path_);
    const bool empty = !info.exists() || (info.isFile() && info.size() == 0);
    if (report_.unparsable) {
        keptAsStored_ = allSavedKeys();
        unparsableStamp_ = stampOf(path_);
        if (empty) {
            qCInfo(lcSettings, "no settings stored yet in \"%s\": using the defaults",
                   qUtf8Printable(path_));
        } else {
            // A save would start the file afresh: keep what the user had first.
            const QString backup = preserveFile();
            if (backup.isEmpty()) {
                qCWarning(
                    lcSettings,
                    "settings file \"%s\" %s: using the defaults; no copy of it could be made",
                    qUtf8Printable(path_), qUtf8Printable(read.problems.join(u' ')));
            } else {
                qCWarning(lcSettings,
                          "settings file \"%s\" %s: using the defaults; its content is kept in "
                          "\"%s\"",
                          qUtf8Printable(path_), qUtf8Printable(read.problems.join(u' ')),
                          qUtf8Printable(backup));
            }
            if (!QFileInfo::exists(path_) && !ensurePrivateFile(&why)) {
                qCWarning(lcSettings, "settings file \"%s\" cannot be created: %s",
                          qUtf8Printable(path_), qUtf8Printable(why));
            }
        }
    } else if (!report_.unreadable.isEmpty()) {
        for (qsizetype i = 0; i < read.problems.size(); ++i) {
            qCWarning(lcSettings, "settings file \"%s\": %s; its default %s is used",
                      qUtf8Printable(path_), qUtf8Printable(read.problems[i]),
                      qUtf8Printable(read.defaultsTaken[i]));
        }
        // Saves leave these values as they are in the file; the copy is for
        // the user who wants to see what was there.
        const QString backup = preserveFile(false);
        if (!backup.isEmpty()) {
            qCWarning(lcSettings, "settings file \"%s\" is kept as it was in \"%s\"",
                      qUtf8Printable(path_), qUtf8Printable(backup));
        }
    } else if (report_.missing.size() == qsizetype(allSavedKeys().size())) {
        qCInfo(lcSettings, "no settings stored yet in \"%s\": using the defaults",
               qUtf8Printable(path_));
    } else if (!report_.missing.isEmpty()) {
        qCInfo(lcSettings, "settings file \"%s\" lacks %s: the defaults are used",
               qUtf8Printable(path_), qUtf8Printable(report_.missing.join(QStringLiteral(", "))));
    }

    fillPaths(result);
    loaded_ = result;
    return result;
}

std::optional<session::Settings> SettingsStore::reload(int defaultTop, int defaultLeft,
                                                       QString* why) {
    session::Settings defaults;
    defaults.Top = defaultTop;
    defaults.Left = defaultLeft;
    if (!QFileInfo(path_).isFile()) {
        *why = QStringLiteral("\"%1\" is missing").arg(path_);
        return std::nullopt;
    }
    ReadResult read = this->read(defaults);
    if (read.report.failed()) {
        *why = QStringLiteral("\"%1\" %2").arg(path_, read.problems.join(QStringLiteral("; ")));
        return std::nullopt;
    }
    report_ = read.report;
    keptAsStored_.clear();
    fillPaths(read.settings);
    loaded_ = read.settings;
    return read.settings;
}

bool SettingsStore::save(const session::Settings& settings, QString* error) {
    const auto fail = [&](const QString& why) {
        const QString text =
            QCoreApplication::translate("kv::app::SettingsStore",
                                        "The settings could not be saved to \"%1\": %2.")
                .arg(path_, why);
        qCWarning(lcSettings, "%s", qUtf8Printable(text));
        if (error) {
            *error = text;
        }
        return false;
    };

    // A value the last load could not read keeps what the file holds until
    // it is changed: the default it took is not the user's.
    std::vector<const Entry*> written;
    for (const Entry& entry : kEntries) {
        if (entry.flags & kNotSaved) {
            continue;
        }
        if (keptAsStored_.contains(keyOf(entry)) && entry.write(settings) == entry.write(loaded_)) {
            continue;
        }
        written.push_back(&entry);
    }
    if (written.empty()) {
        return true;  // after an unreadable file, nothing changed yet
    }

    {
        // QSettings would merge a file it cannot parse into what it writes, or
        // replace one it cannot read: keep a copy, then start afresh.
        QSettings probe(path_, QSettings::IniFormat);
        const QFileInfo info(path_);
        const bool holdsSomething = info.exists() && !(info.isFile() && info.size() == 0);
        const bool unparsable = probe.status() != QSettings::NoError ||
                                (unparsableStamp_ && *unparsableStamp_ == stampOf(path_));
        if (holdsSomething && unparsable) {
            const QString backup = preserveFile();
            if (backup.isEmpty()) {
                return fail(QCoreApplication::translate(
                    "kv::app::SettingsStore",
                    "the file could not be used and no copy of it can be made"));
            }
            qCWarning(lcSettings,
                      "settings file \"%s\" could not be used; its content is kept in \"%s\"",
                      qUtf8Printable(path_), qUtf8Printable(backup));
            if (QFileInfo::exists(path_) && !QFile::remove(path_)) {
                return fail(QCoreApplication::translate("kv::app::SettingsStore",
                                                        "the unusable file cannot be replaced"));
            }
        }
    }

    // Created owner-only before QSettings writes: its atomic save keeps the
    // permissions of the file it replaces, so the password is never readable by others.
    QString why;
    if (!ensurePrivateFile(&why)) {
        return fail(why);
    }
    QSettings ini(path_, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        return fail(
            QCoreApplication::translate("kv::app::SettingsStore", "the file cannot be read"));
    }
    for (const Entry* entry : written) {
        ini.setValue(keyOf(*entry), entry->write(settings));
    }
    ini.sync();
    if (ini.status() != QSettings::NoError) {
        return fail(ini.status() == QSettings::AccessError
                        ? QCoreApplication::translate("kv::app::SettingsStore",
                                                      "the file cannot be written")
                        : QCoreApplication::translate("kv::app::SettingsStore",
                                                      "the file cannot be parsed"));
    }
    if (!makeOwnerOnly(path_)) {
        return fail(QCoreApplication::translate("kv::app::SettingsStore",
                                                "its access cannot be limited to its owner"));
    }
    for (const Entry* entry : written) {
        entry->copy(settings, loaded_);
        keptAsStored_.removeAll(keyOf(*entry));
    }
    unparsableStamp_.reset();
    return true;
}

// Creates the file empty and owner-only when it is missing, and narrows the
// permissions of one that exists.
bool SettingsStore::ensurePrivateFile(QString* why) const {
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath())) {
        *why = QCoreApplication::translate("kv::app::SettingsStore",
                                           "its folder \"%1\" cannot be created")
                   .arg(info.absolutePath());
        return false;
    }
    if (!info.exists()) {
        QFile file(path_);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly) &&
            !QFileInfo::exists(path_)) {
            *why = file.errorString();
            return false;
        }
    }
    if (!QFileInfo(path_).isFile()) {
        *why = QCoreApplication::translate("kv::app::SettingsStore", "it is not a regular file");
        return false;
    }
    if (!makeOwnerOnly(path_)) {
        *why = QCoreApplication::translate("kv::app::SettingsStore",
                                           "its access cannot be limited to its owner");
        return false;
    }
    return true;
}

// Keeps the file's current content under "<file>.corrupt" (or, when that name is
// taken by something else and stamped is true, a name with a time stamp).
// Returns the backup's path, or an empty text when no copy was made.
QString SettingsStore::preserveFile(bool stamped) const {
    const QFileInfo info(path_);
    const QDir folder = info.absoluteDir();
    const QString base = info.fileName() + QStringLiteral(".corrupt");
    if (info.isFile()) {
        // Kept already, by a load that no save has followed.
        const QStringList kept =
            folder.entryList({base + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& name : kept) {
            if (sameContent(path_, folder.filePath(name))) {
                return folder.filePath(name);
            }
        }
    }
    const auto taken = [](const QString& path) {
        const QFileInfo target(path);
        return target.exists() || target.isSymLink();
    };
    QString target = folder.filePath(base);
    if (taken(target) && !stamped) {
        return {};
    }
    if (taken(target)) {
        const QString stamped =
            target + u'-' +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        target = stamped;
        for (int n = 2; taken(target); ++n) {
            target = stamped + u'-' + QString::number(n);
        }
    }
    if (info.isFile() && QFile::copy(path_, target)) {
        QFile::setPermissions(target, kOwnerOnly);
        return target;
    }
    // Unreadable, or no room for a copy: moving it aside needs neither.
    if (QFile::rename(path_, target)) {
        return target;
    }
    return {};
}

session::Settings loadRecorderSettings(SettingsStore& store, int defaultTop, int defaultLeft) {
    session::Settings settings = store.load(defaultTop, defaultLeft);
    settings.AVIPath = record::recordingFolder(settings.AVIPath);
    media::loadConfiguredCameras(store.filePath());
    media::loadCameraSettings(store.filePath());
    return settings;
}

std::optional<session::Settings> reloadRecorderSettings(SettingsStore& store, QString* why) {
    std::optional<session::Settings> settings = store.reload(0, 0, why);
    if (settings) {
        settings->AVIPath = record::recordingFolder(settings->AVIPath);
        media::loadConfiguredCameras(store.filePath());
        media::loadCameraSettings(store.filePath());
    }
    return settings;
}

}  // namespace kv::app
