#include "media/graph_log.h"

#include "media/gst_handle.h"
#include "media/redact.h"

#include <QFile>
#include <QLoggingCategory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

Q_LOGGING_CATEGORY(lcGraphLog, "kv.media.graphlog", QtInfoMsg)

namespace kv::media {

namespace {

// The log files live in the working folder, which may be shared: a name that
// someone planted there is never written through. Each log is a new private
// file: a symbolic link, or a plain file of ours (under that name only, when
// it has others), is removed first; a file of another user, a FIFO or anything
// else is left alone and the log skipped. Never emptied in place: truncating
// a file just written makes the file system flush it first (milliseconds).
int openLogFile(const QByteArray& path, QString& problem) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat info {};
        if (::lstat(path.constData(), &info) == 0) {
            const bool ours = S_ISREG(info.st_mode) && info.st_uid == ::getuid();
            if (!S_ISLNK(info.st_mode) && !ours) {
                problem = S_ISREG(info.st_mode) ? QStringLiteral("it belongs to another user")
                                                : QStringLiteral("it is not a regular file");
                return -1;
            }
            // Only the name goes: a link's target and a second name's file stay.
            if (::unlink(path.constData()) != 0 && errno != ENOENT) {
                problem = QString::fromLocal8Bit(std::strerror(errno));
                return -1;
            }
        } else if (errno != ENOENT) {
            problem = QString::fromLocal8Bit(std::strerror(errno));
            return -1;
        }
        const int fd = ::open(path.constData(), kFlags, 0600);
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

bool mayHoldSecrets(std::string_view text) {
    constexpr std::string_view kLower = "uthorization";
    constexpr std::string_view kUpper = "UTHORIZATION";
    return text.find('@') != std::string_view::npos ||
           text.find(kLower) != std::string_view::npos ||
           text.find(kUpper) != std::string_view::npos;
}

// Camera URIs and their passwords show up in many elements' messages. Taken
// out by the writer, line by line, so that the pipeline's threads only copy.
std::string redactedLines(const std::string& text) {
    if (!mayHoldSecrets(text)) {
        return text;
    }
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line(text.data() + at, end - at);
        if (mayHoldSecrets(line)) {
            out += redactUri(QString::fromUtf8(line.data(), qsizetype(line.size())))
                       .toUtf8()
                       .toStdString();
        } else {
            out += line;
        }
        if (end < text.size()) {
            out += '\n';
        }
        at = end + 1;
    }
    return out;
}

// Writes the logs' text to their files, in the order handed over, on a thread
// of its own that starts with the first log and drains at exit.
class LogWriter {
  public:
    static LogWriter& instance() {
        static LogWriter writer;
        return writer;
    }

    // A log made by the writer is known by a negative number until then.
    void create(int id, const QByteArray& path) { push({Job::Create, id, path.toStdString()}); }
    void write(int fd, std::string text) { push({Job::Write, fd, std::move(text)}); }
    void close(int fd) { push({Job::Close, fd, {}}); }

    bool waitIdle(int timeout_ms) {
        std::unique_lock lock(mutex_);
        return idle_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                              [this] { return jobs_.empty() && !busy_; });
    }

    // Whether the writer still holds a job for fd (its close included).
    bool holds(int fd) {
        std::lock_guard lock(mutex_);
        return (busy_ && current_ == fd) ||
               std::any_of(jobs_.begin(), jobs_.end(),
                           [fd](const Job& job) { return job.fd == fd; });
    }

  private:
    struct Job {
        enum Kind { Create, Write, Close } kind;
        int fd;
        std::string text;  // the path, for Create
    };

    LogWriter() : thread_([this] { run(); }) {}
    ~LogWriter() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    void push(Job job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_all();
    }

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (jobs_.empty()) {
                return;  // stopping, and everything written
            }
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
            current_ = job.fd;
            lock.unlock();
            perform(job);
            lock.lock();
            busy_ = false;
            current_ = -1;
            if (jobs_.empty()) {
                idle_.notify_all();
            }
        }
    }

    void perform(const Job& job) {
        int fd = job.fd;
        if (fd < 0) {
            const auto made = made_.find(job.fd);
            fd = made == made_.end() ? -1 : made->second;
        }
        switch (job.kind) {
            case Job::Create: {
                QString problem;
                made_[job.fd] = openLogFile(QByteArray::fromStdString(job.text), problem);
                if (made_[job.fd] < 0) {
                    qCWarning(lcGraphLog).noquote()
                        << "no log in" << QFile::decodeName(job.text.c_str()) << "-" << problem;
                }
                break;
            }
            case Job::Write: {
                if (fd < 0) {
                    break;  // not made
                }
                const std::string text = redactedLines(job.text);
                std::size_t done = 0;
                while (done < text.size()) {
                    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
                    if (n < 0 && errno == EINTR) {
                        continue;
                    }
                    if (n <= 0) {
                        break;  // a full disk: the rest of this log is lost
                    }
                    done += std::size_t(n);
                }
                break;
            }
            case Job::Close:
                if (fd >= 0) {
                    ::close(fd);
                }
                made_.erase(job.fd);
                break;
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> jobs_;
    bool busy_ = false;
    int current_ = -1;
    bool stop_ = false;
    std::map<int, int> made_;  // the writer's thread only
    std::thread thread_;
};

// Lines are handed to the writer in pieces of about this size.
constexpr std::size_t kHandOver_bytes = 64 * 1024;
// Room for a load's log (about 17 KB) without growing on a pipeline thread.
constexpr std::size_t kReserve_bytes = kHandOver_bytes + 4 * 1024;

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
// How many open logs of every category want each level; the default
// threshold is the highest wanted.
int gWanted[GST_LEVEL_COUNT] = {};
// Open logs of a few categories: how many, and the categories they raise.
int gLimited = 0;
std::vector<std::pair<GstDebugCategory*, GstDebugLevel>> gRaised;
// Categories found by name so far; GStreamer never frees one.
std::vector<std::pair<std::string, GstDebugCategory*>> gFound;
bool gInstalled = false;
GstDebugLevel gSavedThreshold = GST_LEVEL_NONE;
bool gRemovedDefault = false;
// What prints GStreamer's debug log on standard error (when GST_DEBUG asks
// for one): GStreamer's own printer, or ours once redactTerminalLog() ran.
GstLogFunction gTerminal = gst_debug_log_default;

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

// Never below what the user asked for. Raising the default threshold sends
// every category's messages to the log function, to be formatted when they
// are a logged pipeline's; a log of a few categories raises only those (the
// rest up to FIXME), which is what makes it cheap.
void applyThresholds() {
    GstDebugLevel base = std::max(gSavedThreshold, highestWanted());
    if (gLimited > 0) {
        base = std::max(base, GST_LEVEL_FIXME);
    }
    gst_debug_set_default_threshold(base);  // every category back to it
    for (const auto& [category, level] : gRaised) {
        if (level > gst_debug_category_get_threshold(category)) {
            gst_debug_category_set_threshold(category, level);
        }
    }
}

// A plugin's category exists once the plugin is loaded: null before.
GstDebugCategory* findCategory(const std::string& name) {
    for (const auto& [known, category] : gFound) {
        if (known == name) {
            return category;
        }
    }
    GSList* all = gst_debug_get_all_categories();
    GstDebugCategory* found = nullptr;
    for (GSList* item = all; item && !found; item = item->next) {
        auto* category = static_cast<GstDebugCategory*>(item->data);
        if (name == gst_debug_category_get_name(category)) {
            found = category;
        }
    }
    g_slist_free(all);
    if (found) {
        gFound.emplace_back(name, found);
    }
    return found;
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
                                         GstDebugLevel level, Writing writing,
                                         std::vector<std::string> categories) {
    if (writing == Writing::Background) {
        // Made by the writer: the load does not wait for the file system.
        static std::atomic<int> made{0};
        auto log = std::unique_ptr<GraphLog>(
            new GraphLog(-++made, pipeline, level, writing, std::move(categories)));
        log->path_ = QFile::encodeName(fileName);
        return log;
    }
    QString problem;
    const int fd = openLogFile(QFile::encodeName(fileName), problem);
    if (fd < 0) {
        qCWarning(lcGraphLog).noquote() << "no log in" << fileName << "-" << problem;
        return nullptr;
    }
    return std::unique_ptr<GraphLog>(
        new GraphLog(fd, pipeline, level, writing, std::move(categories)));
}

bool GraphLog::waitWritten(int timeout_ms) {
    return LogWriter::instance().waitIdle(timeout_ms);
}

GraphLog::GraphLog(int fd, GstElement* pipeline, GstDebugLevel level, Writing writing,
                   std::vector<std::string> categories)
    : fd_(fd),
      pipeline_(pipeline),
      level_(std::clamp(level, GST_LEVEL_ERROR, GstDebugLevel(GST_LEVEL_COUNT - 1))),
      writing_(writing),
      categories_(std::move(categories)) {
    pending_.reserve(kReserve_bytes);
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
    if (categories_.empty()) {
        ++gWanted[level_];
    } else {
        ++gLimited;
        for (const std::string& name : categories_) {
            if (GstDebugCategory* category = findCategory(name)) {
                raised_.push_back(category);
                gRaised.emplace_back(category, level_);
            }
        }
    }
    applyThresholds();
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
        if (categories_.empty()) {
            --gWanted[level_];
        } else {
            --gLimited;
            for (GstDebugCategory* category : raised_) {
                const auto at =
                    std::find(gRaised.begin(), gRaised.end(), std::pair{category, level_});
                if (at != gRaised.end()) {
                    gRaised.erase(at);
                }
            }
        }
        if (--gOpen == 0) {
            gst_debug_set_default_threshold(gSavedThreshold);
            if (gRemovedDefault) {
                gst_debug_add_log_function(gTerminal, nullptr, nullptr);
                gRemovedDefault = false;
            }
        } else {
            applyThresholds();
        }
    }
    // Out of the list: nobody else touches the lines left.
    LogWriter& writer = LogWriter::instance();
    if (fd_ < 0 && !created_) {
        writer.create(fd_, path_);
    }
    if (!pending_.empty()) {
        writer.write(fd_, std::move(pending_));
    }
    writer.close(fd_);
    if (writing_ == Writing::Direct) {
        // Whoever closed it reads it next; the writer is quick, but bounded.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (writer.holds(fd_) && std::chrono::steady_clock::now() < until) {
            writer.waitIdle(10);
        }
    }
}

bool GraphLog::takes(GstDebugCategory* category, GstDebugLevel level) const {
    if (level > level_) {
        return false;
    }
    if (categories_.empty() || level <= GST_LEVEL_FIXME ||
        std::find(raised_.begin(), raised_.end(), category) != raised_.end()) {
        return true;
    }
    // Another log may have raised everything; a category loaded since the
    // open is known by its name.
    const char* name = gst_debug_category_get_name(category);
    return std::any_of(categories_.begin(), categories_.end(),
                       [name](const std::string& wanted) { return wanted == name; });
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

namespace {

// Appends text, then spaces up to width characters.
void appendPadded(std::string& line, const char* text, std::size_t width) {
    const std::size_t length = std::strlen(text);
    line.append(text, length);
    if (length < width) {
        line.append(width - length, ' ');
    }
}

}  // namespace

void GraphLog::logFunction(GstDebugCategory* category, GstDebugLevel level, const gchar* file,
                           const gchar* function, gint line, GObject* object,
                           GstDebugMessage* message, gpointer) {
    // Every message of every pipeline passes here: one without an object is
    // never a pipeline's, and none is formatted before it is known to be ours.
    if (!object) {
        return;
    }
    // Formatting a message can log in turn (a structure that does not print);
    // such a nested message is dropped rather than locking the list twice.
    thread_local bool inside = false;
    if (inside) {
        return;
    }
    inside = true;
    std::lock_guard lock(gLogsMutex);
    for (GraphLog* log : gLogs) {
        if (!log->takes(category, level) || !log->belongs(object)) {
            continue;
        }
        const gchar* text = gst_debug_message_get(message);
        GstObject* gstObject = GST_OBJECT_CAST(object);
        GstObject* parent = GST_IS_PAD(object) ? GST_OBJECT_PARENT(gstObject) : nullptr;
        // GStreamer's own layout, appended piece by piece: no formatting, and
        // no allocation while the reserve lasts. The writer redacts.
        std::string& out = log->pending_;
        appendPadded(out, gst_debug_level_get_name(level), 7);
        out += ' ';
        appendPadded(out, gst_debug_category_get_name(category), 20);
        out += ' ';
        out += file ? file : "";
        out += ':';
        char number[16];
        out.append(number, std::to_chars(number, number + sizeof number, line).ptr);
        out += ':';
        out += function ? function : "";
        out += ":<";
        if (parent) {
            out += GST_OBJECT_NAME(parent) ? GST_OBJECT_NAME(parent) : "";
            out += ':';
        }
        out += GST_OBJECT_NAME(gstObject) ? GST_OBJECT_NAME(gstObject) : "";
        out += "> ";
        out += text ? text : "";
        out += '\n';
        if (out.size() >= kHandOver_bytes) {
            if (log->fd_ < 0 && !log->created_) {
                LogWriter::instance().create(log->fd_, log->path_);
                log->created_ = true;
            }
            LogWriter::instance().write(log->fd_, std::move(out));
            out.clear();
            out.reserve(kReserve_bytes);
        }
    }
    inside = false;
}

}  // namespace kv::media
