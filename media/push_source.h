#pragma once

// The source of the recording pipeline: frames handed over by the frame loop
// are pushed into an appsrc. A top-down frame whose owner keeps it unwritten
// goes in as it is; any other is copied into a pooled buffer (and turned
// upright when its rows are bottom-up).
// A push never waits: when the pipeline falls more than two seconds of frames
// behind, the newest frame is dropped and counted instead.

#include "media/clock.h"
#include "media/frame.h"
#include "media/gst_handle.h"

#include <cstdint>
#include <memory>

namespace kv::media {

// Keeps a frame's pixels alive and unchanged for as long as it lives: a
// frame pushed with one is not copied, and its owner is let go of once the
// pipeline is done with the frame, on whichever thread that happens.
using FrameOwner = std::shared_ptr<const void>;

class PushSource {
  public:
    // frameDuration_ms is the length of one frame in the file (PlayInterval);
    // it sets the stream's frame rate, 1000 / frameDuration_ms.
    explicit PushSource(int frameDuration_ms = 40, const Clock& clock = systemClock());
    ~PushSource();

    PushSource(const PushSource&) = delete;
    PushSource& operator=(const PushSource&) = delete;

    // The appsrc, for the pipeline builder to add and link. Null when the
    // element could not be created.
    GstElement* element() const { return appsrc_.get(); }

    void setFrameDuration(int duration_ms);
    int frameDuration() const { return frameDuration_ms_; }

    // Fixes the size of the frames to come (1..4096 each way) and the caps.
    bool SetFrameSize(int width, int height);

    // Queues one frame (24-bit BGR, rows bottom-up unless biHeight < 0) with
    // the given duration: without a copy when it is top-down and has an
    // owner, copied otherwise. Returns whether it was queued; a frame that
    // does not match the frame size is refused.
    bool PushFrame(const std::uint8_t* pixels, const BITMAPINFOHEADER& header,
                   std::int64_t duration_100ns, FrameOwner owner = {});
    // Frames that went in without a copy.
    std::uint64_t framesShared() const { return framesShared_; }

    // Ends the stream; the muxer finishes the file when EOS reaches the sink.
    bool endOfStream();

    std::uint64_t framesPushed() const { return framesPushed_; }
    std::uint64_t framesDropped() const { return framesDropped_; }
    std::uint64_t pushFailures() const { return pushFailures_; }
    GstFlowReturn lastFlowReturn() const { return lastFlow_; }
    // How many frames may wait in the queue before new ones are dropped.
    int maxQueuedFrames() const { return maxQueued_; }

  private:
    void applyFormat();
    bool fail(const char* what);
    void warnRarely(const char* what);

    // --- only accessed from the main thread
    const Clock& clock_;
    Element appsrc_;
    Pad srcPad_;
    Handle<GstBufferPool> pool_;
    int frameDuration_ms_ = 40;
    int width_ = 0;
    int height_ = 0;
    int maxQueued_ = 1;
    GstClockTime nextPts_ = 0;
    std::uint64_t framesPushed_ = 0;
    std::uint64_t framesShared_ = 0;
    std::uint64_t framesDropped_ = 0;
    std::uint64_t pushFailures_ = 0;
    GstFlowReturn lastFlow_ = GST_FLOW_OK;
    bool warned_ = false;
    bool durationWarned_ = false;
    std::uint32_t lastWarning_ms_ = 0;
};

}  // namespace kv::media
