#include "media/push_source.h"

#include <QLoggingCategory>

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

namespace kv::media {

namespace {

Q_LOGGING_CATEGORY(lcPush, "kv.media.push", QtInfoMsg)

constexpr int kMaxSide = 4096;
// The queue holds at most this much stream time, and never more than
// kMaxQueuedBytes, so that large frames cannot take gigabytes.
constexpr int kMaxQueued_ms = 2000;
constexpr std::uint64_t kMaxQueuedBytes = 256ull << 20;
// Drops and failures come in runs; one warning per interval summarises them.
constexpr std::uint32_t kWarningInterval_ms = 10000;

}  // namespace

PushSource::PushSource(int frameDuration_ms, const Clock& clock)
    : clock_(clock), appsrc_(adopt(gst_element_factory_make("appsrc", "pushsource"))) {
    if (!appsrc_) {
        qCWarning(lcPush) << "GStreamer has no appsrc element; nothing can be recorded";
        return;
    }
    // Never block the caller; the queue bound below is ours. leaky-type drops
    // the newest should anything slip past that bound.
    g_object_set(appsrc_.get(), "format", GST_FORMAT_TIME, "is-live", FALSE, "block", FALSE,
                 "stream-type", GST_APP_STREAM_TYPE_STREAM, "max-bytes", guint64(0), "max-time",
                 guint64(0), "leaky-type", GST_APP_LEAKY_TYPE_UPSTREAM, "emit-signals", FALSE,
                 nullptr);
    srcPad_ = adopt(gst_element_get_static_pad(appsrc_.get(), "src"));
    setFrameDuration(frameDuration_ms);
}

PushSource::~PushSource() {
    if (pool_) {
        gst_buffer_pool_set_active(pool_.get(), FALSE);
    }
}

void PushSource::setFrameDuration(int duration_ms) {
    if (duration_ms <= 0) {
        qCWarning(lcPush) << "Frame duration" << duration_ms << "ms is not usable; using 40 ms";
        duration_ms = 40;
    }
    frameDuration_ms_ = duration_ms;
    applyFormat();
}

bool PushSource::SetFrameSize(int width, int height) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        qCWarning(lcPush) << "Frame size" << width << "x" << height << "is not recordable";
        return false;
    }
    width_ = width;
    height_ = height;
    applyFormat();
    return appsrc_ && pool_;
}

// Caps, queue bound and buffer pool follow frame size and frame duration.
void PushSource::applyFormat() {
    const std::uint64_t frameBytes = std::uint64_t(frameStride(width_)) * std::uint64_t(height_);
    const int byTime = std::max(1, kMaxQueued_ms / frameDuration_ms_);
    const std::uint64_t byBytes = frameBytes
                                      ? std::max<std::uint64_t>(1, kMaxQueuedBytes / frameBytes)
                                      : std::uint64_t(byTime);
    maxQueued_ = int(std::min<std::uint64_t>(std::uint64_t(byTime), byBytes));
    if (!appsrc_ || frameBytes == 0) {
        return;
    }
    gst_app_src_set_max_buffers(GST_APP_SRC(appsrc_.get()), guint64(maxQueued_));

    const int divisor = std::gcd(1000, frameDuration_ms_);
    Caps caps = adopt(gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, "BGR", "width", G_TYPE_INT, width_, "height",
        G_TYPE_INT, height_, "framerate", GST_TYPE_FRACTION, 1000 / divisor,
        frameDuration_ms_ / divisor, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
    gst_app_src_set_caps(GST_APP_SRC(appsrc_.get()), caps.get());

    // A pool without an upper bound never makes a push wait; once the pipeline
    // runs steadily, buffers only go round.
    if (pool_) {
        gst_buffer_pool_set_active(pool_.get(), FALSE);
    }
    pool_ = adopt(gst_buffer_pool_new());
    Structure config = adopt(gst_buffer_pool_get_config(pool_.get()));
    gst_buffer_pool_config_set_params(config.get(), caps.get(), guint(frameBytes), 2, 0);
    if (!gst_buffer_pool_set_config(pool_.get(), config.release()) ||
        !gst_buffer_pool_set_active(pool_.get(), TRUE)) {
        qCWarning(lcPush) << "No buffer pool for frames of" << width_ << "x" << height_;
        pool_.reset();
    }
}

bool PushSource::PushFrame(const std::uint8_t* pixels, const BITMAPINFOHEADER& header,
                           std::int64_t duration_100ns, FrameOwner owner) {
    if (!appsrc_ || !srcPad_ || !pool_) {
        return fail("the push source has no frame size");
    }
    if (!pixels || !isFrameFormat(header) || header.biWidth != width_ ||
        std::abs(header.biHeight) != height_) {
        return fail("the frame does not match the frame size");
    }
    if (duration_100ns <= 0) {
        return fail("the frame has no duration");
    }
    if (!durationWarned_ && duration_100ns != std::int64_t(frameDuration_ms_) * 10000) {
        durationWarned_ = true;
        qCWarning(lcPush) << "Frames last" << duration_100ns / 10000.0
                          << "ms, the stream's frame rate says" << frameDuration_ms_ << "ms";
    }
    // appsrc queues whatever it is given, even while stopped or after the
    // stream downstream has failed; such frames would never reach the file.
    GstState state = GST_STATE_NULL;
    gst_element_get_state(appsrc_.get(), &state, nullptr, 0);
    if (state < GST_STATE_PAUSED) {
        lastFlow_ = GST_FLOW_FLUSHING;
        return fail("the pipeline is not running");
    }
    const GstFlowReturn downstream = gst_pad_get_last_flow_return(srcPad_.get());
    if (downstream != GST_FLOW_OK) {
        lastFlow_ = downstream;
        return fail("the pipeline stopped taking frames");
    }
    GstAppSrc* appsrc = GST_APP_SRC(appsrc_.get());
    if (gst_app_src_get_current_level_buffers(appsrc) >= guint64(maxQueued_)) {
        ++framesDropped_;
        warnRarely("the recording falls behind");
        return false;
    }

    const std::size_t stride = std::size_t(frameStride(width_));
    const std::size_t bytes = stride * std::size_t(height_);
    Buffer buffer;
    if (owner && header.biHeight < 0) {
        // GStreamer's own layout: the frame's memory goes in, read-only, and
        // keeps its owner until the last element lets go of it.
        auto* kept = new FrameOwner(std::move(owner));
        buffer = adopt(gst_buffer_new_wrapped_full(
            GST_MEMORY_FLAG_READONLY, const_cast<std::uint8_t*>(pixels), bytes, 0, bytes, kept,
            [](gpointer data) { delete static_cast<FrameOwner*>(data); }));
        ++framesShared_;
    } else {
        GstBufferPoolAcquireParams params{};
        params.flags = GST_BUFFER_POOL_ACQUIRE_FLAG_DONTWAIT;
        const GstFlowReturn acquired =
            gst_buffer_pool_acquire_buffer(pool_.get(), buffer.out(), &params);
        if (acquired != GST_FLOW_OK || !buffer) {
            return fail("no buffer for the frame");
        }
        GstMapInfo map;
        if (!gst_buffer_map(buffer.get(), &map, GST_MAP_WRITE)) {
            return fail("the frame buffer cannot be written");
        }
        if (header.biHeight < 0) {
            std::memcpy(map.data, pixels, bytes);
        } else {
            // Our rows run bottom-up, GStreamer's top-down.
            for (int y = 0; y < height_; ++y) {
                std::memcpy(map.data + std::size_t(y) * stride,
                            pixels + std::size_t(height_ - 1 - y) * stride, stride);
            }
        }
        gst_buffer_unmap(buffer.get(), &map);
    }

    const GstClockTime duration = GstClockTime(duration_100ns) * 100;
    GST_BUFFER_PTS(buffer.get()) = nextPts_;
    GST_BUFFER_DTS(buffer.get()) = nextPts_;
    GST_BUFFER_DURATION(buffer.get()) = duration;
    GST_BUFFER_OFFSET(buffer.get()) = framesPushed_;
    GST_BUFFER_OFFSET_END(buffer.get()) = framesPushed_ + 1;

    lastFlow_ = gst_app_src_push_buffer(appsrc, buffer.release());
    if (lastFlow_ != GST_FLOW_OK) {
        return fail("the pipeline does not take frames");
    }
    nextPts_ += duration;
    ++framesPushed_;
    return true;
}

bool PushSource::endOfStream() {
    if (!appsrc_) {
        return false;
    }
    lastFlow_ = gst_app_src_end_of_stream(GST_APP_SRC(appsrc_.get()));
    if (lastFlow_ != GST_FLOW_OK) {
        qCWarning(lcPush) << "End of stream refused:" << gst_flow_get_name(lastFlow_);
        return false;
    }
    qCDebug(lcPush) << "End of stream after" << framesPushed_ << "frames," << framesDropped_
                    << "dropped," << pushFailures_ << "failed";
    return true;
}

bool PushSource::fail(const char* what) {
    ++pushFailures_;
    warnRarely(what);
    return false;
}

void PushSource::warnRarely(const char* what) {
    const std::uint32_t now = clock_.tickCount();
    if (warned_ && std::uint32_t(now - lastWarning_ms_) < kWarningInterval_ms) {
        return;
    }
    warned_ = true;
    lastWarning_ms_ = now;
    qCWarning(lcPush).nospace() << "Frame not recorded: " << what << " (last flow "
                                << gst_flow_get_name(lastFlow_) << "); so far " << framesPushed_
                                << " pushed, " << framesDropped_ << " dropped, " << pushFailures_
                                << " failed";
}

}  // namespace kv::media
