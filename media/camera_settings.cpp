#include "media/camera_settings.h"

#include "media/redact.h"
#include "media/uri_camera.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QStringList>

Q_LOGGING_CATEGORY(lcCameraSettings, "kv.media.camerasettings", QtInfoMsg)

namespace kv::media {

namespace {

const QString kCameras = QStringLiteral("Cameras");
const QString kCameraSettings = QStringLiteral("Camera Settings");
const QString kOrder = QStringLiteral("Order");

// The texts of free functions, under the context of the class they serve.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(kv::media::CameraSettings)
};

constexpr auto kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The file made owner-only before anything is written to it; a link is never
// written through.
bool preparePrivateFile(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (info.isSymLink()) {
        *error = Text::tr("the settings file \"%1\" is a link").arg(path);
        return false;
    }
    if (!QDir().mkpath(info.absolutePath())) {
        *error = Text::tr("the folder \"%1\" cannot be made").arg(info.absolutePath());
        return false;
    }
    if (!info.exists()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly) &&
            !QFileInfo::exists(path)) {
            *error = file.errorString();
            return false;
        }
    }
    if (!QFileInfo(path).isFile()) {
        *error = Text::tr("the settings file \"%1\" is not a regular file").arg(path);
        return false;
    }
    if (!QFile::setPermissions(path, kOwnerOnly)) {
        *error = Text::tr("the settings file \"%1\" cannot be made private").arg(path);
        return false;
    }
    return true;
}

// Runs change on the file's settings and writes them, owner-only.
template <typename Change>
bool writeSettings(const QString& path, QString* error, Change change) {
    QString why;
    if (!preparePrivateFile(path, &why)) {
        if (error) {
            *error = why;
        }
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        if (error) {
            *error = Text::tr("the settings file \"%1\" cannot be read").arg(path);
        }
        return false;
    }
    change(settings);
    settings.sync();
    QFile::setPermissions(path, kOwnerOnly);
    if (settings.status() != QSettings::NoError) {
        if (error) {
            *error = Text::tr("the settings file \"%1\" cannot be written").arg(path);
        }
        return false;
    }
    return true;
}

// A device's name may hold a slash, which the settings file takes for a group.
QString settingsKey(const QString& camera) {
    QString key = camera;
    return key.replace(u'%', QStringLiteral("%25"))
        .replace(u'/', QStringLiteral("%2F"))
        .replace(u'\\', QStringLiteral("%5C"));
}

QString cameraOfKey(const QString& key) {
    QString camera = key;
    return camera.replace(QStringLiteral("%2F"), QStringLiteral("/"))
        .replace(QStringLiteral("%5C"), QStringLiteral("\\"))
        .replace(QStringLiteral("%25"), QStringLiteral("%"));
}

QString joined(const QVariant& value) {
    return value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',')
                                                    : value.toString();
}

}  // namespace

QString cameraNameProblem(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        return Text::tr("The camera needs a name.");
    }
    for (const QChar c : {u'/', u'\\', u'=', u',', u';'}) {
        if (trimmed.contains(c)) {
            return Text::tr("A camera's name cannot hold the character %1.").arg(c);
        }
    }
    if (trimmed.compare(kOrder, Qt::CaseInsensitive) == 0) {
        return Text::tr("\"%1\" cannot be a camera's name.").arg(trimmed);
    }
    for (const UriCamera& camera : uriCameras()) {
        if (camera.name.compare(trimmed, Qt::CaseInsensitive) == 0) {
            return Text::tr("There is a camera named \"%1\" already.").arg(trimmed);
        }
    }
    return {};
}

bool addConfiguredCamera(const QString& settingsFile, const QString& name, const QString& uri,
                         QString* error) {
    const QString trimmed = name.trimmed();
    QString problem = cameraNameProblem(trimmed);
    if (problem.isEmpty() && !isUsableCameraUri(uri.trimmed(), &problem)) {
        problem = Text::tr("The address cannot be used: %1.").arg(problem);
    }
    if (!problem.isEmpty()) {
        if (error) {
            *error = problem;
        }
        return false;
    }
    const bool written = writeSettings(settingsFile, error, [&](QSettings& settings) {
        settings.beginGroup(kCameras);
        if (settings.contains(kOrder)) {
            // Listed after the others, as it was added.
            settings.setValue(kOrder, joined(settings.value(kOrder)) + u',' + trimmed);
        }
        settings.setValue(trimmed, uri.trimmed());
        settings.endGroup();
    });
    if (written) {
        loadConfiguredCameras(settingsFile);
        qCInfo(lcCameraSettings).noquote()
            << "camera" << trimmed << "added:" << redactUri(uri.trimmed());
    }
    return written;
}

bool removeConfiguredCamera(const QString& settingsFile, const QString& name, QString* error) {
    if (!isConfiguredCamera(name)) {
        if (error) {
            *error = Text::tr("\"%1\" is not a camera of the settings file.").arg(name);
        }
        return false;
    }
    const bool written = writeSettings(settingsFile, error, [&](QSettings& settings) {
        settings.beginGroup(kCameras);
        settings.remove(name);
        if (settings.contains(kOrder)) {
            QStringList order = joined(settings.value(kOrder)).split(u',');
            order.removeAll(name);
            settings.setValue(kOrder, order.join(u','));
        }
        settings.endGroup();
        settings.beginGroup(kCameraSettings);
        settings.remove(settingsKey(name));
        settings.endGroup();
    });
    if (written) {
        loadConfiguredCameras(settingsFile);
        setKeptControls(name, {});
        qCInfo(lcCameraSettings).noquote() << "camera" << name << "removed";
    }
    return written;
}

bool isConfiguredCamera(const QString& name) {
    for (const UriCamera& camera : configuredCameras()) {
        if (camera.name == name) {
            return true;
        }
    }
    return false;
}

bool saveCameraSettings(const QString& settingsFile, const QString& camera,
                        const ControlValues& values, QString* error) {
    const bool written = writeSettings(settingsFile, error, [&](QSettings& settings) {
        settings.beginGroup(kCameraSettings);
        if (values.isEmpty()) {
            settings.remove(settingsKey(camera));
        } else {
            settings.setValue(settingsKey(camera), controlValuesText(values));
        }
        settings.endGroup();
    });
    if (written) {
        setKeptControls(camera, values);
    }
    return written;
}

void loadCameraSettings(const QString& settingsFile) {
    clearKeptControls();
    if (!QFileInfo::exists(settingsFile)) {
        return;
    }
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.beginGroup(kCameraSettings);
    for (const QString& key : settings.childKeys()) {
        setKeptControls(cameraOfKey(key), parseControlValues(joined(settings.value(key))));
    }
    settings.endGroup();
}

}  // namespace kv::media
