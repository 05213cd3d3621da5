#pragma once

// Holds a playback load back as a slow disk would: a blocking probe on the
// grabber's input keeps the first frame, and with it the whole load, from
// arriving until the test releases it.

#include "media/gst_handle.h"

#include <gst/gst.h>

#include <atomic>

namespace kv::test {

class HeldLoad {
  public:
    HeldLoad() = default;
    HeldLoad(const HeldLoad&) = delete;
    HeldLoad& operator=(const HeldLoad&) = delete;
    ~HeldLoad() { release(); }

    // For PlaybackGraph::setBuildHook.
    void hold(GstElement* pipeline) {
        release();
        held_ = false;
        const media::Element grabber =
            media::adopt(gst_bin_get_by_name(GST_BIN(pipeline), "Playback Grabber"));
        pad_ = media::adopt(gst_element_get_static_pad(grabber.get(), "sink"));
        probe_ = gst_pad_add_probe(
            pad_.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
            &HeldLoad::onBuffer, this, nullptr);
    }
    // A frame waits at the grabber.
    bool holding() const { return held_; }
    void release() {
        if (pad_ && probe_ != 0) {
            gst_pad_remove_probe(pad_.get(), probe_);
        }
        probe_ = 0;
        pad_.reset();
    }

  private:
    static GstPadProbeReturn onBuffer(GstPad*, GstPadProbeInfo*, gpointer self) {
        static_cast<HeldLoad*>(self)->held_ = true;
        return GST_PAD_PROBE_OK;  // blocks until the probe is removed
    }

    media::Pad pad_;
    gulong probe_ = 0;
    std::atomic<bool> held_{false};
};

}  // namespace kv::test
