#pragma once

// The settings' home on disk: one INI file per instance in the user's
// configuration folder, "Brannowerks/Kestrelvision<suffix>.conf", with the main
// key's values at the top level and the groups [FTP], [TCP] and [MQTT] for the subkeys.
// The file holds the upload password, so it is kept readable by its owner only.

#include "session/settings.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace kv::app {

class SettingsStore {
  public:
    // instanceSuffix: at most one character (more is cut to the first); any
    // character but a letter or digit is percent-encoded in the file name.
    explicit SettingsStore(QString instanceSuffix = {});

    QString filePath() const { return path_; }

    // What the last load found.
    struct LoadReport {
        QStringList unreadable;   // keys whose value could not be read
        QStringList missing;      // keys the file does not hold
        bool unparsable = false;  // the file as a whole could not be read
        bool failed() const { return unparsable || !unreadable.isEmpty(); }
    };

    // Fills every setting. A value that is missing, or that cannot be read (not
    // of its type), takes its own default; every other value is kept. Each
    // unreadable value is logged once, naming its key and what it holds, and
    // the file is first copied to "<file>.corrupt". Empty paths become
    // defaultDataFolder(), which is created. Creates the file (empty) when it is
    // missing. Never shows anything.
    session::Settings load(int defaultTop, int defaultLeft);
    const LoadReport& lastLoad() const { return report_; }

    // For a recorder that is running: the settings as load() reads them, or
    // nothing, with the reason in why, when the file cannot be read or holds an
    // unreadable value. A refused file changes nothing, here or on disk.
    std::optional<session::Settings> reload(int defaultTop, int defaultLeft, QString* why);

    // Writes every setting except TempPath, atomically. A value the last load
    // could not read is written only when it differs from the default it took:
    // what the user had in the file stays until a setting really changes it.
    // After a file that could not be read at all, nothing is written until a
    // value changes, and then only the changed ones. On failure returns false
    // and, when error is given, a text naming the file.
    bool save(const session::Settings& settings, QString* error);

  private:
    struct FileStamp {
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp stampOf(const QString& path);
    struct ReadResult;
    ReadResult read(const session::Settings& defaults) const;
    bool ensurePrivateFile(QString* why) const;
    QString preserveFile(bool stamped = true) const;

    QString path_;
    LoadReport report_;
    // The values of the last load, and the keys whose stored text a save
    // keeps while the value stays as loaded.
    session::Settings loaded_;
    QStringList keptAsStored_;
    // The file as it was when QSettings could not parse it.
    std::optional<FileStamp> unparsableStamp_;
};

// The settings as a recorder takes them, window or headless: read from the
// store, the recording folder made whole, and the cameras the file names
// offered.
session::Settings loadRecorderSettings(SettingsStore& store, int defaultTop, int defaultLeft);
// The same for a recorder that runs: nothing, with the reason, when the store
// refuses the file; the cameras are then left as they are too.
std::optional<session::Settings> reloadRecorderSettings(SettingsStore& store, QString* why);

}  // namespace kv::app
