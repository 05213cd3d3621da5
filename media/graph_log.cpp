#include "media/graph_log.h"

#include <QFile>

#include <algorithm>
#include <mutex>
#include <vector>

namespace kv::media {

namespace {

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

std::unique_ptr<GraphLog> GraphLog::open(const QString& fileName, GstElement* pipeline,
                                         GstDebugLevel level) {
    std::FILE* file = std::fopen(QFile::encodeName(fileName).constData(), "w+");
    if (!file) {
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
            gRemovedDefault = gst_debug_remove_log_function(gst_debug_log_default) > 0;
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
                gst_debug_add_log_function(gst_debug_log_default, nullptr, nullptr);
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
        std::fprintf(log->file_, "%-7s %-20s %s:%d:%s:<%s%s%s> %s\n",
                     gst_debug_level_get_name(level), gst_debug_category_get_name(category), file,
                     line, function, parentName, parent ? ":" : "", name, text ? text : "");
    }
    inside = false;
}

}  // namespace kv::media
