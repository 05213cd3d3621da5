#include "app/command_line.h"

#include "media/redact.h"

namespace kv::app {

namespace {

const QString kCameraOption = QStringLiteral("--camera");

void addCamera(CommandLine& line, const QString& value) {
    const qsizetype eq = value.indexOf(QLatin1Char('='));
    if (eq <= 0 || eq == value.size() - 1) {
        // The value may hold a password: it never reaches the log.
        line.problems << QStringLiteral("--camera expects NAME=URI, got \"%1\"")
                             .arg(media::sanitizedText(value));
        return;
    }
    line.cameras.append({value.left(eq), value.mid(eq + 1)});
}

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.startsWith(QLatin1String("--"))) {
            if (argument == kCameraOption) {
                if (i + 1 < arguments.size()) {
                    addCamera(line, arguments[++i]);
                } else {
                    line.problems << QStringLiteral("--camera needs a value NAME=URI");
                }
            } else if (argument.startsWith(kCameraOption + QLatin1Char('='))) {
                addCamera(line, argument.mid(kCameraOption.size() + 1));
            } else if (argument == QLatin1String("--headless")) {
                line.headless = true;
            } else if (argument == QLatin1String("--status")) {
                line.status = true;
            } else {
                line.unknownOptions << argument;
            }
            continue;
        }
        ++line.argumentCount;
        const QString upper = argument.toUpper();
        if (upper.size() < 2) {
            continue;
        }
        if (upper[1] == QLatin1Char('I')) {
            line.instanceSuffix = upper.mid(2, 1);
        } else if (upper[1] == QLatin1Char('Q')) {
            line.hidden = true;
        }
    }
    return line;
}

}  // namespace kv::app
