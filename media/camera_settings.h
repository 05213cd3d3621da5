#pragma once

// The cameras and camera settings the user keeps in the settings file: the
// [Cameras] group (friendly name = address) and the [Camera Settings] group
// (friendly name = "key=value;..."). Addresses may hold passwords, so the
// file is made and kept readable by its owner only. Every change is written
// at once and takes effect in the camera registry (media/uri_camera.h) and
// the kept controls (media/camera_controls.h). Main thread only.

#include "media/camera_controls.h"

#include <QString>

namespace kv::media {

// Why a name cannot be a new camera's (empty, taken, or a character the
// settings file or the command line reserves); empty when it can.
QString cameraNameProblem(const QString& name);

// Adds a camera to [Cameras] (last in its order). False, with a reason, when
// the name or address cannot be used or the file cannot be written.
bool addConfiguredCamera(const QString& settingsFile, const QString& name, const QString& uri,
                         QString* error);

// Removes a camera of [Cameras] and its kept settings.
bool removeConfiguredCamera(const QString& settingsFile, const QString& name, QString* error);

// Whether a camera comes from [Cameras] (and so can be removed there).
bool isConfiguredCamera(const QString& name);

// Keeps a camera's settings (an empty set forgets them) in the file and for
// the next build.
bool saveCameraSettings(const QString& settingsFile, const QString& camera,
                        const ControlValues& values, QString* error);

// Reads [Camera Settings] into the kept controls.
void loadCameraSettings(const QString& settingsFile);

}  // namespace kv::media
