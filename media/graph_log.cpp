#include "media/graph_log.h"

#include <QFile>

namespace kv::media {

namespace {

// Open logs share one raised threshold; the first one in saves the old state.
std::mutex gStateMutex;
int gOpenLogs = 0;
GstDebugLevel gSavedThreshold = GST_LEVEL_NONE;
bool gRemovedDefault = false;
bool gWasActive = false;

void raiseThreshold() {
    std::lock_guard lock(gStateMutex);
    if (gOpenLogs++ > 0) {
        return;
    }
    gSavedThreshold = gst_debug_get_default_threshold();
    gWasActive = gst_debug_is_active();
    // Our file gets the detail; the terminal keeps only what the user asked for.
    if (qEnvironmentVariableIsEmpty("GST_DEBUG")) {
        gRemovedDefault = gst_debug_remove_log_function(gst_debug_log_default) > 0;
    }
    gst_debug_set_active(TRUE);
    gst_debug_set_default_threshold(GST_LEVEL_DEBUG);
}

void restoreThreshold() {
    std::lock_guard lock(gStateMutex);
    if (--gOpenLogs > 0) {
        return;
    }
    gst_debug_set_default_threshold(gSavedThreshold);
    gst_debug_set_active(gWasActive);
    if (gRemovedDefault) {
        gst_debug_add_log_function(gst_debug_log_default, nullptr, nullptr);
        gRemovedDefault = false;
    }
}

}  // namespace

std::unique_ptr<GraphLog> GraphLog::open(const QString& fileName, GstElement* pipeline) {
    std::FILE* file = std::fopen(QFile::encodeName(fileName).constData(), "w+");
    if (!file) {
        return nullptr;
    }
    return std::unique_ptr<GraphLog>(new GraphLog(file, pipeline));
}

GraphLog::GraphLog(std::FILE* file, GstElement* pipeline) : file_(file), pipeline_(pipeline) {
    raiseThreshold();
    gst_debug_add_log_function(&GraphLog::logFunction, this, nullptr);
}

GraphLog::~GraphLog() {
    gst_debug_remove_log_function_by_data(this);
    restoreThreshold();
    std::lock_guard lock(mutex_);
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
                           GstDebugMessage* message, gpointer self) {
    auto* log = static_cast<GraphLog*>(self);
    if (!log->belongs(object)) {
        return;
    }
    const gchar* text = gst_debug_message_get(message);
    GstObject* gstObject = GST_OBJECT_CAST(object);
    const gchar* name = GST_OBJECT_NAME(gstObject) ? GST_OBJECT_NAME(gstObject) : "";
    GstObject* parent = GST_IS_PAD(object) ? GST_OBJECT_PARENT(gstObject) : nullptr;
    const gchar* parentName = parent && GST_OBJECT_NAME(parent) ? GST_OBJECT_NAME(parent) : "";
    std::lock_guard lock(log->mutex_);
    std::fprintf(log->file_, "%-7s %-20s %s:%d:%s:<%s%s%s> %s\n",
                 gst_debug_level_get_name(level), gst_debug_category_get_name(category), file,
                 line, function, parentName, parent ? ":" : "", name, text ? text : "");
}

}  // namespace kv::media
