#pragma once

// Decodes a recording's frame chunks, as read from its AVI file, into raw
// pictures of one size: appsrc ! decodebin ! videoconvert ! videoscale !
// appsink. The film maker keeps one from recording to recording; the day
// view decodes single frames with it. Frames go in numbered and come out in
// order; the caller says for each whether its picture is wanted.

#include "film/avi_frames.h"
#include "media/pipeline.h"

#include <QElapsedTimer>
#include <QString>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/video/video.h>

#include <atomic>
#include <deque>

namespace kv::film {

// The time stamps the decoder gives its frames: their sequence, at 25 a second.
inline constexpr GstClockTime kDecodeFrame = GST_SECOND / 25;
// No frame may take longer than this to come out of the decoder.
inline constexpr GstClockTime kDecodeStepTimeout = 30 * GST_SECOND;

// The caps of a recording's stream, as the AVI demuxer would give them; null
// when GStreamer knows no such compression.
media::Caps streamCaps(const AviFrames& avi);

// The first error the pipeline posted, or an empty string.
QString pipelineError(GstElement* pipeline);

class ChunkDecoder {
  public:
    // format: a raw video format GStreamer names ("I420", "BGRx"); other
    // sizes keep their shape, with borders.
    bool build(const media::Caps& caps, int width, int height, const char* format, QString* error);

    bool built() const { return static_cast<bool>(pipeline_); }
    bool sameCaps(const media::Caps& caps) const {
        return caps_ && caps && gst_caps_is_equal(caps_.get(), caps.get());
    }

    // Hands over a chunk read from fd; wanted says whether its picture is
    // wanted.
    bool push(int fd, const AviChunk& chunk, bool wanted, QString* error);
    // The next chunk does not follow the last one.
    void jumped() { discont_ = true; }

    std::size_t inFlight() const { return inFlight_.size(); }

    // Takes what the decoder gave: each wanted picture goes to emit; a wanted
    // one the decoder lost is told with lost. Waits (bounded) until at most
    // `keep` frames are still inside the decoder.
    template <typename Emit, typename Lost>
    bool drain(std::size_t keep, const std::atomic<bool>& cancelled, Emit&& emit, Lost&& lost,
               QString* error);

    // Ends the stream: what is inside comes out, then the pipeline goes.
    template <typename Emit, typename Lost>
    bool finish(const std::atomic<bool>& cancelled, Emit&& emit, Lost&& lost, QString* error) {
        bool ok = true;
        if (pipeline_) {
            gst_app_src_end_of_stream(GST_APP_SRC(source_.get()));
            ok = drain(0, cancelled, emit, lost, error);
        }
        pipeline_.reset();
        caps_ = {};
        return ok;
    }

    QString failure() const;

  private:
    static void padAdded(GstElement*, GstPad* pad, gpointer convert);
    // Why the decoder gave nothing for too long.
    static QString timedOut();
    static QString unknownFormat();

    struct InFlight {
        qint64 seq;
        bool wanted;
    };
    media::Pipeline pipeline_;
    media::Caps caps_;
    media::Element source_;
    media::Element convert_;
    media::Element sink_;
    std::deque<InFlight> inFlight_;
    qint64 seq_ = 0;
    bool discont_ = false;
};

template <typename Emit, typename Lost>
bool ChunkDecoder::drain(std::size_t keep, const std::atomic<bool>& cancelled, Emit&& emit,
                         Lost&& lost, QString* error) {
    QElapsedTimer waited;
    waited.start();
    while (inFlight_.size() > keep) {
        if (cancelled.load()) {
            return false;
        }
        const media::Sample sample = media::adopt(
            gst_app_sink_try_pull_sample(GST_APP_SINK(sink_.get()), 100 * GST_MSECOND));
        if (!sample) {
            if (gst_app_sink_is_eos(GST_APP_SINK(sink_.get()))) {
                // Whatever is still missing will not come.
                for (const auto& f : inFlight_) {
                    if (f.wanted) {
                        lost();
                    }
                }
                inFlight_.clear();
                return true;
            }
            if (const QString text = pipelineError(pipeline_.get()); !text.isEmpty()) {
                *error = text;
                return false;
            }
            if (waited.nsecsElapsed() > qint64(kDecodeStepTimeout)) {
                *error = timedOut();
                return false;
            }
            continue;
        }
        waited.restart();
        GstBuffer* b = gst_sample_get_buffer(sample.get());
        const qint64 seq = b && GST_BUFFER_PTS_IS_VALID(b)
                               ? qint64((GST_BUFFER_PTS(b) + kDecodeFrame / 2) / kDecodeFrame)
                               : (inFlight_.empty() ? 0 : inFlight_.front().seq);
        while (!inFlight_.empty() && inFlight_.front().seq < seq) {
            if (inFlight_.front().wanted) {
                lost();
            }
            inFlight_.pop_front();
        }
        if (!inFlight_.empty() && inFlight_.front().seq == seq) {
            const bool wanted = inFlight_.front().wanted;
            inFlight_.pop_front();
            if (wanted) {
                GstVideoInfo info;
                gst_video_info_init(&info);
                if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()))) {
                    *error = unknownFormat();
                    return false;
                }
                emit(media::share(b), info);
            }
        }
    }
    return true;
}

}  // namespace kv::film
