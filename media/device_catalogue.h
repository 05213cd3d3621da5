#pragma once

// The device catalogue: cameras and video compressors, each known by category,
// position in the enumeration and friendly name. Everything is enumerated afresh
// on every call. Main thread only.
//
// Cameras are the devices GstDeviceMonitor reports for "Video/Source", in its
// order, followed by the URI cameras (media/uri_camera.h). Compressors are the
// installed entries of the compressor table (media/compressors.h).

#include "media/gst_handle.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kv::media {

enum class DeviceCategory { CLSID_VideoInputDeviceCategory, CLSID_VideoCompressorCategory };

// Clears names, then appends one entry per device in enumeration order. A device
// whose name cannot be read is listed as "Camera N" (N = position + 1), and that
// text also selects it in FindDeviceFilter.
void ListDeviceNames(DeviceCategory category, QStringList& names);

// Binds one device into filter (passed empty): index >= 0 chooses by position and
// ignores name; index -1 chooses the first device named exactly name, or the
// first device when name is empty; any other index chooses none. For a camera
// the element is its source (a device element, or a bin with a "src" pad for a
// URI camera); for a compressor a new encoder. The slot stays untouched when
// nothing is chosen.
void FindDeviceFilter(DeviceCategory category, const QString& name, int index, Element& filter);

// One fixed-size format a camera offers.
struct VideoInfoCapability {
    int width = 0;
    int height = 0;
    quint32 compression = 0;  // 0 = RGB, else a four-character code
    int bitCount = 0;
    Caps caps;  // one structure, as the camera states it
};

constexpr quint32 makeFourCC(char a, char b, char c, char d) {
    return quint32(quint8(a)) | quint32(quint8(b)) << 8 | quint32(quint8(c)) << 16 |
           quint32(quint8(d)) << 24;
}

// The capabilities of a camera bound by FindDeviceFilter: every structure of its
// caps with a fixed width and height, in the caps' order, repeats of the same
// size and format left out. Image/jpeg counts as "MJPG" with 24 bits.
QList<VideoInfoCapability> CaptureCapabilities(GstElement* camera);
QList<VideoInfoCapability> CaptureCapabilities(GstCaps* caps);

// Fixed caps for the capability at wantedPosition (negative counts as 0; the
// frame rate is fixed to the one nearest 30/s), or empty beyond the last one.
Caps CaptureFormatCaps(GstElement* camera, int wantedPosition);

// Puts CaptureFormatCaps into capsfilter's "caps". Returns false, leaving the
// capsfilter as it is, when there is no such capability.
bool ApplyCaptureFormat(GstElement* capsfilter, GstElement* camera, int wantedPosition);

// "640 x 480  RGB/24 Bit": size, compression code and bit count.
QString FormatLine(const VideoInfoCapability& capability);
// The code: "RGB" for 0, else the four bytes in memory order up to a zero byte.
QString compressionText(quint32 compression);

// The caps a camera element advertises, as attached by FindDeviceFilter (or set
// by whoever made the element); empty when unknown.
Caps cameraCaps(GstElement* camera);
void setCameraCaps(GstElement* camera, Caps caps);

// The pad inside a camera element where its frames are still undecoded (a
// JPEG camera) or not yet converted, for a throttle to drop unwanted frames
// before any work is spent on them; empty when the camera has none, and the
// caller throttles at the camera's output.
Pad cameraAdmissionPad(GstElement* camera);
void setCameraAdmissionPad(GstElement* camera, Pad pad);

}  // namespace kv::media
