#include "media/jpeg_encoder.h"

#include <gst/video/gstvideoencoder.h>
#include <gst/video/video.h>

// jpeglib.h needs size_t and FILE declared before it.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <mutex>
#include <vector>

namespace kv::media {

namespace {

// The JPEG standard's example tables (Annex K), natural order.
constexpr std::uint8_t kAnnexLuma[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::uint8_t kAnnexChroma[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

constexpr int kDefaultQuality = 85;

// Measuring a picture's symbols costs a second pass over it, as much as
// coding it again (one branch per coefficient, slow on a camera's noise):
// the pictures between measurements take the last measured picture's codes,
// made complete, in one pass. A camera's pictures change slowly.
constexpr int kMeasureEvery = 8;

// Huffman codes of one measured picture: luma and chroma, DC and AC.
struct HuffmanTables {
    JHUFF_TBL dc[2];
    JHUFF_TBL ac[2];
    bool valid = false;
    int picturesSince = 0;
    // What the measured picture was.
    int quality = -1;
    int width = 0;
    int height = 0;
    bool bgr = false;
};

struct KvJpegEnc {
    GstVideoEncoder parent;
    // --- property, under the object lock
    int quality;
    // --- only accessed from the streaming thread
    GstVideoCodecState* input;
    jpeg_compress_struct* cinfo;
    std::vector<std::uint8_t>* out;     // the picture being written
    std::vector<std::uint8_t>* padded;  // rows widened to whole blocks
    HuffmanTables* huffman;             // made from the last measured picture
};

struct KvJpegEncClass {
    GstVideoEncoderClass parentClass;
};

enum { kPropQuality = 1 };

GstStaticPadTemplate gSink = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format=(string){ BGR, I420 }, width=(int)[1, 65500], "
                    "height=(int)[1, 65500], framerate=(fraction)[0/1, MAX]"));
GstStaticPadTemplate gSrc =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("image/jpeg, width=(int)[1, 65500], "
                                            "height=(int)[1, 65500], "
                                            "framerate=(fraction)[0/1, MAX], sof-marker=(int)0"));

GstVideoEncoderClass* gParentClass = nullptr;

KvJpegEnc* self(gpointer p) {
    return reinterpret_cast<KvJpegEnc*>(p);
}

// --- libjpeg's error and output hooks

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void outputMessage(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, text);
    GST_WARNING("libjpeg: %s", text);
}

// The picture goes into a vector that keeps its capacity from frame to frame.
struct Destination {
    jpeg_destination_mgr pub;
    std::vector<std::uint8_t>* out;
};

constexpr std::size_t kOutStep = 256 * 1024;

void initDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    d->out->resize(std::max(d->out->capacity(), kOutStep));
    d->pub.next_output_byte = d->out->data();
    d->pub.free_in_buffer = d->out->size();
}

boolean emptyOutput(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    const std::size_t used = d->out->size();
    d->out->resize(used * 2);
    d->pub.next_output_byte = d->out->data() + used;
    d->pub.free_in_buffer = d->out->size() - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    d->out->resize(d->out->size() - d->pub.free_in_buffer);
}

struct Codec {
    jpeg_compress_struct cinfo;
    ErrorManager error;
    Destination destination;
};

// --- Huffman codes for the pictures between measurements

// Code lengths for the symbols with a count, none longer than 16 bits and
// none of all ones, as the JPEG standard's Annex K.2 and K.3 make them.
void buildTable(const long (&counts)[256], JHUFF_TBL* table) {
    constexpr int kSymbols = 257;  // the last one reserved: no code of all ones
    long freq[kSymbols];
    std::copy(std::begin(counts), std::end(counts), freq);
    freq[256] = 1;
    int size[kSymbols] = {};
    int next[kSymbols];
    std::fill(std::begin(next), std::end(next), -1);
    for (;;) {
        // The two least frequent, the later symbol first on ties.
        int a = -1;
        int b = -1;
        for (int i = 0; i < kSymbols; ++i) {
            if (freq[i] == 0) {
                continue;
            }
            if (a < 0 || freq[i] <= freq[a]) {
                b = a;
                a = i;
            } else if (b < 0 || freq[i] <= freq[b]) {
                b = i;
            }
        }
        if (b < 0) {
            break;
        }
        freq[a] += freq[b];
        freq[b] = 0;
        for (int i = a;; i = next[i]) {
            ++size[i];
            if (next[i] < 0) {
                next[i] = b;
                break;
            }
        }
        for (int i = b; i >= 0; i = next[i]) {
            ++size[i];
        }
    }
    int bits[kSymbols + 1] = {};
    for (int i = 0; i < kSymbols; ++i) {
        if (size[i] > 0) {
            ++bits[size[i]];
        }
    }
    for (int length = kSymbols; length > 16; --length) {
        while (bits[length] > 0) {
            int shorter = length - 2;
            while (bits[shorter] == 0) {
                --shorter;
            }
            bits[length] -= 2;
            bits[length - 1] += 1;
            bits[shorter + 1] += 2;
            bits[shorter] -= 1;
        }
    }
    int longest = 16;
    while (bits[longest] == 0) {
        --longest;
    }
    --bits[longest];  // the reserved symbol's code
    table->bits[0] = 0;
    for (int length = 1; length <= 16; ++length) {
        table->bits[length] = UINT8(bits[length]);
    }
    int k = 0;
    for (int length = 1; length <= kSymbols; ++length) {
        for (int i = 0; i < 256; ++i) {
            if (size[i] == length) {
                table->huffval[k++] = UINT8(i);
            }
        }
    }
    table->sent_table = FALSE;
}

// A measured picture's code, complete: its symbols keep their lengths'
// order, every other symbol the picture could hold gets one of the longest.
void completeTable(const JHUFF_TBL& measured, bool ac, JHUFF_TBL* table) {
    long counts[256] = {};
    if (ac) {
        counts[0x00] = 1;  // end of block
        counts[0xf0] = 1;  // sixteen zeros
        for (int run = 0; run < 16; ++run) {
            for (int bits = 1; bits <= 10; ++bits) {
                counts[(run << 4) | bits] = 1;
            }
        }
    } else {
        std::fill_n(counts, 12, 1);
    }
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int n = 0; n < measured.bits[length]; ++n) {
            counts[measured.huffval[k++]] = 1L << (17 - length);
        }
    }
    buildTable(counts, table);
}

void freeCodec(KvJpegEnc* enc) {
    if (enc->cinfo) {
        jpeg_destroy_compress(enc->cinfo);
        delete reinterpret_cast<Codec*>(enc->cinfo);
        enc->cinfo = nullptr;
    }
}

jpeg_compress_struct* makeCodec(KvJpegEnc* enc) {
    auto* codec = new Codec{};
    codec->cinfo.err = jpeg_std_error(&codec->error.pub);
    codec->error.pub.error_exit = errorExit;
    codec->error.pub.output_message = outputMessage;
    if (setjmp(codec->error.jump)) {
        delete codec;
        return nullptr;
    }
    jpeg_create_compress(&codec->cinfo);
    codec->destination.out = enc->out;
    codec->destination.pub.init_destination = initDestination;
    codec->destination.pub.empty_output_buffer = emptyOutput;
    codec->destination.pub.term_destination = termDestination;
    codec->cinfo.dest = &codec->destination.pub;
    return &codec->cinfo;
}

// --- GstVideoEncoder

gboolean encStart(GstVideoEncoder* encoder) {
    KvJpegEnc* enc = self(encoder);
    enc->huffman->valid = false;
    enc->cinfo = makeCodec(enc);
    return enc->cinfo != nullptr;
}

gboolean encStop(GstVideoEncoder* encoder) {
    KvJpegEnc* enc = self(encoder);
    freeCodec(enc);
    if (enc->input) {
        gst_video_codec_state_unref(enc->input);
        enc->input = nullptr;
    }
    return TRUE;
}

gboolean encSetFormat(GstVideoEncoder* encoder, GstVideoCodecState* state) {
    KvJpegEnc* enc = self(encoder);
    if (enc->input) {
        gst_video_codec_state_unref(enc->input);
    }
    enc->input = gst_video_codec_state_ref(state);
    GstCaps* caps = gst_caps_new_simple("image/jpeg", "sof-marker", G_TYPE_INT, 0, nullptr);
    GstVideoCodecState* output = gst_video_encoder_set_output_state(encoder, caps, state);
    gst_video_codec_state_unref(output);
    return gst_video_encoder_negotiate(encoder);
}

void setTables(jpeg_compress_struct* cinfo, int quality) {
    const JpegTables tables = jpegTables(quality);
    unsigned luma[64];
    unsigned chroma[64];
    std::copy(std::begin(tables.luma), std::end(tables.luma), luma);
    std::copy(std::begin(tables.chroma), std::end(tables.chroma), chroma);
    // Scale 100: the tables as given.
    jpeg_add_quant_table(cinfo, 0, luma, 100, TRUE);
    jpeg_add_quant_table(cinfo, 1, chroma, 100, TRUE);
}

// Sets up one picture: JFIF (full-range BT.601 YCbCr, 4:2:0) and the
// quantisation tables for the quality.
void setUp(jpeg_compress_struct* cinfo, int width, int height, bool bgr, int quality) {
    cinfo->image_width = JDIMENSION(width);
    cinfo->image_height = JDIMENSION(height);
    cinfo->input_components = 3;
    cinfo->in_color_space = bgr ? JCS_EXT_BGR : JCS_YCbCr;
    jpeg_set_defaults(cinfo);
    jpeg_set_colorspace(cinfo, JCS_YCbCr);
    cinfo->raw_data_in = bgr ? FALSE : TRUE;
    // ifast cost half a decibel at the top qualities.
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->comp_info[0].h_samp_factor = 2;
    cinfo->comp_info[0].v_samp_factor = 2;
    for (int c = 1; c < 3; ++c) {
        cinfo->comp_info[c].h_samp_factor = 1;
        cinfo->comp_info[c].v_samp_factor = 1;
    }
    setTables(cinfo, quality);
}

// BGR rows: libjpeg-turbo converts and subsamples them itself, and repeats
// the edges out to whole blocks.
void writeBgr(jpeg_compress_struct* cinfo, const GstVideoFrame& frame) {
    const auto* data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    JSAMPROW rows[16];
    while (cinfo->next_scanline < cinfo->image_height) {
        const JDIMENSION first = cinfo->next_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(16, cinfo->image_height - first);
        for (JDIMENSION r = 0; r < count; ++r) {
            rows[r] = const_cast<JSAMPROW>(data + std::ptrdiff_t(first + r) * stride);
        }
        jpeg_write_scanlines(cinfo, rows, count);
    }
}

// I420 planes as they are. libjpeg reads whole blocks, beyond the right
// edge (widened rows repeat the edge where the stride is too short) and
// below the last row (which repeats).
void writeI420(jpeg_compress_struct* cinfo, const GstVideoFrame& frame,
               std::vector<std::uint8_t>& padded) {
    const int width = GST_VIDEO_FRAME_WIDTH(&frame);
    const int height = GST_VIDEO_FRAME_HEIGHT(&frame);
    const int planeWidth[3] = {width, (width + 1) / 2, (width + 1) / 2};
    const int planeHeight[3] = {height, (height + 1) / 2, (height + 1) / 2};
    int blockWidth[3];
    bool widen = false;
    for (int c = 0; c < 3; ++c) {
        blockWidth[c] = int(cinfo->comp_info[c].width_in_blocks) * DCTSIZE;
        widen = widen || blockWidth[c] > GST_VIDEO_FRAME_COMP_STRIDE(&frame, c);
    }
    // Widened rows of one pass: 16 luma and 8 + 8 chroma.
    if (widen) {
        padded.resize(std::size_t(blockWidth[0]) * 16 + std::size_t(blockWidth[1]) * 16);
    }
    JSAMPROW rows[3][16];
    JSAMPARRAY planes[3] = {rows[0], rows[1], rows[2]};
    while (cinfo->next_scanline < cinfo->image_height) {
        const int top = int(cinfo->next_scanline);
        std::uint8_t* scratch = padded.data();
        for (int c = 0; c < 3; ++c) {
            const int count = c == 0 ? 16 : 8;
            const int first = c == 0 ? top : top / 2;
            const auto* data =
                static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, c));
            const int stride = GST_VIDEO_FRAME_COMP_STRIDE(&frame, c);
            for (int r = 0; r < count; ++r) {
                const int y = std::min(first + r, planeHeight[c] - 1);
                const std::uint8_t* row = data + std::ptrdiff_t(y) * stride;
                if (widen) {
                    std::memcpy(scratch, row, std::size_t(planeWidth[c]));
                    std::memset(scratch + planeWidth[c], row[planeWidth[c] - 1],
                                std::size_t(blockWidth[c] - planeWidth[c]));
                    row = scratch;
                    scratch += blockWidth[c];
                }
                rows[c][r] = const_cast<JSAMPROW>(row);
            }
        }
        jpeg_write_raw_data(cinfo, planes, 16);
    }
}

// Codes one picture into enc->out; false on a libjpeg error.
bool compress(KvJpegEnc* enc, const GstVideoFrame& frame, int quality) {
    jpeg_compress_struct* cinfo = enc->cinfo;
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    const bool bgr = GST_VIDEO_FRAME_FORMAT(&frame) == GST_VIDEO_FORMAT_BGR;
    if (setjmp(error->jump)) {
        jpeg_abort_compress(cinfo);
        enc->huffman->valid = false;
        return false;
    }
    const int width = GST_VIDEO_FRAME_WIDTH(&frame);
    const int height = GST_VIDEO_FRAME_HEIGHT(&frame);
    setUp(cinfo, width, height, bgr, quality);
    HuffmanTables& huffman = *enc->huffman;
    const bool measure = !huffman.valid || huffman.picturesSince + 1 >= kMeasureEvery ||
                         huffman.quality != quality || huffman.width != width ||
                         huffman.height != height || huffman.bgr != bgr;
    cinfo->optimize_coding = measure ? TRUE : FALSE;
    if (!measure) {
        for (int t = 0; t < 2; ++t) {
            *cinfo->dc_huff_tbl_ptrs[t] = huffman.dc[t];
            *cinfo->ac_huff_tbl_ptrs[t] = huffman.ac[t];
        }
    }
    jpeg_start_compress(cinfo, TRUE);
    if (bgr) {
        writeBgr(cinfo, frame);
    } else {
        writeI420(cinfo, frame, *enc->padded);
    }
    jpeg_finish_compress(cinfo);
    if (measure) {
        // libjpeg left the picture's own codes in the table slots.
        for (int t = 0; t < 2; ++t) {
            completeTable(*cinfo->dc_huff_tbl_ptrs[t], false, &huffman.dc[t]);
            completeTable(*cinfo->ac_huff_tbl_ptrs[t], true, &huffman.ac[t]);
        }
        huffman.valid = true;
        huffman.picturesSince = 0;
        huffman.quality = quality;
        huffman.width = width;
        huffman.height = height;
        huffman.bgr = bgr;
    } else {
        ++huffman.picturesSince;
    }
    return true;
}

GstFlowReturn encHandleFrame(GstVideoEncoder* encoder, GstVideoCodecFrame* frame) {
    KvJpegEnc* enc = self(encoder);
    if (!enc->input || !enc->cinfo) {
        gst_video_encoder_finish_frame(encoder, frame);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    GST_OBJECT_LOCK(enc);
    const int quality = enc->quality;
    GST_OBJECT_UNLOCK(enc);

    GstVideoFrame video;
    if (!gst_video_frame_map(&video, &enc->input->info, frame->input_buffer, GST_MAP_READ)) {
        gst_video_encoder_finish_frame(encoder, frame);
        GST_ELEMENT_ERROR(enc, STREAM, ENCODE, (nullptr), ("cannot map the frame"));
        return GST_FLOW_ERROR;
    }
    const bool ok = compress(enc, video, quality);
    gst_video_frame_unmap(&video);
    if (!ok) {
        gst_video_encoder_finish_frame(encoder, frame);
        GST_ELEMENT_ERROR(enc, STREAM, ENCODE, (nullptr), ("libjpeg refused the frame"));
        return GST_FLOW_ERROR;
    }
    const GstFlowReturn allocated =
        gst_video_encoder_allocate_output_frame(encoder, frame, enc->out->size());
    if (allocated != GST_FLOW_OK) {
        gst_video_encoder_finish_frame(encoder, frame);
        return allocated;
    }
    gst_buffer_fill(frame->output_buffer, 0, enc->out->data(), enc->out->size());
    GST_VIDEO_CODEC_FRAME_SET_SYNC_POINT(frame);
    return gst_video_encoder_finish_frame(encoder, frame);
}

gboolean encProposeAllocation(GstVideoEncoder* encoder, GstQuery* query) {
    gst_query_add_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
    return gParentClass->propose_allocation(encoder, query);
}

// --- GObject

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    KvJpegEnc* enc = self(object);
    if (id == kPropQuality) {
        GST_OBJECT_LOCK(enc);
        enc->quality = g_value_get_int(value);
        GST_OBJECT_UNLOCK(enc);
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    KvJpegEnc* enc = self(object);
    if (id == kPropQuality) {
        GST_OBJECT_LOCK(enc);
        g_value_set_int(value, enc->quality);
        GST_OBJECT_UNLOCK(enc);
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void finalize(GObject* object) {
    KvJpegEnc* enc = self(object);
    freeCodec(enc);
    delete enc->out;
    delete enc->padded;
    delete enc->huffman;
    G_OBJECT_CLASS(gParentClass)->finalize(object);
}

void classInit(gpointer klass, gpointer) {
    gParentClass = static_cast<GstVideoEncoderClass*>(g_type_class_peek_parent(klass));
    auto* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = setProperty;
    objectClass->get_property = getProperty;
    objectClass->finalize = finalize;
    g_object_class_install_property(
        objectClass, kPropQuality,
        g_param_spec_int(
            "quality", "Quality", "Picture quality: 0 (smallest) .. 100 (best)", 0, 100,
            kDefaultQuality,
            GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING)));
    auto* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(elementClass, &gSink);
    gst_element_class_add_static_pad_template(elementClass, &gSrc);
    gst_element_class_set_static_metadata(elementClass, "MJPEG Compressor", "Codec/Encoder/Image",
                                          "Codes I420 frames as baseline JFIF pictures",
                                          "Kestrelvision");
    auto* encoderClass = GST_VIDEO_ENCODER_CLASS(klass);
    encoderClass->start = encStart;
    encoderClass->stop = encStop;
    encoderClass->set_format = encSetFormat;
    encoderClass->handle_frame = encHandleFrame;
    encoderClass->propose_allocation = encProposeAllocation;
}

void instanceInit(GTypeInstance* instance, gpointer) {
    KvJpegEnc* enc = self(instance);
    enc->quality = kDefaultQuality;
    enc->input = nullptr;
    enc->cinfo = nullptr;
    enc->out = new std::vector<std::uint8_t>();
    enc->padded = new std::vector<std::uint8_t>();
    enc->huffman = new HuffmanTables();
}

GType encoderType() {
    static const GType type =
        g_type_register_static_simple(GST_TYPE_VIDEO_ENCODER, "KvJpegEnc", sizeof(KvJpegEncClass),
                                      classInit, sizeof(KvJpegEnc), instanceInit, GTypeFlags(0));
    return type;
}

}  // namespace

JpegTables jpegTables(int quality) {
    quality = std::clamp(quality, 0, 100);
    // libjpeg's scaling of the standard tables, in per cent: 100 at quality
    // 50, 10 at 95.
    const int q = std::max(quality, 1);
    const int standard = q < 50 ? 5000 / q : 200 - q * 2;
    // Luma: from quality 50 on the table flattens towards one step for every
    // frequency, which the luma error (PSNR) favours: the fine steps the
    // standard table keeps for low frequencies went on coding a camera's
    // noise. Each point keeps the luma PSNR of jpegenc at that quality or
    // better, on a detailed noisy scene and on the test camera.
    struct Point {
        double quality, flat, scale;
    };
    constexpr Point points[] = {{50, 0, 0.95}, {80, 0.3, 0.4}, {95, 0.8, 0.2}, {100, 1, 1.0 / 16}};
    double flat = 0;
    double scale = 0.95 * standard / 100;
    for (std::size_t i = 1; i < std::size(points) && q > points[0].quality; ++i) {
        if (q <= points[i].quality) {
            const Point& a = points[i - 1];
            const Point& b = points[i];
            const double t = (double(q) - a.quality) / (b.quality - a.quality);
            flat = a.flat + t * (b.flat - a.flat);
            scale = a.scale + t * (b.scale - a.scale);
            break;
        }
    }
    JpegTables t{};
    for (int i = 0; i < 64; ++i) {
        const double luma = scale * ((1 - flat) * kAnnexLuma[i] + flat * 16);
        t.luma[i] = std::uint16_t(std::clamp(std::lround(luma), 1L, 255L));
        // Chroma as libjpeg scales it: colours as jpegenc kept them.
        t.chroma[i] = std::uint16_t(std::clamp((kAnnexChroma[i] * standard + 50) / 100, 1, 255));
    }
    return t;
}

bool registerJpegEncoder() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        ok = gst_element_register(nullptr, kJpegEncoderFactory, GST_RANK_NONE, encoderType());
    });
    return ok;
}

}  // namespace kv::media
