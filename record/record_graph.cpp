#include "record/record_graph.h"

#include "media/compressors.h"
#include "media/device_catalogue.h"
#include "media/pipeline.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

Q_LOGGING_CATEGORY(lcRecordGraph, "kv.record.graph", QtInfoMsg)

namespace kv::record {

using media::adopt;
using media::describeError;
using media::Element;
using media::makeElement;
using media::Pad;

namespace {

// The muxer writes its index and final header when EOS reaches it; a file
// that takes longer than this is given up and left without an index.
constexpr int kFinish_ms = 10000;

// Stops a recording pipeline and gives its muxer's request pad back.
void stopPipeline(media::Pipeline& pipeline, Element& mux, Pad& muxPad) {
    pipeline.stop();
    if (muxPad) {
        gst_element_release_request_pad(mux.get(), muxPad.get());
    }
    muxPad.reset();
    mux.reset();
    pipeline.reset();
}

bool takesCaps(GstElement* element, GstCaps* caps) {
    Pad sink = adopt(gst_element_get_static_pad(element, "sink"));
    if (!sink) {
        return false;
    }
    media::Caps accepted = adopt(gst_pad_query_caps(sink.get(), nullptr));
    return accepted && gst_caps_can_intersect(accepted.get(), caps);
}

}  // namespace

RecordGraph::RecordGraph(QObject* parent)
    : QObject(parent), sync_(std::make_unique<DiskSync>()), lostCheck_(new QTimer(this)) {
    // The sync thread finds a file that lost its name; the loss is told from here.
    lostCheck_->setInterval(1000);
    connect(lostCheck_, &QTimer::timeout, this, &RecordGraph::checkFileLost);
}

RecordGraph::~RecordGraph() {
    close();
    waitForFinished(kFinish_ms);
}

QString RecordGraph::compressorFailureText(int code) {
    return tr("Video compressor not available. (0x%1).").arg(unsigned(code), 0, 16);
}

RecordBuild RecordGraph::build(const RecordGraphParams& params) {
    if (built_) {
        qCWarning(lcRecordGraph) << "a recording graph is built already; closing it first";
        close();
    }
    ++generation_;
    compressorFailure_.reset();
    lastCounters_ = {};
    refused_ = 0;
    failed_ = false;
    errorReason_.clear();
    fileName_ = params.fileName;

    pipeline_.create("Record Graph");
    if (params.debug) {
        if (!pipeline_.openLog(QStringLiteral("LOG.TXT"))) {
            qCWarning(lcRecordGraph) << "cannot create LOG.TXT; recording without a log";
        }
    }
    GstBin* bin = pipeline_.bin();

    source_ = std::make_unique<media::PushSource>(params.playInterval_ms);
    if (!source_->element() ||
        !gst_object_set_name(GST_OBJECT(source_->element()), "Sample Pusher Source Filter") ||
        !gst_bin_add(bin, source_->element())) {
        qCWarning(lcRecordGraph) << "no push source; nothing is recorded";
        close();
        return RecordBuild::SourceMissing;
    }
    built_ = true;

    // The output file: muxer and writer.
    mux_ = makeElement("avimux", "AVI Mux");
    Element writer = makeElement("fdsink", "File Writer");
    if (mux_ && writer) {
        gst_bin_add(bin, mux_.get());
        gst_bin_add(bin, writer.get());
        if (!gst_element_link(mux_.get(), writer.get())) {
            qCWarning(lcRecordGraph) << "cannot link the AVI muxer to the file writer";
        }
        muxPad_ = adopt(gst_element_request_pad_simple(mux_.get(), "video_%u"));
    }

    // The compressor, bound by its exact friendly name.
    media::FindDeviceFilter(media::DeviceCategory::CLSID_VideoCompressorCategory, params.compressor,
                            -1, compressor_);
    if (compressor_) {
        if (!gst_object_set_name(GST_OBJECT(compressor_.get()), "Video Compressor") ||
            !gst_bin_add(bin, compressor_.get())) {
            qCWarning(lcRecordGraph) << "cannot add compressor" << params.compressor;
            compressorFailure_ = -1;
            compressor_.reset();
        }
    }
    if (compressor_) {
        media::ApplyCompression(compressor_.get(), params.compressor, params.quality,
                                params.keyFrameRate);
    }

    if (!source_->SetFrameSize(params.width, params.height)) {
        // Without a frame size no frame can be pushed, and a file without a
        // stream format cannot be played: nothing is written at all.
        qCWarning(lcRecordGraph).noquote()
            << "no recordable frame size (" << params.width << "x" << params.height
            << "); no file is made for" << fileName_;
        pipeline_.closeLog();
        releasePipeline();
        return RecordBuild::Running;
    }
    if (!mux_ || !writer || !muxPad_) {
        reportFailure(QStringLiteral("The AVI muxer (avimux) or file writer is not installed."));
        pipeline_.closeLog();
        return RecordBuild::Running;
    }
    QString openError;
    file_ = RecordingFile::open(fileName_, &openError);
    if (!file_) {
        reportFailure(openError);
        pipeline_.closeLog();
        return RecordBuild::Running;
    }
    g_object_set(writer.get(), "fd", file_->fd(), nullptr);
    // The journal is written and synced with the file; a recording without
    // one still plays.
    journalFrames_ = 0;
    journal_ = RecordingFile::open(journalPath(fileName_), &openError);
    if (journal_ && ::write(journal_->fd(), kJournalHeader, sizeof kJournalHeader - 1) !=
                        qsizetype(sizeof kJournalHeader - 1)) {
        openError = QString::fromLocal8Bit(std::strerror(errno));
        journal_->removeIfStillNamed();
        journal_.reset();
    }
    if (!journal_) {
        qCWarning(lcRecordGraph).noquote() << "no journal for" << fileName_ << ":" << openError;
    }
    file_->setJournal(journal_);

    pipeline_.watchBus([this](GstMessage* message) { onMessage(message); });

    if (compressor_ && !linkCompressor(muxPad_.get())) {
        compressor_.reset();
    }
    if (!compressor_ && !linkRaw(muxPad_.get())) {
        reportFailure(QStringLiteral("The push source does not link to the AVI muxer."));
    }

    sync_->watch(file_);
    if (journal_) {
        sync_->watch(journal_);
    }
    lostCheck_->start();
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        // The writer's error is on the bus and reaches writeError from there.
        qCWarning(lcRecordGraph).noquote() << "the recording of" << fileName_ << "does not start";
        GST_DEBUG_BIN_TO_DOT_FILE(bin, GST_DEBUG_GRAPH_SHOW_ALL, "record-failed");
    }
    pipeline_.closeLog();
    return RecordBuild::Running;
}

// push source ! videoconvert ! I420 ! queue ! encoder ! muxer: the source's
// streaming thread converts, the queue's thread encodes and muxes, so that a
// frame's conversion overlaps the encoding of the one before it. On failure
// the four are taken out again so that the raw link can be made.
bool RecordGraph::linkCompressor(GstPad* muxPad) {
    GstBin* bin = pipeline_.bin();
    Element convert = makeElement("videoconvert", "Colour Converter");
    Element format = makeElement("capsfilter", "Encoder Input Format");
    Element queue = makeElement("queue", "Encoder Queue");
    int code = -1;
    if (convert && format && queue) {
        const media::Caps input = media::compressorInputCaps(compressor_.get());
        if (input && takesCaps(compressor_.get(), input.get())) {
            g_object_set(format.get(), "caps", input.get(), nullptr);
        }
        // Two frames, never dropped: a full queue holds the converter back, so
        // the push source's own bound stays the one place where frames are
        // dropped and counted.
        g_object_set(queue.get(), "max-size-buffers", guint(2), "max-size-bytes", guint(0),
                     "max-size-time", guint64(0), nullptr);
        gst_bin_add(bin, convert.get());
        gst_bin_add(bin, format.get());
        gst_bin_add(bin, queue.get());
        if (gst_element_link_many(source_->element(), convert.get(), format.get(), queue.get(),
                                  compressor_.get(), nullptr)) {
            Pad encoded = adopt(gst_element_get_static_pad(compressor_.get(), "src"));
            code = encoded ? int(gst_pad_link(encoded.get(), muxPad)) : -1;
            if (code == GST_PAD_LINK_OK) {
                return true;
            }
        }
    }
    qCWarning(lcRecordGraph) << "compressor" << GST_ELEMENT_NAME(compressor_.get())
                             << "does not link to the AVI muxer:" << code
                             << "; recording uncompressed";
    compressorFailure_ = code;
    for (GstElement* element : {convert.get(), format.get(), queue.get(), compressor_.get()}) {
        if (element && GST_OBJECT_PARENT(element) == GST_OBJECT(bin)) {
            gst_bin_remove(bin, element);
        }
    }
    return false;
}

// Uncompressed BGR: avimux stores it bottom-up itself, so files play upright.
bool RecordGraph::linkRaw(GstPad* muxPad) {
    Pad sourcePad = adopt(gst_element_get_static_pad(source_->element(), "src"));
    const GstPadLinkReturn linked = gst_pad_link(sourcePad.get(), muxPad);
    if (linked != GST_PAD_LINK_OK) {
        qCWarning(lcRecordGraph) << "push source does not link to the AVI muxer:"
                                 << gst_pad_link_get_name(linked);
        return false;
    }
    return true;
}

void RecordGraph::onMessage(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
            reportFailure(describeError(message));
            break;
        case GST_MESSAGE_WARNING:
            qCWarning(lcRecordGraph).noquote()
                << GST_OBJECT_NAME(GST_MESSAGE_SRC(message)) << ":" << describeError(message);
            break;
        default:
            break;
    }
}

// Once per file, and never from inside a bus dispatch: the receiver closes
// the graph, which deletes the bus observer.
void RecordGraph::reportFailure(const QString& reason) {
    if (failed_) {
        return;
    }
    failed_ = true;
    errorReason_ = reason;
    qCWarning(lcRecordGraph).noquote() << "recording" << fileName_ << "failed:" << reason;
    if (closing_) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, generation = generation_] {
            if (generation == generation_ && built_) {
                Q_EMIT writeError(fileName_, errorReason_);
            }
        },
        Qt::QueuedConnection);
}

bool RecordGraph::push(const std::uint8_t* pixels, const media::BITMAPINFOHEADER& header,
                       std::int64_t duration_100ns, const JournalLine* line,
                       media::FrameOwner owner) {
    if (!source_) {
        return false;
    }
    if (failed_) {
        // appsrc would queue it all the same; nothing reaches the file any more.
        ++refused_;
        return false;
    }
    // The line goes first: the muxer may write the frame before push returns,
    // and a journal behind its recording is only estimated, one ahead is cut.
    off_t lineAt = -1;
    if (line && journal_) {
        JournalLine numbered = *line;
        numbered.frame = journalFrames_;
        const QByteArray text = formatJournalLine(numbered);
        lineAt = ::lseek(journal_->fd(), 0, SEEK_CUR);
        if (::write(journal_->fd(), text.constData(), size_t(text.size())) != text.size()) {
            qCWarning(lcRecordGraph).noquote() << "the journal of" << fileName_ << "is incomplete";
        }
        ++journalFrames_;
    }
    if (!source_->PushFrame(pixels, header, duration_100ns, std::move(owner))) {
        // Not in the file: neither is its line.
        if (lineAt >= 0 && ::ftruncate(journal_->fd(), lineAt) == 0 &&
            ::lseek(journal_->fd(), lineAt, SEEK_SET) == lineAt) {
            --journalFrames_;
        }
        return false;
    }
    return true;
}

void RecordGraph::checkFileLost() {
    if (!file_ || failed_) {
        return;
    }
    switch (file_->lost()) {
        case RecordingFile::Lost::FolderGone:
            reportFailure(tr("the recording folder is gone"));
            break;
        case RecordingFile::Lost::FileDeleted:
            reportFailure(tr("the recording file was deleted"));
            break;
        case RecordingFile::Lost::No:
            break;
    }
}

RecordCounters RecordGraph::counters() const {
    if (!source_) {
        return lastCounters_;
    }
    return {source_->framesPushed(), source_->framesDropped(), source_->pushFailures() + refused_,
            source_->framesShared()};
}

// A file whose stream has ended and whose muxer is writing its index: its
// pipeline waits here, watched from the event loop, until EOS, an error or
// the time-out, while the next file is already recording.
class RecordGraph::Finishing {
  public:
    Finishing(RecordGraph& owner, media::Pipeline pipeline,
              std::unique_ptr<media::PushSource> source, media::Element mux, media::Pad muxPad,
              std::shared_ptr<RecordingFile> file, const QString& fileName)
        : pipeline_(std::move(pipeline)),
          source_(std::move(source)),
          mux_(std::move(mux)),
          muxPad_(std::move(muxPad)),
          file_(std::move(file)),
          fileName_(fileName) {
        pipeline_.watchBus([this, &owner](GstMessage* message) {
            const GstMessageType type = GST_MESSAGE_TYPE(message);
            if (type == GST_MESSAGE_ERROR) {
                qCWarning(lcRecordGraph).noquote()
                    << fileName_ << "failed while finishing:" << describeError(message);
            }
            if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) {
                done(owner, type == GST_MESSAGE_EOS);
            }
        });
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this, &owner] {
            qCWarning(lcRecordGraph).noquote()
                << fileName_ << "was not finished within" << kFinish_ms / 1000 << "s";
            done(owner, false);
        });
        timer_.start(kFinish_ms);
        pipeline_.bus()->drain();  // an EOS may have come already
    }

    // Waits on the bus itself, for quitting; true once the file is done.
    bool waitHere(RecordGraph& owner, int timeout_ms) {
        if (!done_ && pipeline_.bus()) {
            if (const media::Message end = pipeline_.bus()->waitFor(
                    GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR), timeout_ms)) {
                done(owner, GST_MESSAGE_TYPE(end.get()) == GST_MESSAGE_EOS);
            }
        }
        return done_;
    }

    // Stops the pipeline and hands the file to the sync thread: synced when
    // the muxer finished it, repaired when it could not.
    void release(DiskSync& sync) {
        timer_.stop();
        stopPipeline(pipeline_, mux_, muxPad_);
        source_.reset();
        sync.release(std::move(file_),
                     complete_ ? DiskSync::Release::Sync : DiskSync::Release::Repair);
    }

    const QString& fileName() const { return fileName_; }

  private:
    void done(RecordGraph& owner, bool complete) {
        if (done_) {
            return;
        }
        done_ = true;
        complete_ = complete;
        // Not from inside the bus dispatch that is running now.
        QMetaObject::invokeMethod(
            &timer_, [&owner, this] { owner.finishFile(this); }, Qt::QueuedConnection);
    }

    media::Pipeline pipeline_;
    std::unique_ptr<media::PushSource> source_;
    media::Element mux_;
    media::Pad muxPad_;
    std::shared_ptr<RecordingFile> file_;
    QString fileName_;
    QTimer timer_;
    bool done_ = false;
    bool complete_ = false;  // the muxer wrote its index and header
};

void RecordGraph::finishFile(Finishing* file) {
    const auto it = std::find_if(finishing_.begin(), finishing_.end(),
                                 [file](const auto& f) { return f.get() == file; });
    if (it == finishing_.end()) {
        return;
    }
    std::unique_ptr<Finishing> owned = std::move(*it);
    finishing_.erase(it);
    owned->release(*sync_);
    const QString fileName = owned->fileName();
    owned.reset();
    qCDebug(lcRecordGraph).noquote() << fileName << "finished";
    Q_EMIT finished(fileName);
}

bool RecordGraph::waitForFinished(int timeout_ms) {
    QElapsedTimer waited;
    waited.start();
    while (!finishing_.empty()) {
        const qint64 left = timeout_ms - waited.elapsed();
        Finishing* file = finishing_.front().get();
        // An EOS met already only waits for its queued finish: done here.
        if (!file->waitHere(*this, int(std::max<qint64>(left, 0)))) {
            break;
        }
        finishFile(file);
    }
    const bool all = finishing_.empty();
    for (auto& file : finishing_) {
        qCWarning(lcRecordGraph).noquote() << file->fileName() << "was given up unfinished";
        file->release(*sync_);
    }
    finishing_.clear();
    return sync_->waitIdle(int(std::max<qint64>(timeout_ms - waited.elapsed(), 0))) && all;
}

void RecordGraph::close(Finish finish) {
    if (closing_) {
        return;
    }
    closing_ = true;
    lostCheck_->stop();
    pipeline_.closeLog();
    bool background = false;
    bool complete = false;  // the muxer finished the file
    if (pipeline_ && pipeline_.bus()) {
        // An error already posted means the stream is dead: EOS would never
        // arrive, so the pipeline just stops. A file without frames is removed
        // below, so it needs no EOS either.
        pipeline_.bus()->drain();
        GstState state = GST_STATE_NULL;
        gst_element_get_state(source_->element(), &state, nullptr, 0);
        if (!failed_ && state >= GST_STATE_PAUSED && source_->framesPushed() > 0 &&
            source_->endOfStream()) {
            if (finish == Finish::Background) {
                background = true;
            } else {
                const media::Message end = pipeline_.bus()->waitFor(
                    GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR), kFinish_ms);
                complete = end && GST_MESSAGE_TYPE(end.get()) == GST_MESSAGE_EOS;
                if (!end) {
                    qCWarning(lcRecordGraph).noquote()
                        << fileName_ << "was not finished within" << kFinish_ms / 1000 << "s";
                }
            }
        }
    }
    if (source_) {
        lastCounters_ = counters();
    }
    // A file this build made that got no frame, or not one byte (a write
    // that failed from the first), is removed at once with its journal: no
    // player opens it, and it would use up a sequence number. One that got
    // some bytes but no whole frame is removed by the sync thread's repair.
    bool frameless = false;
    if (file_ && file_->created()) {
        struct stat st {};
        frameless = lastCounters_.pushed == 0 ||
                    (failed_ && ::fstat(file_->fd(), &st) == 0 && st.st_size == 0);
    }
    if (journal_) {
        // No line follows the close.
        sync_->release(std::move(journal_),
                       frameless ? DiskSync::Release::Discard : DiskSync::Release::Sync);
    }
    if (background) {
        pipeline_.unwatchBus();
        compressor_.reset();
        finishing_.push_back(std::make_unique<Finishing>(
            *this, std::move(pipeline_), std::move(source_), std::move(mux_), std::move(muxPad_),
            std::move(file_), fileName_));
    } else {
        releasePipeline();
        source_.reset();
        if (file_) {
            if (frameless) {
                if (file_->removeIfStillNamed()) {
                    qCInfo(lcRecordGraph).noquote() << fileName_ << "got no frame and is removed";
                } else if (QFileInfo::exists(fileName_)) {
                    qCWarning(lcRecordGraph).noquote()
                        << fileName_ << "got no frame but cannot be removed";
                }
            }
            // A file without a name left is seen by no one: nothing to repair.
            struct stat st {};
            const bool unnamed = ::fstat(file_->fd(), &st) == 0 && st.st_nlink == 0;
            sync_->release(std::move(file_), frameless || unnamed ? DiskSync::Release::Discard
                                             : complete           ? DiskSync::Release::Sync
                                                                  : DiskSync::Release::Repair);
            if (!sync_->waitIdle(kFinish_ms)) {
                qCWarning(lcRecordGraph).noquote() << fileName_ << "is not on the disk yet";
            }
        }
    }
    built_ = false;
    ++generation_;
    closing_ = false;
}

void RecordGraph::releasePipeline() {
    compressor_.reset();
    stopPipeline(pipeline_, mux_, muxPad_);
}

}  // namespace kv::record
