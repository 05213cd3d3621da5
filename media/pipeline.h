#pragma once

// What every graph of the program shares: its elements made by factory name,
// the text of a GStreamer error, and the pipeline itself with its bus
// observer and optional log, stopped to NULL before anything is let go.

#include "media/bus_observer.h"
#include "media/graph_log.h"
#include "media/gst_handle.h"

#include <QString>

#include <memory>

namespace kv::media {

// Null when GStreamer has no such factory; the caller says what is missing.
Element makeElement(const char* factory, const char* name);

// The error's own text, and the system's reason where GStreamer gives one in
// the last line of its debug text ("No space left on device"). Never empty.
QString describeError(const GError* error, const gchar* debug = nullptr);
// The same for an ERROR or WARNING message; any other message has no error.
QString describeError(GstMessage* message);

class Pipeline {
  public:
    Pipeline() = default;
    ~Pipeline() { reset(); }
    Pipeline(Pipeline&&) noexcept = default;
    Pipeline& operator=(Pipeline&& other) noexcept {
        if (this != &other) {
            reset();
            element_ = std::move(other.element_);
            bus_ = std::move(other.bus_);
            log_ = std::move(other.log_);
        }
        return *this;
    }

    // Makes a new, empty pipeline, stopping and dropping any held before.
    // False when GStreamer cannot make one.
    bool create(const char* name);
    // Opens the pipeline's log file; false (the file says why) when it cannot.
    bool openLog(const QString& fileName, GstDebugLevel level = GST_LEVEL_DEBUG,
                 GraphLog::Writing writing = GraphLog::Writing::Direct,
                 std::vector<std::string> categories = {});
    void closeLog() { log_.reset(); }
    // Watches the bus from the event loop; the filter sees every message.
    BusObserver& watchBus(BusObserver::Filter filter);
    void unwatchBus() { bus_.reset(); }

    // Stops the streaming threads: once it returns no callback runs.
    void stop();
    // Stops, closes the log, the bus observer and lets the pipeline go.
    void reset();

    GstElement* get() const { return element_.get(); }
    GstBin* bin() const { return GST_BIN(element_.get()); }
    BusObserver* bus() const { return bus_.get(); }
    explicit operator bool() const { return static_cast<bool>(element_); }

  private:
    Element element_;
    std::unique_ptr<BusObserver> bus_;
    std::unique_ptr<GraphLog> log_;
};

}  // namespace kv::media
