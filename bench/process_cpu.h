#pragma once

// The processor time of another process, read from /proc: benches that run
// the real program measure it from outside, as a user's tools would.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <sys/resource.h>
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

// User plus system time of this process (RUSAGE_SELF) or of its finished
// children (RUSAGE_CHILDREN), in seconds.
inline double usageCpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace kv::bench
