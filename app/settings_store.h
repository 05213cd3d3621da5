#pragma once

// The settings' home on disk: one INI file per instance in the user's
// configuration folder, "Brannowerks/Kestrelvision<suffix>.conf", with the main
// key's values at the top level and the groups [FTP] and [TCP] for the subkeys.
// The file holds the upload password, so it is kept readable by its owner only.

#include "app/settings.h"

#include <QString>

namespace kv::app {

class SettingsStore {
  public:
    // instanceSuffix: at most one character (more is cut to the first); any
    // character but a letter or digit is percent-encoded in the file name.
    explicit SettingsStore(QString instanceSuffix = {});

    QString filePath() const { return path_; }

    // Fills every setting. A missing integer, bool or time, or any value that is
    // not of its type, gives every default except AVIPath and TempPath, which keep
    // what was read. Empty paths become defaultDataFolder(), which is created.
    // Creates the file (empty) when it is missing. A file that held values but
    // could not be used is first copied to "<file>.corrupt". Never shows anything.
    Settings load(int defaultTop, int defaultLeft);

    // Writes every setting except TempPath, atomically. On failure returns false
    // and, when error is given, a text naming the file.
    bool save(const Settings& settings, QString* error);

  private:
    bool ensurePrivateFile(QString* why) const;
    QString preserveFile() const;

    QString path_;
    bool replaceOnSave_ = false;  // the last load found the file unreadable
};

// The settings as a recorder takes them, window or headless: read from the
// store, the recording folder made whole, and the cameras the file names
// offered.
Settings loadRecorderSettings(SettingsStore& store, int defaultTop, int defaultLeft);

}  // namespace kv::app
