#pragma once

// The recording pipeline: frames handed over by the frame loop go through the
// push source, an optional encoder chosen by friendly name, the AVI muxer and
// a file sink into one AVI file. A pipeline is built for every file and
// finished by close(), which sends EOS so that the muxer writes its index and
// final header before the file is let go.
//
//   appsrc ! [videoconvert ! video/x-raw,format=I420 ! queue ! encoder] ! avimux ! fdsink
//
// The program opens the file itself (see DiskSync): every frame reaches the
// kernel as it is written and the disk within two seconds, and a file the
// muxer cannot finish (a write error, a muxer that does not end in time) is
// repaired as soon as its pipeline has stopped.

#include "media/frame.h"
#include "media/graph_log.h"
#include "media/gst_handle.h"
#include "media/pipeline.h"
#include "media/push_source.h"
#include "record/disk_sync.h"
#include "record/journal.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kv::record {

enum class RecordBuild {
    Running,
    // The caller shows "Record source filter not available. \n\n".
    SourceMissing,
};

struct RecordGraphParams {
    QString fileName;          // from NewRecordFileName
    QString compressor;        // friendly name; unknown names record uncompressed
    double quality = 0.8;      // 0.0 .. 1.0
    int keyFrameRate = 10;     // 0 or less keeps the encoder's own
    int playInterval_ms = 40;  // length of one frame in the file
    int width = 0;             // frame size; 0 x 0 when the capture format
    int height = 0;            // is unknown
    bool debug = false;        // "LOG.TXT" in the working folder
};

struct RecordCounters {
    std::uint64_t pushed = 0;
    std::uint64_t dropped = 0;  // the pipeline fell behind
    std::uint64_t failed = 0;   // refused or not taken
};

class RecordGraph : public QObject {
    Q_OBJECT
  public:
    explicit RecordGraph(QObject* parent = nullptr);
    ~RecordGraph() override;

    // Builds and runs a new pipeline writing params.fileName. Call only when
    // nothing is built. On SourceMissing everything built is closed again.
    // With a frame size of 0 x 0 nothing can be recorded: the graph counts as
    // built and refuses every push, but no file is created.
    RecordBuild build(const RecordGraphParams& params);

    // Set by the last build when the compressor was found but could not be
    // added or linked; the file is then written uncompressed. The code is the
    // GstPadLinkReturn of the failed link, or -1 when the encoder could not be
    // added. Show it with compressorFailureText().
    std::optional<int> compressorFailure() const { return compressorFailure_; }
    static QString compressorFailureText(int code);

    // How close() finishes a file that got frames: by waiting for the muxer's
    // EOS (at most 10 s), or in the background while the caller goes on (a
    // rotation must not stall the frame loop while an encoder drains).
    enum class Finish { Wait, Background };

    // Ends the stream and finishes the file, then stops the pipeline and lets
    // everything go. Safe when nothing is
    // built, on a half-built graph and after a pipeline error. A file that got
    // no frame is removed: no player opens an AVI without frames (through an
    // encoder its header does not even name a format). Only a file this build
    // created is ever removed.
    void close(Finish finish = Finish::Wait);

    // Files still finishing in the background.
    int finishing() const { return int(finishing_.size()); }
    // Waits (bounded) until every file closed in the background is finished
    // and on the disk; false when some were given up. For quitting.
    bool waitForFinished(int timeout_ms);

    // The thread that syncs and finishes this graph's files.
    const DiskSync& diskSync() const { return *sync_; }

    bool exists() const { return built_; }
    // The pipeline reported a failure since the last build.
    bool failed() const { return failed_; }
    // Whether a file is being written (false without a frame size).
    bool writing() const { return static_cast<bool>(pipeline_); }
    QString fileName() const { return fileName_; }

    // Hands one frame to the push source: a top-down frame with an owner is
    // kept by it unwritten until encoded, any other is copied before return.
    // Never waits; false when the frame was dropped or refused. A frame taken
    // gets its line in the journal beside the file (its frame number is set
    // here: the frame's position in the file).
    bool push(const std::uint8_t* pixels, const media::BITMAPINFOHEADER& header,
              std::int64_t duration_100ns, const JournalLine* line = nullptr,
              media::FrameOwner owner = {});

    // Of the file being written, or after close() of the last one.
    RecordCounters counters() const;

    // The encoder in the pipeline, named "Video Compressor"; null when none.
    GstElement* compressor() const { return compressor_.get(); }
    GstElement* pipeline() const { return pipeline_.get(); }

  Q_SIGNALS:
    // The file cannot be written any further (disk full, no permission, or
    // another failure of the pipeline), or what is written is lost: the
    // reason is then "the recording folder is gone" or "the recording file
    // was deleted", noticed within a few seconds. Emitted once per file,
    // from the event loop, never while close() runs. What was written so far
    // stays readable; the receiver is expected to close the graph.
    void writeError(const QString& fileName, const QString& reason);
    // A file closed in the background is finished (or was given up).
    void finished(const QString& fileName);

  private:
    class Finishing;

    void onMessage(GstMessage* message);
    void finishFile(Finishing* file);
    void reportFailure(const QString& reason);
    bool linkCompressor(GstPad* muxPad);
    bool linkRaw(GstPad* muxPad);
    void releasePipeline();
    void checkFileLost();

    // Outlives every file below: destroyed last, after the last one is let go.
    std::unique_ptr<DiskSync> sync_;
    // --- main thread only
    QTimer* lostCheck_;
    std::shared_ptr<RecordingFile> file_;
    std::shared_ptr<RecordingFile> journal_;  // the recording's CSV beside it
    qint64 journalFrames_ = 0;
    std::unique_ptr<media::PushSource> source_;
    media::Pipeline pipeline_;
    media::Element compressor_;
    media::Element mux_;
    media::Pad muxPad_;
    std::vector<std::unique_ptr<Finishing>> finishing_;
    std::optional<int> compressorFailure_;
    RecordCounters lastCounters_;
    std::uint64_t refused_ = 0;     // pushes after the pipeline failed
    std::uint64_t generation_ = 0;  // one per file; stale error reports are dropped
    QString fileName_;
    QString errorReason_;
    bool built_ = false;
    bool failed_ = false;   // the pipeline posted an error
    bool closing_ = false;  // errors are only logged while close() runs
};

}  // namespace kv::record
