#pragma once

// URI cameras: a friendly name bound to a URI that stands in for a camera.
//
//   test:PATTERN[?width=W&height=H&framerate=F]
//       a live videotestsrc pattern (ball, smpte, snow, ... or its number),
//       640x480 at 30 frames/s unless the query says otherwise; an empty
//       pattern is smpte, an unknown one falls back to smpte with a warning.
//   file:///path/video.avi  (or an absolute path)
//       the file decoded, paced in real time and played in a loop.
//   rtsp://..., http(s)://... and any other URI a GStreamer source handles
//       decoded as it arrives (network cameras, MJPEG over HTTP included).
//
// The registry holds the cameras from the command line first, then the ones
// configured in the settings file. Main thread only.

#include "media/gst_handle.h"

#include <QList>
#include <QPair>
#include <QString>

class QSettings;

namespace kv::media {

struct UriCamera {
    QString name;
    QString uri;
};

using CameraPairs = QList<QPair<QString, QString>>;  // friendly name, URI

// Splits a --camera argument "NAME=URI" at its first '='. False if there is none.
bool parseCameraArgument(const QString& argument, QPair<QString, QString>& camera);

// Replaces the cameras given on the command line. Unusable URIs are left out
// with a warning.
void setCommandLineCameras(const CameraPairs& cameras);

// Replaces the configured cameras with the [Cameras] group of a settings file:
// value name = friendly name, value = URI, listed in the order of the
// comma-separated "Order" value; names it leaves out follow by name, and
// without it all are listed by name. A missing file means no cameras.
void loadConfiguredCameras(const QString& settingsFile);
void loadConfiguredCameras(QSettings& settings);

// Forgets every URI camera.
void clearUriCameras();

// The cameras of the settings file only.
QList<UriCamera> configuredCameras();

// Command-line cameras, then configured ones.
QList<UriCamera> uriCameras();

// The camera source: a bin with a ghost "src" pad giving raw video at the
// camera's own size, its capabilities attached (see cameraCaps()). File and
// network cameras also attach their admission pad (see cameraAdmissionPad()),
// where a JPEG stream is still undecoded and any stream is not yet converted.
// Empty if the URI cannot be used.
Element createUriCameraSource(const UriCamera& camera);

// Stops a file camera's loop: a seek back to the start under way is waited
// for, none starts after this returns, and the file plays to its end. The
// camera does this itself before its decoder leaves PAUSED, so stopping a
// pipeline is safe without it. Any element may be passed; for anything but a
// file camera this does nothing.
void stopUriCamera(GstElement* camera);

// Whether a URI can be a camera (used for the registry's checks).
bool isUsableCameraUri(const QString& uri, QString* reason = nullptr);

}  // namespace kv::media
