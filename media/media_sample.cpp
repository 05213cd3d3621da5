#include "media/media_sample.h"

namespace kv::media {

MediaSample::~MediaSample() = default;

MappedGstSample::MappedGstSample(GstSample* sample) {
    if (sample) {
        sample_ = share(sample);
        if (GstBuffer* buffer = gst_sample_get_buffer(sample)) {
            buffer_ = share(buffer);
        }
    }
    map();
}

MappedGstSample::MappedGstSample(GstBuffer* buffer) {
    if (buffer) {
        buffer_ = share(buffer);
    }
    map();
}

MappedGstSample::~MappedGstSample() {
    if (mapped_) {
        gst_buffer_unmap(buffer_.get(), &info_);
    }
}

void MappedGstSample::map() {
    if (buffer_) {
        mapped_ = gst_buffer_map(buffer_.get(), &info_, GST_MAP_READ);
    }
}

const std::uint8_t* MappedGstSample::pointer() const {
    return mapped_ ? info_.data : nullptr;
}

std::size_t MappedGstSample::size() const {
    return mapped_ ? info_.size : 0;
}

}  // namespace kv::media
