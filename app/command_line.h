#pragma once

// The program's command line. Classic switches are judged by their second
// character only (the first is normally "/" or "-"): I sets the instance
// suffix, Q starts hidden. Long options ("--camera NAME=URI", "--headless",
// "--status") are ours and are neither upper-cased nor counted as arguments.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace kv::app {

struct CommandLine {
    QString instanceSuffix;                  // 0 or 1 character
    bool hidden = false;                     // the Q switch
    bool headless = false;                   // --headless: the recorder without a window
    bool status = false;                     // --status: ask the running recorder
    int argumentCount = 0;                   // classic arguments, for the single-instance rule
    QList<QPair<QString, QString>> cameras;  // --camera "NAME=URI", in the given order
    QStringList problems;                    // malformed long options, reported and ignored
    QStringList unknownOptions;              // long options that are none of ours
};

// Reads the arguments that follow the program name.
CommandLine parseCommandLine(const QStringList& arguments);

}  // namespace kv::app
