#include "record/avi_repair.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

namespace kv::record {

// --- storage ------------------------------------------------------------------

std::uint64_t FdStorage::size() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && st.st_size > 0 ? std::uint64_t(st.st_size) : 0;
}

bool FdStorage::read(std::uint64_t offset, void* data, std::size_t length) {
    auto* out = static_cast<std::uint8_t*>(data);
    while (length > 0) {
        const ssize_t got = ::pread(fd_, out, length, off_t(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        out += got;
        offset += std::uint64_t(got);
        length -= std::size_t(got);
    }
    return true;
}

bool FdStorage::write(std::uint64_t offset, const void* data, std::size_t length) {
    const auto* in = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        const ssize_t put = ::pwrite(fd_, in, length, off_t(offset));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        in += put;
        offset += std::uint64_t(put);
        length -= std::size_t(put);
    }
    return true;
}

bool FdStorage::truncate(std::uint64_t length) {
    return ::ftruncate(fd_, off_t(length)) == 0;
}

bool FdStorage::sync() {
    return ::fdatasync(fd_) == 0;
}

bool MemoryStorage::read(std::uint64_t offset, void* data, std::size_t length) {
    if (offset > bytes_.size() || length > bytes_.size() - offset) {
        return false;
    }
    std::memcpy(data, bytes_.data() + offset, length);
    return true;
}

bool MemoryStorage::write(std::uint64_t offset, const void* data, std::size_t length) {
    if (offset > (std::uint64_t(1) << 32) || length > (std::size_t(1) << 32)) {
        return false;
    }
    if (offset + length > bytes_.size()) {
        bytes_.resize(offset + length, 0);
    }
    std::memcpy(bytes_.data() + offset, data, length);
    return true;
}

bool MemoryStorage::truncate(std::uint64_t length) {
    if (length > (std::uint64_t(1) << 32)) {
        return false;
    }
    bytes_.resize(length, 0);
    return true;
}

// --- the repair ------------------------------------------------------------------

namespace {

constexpr std::uint32_t fourcc(const char (&s)[5]) {
    return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
           std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

constexpr std::uint32_t kRiff = fourcc("RIFF");
constexpr std::uint32_t kList = fourcc("LIST");
constexpr std::uint32_t kAvi = fourcc("AVI ");
constexpr std::uint32_t kAvix = fourcc("AVIX");
constexpr std::uint32_t kHdrl = fourcc("hdrl");
constexpr std::uint32_t kAvih = fourcc("avih");
constexpr std::uint32_t kStrl = fourcc("strl");
constexpr std::uint32_t kStrh = fourcc("strh");
constexpr std::uint32_t kStrf = fourcc("strf");
constexpr std::uint32_t kIndx = fourcc("indx");
constexpr std::uint32_t kJunk = fourcc("JUNK");
constexpr std::uint32_t kOdml = fourcc("odml");
constexpr std::uint32_t kDmlh = fourcc("dmlh");
constexpr std::uint32_t kMovi = fourcc("movi");
constexpr std::uint32_t kIdx1 = fourcc("idx1");
constexpr std::uint32_t kIx00 = fourcc("ix00");
constexpr std::uint32_t kVids = fourcc("vids");

constexpr std::uint32_t kAvifHasIndex = 0x10;
// Every idx1 entry carries 0x02, key frames 0x10 as well, as the muxer writes them.
constexpr std::uint32_t kIdx1Entry = 0x02;
constexpr std::uint32_t kIdx1KeyFrame = 0x10;
constexpr std::uint32_t kIxDeltaFrame = 0x80000000u;
constexpr std::size_t kSuperIndexHeader = 24;
constexpr std::size_t kSuperIndexEntry = 16;
constexpr std::size_t kChunkIndexHeader = 24;
// A chunk that claims more than this past the end of the file is not a torn
// frame but a damaged size: the file is then not understood.
constexpr std::uint64_t kMaxTornChunk = 64ull << 20;
// The muxer writes its whole header, up to the first frame, in a few kB.
constexpr std::uint64_t kMaxHeader = 64 << 10;

std::uint32_t get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(std::uint8_t(v >> (8 * i)));
    }
}
void put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    put32(out, std::uint32_t(v));
    put32(out, std::uint32_t(v >> 32));
}

bool isFrameChunk(std::uint32_t id) {
    // "00db" or "00dc": stream 0, video.
    const std::uint8_t c = std::uint8_t(id >> 24);
    return (id & 0x00ffffffu) == (fourcc("00d ") & 0x00ffffffu) && (c == 'b' || c == 'c');
}

std::uint64_t padded(std::uint64_t size) {
    return size + (size & 1);
}

enum class Codec { Intra, H264, Mpeg4, MsMpeg4, Vp8 };

Codec codecOf(std::uint32_t compression) {
    std::array<char, 4> name{};
    for (int i = 0; i < 4; ++i) {
        const char c = char(compression >> (8 * i));
        name[std::size_t(i)] = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    const std::string n(name.data(), 4);
    if (n == "H264" || n == "X264" || n == "AVC1") {
        return Codec::H264;
    }
    if (n == "FMP4" || n == "XVID" || n == "DIVX" || n == "DX50" || n == "MP4V") {
        return Codec::Mpeg4;
    }
    if (n == "DIV3" || n == "MP43" || n == "MP42" || n == "DIV4") {
        return Codec::MsMpeg4;
    }
    if (n == "VP80") {
        return Codec::Vp8;
    }
    return Codec::Intra;
}

// How many leading bytes of a frame tell whether it is a key frame.
std::size_t keyProbeBytes(Codec codec) {
    switch (codec) {
        case Codec::Intra:
            return 0;
        case Codec::H264:
            return 4096;  // an encoder's SEI may come before the first slice
        default:
            return 64;
    }
}

bool isKeyFrame(Codec codec, const std::uint8_t* data, std::size_t n) {
    switch (codec) {
        case Codec::Intra:
            return true;
        case Codec::Vp8:
            return n >= 1 && (data[0] & 1) == 0;
        case Codec::MsMpeg4:
            return n >= 1 && (data[0] >> 6) == 0;
        case Codec::Mpeg4:
            for (std::size_t i = 0; i + 4 < n; ++i) {
                if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xb6) {
                    return (data[i + 4] >> 6) == 0;  // an I-VOP
                }
            }
            return false;
        case Codec::H264:
            for (std::size_t i = 0; i + 3 < n; ++i) {
                if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
                    const int type = data[i + 3] & 0x1f;
                    if (type == 5 || type == 7) {
                        return true;  // an IDR slice, or the parameters before one
                    }
                    if (type == 1) {
                        return false;
                    }
                    i += 2;
                }
            }
            return false;
    }
    return true;
}

struct Frame {
    std::uint64_t pos;  // of the chunk header
    std::uint32_t id;
    std::uint32_t size;
};

struct Part {
    std::uint64_t riffPos = 0;  // the "RIFF AVIX" header; 0 for the first part
    std::uint64_t moviPos = 0;  // its "LIST movi" header
    std::uint32_t moviSize = 0;
    std::vector<Frame> frames;
    std::optional<std::uint64_t> ixPos;
    std::uint32_t ixSize = 0;
    std::optional<std::uint64_t> idx1Pos;  // first part only
};

struct Header {
    std::uint32_t riffSize = 0;
    std::optional<std::uint64_t> avih;  // positions of the chunks' data
    std::uint32_t avihFlags = 0;
    std::uint32_t avihTotal = 0;
    std::uint32_t streams = 0;
    std::optional<std::uint64_t> strh;
    std::uint32_t strhType = 0;
    std::uint32_t strhLength = 0;
    std::uint32_t strhSuggested = 0;
    std::uint32_t compression = 0;
    int strlCount = 0;
    std::optional<std::uint64_t> superIndex;  // its chunk header ("indx" or "JUNK")
    std::uint32_t superIndexSize = 0;
    bool superIndexUsed = false;  // "indx" rather than the placeholder
    std::uint32_t superIndexEntries = 0;
    std::optional<std::uint64_t> dmlh;
    std::uint32_t dmlhTotal = 0;
};

class Repair {
  public:
    explicit Repair(AviStorage& storage) : s_(storage), size_(storage.size()) {}

    AviRepairResult run(bool checkOnly);

  private:
    bool read(std::uint64_t pos, void* data, std::size_t n) {
        return pos <= size_ && n <= size_ - pos && s_.read(pos, data, n);
    }
    bool read32(std::uint64_t pos, std::uint32_t& value) {
        std::uint8_t b[4];
        if (!read(pos, b, 4)) {
            return false;
        }
        value = get32(b);
        return true;
    }
    bool write32(std::uint64_t pos, std::uint32_t value) {
        std::vector<std::uint8_t> b;
        put32(b, value);
        return s_.write(pos, b.data(), b.size());
    }

    AviRepairResult result(AviState state, std::string reason = {}) {
        AviRepairResult r;
        r.state = state;
        r.reason = std::move(reason);
        r.parts = parts_.size();
        for (const Part& part : parts_) {
            r.frames += part.frames.size();
        }
        return r;
    }

    bool parseHeaderList(std::uint64_t begin, std::uint64_t end, bool inStrl);
    std::optional<AviRepairResult> parseHeader();
    std::optional<AviRepairResult> scan();
    bool tailIsZero(std::uint64_t from);
    bool finishedByHeader();
    std::uint64_t frameCount() const;
    std::vector<bool> keyFlags(const Part& part);
    AviRepairResult repair();

    AviStorage& s_;
    std::uint64_t size_;
    Header h_;
    std::vector<Part> parts_;
    std::uint64_t end_ = 0;  // first byte after the last understood chunk
    std::uint32_t largestFrame_ = 0;
};

// Walks hdrl (or a strl or odml inside it); false on a chunk past its list.
bool Repair::parseHeaderList(std::uint64_t begin, std::uint64_t end, bool inStrl) {
    std::uint64_t pos = begin;
    while (pos + 8 <= end) {
        std::uint8_t head[12] = {};
        if (!read(pos, head, 8)) {
            return false;
        }
        const std::uint32_t id = get32(head);
        const std::uint64_t size = get32(head + 4);
        const std::uint64_t data = pos + 8;
        if (data + size > end) {
            return false;
        }
        if (id == kList && size >= 4) {
            std::uint32_t type = 0;
            if (!read32(data, type)) {
                return false;
            }
            if (type == kStrl) {
                ++h_.strlCount;
            }
            if ((type == kStrl || type == kOdml) &&
                !parseHeaderList(data + 4, data + size, type == kStrl)) {
                return false;
            }
        } else if (id == kAvih && size >= 56) {
            std::uint8_t avih[56];
            if (!read(data, avih, sizeof avih)) {
                return false;
            }
            h_.avih = data;
            h_.avihFlags = get32(avih + 12);
            h_.avihTotal = get32(avih + 16);
            h_.streams = get32(avih + 24);
        } else if (inStrl && id == kStrh && size >= 56 && !h_.strh) {
            std::uint8_t strh[56];
            if (!read(data, strh, sizeof strh)) {
                return false;
            }
            h_.strh = data;
            h_.strhType = get32(strh);
            h_.strhLength = get32(strh + 32);
            h_.strhSuggested = get32(strh + 36);
        } else if (inStrl && id == kStrf && size >= 20) {
            if (!read32(data + 16, h_.compression)) {
                return false;
            }
        } else if (inStrl && (id == kIndx || id == kJunk) && !h_.superIndex &&
                   size >= kSuperIndexHeader) {
            h_.superIndex = pos;
            h_.superIndexSize = std::uint32_t(size);
            h_.superIndexUsed = id == kIndx;
            if (h_.superIndexUsed) {
                if (!read32(data + 4, h_.superIndexEntries)) {
                    return false;
                }
            }
        } else if (id == kDmlh && size >= 4) {
            h_.dmlh = data;
            if (!read32(data, h_.dmlhTotal)) {
                return false;
            }
        }
        pos = data + padded(size);
    }
    return true;
}

// The header up to "LIST movi". Something returned ends the repair.
std::optional<AviRepairResult> Repair::parseHeader() {
    std::uint8_t riff[12] = {};
    if (size_ < 12) {
        // Empty, or killed while the muxer wrote its first bytes.
        const std::size_t n = std::size_t(size_);
        if (n > 0 && !read(0, riff, n)) {
            return result(AviState::Failed, "cannot read the file");
        }
        return std::memcmp(riff, "RIFF", std::min<std::size_t>(n, 4)) == 0
                   ? result(AviState::NoFrames)
                   : result(AviState::NotUnderstood, "not an AVI file");
    }
    if (!read(0, riff, 12)) {
        return result(AviState::Failed, "cannot read the file");
    }
    if (get32(riff) != kRiff || get32(riff + 8) != kAvi) {
        return result(AviState::NotUnderstood, "not an AVI file");
    }
    h_.riffSize = get32(riff + 4);

    // A header that never reached the disk whole: no frame did either. Only a
    // small file is taken for one; a large one is damaged otherwise.
    const auto tornHeader = [this] {
        return size_ <= kMaxHeader ? result(AviState::NoFrames)
                                   : result(AviState::NotUnderstood, "damaged header");
    };
    bool headerSeen = false;
    std::uint64_t pos = 12;
    for (;;) {
        std::uint8_t head[12];
        if (size_ - pos < 12 || !read(pos, head, 12)) {
            return tornHeader();
        }
        const std::uint32_t id = get32(head);
        const std::uint64_t size = get32(head + 4);
        const std::uint32_t type = get32(head + 8);
        if (id == kList && type == kMovi) {
            parts_.push_back(Part{0, pos, std::uint32_t(size), {}, {}, 0, {}});
            break;
        }
        if (pos + 8 + size > size_) {
            return tornHeader();
        }
        if (id == kList && type == kHdrl) {
            if (headerSeen || size < 4 || !parseHeaderList(pos + 12, pos + 8 + size, false)) {
                return result(AviState::NotUnderstood, "damaged stream header");
            }
            headerSeen = true;
        }
        pos += 8 + padded(size);
    }
    if (!headerSeen || !h_.avih || !h_.strh) {
        return result(AviState::NotUnderstood, "no stream header");
    }
    if (h_.streams != 1 || h_.strlCount != 1 || h_.strhType != kVids) {
        return result(AviState::NotUnderstood, "not a single video stream");
    }
    return std::nullopt;
}

bool Repair::tailIsZero(std::uint64_t from) {
    std::vector<std::uint8_t> block(1 << 20);
    for (std::uint64_t pos = from; pos < size_;) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(block.size(), size_ - pos));
        if (!read(pos, block.data(), n)) {
            return false;
        }
        if (std::any_of(block.begin(), block.begin() + std::ptrdiff_t(n),
                        [](std::uint8_t b) { return b != 0; })) {
            return false;
        }
        pos += n;
    }
    return true;
}

// Every chunk from the first frame on, one after the other, whatever the
// (possibly placeholder) sizes of the lists around them say.
std::optional<AviRepairResult> Repair::scan() {
    std::uint64_t pos = parts_.front().moviPos + 12;
    for (;;) {
        end_ = pos;
        if (pos == size_) {
            return std::nullopt;
        }
        std::uint8_t head[24];
        if (size_ - pos < 8) {
            return std::nullopt;  // a torn chunk header
        }
        if (!read(pos, head, 8)) {
            return result(AviState::Failed, "cannot read the file");
        }
        const std::uint32_t id = get32(head);
        const std::uint64_t size = get32(head + 4);
        if (id == kRiff) {
            if (size_ - pos < 24) {
                return std::nullopt;  // a torn part header
            }
            if (!read(pos, head, 24)) {
                return result(AviState::Failed, "cannot read the file");
            }
            if (get32(head + 8) != kAvix || get32(head + 12) != kList ||
                get32(head + 20) != kMovi) {
                return result(AviState::NotUnderstood,
                              "unexpected RIFF part at " + std::to_string(pos));
            }
            parts_.push_back(Part{pos, pos + 12, get32(head + 16), {}, {}, 0, {}});
            pos += 24;
            continue;
        }
        const bool known = isFrameChunk(id) || id == kIx00 || id == kJunk ||
                           (id == kIdx1 && parts_.size() == 1 && !parts_.back().idx1Pos);
        if (!known) {
            if (tailIsZero(pos)) {
                return std::nullopt;  // allocated but never written: a power cut
            }
            return result(AviState::NotUnderstood,
                          "unexpected data at offset " + std::to_string(pos));
        }
        if (pos + 8 + size > size_) {
            const std::uint64_t limit =
                std::max<std::uint64_t>(kMaxTornChunk, 4ull * largestFrame_);
            if (size > limit) {
                return result(AviState::NotUnderstood, "a chunk at offset " + std::to_string(pos) +
                                                           " claims " + std::to_string(size) +
                                                           " bytes");
            }
            return std::nullopt;  // torn: its data never reached the disk whole
        }
        Part& part = parts_.back();
        if (isFrameChunk(id) && part.idx1Pos) {
            // The muxer writes idx1 after a part's last frame, never before one.
            return result(AviState::NotUnderstood,
                          "a frame after the index at offset " + std::to_string(pos));
        }
        if (isFrameChunk(id)) {
            part.frames.push_back(Frame{pos, id, std::uint32_t(size)});
            largestFrame_ = std::max(largestFrame_, std::uint32_t(size));
        } else if (id == kIx00) {
            part.ixPos = pos;
            part.ixSize = std::uint32_t(size);
        } else if (id == kIdx1) {
            part.idx1Pos = pos;
        }
        // The pad byte of an odd last chunk may be missing.
        pos = std::min(pos + 8 + padded(size), size_);
    }
}

std::uint64_t Repair::frameCount() const {
    std::uint64_t n = 0;
    for (const Part& part : parts_) {
        n += part.frames.size();
    }
    return n;
}

std::vector<bool> Repair::keyFlags(const Part& part) {
    const Codec codec = codecOf(h_.compression);
    const std::size_t probe = keyProbeBytes(codec);
    std::vector<bool> keys(part.frames.size(), true);
    std::vector<std::uint8_t> data(probe);
    for (std::size_t i = 0; i < part.frames.size() && probe > 0; ++i) {
        const Frame& f = part.frames[i];
        const std::size_t n = std::min<std::size_t>(probe, f.size);
        keys[i] = read(f.pos + 8, data.data(), n) && isKeyFrame(codec, data.data(), n);
    }
    if (&part == &parts_.front() && !keys.empty()) {
        keys.front() = true;  // a stream starts with one, whatever its bytes say
    }
    return keys;
}

AviRepairResult Repair::repair() {
    // Parts after the first that got no whole frame go entirely.
    std::uint64_t cut = size_;
    while (parts_.size() > 1 && parts_.back().frames.empty()) {
        cut = parts_.back().riffPos;
        parts_.pop_back();
    }
    if (parts_.front().frames.empty()) {
        return parts_.size() == 1 ? result(AviState::NoFrames)
                                  : result(AviState::NotUnderstood, "frames after an empty part");
    }
    const std::size_t last = parts_.size() - 1;
    for (std::size_t k = 0; k < last; ++k) {
        if (!parts_[k].ixPos || (k == 0 && !parts_[0].idx1Pos)) {
            return result(AviState::NotUnderstood, "a finished part without its index");
        }
    }
    if (last > 0 && (!h_.superIndex ||
                     (h_.superIndexSize - kSuperIndexHeader) / kSuperIndexEntry < parts_.size())) {
        return result(AviState::NotUnderstood, "no room for the index of every part");
    }
    Part& tail = parts_[last];
    const Frame& lastFrame = tail.frames.back();
    const std::uint64_t framesEnd = lastFrame.pos + 8 + padded(lastFrame.size);
    if (last == 0 && lastFrame.pos + 8 + lastFrame.size > 0xffffffffu) {
        return result(AviState::NotUnderstood, "a first part beyond 4 GB");
    }

    // The index of the last part: idx1 for a plain file, ix00 for the last
    // part of an OpenDML one.
    const std::vector<bool> keys = keyFlags(tail);
    std::vector<std::uint8_t> index;
    if (last == 0) {
        put32(index, kIdx1);
        put32(index, std::uint32_t(16 * tail.frames.size()));
        for (std::size_t i = 0; i < tail.frames.size(); ++i) {
            const Frame& f = tail.frames[i];
            put32(index, f.id);
            put32(index, kIdx1Entry | (keys[i] ? kIdx1KeyFrame : 0));
            put32(index, std::uint32_t(f.pos));
            put32(index, f.size);
        }
    } else {
        put32(index, kIx00);
        put32(index, std::uint32_t(kChunkIndexHeader + 8 * tail.frames.size()));
        put16(index, 2);  // longs per entry
        index.push_back(0);
        index.push_back(1);  // an index of chunks
        put32(index, std::uint32_t(tail.frames.size()));
        put32(index, tail.frames.front().id);
        put64(index, tail.riffPos);
        put32(index, 0);
        for (std::size_t i = 0; i < tail.frames.size(); ++i) {
            const Frame& f = tail.frames[i];
            put32(index, std::uint32_t(f.pos + 8 - tail.riffPos));
            put32(index, f.size | (keys[i] ? 0 : kIxDeltaFrame));
        }
    }

    AviRepairResult r = result(AviState::Repaired);
    r.cutBytes = cut > framesEnd ? cut - framesEnd : 0;
    // The index goes after the last whole frame first; only then are the
    // headers made to point at it. An interrupted repair is simply redone.
    bool indexed = s_.write(framesEnd, index.data(), index.size());
    const std::uint64_t fileEnd = framesEnd + (indexed ? index.size() : 0);
    if (!s_.truncate(fileEnd)) {
        if (!indexed) {
            return result(AviState::Failed, "cannot cut the torn end");
        }
        indexed = false;
        if (!s_.truncate(framesEnd)) {
            return result(AviState::Failed, "cannot cut the torn end");
        }
    }
    const std::uint64_t newEnd = indexed ? fileEnd : framesEnd;
    if (!indexed) {
        r.state = AviState::RepairedWithoutIndex;
    }
    if (last == 0) {
        tail.idx1Pos = framesEnd;
        tail.ixPos.reset();
    } else {
        tail.ixPos = framesEnd;
        tail.ixSize = std::uint32_t(index.size() - 8);
    }

    bool ok = true;
    // The sizes of the later parts.
    for (std::size_t k = 1; k < parts_.size(); ++k) {
        const Part& part = parts_[k];
        const std::uint64_t partEnd = k < last ? parts_[k + 1].riffPos : newEnd;
        ok = ok && write32(part.riffPos + 4, std::uint32_t(partEnd - (part.riffPos + 8))) &&
             write32(part.moviPos + 4, std::uint32_t(partEnd - (part.moviPos + 8)));
    }
    // The first part and the headers.
    const Part& first = parts_.front();
    const std::uint64_t firstEnd = last > 0 ? parts_[1].riffPos : newEnd;
    const std::uint64_t moviEnd = last > 0 || indexed ? *first.idx1Pos : framesEnd;
    const std::uint64_t total = frameCount();
    ok = ok && write32(4, std::uint32_t(firstEnd - 8)) &&
         write32(first.moviPos + 4, std::uint32_t(moviEnd - (first.moviPos + 8)));
    const std::uint32_t flags =
        (last > 0 || indexed) ? h_.avihFlags | kAvifHasIndex : h_.avihFlags & ~kAvifHasIndex;
    ok = ok && write32(*h_.avih + 12, flags) &&
         write32(*h_.avih + 16, std::uint32_t(first.frames.size())) &&
         write32(*h_.strh + 32, std::uint32_t(total)) &&
         write32(*h_.strh + 36, std::max(h_.strhSuggested, largestFrame_));
    if (h_.dmlh) {
        ok = ok && write32(*h_.dmlh, std::uint32_t(total));
    }
    if (last > 0) {
        std::vector<std::uint8_t> super;
        put32(super, kIndx);
        put32(super, h_.superIndexSize);
        put16(super, 4);
        super.push_back(0);
        super.push_back(0);  // an index of indexes
        const std::size_t indexed_parts = indexed ? parts_.size() : parts_.size() - 1;
        put32(super, std::uint32_t(indexed_parts));
        put32(super, first.frames.front().id);
        put32(super, 0);
        put32(super, 0);
        put32(super, 0);
        for (std::size_t k = 0; k < indexed_parts; ++k) {
            put64(super, *parts_[k].ixPos);
            put32(super, parts_[k].ixSize + 8);
            put32(super, std::uint32_t(parts_[k].frames.size()));
        }
        super.resize(8 + h_.superIndexSize, 0);
        ok = ok && s_.write(*h_.superIndex, super.data(), super.size());
    }
    if (!ok || !s_.sync()) {
        return result(AviState::Failed, "cannot write the headers");
    }
    r.frames = total;
    r.parts = parts_.size();
    return r;
}

// What the muxer's last act, the header it rewrites at the end, says: sizes
// that add up to the file, counts that match the index. Trusted without
// reading every frame, so that a start-up over a full folder stays quick.
bool Repair::finishedByHeader() {
    const Part& first = parts_.front();
    const std::uint64_t idx1Pos = first.moviPos + 8 + std::uint64_t(first.moviSize);
    std::uint8_t idx1[8];
    if (!(h_.avihFlags & kAvifHasIndex) || h_.avihTotal == 0 || first.moviSize <= 4 ||
        !read(idx1Pos, idx1, 8) || get32(idx1) != kIdx1 ||
        get32(idx1 + 4) != 16ull * h_.avihTotal ||
        idx1Pos + 8 + get32(idx1 + 4) > 8 + std::uint64_t(h_.riffSize)) {
        return false;
    }
    const std::uint64_t total = h_.dmlh ? h_.dmlhTotal : h_.avihTotal;
    if (h_.strhLength != total) {
        return false;
    }
    std::uint64_t parts = 1;
    std::uint64_t pos = 8 + std::uint64_t(h_.riffSize);
    while (pos < size_) {
        std::uint8_t head[24];
        if (!read(pos, head, 24) || get32(head) != kRiff || get32(head + 8) != kAvix ||
            get32(head + 12) != kList || get32(head + 20) != kMovi ||
            std::uint64_t(get32(head + 16)) + 12 != get32(head + 4)) {
            return false;
        }
        pos += 8 + std::uint64_t(get32(head + 4));
        ++parts;
    }
    if (pos != size_) {
        return false;
    }
    return parts == 1 ? total == h_.avihTotal
                      : h_.superIndexUsed && h_.superIndexEntries == parts && total > h_.avihTotal;
}

AviRepairResult Repair::run(bool checkOnly) {
    if (auto early = parseHeader()) {
        return *early;
    }
    if (finishedByHeader()) {
        AviRepairResult r = result(AviState::Finished);
        r.frames = h_.strhLength;
        return r;
    }
    if (auto early = scan()) {
        return *early;
    }
    if (frameCount() == 0) {
        return result(AviState::NoFrames);
    }
    if (checkOnly) {
        AviRepairResult r = result(AviState::Unfinished);
        r.cutBytes = size_ - end_;
        return r;
    }
    return repair();
}

}  // namespace

bool hasAviHeader(AviStorage& storage) {
    std::uint8_t riff[12] = {};
    return storage.size() >= 12 && storage.read(0, riff, 12) && get32(riff) == kRiff &&
           get32(riff + 8) == kAvi;
}

AviRepairResult repairAvi(AviStorage& storage, bool checkOnly) {
    return Repair(storage).run(checkOnly);
}

AviRepairResult repairAviFile(const std::string& path, bool* busy, bool checkOnly) {
    if (busy) {
        *busy = false;
    }
    AviRepairResult failed;
    failed.state = AviState::Failed;
    // A FIFO or device is never opened at all: that may wait, or do something.
    struct stat before {};
    if (::lstat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode) &&
        !S_ISLNK(before.st_mode)) {
        failed.state = AviState::NotUnderstood;
        failed.reason = "not a regular file";
        return failed;
    }
    const int fd =
        ::open(path.c_str(), (checkOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ELOOP) {
            failed.state = AviState::NotUnderstood;
            failed.reason = "a symbolic link";
        } else {
            failed.reason = std::strerror(errno);
        }
        return failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        failed.state = AviState::NotUnderstood;
        failed.reason = "not a regular file";
        return failed;
    }
    if (!checkOnly && (st.st_uid != ::geteuid() || st.st_nlink != 1)) {
        ::close(fd);
        failed.state = AviState::NotUnderstood;
        failed.reason = st.st_uid != ::geteuid()
                            ? "owned by another user"
                            : "a file with " + std::to_string(st.st_nlink) + " names (hard links)";
        return failed;
    }
    // The recorder holds this lock on every file it writes.
    if (::flock(fd, (checkOnly ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (busy && error == EWOULDBLOCK) {
            *busy = true;
        }
        failed.reason = error == EWOULDBLOCK ? "being written" : std::strerror(error);
        return failed;
    }
    FdStorage storage(fd);
    AviRepairResult result = repairAvi(storage, checkOnly);
    ::close(fd);
    return result;
}

const char* aviStateName(AviState state) {
    switch (state) {
        case AviState::Finished:
            return "finished";
        case AviState::Unfinished:
            return "unfinished";
        case AviState::Repaired:
            return "repaired";
        case AviState::RepairedWithoutIndex:
            return "repaired without an index";
        case AviState::NoFrames:
            return "without a frame";
        case AviState::NotUnderstood:
            return "not understood";
        case AviState::Failed:
            return "failed";
    }
    return "?";
}

}  // namespace kv::record
