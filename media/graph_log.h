#pragma once

// A pipeline's log file ("CAPTURE.TXT", "LOG.TXT", "PLAYBACK.TXT"): while it is
// open it receives GStreamer's debug log of that pipeline and its elements and
// pads, up to its level. It is opened before a pipeline is built and closed
// once it runs. Every line it writes has the passwords of URIs taken out.

#include <gst/gst.h>

#include <QString>

#include <cstdio>
#include <memory>

namespace kv::media {

// Makes GStreamer's printing of its debug log on standard error (GST_DEBUG)
// take the passwords out of URIs, as the log files do. Called once GStreamer
// is initialised; GST_DEBUG_FILE keeps GStreamer's own printer.
void redactTerminalLog();

class GraphLog {
  public:
    // Creates (mode 0600) or truncates the file (in the working folder when
    // the name is relative), never through a link: a symbolic or second hard
    // link at the name is replaced by a new file. Returns null, with one
    // warning, when the file cannot be created or the name holds something
    // else than a file of the user's; the pipeline
    // then runs without a log. GStreamer formats every message up to the
    // highest level of the open logs, for every pipeline, so a lower level is
    // cheaper.
    static std::unique_ptr<GraphLog> open(const QString& fileName, GstElement* pipeline,
                                          GstDebugLevel level = GST_LEVEL_DEBUG);
    ~GraphLog();

    GraphLog(const GraphLog&) = delete;
    GraphLog& operator=(const GraphLog&) = delete;

  private:
    GraphLog(std::FILE* file, GstElement* pipeline, GstDebugLevel level);
    static void logFunction(GstDebugCategory* category, GstDebugLevel level, const gchar* file,
                            const gchar* function, gint line, GObject* object,
                            GstDebugMessage* message, gpointer self);
    bool belongs(GObject* object) const;

    std::FILE* file_;       // written under the list's lock, from any thread
    GstElement* pipeline_;  // not owned: the log lives shorter than the build
    GstDebugLevel level_;
};

}  // namespace kv::media
