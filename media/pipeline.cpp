#include "media/pipeline.h"

namespace kv::media {

Element makeElement(const char* factory, const char* name) {
    return adopt(gst_element_factory_make(factory, name));
}

QString describeError(const GError* error, const gchar* debug) {
    QString reason = error && error->message && *error->message ? QString::fromUtf8(error->message)
                                                                : QStringLiteral("unknown error");
    if (debug) {
        const QString detail = QString::fromUtf8(debug).section(QLatin1Char('\n'), -1).trimmed();
        // A source location says nothing to whoever reads the reason.
        if (!detail.isEmpty() && !detail.contains(QLatin1String(".c(")) &&
            !reason.contains(detail)) {
            reason += QStringLiteral(" (%1)").arg(detail);
        }
    }
    return reason;
}

QString describeError(GstMessage* message) {
    Error error;
    Chars debug;
    if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        gst_message_parse_error(message, error.out(), debug.out());
    } else if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING) {
        gst_message_parse_warning(message, error.out(), debug.out());
    }
    return describeError(error.get(), debug.get());
}

bool Pipeline::create(const char* name) {
    reset();
    element_ = adopt(gst_pipeline_new(name));
    return static_cast<bool>(element_);
}

bool Pipeline::openLog(const QString& fileName, GstDebugLevel level, GraphLog::Writing writing,
                       std::vector<std::string> categories) {
    log_ = element_
               ? GraphLog::open(fileName, element_.get(), level, writing, std::move(categories))
               : nullptr;
    return static_cast<bool>(log_);
}

BusObserver& Pipeline::watchBus(BusObserver::Filter filter) {
    bus_ = std::make_unique<BusObserver>(element_ ? adopt(gst_element_get_bus(element_.get()))
                                                  : Bus());
    bus_->addFilter(std::move(filter));
    return *bus_;
}

void Pipeline::stop() {
    if (element_) {
        // Downward changes complete before this returns, streaming threads included.
        gst_element_set_state(element_.get(), GST_STATE_NULL);
    }
}

void Pipeline::reset() {
    stop();
    // The log goes only once the streaming threads that write it are gone.
    log_.reset();
    bus_.reset();
    element_.reset();
}

}  // namespace kv::media
