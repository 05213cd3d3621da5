#pragma once

// What the frame hand-off needs of a delivered sample: its bytes. The capture
// pipeline hands a mapped GStreamer sample; tests hand plain memory.

#include "media/gst_handle.h"

#include <cstddef>
#include <cstdint>

namespace kv::media {

class MediaSample {
  public:
    virtual ~MediaSample();
    virtual const std::uint8_t* pointer() const = 0;
    virtual std::size_t size() const = 0;
};

// A GstSample's (or GstBuffer's) memory, mapped for reading for the lifetime
// of this object. A buffer that cannot be mapped reads as empty.
class MappedGstSample final : public MediaSample {
  public:
    explicit MappedGstSample(GstSample* sample);
    explicit MappedGstSample(GstBuffer* buffer);
    ~MappedGstSample() override;

    MappedGstSample(const MappedGstSample&) = delete;
    MappedGstSample& operator=(const MappedGstSample&) = delete;

    const std::uint8_t* pointer() const override;
    std::size_t size() const override;
    bool isMapped() const { return mapped_; }

  private:
    void map();

    Sample sample_;
    Buffer buffer_;
    GstMapInfo info_{};
    bool mapped_ = false;
};

}  // namespace kv::media
