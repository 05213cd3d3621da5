#include "media/compressors.h"

#include "media/jpeg_encoder.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <span>

Q_LOGGING_CATEGORY(lcCompressors, "kv.media.compressors", QtInfoMsg)

namespace kv::media {

namespace {

// Our MJPEG encoder turns BGR into JFIF's YCbCr itself, faster and closer
// than a conversion before it; anything else becomes I420 in full range with
// the BT.601 matrix, which is what a JFIF decoder assumes.
constexpr const char* kBgrOrI420FullRange =
    "video/x-raw,format=BGR; video/x-raw,format=I420,colorimetry=1:4:0:0";
// Limited range, BT.601 matrix: what MPEG-4 part 2 and VP8 decoders assume,
// since those streams do not say. Left open, GStreamer takes BT.709 for HD
// frames and every player shifts the colours.
constexpr const char* kI420 = "video/x-raw,format=I420,colorimetry=bt601";

constexpr CompressorEntry kCompressors[] = {
    {"MJPEG Compressor", kJpegEncoderFactory, kBgrOrI420FullRange},
    {"Huffyuv Lossless Compressor", "avenc_huffyuv", nullptr},
    {"PNG Lossless Compressor", "pngenc", nullptr},
    {"MPEG-4 Compressor", "avenc_mpeg4", kI420},
    {"MS-MPEG-4 V3 Compressor", "avenc_msmpeg4", kI420},
    {"H.264 Compressor", "x264enc", kI420},
    {"VP8 Compressor", "vp8enc", kI420},
};

bool factoryInstalled(const char* factory) {
    return bool(adopt(gst_element_factory_find(factory)));
}

GParamSpec* findProperty(GstElement* element, const char* name) {
    GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(element), name);
    if (!property) {
        qCWarning(lcCompressors) << "encoder" << GST_ELEMENT_NAME(element) << "has no property"
                                 << name;
    }
    return property;
}

// Sets an integer-like property, kept inside the range the encoder declares.
void setNumber(GstElement* element, const char* name, double value) {
    GParamSpec* property = findProperty(element, name);
    if (!property) {
        return;
    }
    GValue v = G_VALUE_INIT;
    g_value_init(&v, property->value_type);
    switch (G_TYPE_FUNDAMENTAL(property->value_type)) {
        case G_TYPE_INT: {
            auto* s = G_PARAM_SPEC_INT(property);
            g_value_set_int(&v, int(std::clamp(value, double(s->minimum), double(s->maximum))));
            break;
        }
        case G_TYPE_UINT: {
            auto* s = G_PARAM_SPEC_UINT(property);
            g_value_set_uint(&v, guint(std::clamp(value, double(s->minimum), double(s->maximum))));
            break;
        }
        case G_TYPE_INT64: {
            auto* s = G_PARAM_SPEC_INT64(property);
            g_value_set_int64(&v,
                              gint64(std::clamp(value, double(s->minimum), double(s->maximum))));
            break;
        }
        case G_TYPE_FLOAT: {
            auto* s = G_PARAM_SPEC_FLOAT(property);
            g_value_set_float(&v, float(std::clamp(value, double(s->minimum), double(s->maximum))));
            break;
        }
        case G_TYPE_DOUBLE: {
            auto* s = G_PARAM_SPEC_DOUBLE(property);
            g_value_set_double(&v, std::clamp(value, s->minimum, s->maximum));
            break;
        }
        default:
            qCWarning(lcCompressors) << "property" << name << "is not a number";
            g_value_unset(&v);
            return;
    }
    g_object_set_property(G_OBJECT(element), name, &v);
    g_value_unset(&v);
}

void setEnum(GstElement* element, const char* name, const char* nick) {
    if (findProperty(element, name)) {
        gst_util_set_object_arg(G_OBJECT(element), name, nick);
    }
}

// Linear from worst (quality 0) to best (quality 1).
double scale(double quality, double worst, double best) {
    return std::round(worst + (best - worst) * quality);
}

// libav's Lagrange factor for one quantizer step (FF_QP2LAMBDA).
constexpr double kQp2Lambda = 118;

struct QualityPoint {
    double quality;
    double quantizer;
};

// A quantizer linear in quality between the points, rounded.
double throughPoints(double quality, std::span<const QualityPoint> points) {
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (quality <= points[i].quality) {
            const QualityPoint& a = points[i - 1];
            const QualityPoint& b = points[i];
            const double t = (quality - a.quality) / (b.quality - a.quality);
            return std::round(a.quantizer + t * (b.quantizer - a.quantizer));
        }
    }
    return points.back().quantizer;
}

// MPEG-4's quantizer, 31 (worst) .. 2 (best). With the Lagrange factor pinned
// to the quantizer a step codes coarser than it did before; the points keep
// each quality's PSNR on a detailed, noisy 1080p scene at least where it was,
// for fewer bytes. They avoid 9, 11, 12, 15 and 16: there a key frame brings
// black back a level off and libav's macroblock decision codes flat black
// intra again in every predicted frame, eight times the bytes on the test
// camera (an intra penalty cures that but costs the default 1.2 dB there).
constexpr QualityPoint kMpeg4Points[] = {{0.0, 31}, {0.5, 10}, {0.8, 6}, {0.95, 3}, {1.0, 2}};

// VP8's quantizer, 63 (worst) .. 4 (best, libvpx's default limit). Key frames
// now take it too, instead of the finest; the points keep each quality's PSNR
// on that scene and on the test camera at least where it was.
constexpr QualityPoint kVp8Points[] = {{0.0, 63}, {0.5, 30}, {0.8, 12}, {0.95, 6}, {1.0, 4}};

}  // namespace

std::span<const CompressorEntry> compressorTable() {
    return kCompressors;
}

QStringList installedCompressorNames() {
    QStringList names;
    for (const CompressorEntry& entry : kCompressors) {
        if (factoryInstalled(entry.factory)) {
            names.append(QString::fromUtf8(entry.friendlyName));
        }
    }
    return names;
}

QString compressorFactory(const QString& friendlyName) {
    for (const CompressorEntry& entry : kCompressors) {
        if (friendlyName == QLatin1String(entry.friendlyName)) {
            return QString::fromUtf8(entry.factory);
        }
    }
    return {};
}

Caps compressorInputCaps(GstElement* encoder) {
    GstElementFactory* factory = encoder ? gst_element_get_factory(encoder) : nullptr;
    if (!factory) {
        return {};
    }
    const char* name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    for (const CompressorEntry& entry : kCompressors) {
        if (g_strcmp0(name, entry.factory) == 0) {
            return entry.inputCaps ? adopt(gst_caps_from_string(entry.inputCaps)) : Caps{};
        }
    }
    return adopt(gst_caps_from_string(kI420));
}

Element createCompressor(const QString& friendlyName) {
    const QString factory = compressorFactory(friendlyName);
    if (factory.isEmpty()) {
        return {};
    }
    Element encoder = adopt(gst_element_factory_make(factory.toUtf8().constData(), nullptr));
    if (!encoder) {
        qCWarning(lcCompressors) << "cannot create" << factory << "for" << friendlyName;
    }
    return encoder;
}

void ApplyCompression(GstElement* encoder, const QString& friendlyName, double quality,
                      int keyFrameRate) {
    if (!encoder) {
        return;
    }
    QString factory = compressorFactory(friendlyName);
    if (factory.isEmpty()) {
        if (GstElementFactory* f = gst_element_get_factory(encoder)) {
            factory = QString::fromUtf8(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(f)));
        }
    }
    if (std::isnan(quality)) {
        qCWarning(lcCompressors) << "quality is not a number; encoder keeps its own";
        return;
    }
    const double q = std::clamp(quality, 0.0, 1.0);
    const bool setKeyFrames = keyFrameRate > 0;

    if (factory == QLatin1String(kJpegEncoderFactory)) {
        setNumber(encoder, "quality", std::round(q * 100));
    } else if (factory == u"avenc_huffyuv") {
        // Lossless and intra-only: no quality. libav encodes on one thread
        // unless told otherwise.
        setEnum(encoder, "threads", "auto");
    } else if (factory == u"pngenc") {
        // Lossless and intra-only: nothing to set.
    } else if (factory == u"avenc_mpeg4") {
        setEnum(encoder, "threads", "auto");
        // One quantizer for every frame, and the Lagrange factor that weighs
        // bits against distortion pinned to it, as ffmpeg's constant quality
        // does. The constant-quantizer pass leaves that factor at 0 on
        // predicted frames: motion vectors picked whatever they cost made
        // those frames up to 1.8 times as large. The rate control, held to one
        // quantizer and one factor, has no choice left to make.
        setEnum(encoder, "pass", "cbr");
        const double quantizer = throughPoints(q, kMpeg4Points);
        setNumber(encoder, "qmin", quantizer);
        setNumber(encoder, "qmax", quantizer);
        setNumber(encoder, "lmin", quantizer * kQp2Lambda);
        setNumber(encoder, "lmax", quantizer * kQp2Lambda);
        if (setKeyFrames) {
            setNumber(encoder, "gop-size", keyFrameRate);
        }
    } else if (factory == u"avenc_msmpeg4") {
        setEnum(encoder, "threads", "auto");
        setEnum(encoder, "pass", "quant");
        // 2 (best) .. 31 (worst); libav caps the property at 30.
        const double quantizer = std::min(scale(q, 31, 2), 30.0);
        setNumber(encoder, "quantizer", quantizer);
        // The constant quantizer alone holds for key frames only: predicted
        // frames took the finest scale and came out twice as large as a key frame.
        setNumber(encoder, "qmin", quantizer);
        setNumber(encoder, "qmax", quantizer);
        if (setKeyFrames) {
            setNumber(encoder, "gop-size", keyFrameRate);
        }
    } else if (factory == u"x264enc") {
        setEnum(encoder, "pass", "quant");
        // 16 (best) .. 51 (worst); x264enc caps the property at 50. Finer
        // quantizers only spend bits on the camera's noise.
        setNumber(encoder, "quantizer", scale(q, 51, 16));
        // The default preset (medium) codes 1080p at about 5 frames/s on two
        // cores; superfast keeps up with 25/s.
        setEnum(encoder, "speed-preset", "superfast");
        if (setKeyFrames) {
            setNumber(encoder, "key-int-max", keyFrameRate);
        }
        // Look-ahead and B-frames would hold dozens of frames inside the
        // encoder, which at one frame a second a kill or power cut would lose.
        setEnum(encoder, "tune", "zerolatency");
    } else if (factory == u"vp8enc") {
        setEnum(encoder, "end-usage", "cq");
        // One quantizer for every frame. Constant quality alone bounds the
        // predicted frames only: key frames took the finest quantizer the bit
        // rate allowed, and were more than half of a file's bytes at quality 0.5.
        const double quantizer = throughPoints(q, kVp8Points);
        setNumber(encoder, "min-quantizer", quantizer);
        setNumber(encoder, "max-quantizer", quantizer);
        setNumber(encoder, "cq-level", quantizer);
        // The bit rate only caps the constant quality; its default (256 kbit/s)
        // would blur every frame larger than a thumbnail.
        setNumber(encoder, "target-bitrate", 200e6);
        // The default deadline (good quality, one thread) codes 1080p at a few
        // frames/s; the real-time deadline with rows on both cores keeps up.
        setNumber(encoder, "deadline", 1);
        setNumber(encoder, "cpu-used", 16);
        setNumber(encoder, "threads", 2);
        setEnum(encoder, "token-partitions", "2");
        if (setKeyFrames) {
            setNumber(encoder, "keyframe-max-dist", keyFrameRate);
        }
    } else {
        qCWarning(lcCompressors) << "no quality mapping for compressor" << friendlyName << factory;
    }
}

}  // namespace kv::media
