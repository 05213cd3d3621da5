#include "film/avi_frames.h"

#include "record/avi_repair.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kv::film {

namespace {

constexpr std::uint32_t fcc(const char (&s)[5]) {
    return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
           std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

constexpr std::uint32_t kAvifKeyFrame = 0x10;

class Reader {
  public:
    Reader(int fd, std::uint64_t size) : storage_(fd), size_(size) {}
    std::uint64_t size() const { return size_; }
    // Only within the size seen at the start: a file being written grows.
    bool read(std::uint64_t offset, void* data, std::size_t length) const {
        return offset + length <= size_ && storage_.read(offset, data, length);
    }
    // A chunk header: its fourcc and size; false past the end.
    bool header(std::uint64_t offset, std::uint32_t* id, std::uint32_t* length) const {
        std::uint8_t h[8];
        if (!read(offset, h, 8)) {
            return false;
        }
        *id = le32(h);
        *length = le32(h + 4);
        return true;
    }

  private:
    mutable record::FdStorage storage_;
    std::uint64_t size_;
};

bool isVideoChunk(std::uint32_t id) {
    return id == fcc("00dc") || id == fcc("00db");
}

// The stream list of the first video stream: its strh and strf.
void readHeaderList(const Reader& r, std::uint64_t begin, std::uint64_t end, AviFrames* out) {
    for (std::uint64_t at = begin; at + 8 <= end;) {
        std::uint32_t id = 0;
        std::uint32_t length = 0;
        if (!r.header(at, &id, &length)) {
            return;
        }
        const std::uint64_t body = at + 8;
        const std::uint64_t next = body + length + (length & 1);
        if (id == fcc("LIST")) {
            std::uint32_t type = 0;
            std::uint8_t t[4];
            if (r.read(body, t, 4)) {
                type = le32(t);
            }
            if (type == fcc("strl") && out->strf.empty()) {
                std::vector<std::uint8_t> strh;
                std::vector<std::uint8_t> strf;
                for (std::uint64_t in = body + 4; in + 8 <= std::min(next, end);) {
                    std::uint32_t sid = 0;
                    std::uint32_t slength = 0;
                    if (!r.header(in, &sid, &slength) || slength > (1u << 20)) {
                        break;
                    }
                    if (sid == fcc("strh") || sid == fcc("strf")) {
                        std::vector<std::uint8_t>& into = sid == fcc("strh") ? strh : strf;
                        into.resize(slength);
                        if (!r.read(in + 8, into.data(), slength)) {
                            into.clear();
                        }
                    }
                    in += 8 + slength + (slength & 1);
                }
                if (strh.size() >= 56 && le32(strh.data()) == fcc("vids") && strf.size() >= 40) {
                    out->strh = std::move(strh);
                    out->strf = std::move(strf);
                }
            } else if (type == fcc("hdrl")) {
                readHeaderList(r, body + 4, std::min(next, end), out);
            }
        }
        at = next;
    }
}

// Every whole video chunk of a movie list, in order; stops at the first
// chunk that does not fit (torn by a crash, or not yet written).
void walkMovie(const Reader& r, std::uint64_t begin, std::uint64_t end,
               std::vector<AviChunk>* frames) {
    for (std::uint64_t at = begin; at + 8 <= end;) {
        std::uint32_t id = 0;
        std::uint32_t length = 0;
        if (!r.header(at, &id, &length)) {
            return;
        }
        const std::uint64_t body = at + 8;
        if (body + length > r.size()) {
            return;
        }
        if (id == fcc("LIST")) {
            walkMovie(r, body + 4, std::min<std::uint64_t>(body + length, end), frames);
        } else if (isVideoChunk(id)) {
            frames->push_back({body, length, true});
        }
        at = body + length + (length & 1);
    }
}

}  // namespace

AviFrames readAviFrames(int fd) {
    AviFrames out;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        out.error = QString::fromLocal8Bit(std::strerror(errno));
        return out;
    }
    const Reader r(fd, std::uint64_t(st.st_size));
    std::uint32_t id = 0;
    std::uint32_t length = 0;
    std::uint8_t type[4];
    if (!r.header(0, &id, &length) || id != fcc("RIFF") || !r.read(8, type, 4) ||
        le32(type) != fcc("AVI ")) {
        out.error = QStringLiteral("not an AVI file");
        return out;
    }
    // Walk every RIFF part (OpenDML files have "AVIX" parts after the first);
    // sizes a crash left as placeholders are bounded by the file.
    std::uint64_t moviList = 0;  // where the first movie list's "movi" tag is
    std::uint64_t idx1 = 0;
    std::uint32_t idx1Length = 0;
    bool extraParts = false;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> movies;
    for (std::uint64_t part = 0; part + 12 <= r.size();) {
        if (!r.header(part, &id, &length) || id != fcc("RIFF")) {
            break;
        }
        extraParts = extraParts || part > 0;
        const std::uint64_t partEnd =
            length == 0 ? r.size() : std::min<std::uint64_t>(part + 8 + length, r.size());
        for (std::uint64_t at = part + 12; at + 8 <= partEnd;) {
            if (!r.header(at, &id, &length)) {
                break;
            }
            const std::uint64_t body = at + 8;
            std::uint8_t t[4];
            const bool list = id == fcc("LIST") && r.read(body, t, 4);
            if (list && le32(t) == fcc("hdrl")) {
                readHeaderList(r, body + 4, std::min<std::uint64_t>(body + length, partEnd), &out);
            } else if (list && le32(t) == fcc("movi")) {
                // A placeholder size (an empty list while the muxer writes), or one past
                // the end: the list runs to the file's end.
                const std::uint64_t end =
                    length <= 4 || body + length > r.size() ? r.size() : body + length;
                if (moviList == 0) {
                    moviList = body;
                }
                movies.emplace_back(body + 4, end);
                if (end == r.size()) {
                    break;
                }
            } else if (id == fcc("idx1") && part == 0) {
                idx1 = body;
                idx1Length = length;
            }
            if (length == 0 && id == fcc("LIST")) {
                break;
            }
            at = body + length + (length & 1);
        }
        part = partEnd + (partEnd & 1);
    }
    if (out.strf.empty()) {
        out.error = QStringLiteral("no video stream");
        return out;
    }
    out.fourcc = le32(out.strf.data() + 16);
    out.width = int(le32(out.strf.data() + 4));
    out.height = std::abs(int(le32(out.strf.data() + 8)));
    const std::uint32_t scale = le32(out.strh.data() + 20);
    const std::uint32_t rate = le32(out.strh.data() + 24);
    if (scale > 0 && rate > 0) {
        out.frameDuration_us = qint64(double(scale) * 1e6 / double(rate) + 0.5);
    }
    if (moviList == 0) {
        out.error = QStringLiteral("no movie list");
        return out;
    }

    // The index, when there is one and it covers the whole file.
    if (idx1 != 0 && !extraParts && idx1 + idx1Length <= r.size()) {
        std::vector<std::uint8_t> index(idx1Length);
        if (r.read(idx1, index.data(), index.size())) {
            std::uint64_t base = 0;
            bool baseKnown = false;
            bool fine = true;
            for (std::size_t i = 0; i + 16 <= index.size() && fine; i += 16) {
                const std::uint8_t* e = index.data() + i;
                if (!isVideoChunk(le32(e))) {
                    continue;
                }
                const std::uint64_t offset = le32(e + 8);
                const std::uint32_t size = le32(e + 12);
                if (!baseKnown) {
                    // Offsets count from the "movi" tag, or (some writers) from the file's start.
                    std::uint32_t cid = 0;
                    std::uint32_t clen = 0;
                    base = r.header(moviList + offset, &cid, &clen) && isVideoChunk(cid) ? moviList
                                                                                         : 0;
                    baseKnown = true;
                }
                const std::uint64_t chunk = base + offset + 8;
                fine = chunk + size <= r.size();
                out.frames.push_back({chunk, size, (le32(e + 4) & kAvifKeyFrame) != 0});
            }
            if (fine && !out.frames.empty()) {
                out.indexed = true;
                out.ok = true;
                return out;
            }
            out.frames.clear();
        }
    }
    for (const auto& [begin, end] : movies) {
        walkMovie(r, begin, end, &out.frames);
    }
    out.keysKnown = intraOnly(out.fourcc);
    out.ok = true;
    return out;
}

AviFrames readAviFrames(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    AviFrames out;
    if (fd < 0) {
        out.error = QString::fromLocal8Bit(std::strerror(errno));
        return out;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        out.error = QStringLiteral("not a regular file");
        return out;
    }
    out = readAviFrames(fd);
    ::close(fd);
    return out;
}

bool intraOnly(std::uint32_t fourcc) {
    for (const char* intra : {"MJPG", "mjpg", "HFYU", "hfyu", "MPNG", "mpng", "PNG1", "png1"}) {
        if (fourcc == le32(reinterpret_cast<const std::uint8_t*>(intra))) {
            return true;
        }
    }
    return fourcc == 0;  // uncompressed
}

QString fourccText(std::uint32_t fourcc) {
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((fourcc >> (8 * i)) & 0xff);
        text += c >= 32 && c < 127 ? QLatin1Char(c) : QLatin1Char('?');
    }
    return text;
}

}  // namespace kv::film
