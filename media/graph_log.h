#pragma once

// A pipeline's log file ("CAPTURE.TXT", "LOG.TXT", "PLAYBACK.TXT"): while it is
// open it receives GStreamer's debug log of that pipeline and its elements and
// pads, up to its level. It is opened before a pipeline is built and closed
// once it runs. Every line it writes has the passwords of URIs taken out.

#include <gst/gst.h>

#include <QByteArray>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace kv::media {

// Makes GStreamer's printing of its debug log on standard error (GST_DEBUG)
// take the passwords out of URIs, as the log files do. Called once GStreamer
// is initialised; GST_DEBUG_FILE keeps GStreamer's own printer.
void redactTerminalLog();

class GraphLog {
  public:
    // How the text reaches the file. Lines are gathered in memory and written
    // by a thread of its own, in order, so no pipeline thread waits on the
    // disk; Direct waits at the close until the file holds them all.
    // Background does not, and leaves the making of the file to that thread
    // as well (a load must not wait for its log): open() then never fails,
    // and a file that cannot be made is told by the warning alone.
    enum class Writing { Direct, Background };

    // Makes the file anew (mode 0600; in the working folder when the name is
    // relative), never through a link: whatever was at the name, a symbolic
    // or second hard link included, is replaced by a new file. Returns null,
    // with one warning, when the file cannot be created or the name holds
    // something else than a file of the user's; the pipeline then runs
    // without a log. Every message of every pipeline up to the highest level
    // of the open logs reaches the log function, so a lower level is cheaper.
    // With categories named (GStreamer's names, "GST_STATES"), the log takes
    // those up to its level and every other one up to FIXME (errors,
    // warnings), and only those reach the log function.
    static std::unique_ptr<GraphLog> open(const QString& fileName, GstElement* pipeline,
                                          GstDebugLevel level = GST_LEVEL_DEBUG,
                                          Writing writing = Writing::Direct,
                                          std::vector<std::string> categories = {});
    ~GraphLog();

    // Waits (bounded) until every closed log is in its file; false on time-out.
    static bool waitWritten(int timeout_ms);

    GraphLog(const GraphLog&) = delete;
    GraphLog& operator=(const GraphLog&) = delete;

  private:
    GraphLog(int fd, GstElement* pipeline, GstDebugLevel level, Writing writing,
             std::vector<std::string> categories);
    static void logFunction(GstDebugCategory* category, GstDebugLevel level, const gchar* file,
                            const gchar* function, gint line, GObject* object,
                            GstDebugMessage* message, gpointer self);
    bool takes(GstDebugCategory* category, GstDebugLevel level) const;
    bool belongs(GObject* object) const;

    int fd_;                // written by the writer thread only; negative: made by the writer
    QByteArray path_;       // the file the writer makes
    bool created_ = false;  // the writer was told to make it
    GstElement* pipeline_;  // not owned: the log lives shorter than the build
    GstDebugLevel level_;
    Writing writing_;
    std::vector<std::string> categories_;  // empty: every category
    std::vector<GstDebugCategory*> raised_;
    std::string pending_;  // lines not yet handed to the writer; under the list's lock
};

}  // namespace kv::media
