#include "media/graph_log.h"

#include "media/gst_handle.h"
#include "media/redact.h"

#include <QFile>
#include <QLoggingCategory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

Q_LOGGING_CATEGORY(lcGraphLog, "kv.media.graphlog", QtInfoMsg)

namespace kv::media {

namespace {

// The log files live in the working folder, which may be shared: a name that
// someone planted there is never written through. A symbolic link or a second
// hard link is removed and the file made afresh; a file of another user, a
// FIFO or anything else that is not a plain file of ours is left alone and the
// log skipped. Our own file is truncated and made private.
int openLogFile(const QByteArray& path, QString& problem) {
    constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(path.constData(), kFlags | O_CREAT, 0600);
        struct stat info {};
        if (fd < 0 && errno != ELOOP) {
            // ENXIO: a FIFO that nobody reads.
            problem = errno == ENXIO ? QStringLiteral("it is not a regular file")
                                     : QString::fromLocal8Bit(std::strerror(errno));
            return -1;
        }
        if (fd >= 0 && ::fstat(fd, &info) != 0) {
            problem = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            return -1;
        }
        const bool link = fd < 0;  // ELOOP: the name is a symbolic link
        if (!link && (!S_ISREG(info.st_mode) || info.st_uid != ::getuid())) {
            ::close(fd);
            problem = S_ISREG(info.st_mode) ? QStringLiteral("it belongs to another user")
                                            : QStringLiteral("it is not a regular file");
            return -1;
        }
        if (!link && info.st_nlink == 1) {
            if (::ftruncate(fd, 0) != 0 || ::fchmod(fd, 0600) != 0) {
                problem = QString::fromLocal8Bit(std::strerror(errno));
                ::close(fd);
                return -1;
            }
            return fd;
        }
        // A link, or our file under a second name: only the name goes.
        if (fd >= 0) {
            ::close(fd);
        }
        if (::unlink(path.constData()) != 0) {
            problem = QString::fromLocal8Bit(std::strerror(errno));
            return -1;
        }
        fd = ::open(path.constData(), kFlags | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            return fd;
        }
        if (errno != EEXIST) {
            problem = QString::fromLocal8Bit(std::strerror(errno));
            return -1;
        }
        // Someone made the name again in between: look once more.
    }
    problem = QStringLiteral("the name keeps being replaced");
    return -1;
}

// GStreamer may still be inside a log function on a streaming thread after it
// has been removed, so one function stays installed for good and finds the
// open logs in this list, under its lock. A log leaves the list before it is
// freed, and nothing reaches it after that.
std::mutex gLogsMutex;  // the list only: GStreamer is never called under it
std::vector<GraphLog*> gLogs;
// The raised threshold, shared by every open log. GStreamer may log while we
// change it, which reaches the log function: so this is another lock.
std::mutex gStateMutex;
int gOpen = 0;
// How many open logs want each level; the threshold is the highest wanted.
int gWanted[GST_LEVEL_COUNT] = {};
bool gInstalled = false;
GstDebugLevel gSavedThreshold = GST_LEVEL_NONE;
bool gRemovedDefault = false;
// What prints GStreamer's debug log on standard error (when GST_DEBUG asks
// for one): GStreamer's own printer, or ours once redactTerminalLog() ran.
GstLogFunction gTerminal = gst_debug_log_default;

bool mayHoldSecrets(const gchar* line) {
    return std::strchr(line, '@') || g_strrstr(line, "uthorization") ||
           g_strrstr(line, "UTHORIZATION");
}

void writeRedacted(const gchar* line, std::FILE* file) {
    if (mayHoldSecrets(line)) {
        std::fputs(redactUri(QString::fromUtf8(line)).toUtf8().constData(), file);
    } else {
        std::fputs(line, file);
    }
}

// GStreamer's line without its colours, passwords taken out.
void terminalLogFunction(GstDebugCategory* category, GstDebugLevel level, const gchar* file,
                         const gchar* function, gint line, GObject* object,
                         GstDebugMessage* message, gpointer) {
    Chars text =
        adopt(gst_debug_log_get_line(category, level, file, function, line, object, message));
    if (text) {
        writeRedacted(text.get(), stderr);
    }
}

GstDebugLevel highestWanted() {
    for (int level = GST_LEVEL_COUNT - 1; level > GST_LEVEL_NONE; --level) {
        if (gWanted[level] > 0) {
            return GstDebugLevel(level);
        }
    }
    return GST_LEVEL_NONE;
}

// Never below what the user asked for.
void applyThreshold() {
    gst_debug_set_default_threshold(std::max(gSavedThreshold, highestWanted()));
}

}  // namespace

void redactTerminalLog() {
    std::lock_guard state(gStateMutex);
    // A debug file the user named keeps GStreamer's own printer.
    if (gTerminal != gst_debug_log_default || !qEnvironmentVariableIsEmpty("GST_DEBUG_FILE")) {
        return;
    }
    if (gOpen > 0) {
        return;  // taken out by an open log
    }
    // GStreamer's macro for this call is a bare conditional expression: its
    // result is taken alone, never inside a larger one.
    const guint removed = (gst_debug_remove_log_function(gst_debug_log_default));
    if (removed == 0) {
        return;  // not installed: nothing to replace
    }
    gTerminal = &terminalLogFunction;
    gst_debug_add_log_function(gTerminal, nullptr, nullptr);
}

std::unique_ptr<GraphLog> GraphLog::open(const QString& fileName, GstElement* pipeline,
                                         GstDebugLevel level) {
    QString problem;
    const int fd = openLogFile(QFile::encodeName(fileName), problem);
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "w") : nullptr;
    if (!file) {
        if (fd >= 0) {
            problem = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
        }
        qCWarning(lcGraphLog).noquote() << "no log in" << fileName << "-" << problem;
        return nullptr;
    }
    return std::unique_ptr<GraphLog>(new GraphLog(file, pipeline, level));
}

GraphLog::GraphLog(std::FILE* file, GstElement* pipeline, GstDebugLevel level)
    : file_(file),
      pipeline_(pipeline),
      level_(std::clamp(level, GST_LEVEL_ERROR, GstDebugLevel(GST_LEVEL_COUNT - 1))) {
    std::lock_guard state(gStateMutex);
    if (!gInstalled) {
        gst_debug_add_log_function(&GraphLog::logFunction, nullptr, nullptr);
        gInstalled = true;
    }
    if (gOpen++ == 0) {
        gSavedThreshold = gst_debug_get_default_threshold();
        // Our file gets the detail; the terminal keeps only what the user asked for.
        if (qEnvironmentVariableIsEmpty("GST_DEBUG")) {
            gRemovedDefault = (gst_debug_remove_log_function(gTerminal)) > 0;
        }
        // Not gst_debug_set_active(): it sends every message of every level,
        // in every pipeline, through the log functions. Raising the threshold
        // lets through only what the logs keep.
    }
    if (gWanted[level_]++ == 0) {
        applyThreshold();
    }
    std::lock_guard list(gLogsMutex);
    gLogs.push_back(this);
}

GraphLog::~GraphLog() {
    {
        std::lock_guard list(gLogsMutex);
        gLogs.erase(std::remove(gLogs.begin(), gLogs.end(), this), gLogs.end());
    }
    {
        std::lock_guard state(gStateMutex);
        --gWanted[level_];
        if (--gOpen == 0) {
            gst_debug_set_default_threshold(gSavedThreshold);
            if (gRemovedDefault) {
                gst_debug_add_log_function(gTerminal, nullptr, nullptr);
                gRemovedDefault = false;
            }
        } else if (gWanted[level_] == 0) {
            applyThreshold();
        }
    }
    std::fclose(file_);
}

bool GraphLog::belongs(GObject* object) const {
    if (!object || !pipeline_ || !GST_IS_OBJECT(object)) {
        return false;
    }
    // No object locks here: the message may be logged while one is held. The
    // parent chain is read the way GStreamer's own log printer reads it.
    for (GstObject* o = GST_OBJECT_CAST(object); o; o = GST_OBJECT_PARENT(o)) {
        if (o == GST_OBJECT_CAST(pipeline_)) {
            return true;
        }
    }
    return false;
}

void GraphLog::logFunction(GstDebugCategory* category, GstDebugLevel level, const gchar* file,
                           const gchar* function, gint line, GObject* object,
                           GstDebugMessage* message, gpointer) {
    // Formatting a message can log in turn (a structure that does not print);
    // such a nested message is dropped rather than locking the list twice.
    thread_local bool inside = false;
    if (inside) {
        return;
    }
    inside = true;
    std::lock_guard lock(gLogsMutex);
    for (GraphLog* log : gLogs) {
        if (level > log->level_ || !log->belongs(object)) {
            continue;
        }
        const gchar* text = gst_debug_message_get(message);
        GstObject* gstObject = GST_OBJECT_CAST(object);
        const gchar* name = GST_OBJECT_NAME(gstObject) ? GST_OBJECT_NAME(gstObject) : "";
        GstObject* parent = GST_IS_PAD(object) ? GST_OBJECT_PARENT(gstObject) : nullptr;
        const gchar* parentName = parent && GST_OBJECT_NAME(parent) ? GST_OBJECT_NAME(parent) : "";
        Chars formatted = adopt(
            g_strdup_printf("%-7s %-20s %s:%d:%s:<%s%s%s> %s\n", gst_debug_level_get_name(level),
                            gst_debug_category_get_name(category), file, line, function, parentName,
                            parent ? ":" : "", name, text ? text : ""));
        // Camera URIs and their passwords show up in many elements' messages.
        writeRedacted(formatted.get(), log->file_);
    }
    inside = false;
}

}  // namespace kv::media
