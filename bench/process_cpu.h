#pragma once

// The processor time of another process, read from /proc: benches that run
// the real program measure it from outside, as a user's tools would.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

#include <optional>

namespace kv::bench {

// User plus system time of a running process, in seconds.
inline std::optional<double> processCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray line = stat.readAll();
    // The fields after the command name, which may hold blanks, in brackets.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return std::nullopt;
    }
    return (fields[11].toDouble() + fields[12].toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

}  // namespace kv::bench
