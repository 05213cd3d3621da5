#include "media/device_catalogue.h"

#include "media/compressors.h"
#include "media/uri_camera.h"

#include <gst/video/video.h>

#include <QLoggingCategory>
#include <QSet>

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcDevices, "kv.media.devices", QtInfoMsg)

namespace kv::media {

namespace {

// One camera of the enumeration: a monitored device or a URI camera.
struct CameraEntry {
    QString name;
    Device device;
    UriCamera uri;
};

QList<Device> monitoredCameras() {
    DeviceMonitor monitor = adopt(gst_device_monitor_new());
    if (!monitor) {
        return {};
    }
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    GList* list = gst_device_monitor_get_devices(monitor.get());
    QList<Device> devices;
    for (GList* item = list; item; item = item->next) {
        devices.append(adopt(GST_DEVICE(item->data)));
    }
    g_list_free(list);
    return devices;
}

QString placeholderName(qsizetype position) {
    return QStringLiteral("Camera %1").arg(position + 1);
}

QList<CameraEntry> enumerateCameras() {
    QList<CameraEntry> cameras;
    for (Device& device : monitoredCameras()) {
        Chars name = adopt(gst_device_get_display_name(device.get()));
        CameraEntry entry;
        entry.name = name ? QString::fromUtf8(name.get()) : QString();
        entry.device = std::move(device);
        cameras.append(std::move(entry));
    }
    for (const UriCamera& camera : uriCameras()) {
        cameras.append(CameraEntry{camera.name, {}, camera});
    }
    for (qsizetype i = 0; i < cameras.size(); ++i) {
        if (cameras[i].name.isEmpty()) {
            cameras[i].name = placeholderName(i);
        }
    }
    return cameras;
}

// Position chosen by the selection rules, or -1.
qsizetype choose(const QStringList& names, const QString& name, int index) {
    if (index >= 0) {
        return index < names.size() ? index : -1;
    }
    if (index != -1) {
        return -1;
    }
    if (name.isEmpty()) {
        return names.isEmpty() ? -1 : 0;
    }
    return names.indexOf(name);
}

Element createDeviceSource(const Device& device) {
    Element element = adopt(gst_device_create_element(device.get(), nullptr));
    if (!element) {
        Chars name = adopt(gst_device_get_display_name(device.get()));
        qCWarning(lcDevices) << "cannot create the source of camera" << name.get();
        return {};
    }
    setCameraCaps(element.get(), adopt(gst_device_get_caps(device.get())));
    return element;
}

GQuark cameraCapsQuark() {
    static const GQuark quark = g_quark_from_static_string("kv-camera-caps");
    return quark;
}

// Compression code and bit count of a raw video format; false if unknown.
bool describeRawFormat(const char* formatName, quint32& compression, int& bitCount) {
    const GstVideoFormat format = gst_video_format_from_string(formatName);
    if (format == GST_VIDEO_FORMAT_UNKNOWN || format == GST_VIDEO_FORMAT_ENCODED) {
        return false;
    }
    const GstVideoFormatInfo* info = gst_video_format_get_info(format);
    if (GST_VIDEO_FORMAT_INFO_IS_RGB(info) && GST_VIDEO_FORMAT_INFO_N_PLANES(info) == 1) {
        compression = 0;
        bitCount = GST_VIDEO_FORMAT_INFO_PSTRIDE(info, 0) * 8;
        return true;
    }
    compression = gst_video_format_to_fourcc(format);
    if (compression == 0) {
        // No registered code: the first four letters of GStreamer's name.
        char code[4] = {};
        std::copy_n(formatName, std::min<size_t>(4, strlen(formatName)), code);
        compression = makeFourCC(code[0], code[1], code[2], code[3]);
    }
    double bits = 0;
    for (guint c = 0; c < GST_VIDEO_FORMAT_INFO_N_COMPONENTS(info); ++c) {
        bits +=
            GST_VIDEO_FORMAT_INFO_DEPTH(info, c) /
            std::exp2(GST_VIDEO_FORMAT_INFO_W_SUB(info, c) + GST_VIDEO_FORMAT_INFO_H_SUB(info, c));
    }
    bitCount = int(std::lround(bits));
    return true;
}

// The first format a structure names (a fixed string or the head of a list).
const char* firstFormat(const GstStructure* s) {
    const GValue* value = gst_structure_get_value(s, "format");
    if (value && GST_VALUE_HOLDS_LIST(value) && gst_value_list_get_size(value) > 0) {
        value = gst_value_list_get_value(value, 0);
    }
    return value && G_VALUE_HOLDS_STRING(value) ? g_value_get_string(value) : nullptr;
}

}  // namespace

void ListDeviceNames(DeviceCategory category, QStringList& names) {
    names.clear();
    if (category == DeviceCategory::CLSID_VideoCompressorCategory) {
        names = installedCompressorNames();
        return;
    }
    for (const CameraEntry& camera : enumerateCameras()) {
        names.append(camera.name);
    }
}

void FindDeviceFilter(DeviceCategory category, const QString& name, int index, Element& filter) {
    if (category == DeviceCategory::CLSID_VideoCompressorCategory) {
        const QStringList names = installedCompressorNames();
        const qsizetype chosen = choose(names, name, index);
        if (chosen >= 0) {
            if (Element encoder = createCompressor(names[chosen])) {
                filter = std::move(encoder);
            }
        }
        return;
    }
    const QList<CameraEntry> cameras = enumerateCameras();
    QStringList names;
    for (const CameraEntry& camera : cameras) {
        names.append(camera.name);
    }
    const qsizetype chosen = choose(names, name, index);
    if (chosen < 0) {
        return;
    }
    const CameraEntry& camera = cameras[chosen];
    Element source =
        camera.device ? createDeviceSource(camera.device) : createUriCameraSource(camera.uri);
    if (source) {
        filter = std::move(source);
    }
}

Caps cameraCaps(GstElement* camera) {
    if (!camera) {
        return {};
    }
    if (auto* caps = static_cast<Caps*>(g_object_get_qdata(G_OBJECT(camera), cameraCapsQuark()))) {
        return *caps;
    }
    // An element made elsewhere: what its source pad can offer now.
    Pad pad = adopt(gst_element_get_static_pad(camera, "src"));
    return pad ? adopt(gst_pad_query_caps(pad.get(), nullptr)) : Caps();
}

void setCameraCaps(GstElement* camera, Caps caps) {
    g_object_set_qdata_full(G_OBJECT(camera), cameraCapsQuark(), new Caps(std::move(caps)),
                            [](gpointer p) { delete static_cast<Caps*>(p); });
}

namespace {
GQuark admissionPadQuark() {
    static const GQuark quark = g_quark_from_static_string("kv-camera-admission-pad");
    return quark;
}
}  // namespace

Pad cameraAdmissionPad(GstElement* camera) {
    auto* pad = camera
                    ? static_cast<Pad*>(g_object_get_qdata(G_OBJECT(camera), admissionPadQuark()))
                    : nullptr;
    return pad ? *pad : Pad();
}

void setCameraAdmissionPad(GstElement* camera, Pad pad) {
    g_object_set_qdata_full(G_OBJECT(camera), admissionPadQuark(), new Pad(std::move(pad)),
                            [](gpointer p) { delete static_cast<Pad*>(p); });
}

QList<VideoInfoCapability> CaptureCapabilities(GstCaps* caps) {
    QList<VideoInfoCapability> result;
    if (!caps || gst_caps_is_any(caps)) {
        return result;
    }
    QSet<QString> seen;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        GstCapsFeatures* features = gst_caps_get_features(caps, i);
        if (features && !gst_caps_features_is_any(features) &&
            !gst_caps_features_is_equal(features, GST_CAPS_FEATURES_MEMORY_SYSTEM_MEMORY)) {
            continue;  // frames we could not map
        }
        VideoInfoCapability capability;
        if (!gst_structure_get_int(s, "width", &capability.width) ||
            !gst_structure_get_int(s, "height", &capability.height)) {
            continue;
        }
        Structure copy = adopt(gst_structure_copy(s));
        QString format;
        if (gst_structure_has_name(s, "video/x-raw")) {
            const char* name = firstFormat(s);
            if (!name || !describeRawFormat(name, capability.compression, capability.bitCount)) {
                continue;
            }
            gst_structure_set(copy.get(), "format", G_TYPE_STRING, name, nullptr);
            format = QString::fromUtf8(name);
        } else if (gst_structure_has_name(s, "image/jpeg")) {
            capability.compression = makeFourCC('M', 'J', 'P', 'G');
            capability.bitCount = 24;
        } else {
            continue;
        }
        const QString key = QStringLiteral("%1/%2/%3x%4")
                                .arg(QString::fromUtf8(gst_structure_get_name(s)), format)
                                .arg(capability.width)
                                .arg(capability.height);
        if (seen.contains(key)) {
            continue;
        }
        seen.insert(key);
        capability.caps = adopt(gst_caps_new_empty());
        gst_caps_append_structure(capability.caps.get(), copy.release());
        result.append(std::move(capability));
    }
    return result;
}

QList<VideoInfoCapability> CaptureCapabilities(GstElement* camera) {
    Caps caps = cameraCaps(camera);
    return CaptureCapabilities(caps.get());
}

Caps CaptureFormatCaps(GstElement* camera, int wantedPosition) {
    const QList<VideoInfoCapability> capabilities = CaptureCapabilities(camera);
    const qsizetype position = std::max(0, wantedPosition);
    if (position >= capabilities.size()) {
        return {};
    }
    GstCaps* caps = gst_caps_copy(capabilities[position].caps.get());
    GstStructure* s = gst_caps_get_structure(caps, 0);
    if (gst_structure_has_field(s, "framerate")) {
        gst_structure_fixate_field_nearest_fraction(s, "framerate", 30, 1);
    }
    return adopt(gst_caps_fixate(caps));
}

bool ApplyCaptureFormat(GstElement* capsfilter, GstElement* camera, int wantedPosition) {
    Caps caps = CaptureFormatCaps(camera, wantedPosition);
    if (!caps || !capsfilter) {
        return false;
    }
    g_object_set(capsfilter, "caps", caps.get(), nullptr);
    return true;
}

QString compressionText(quint32 compression) {
    if (compression == 0) {
        return QStringLiteral("RGB");
    }
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((compression >> (8 * i)) & 0xff);
        if (c == 0) {
            break;
        }
        text.append(QLatin1Char(c));
    }
    return text;
}

QString FormatLine(const VideoInfoCapability& capability) {
    return QStringLiteral("%1 x %2  %3/%4 Bit")
        .arg(capability.width)
        .arg(capability.height)
        .arg(compressionText(capability.compression))
        .arg(capability.bitCount);
}

}  // namespace kv::media
