#include "app/recorder_status.h"

#include "app/single_instance.h"
#include "record/record_files.h"
#include "session/record_policy.h"
#include "session/recording_session.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace kv::app {

namespace {

// The state's value other programs read: translated only where it is shown.
QString modeName(int mode) {
    switch (mode) {
        case session::StateOff:
            return QStringLiteral(QT_TRANSLATE_NOOP("kv::app", "Off"));
        case session::StateRecord:
            return QStringLiteral(QT_TRANSLATE_NOOP("kv::app", "On"));
        default:
            return QStringLiteral(QT_TRANSLATE_NOOP("kv::app", "On movement"));
    }
}

// The camera the settings name, and the one in use where that is another or
// the settings name none.
QString cameraText(const QString& named, const QString& inUse, bool standIn) {
    if (named.isEmpty()) {
        return inUse.isEmpty()
                   ? QCoreApplication::translate("kv::app", "the first camera found")
                   : QCoreApplication::translate("kv::app", "%1 (the first camera found)")
                         .arg(inUse);
    }
    if (!standIn) {
        return named;
    }
    return inUse.isEmpty()
               ? QCoreApplication::translate(
                     "kv::app", "%1 (not there; the first camera found records meanwhile)")
                     .arg(named)
               : QCoreApplication::translate("kv::app", "%1 (not there; %2 records meanwhile)")
                     .arg(named, inUse);
}

}  // namespace

RecorderStatus recorderStatus(const session::RecordingSession& session, const QString& suffix,
                              bool headless, const QDateTime& lastMovement, bool countDisk) {
    const session::Settings& settings = session.settings();
    RecorderStatus s;
    s.suffix = suffix;
    s.pid = QCoreApplication::applicationPid();
    s.headless = headless;
    s.mode = modeName(settings.Mode);
    s.state = session.stateText();
    s.camera =
        cameraText(settings.CaptureDeviceName, session.cameraName(), session.standInCamera());
    if (session.recordGraphExists()) {
        s.file = session.RecordFileName();
        s.frames = session.recordedFrames();
    }
    if (settings.RecUseTimer) {
        s.window = session.todaysWindow().summary;
    } else {
        s.window = QCoreApplication::translate("kv::app", "the whole day (no daily window)");
    }
    s.lastMovement = lastMovement;
    s.folder = settings.AVIPath;
    s.diskLimit_mb = settings.MaxDiskspace;
    if (!countDisk) {
        return s;
    }
    QList<record::RecordFileEntry> files;
    record::ListRecordFiles(settings.AVIPath, files);
    qint64 bytes = 0;
    for (const record::RecordFileEntry& file : files) {
        bytes += file.size_bytes;
    }
    s.diskUsed_mb = double(bytes) / 1e6;
    s.diskLimit_mb = settings.MaxDiskspace;
    return s;
}

QByteArray toJson(const RecorderStatus& s) {
    const QJsonObject object{
        {QStringLiteral("recorder"), QStringLiteral("kestrelvision")},
        {QStringLiteral("suffix"), s.suffix},
        {QStringLiteral("pid"), s.pid},
        {QStringLiteral("headless"), s.headless},
        {QStringLiteral("mode"), s.mode},
        {QStringLiteral("state"), s.state},
        {QStringLiteral("camera"), s.camera},
        {QStringLiteral("file"), s.file},
        {QStringLiteral("frames"), s.frames},
        {QStringLiteral("window"), s.window},
        {QStringLiteral("lastMovement"),
         s.lastMovement.isValid() ? s.lastMovement.toString(Qt::ISODate) : QString()},
        {QStringLiteral("folder"), s.folder},
        {QStringLiteral("diskUsedMB"), s.diskUsed_mb},
        {QStringLiteral("diskLimitMB"), s.diskLimit_mb},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<RecorderStatus> recorderStatusFromJson(const QByteArray& json) {
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    if (o.value(QStringLiteral("recorder")).toString() != QStringLiteral("kestrelvision")) {
        return std::nullopt;
    }
    RecorderStatus s;
    s.suffix = o.value(QStringLiteral("suffix")).toString();
    s.pid = o.value(QStringLiteral("pid")).toInteger();
    s.headless = o.value(QStringLiteral("headless")).toBool();
    s.mode = o.value(QStringLiteral("mode")).toString();
    s.state = o.value(QStringLiteral("state")).toString();
    s.camera = o.value(QStringLiteral("camera")).toString();
    s.file = o.value(QStringLiteral("file")).toString();
    s.frames = o.value(QStringLiteral("frames")).toInt();
    s.window = o.value(QStringLiteral("window")).toString();
    s.lastMovement =
        QDateTime::fromString(o.value(QStringLiteral("lastMovement")).toString(), Qt::ISODate);
    s.folder = o.value(QStringLiteral("folder")).toString();
    s.diskUsed_mb = o.value(QStringLiteral("diskUsedMB")).toDouble();
    s.diskLimit_mb = o.value(QStringLiteral("diskLimitMB")).toInt();
    return s;
}

QString describe(const RecorderStatus& s) {
    QString text;
    const QString instance =
        s.suffix.isEmpty() ? QCoreApplication::translate("kv::app", "the first instance")
                           : QCoreApplication::translate("kv::app", "instance %1").arg(s.suffix);
    text += QCoreApplication::translate("kv::app", "Kestrelvision, %1, %2, process %3\n")
                .arg(instance, s.headless ? QCoreApplication::translate("kv::app", "headless")
                                          : QCoreApplication::translate("kv::app", "desktop"))
                .arg(s.pid);
    text += QCoreApplication::translate("kv::app", "  State:          %1\n").arg(s.state);
    // The mode travels untranslated; an unknown one is shown as it came.
    text += QCoreApplication::translate("kv::app", "  Mode:           %1\n")
                .arg(QCoreApplication::translate("kv::app", s.mode.toUtf8().constData()));
    text += QCoreApplication::translate("kv::app", "  Camera:         %1\n").arg(s.camera);
    text +=
        QCoreApplication::translate("kv::app", "  Recording:      %1\n")
            .arg(s.file.isEmpty()
                     ? QCoreApplication::translate("kv::app", "none")
                     : QCoreApplication::translate("kv::app", "%1, %2 %3")
                           .arg(QFileInfo(s.file).fileName())
                           .arg(s.frames)
                           .arg(s.frames == 1 ? QCoreApplication::translate("kv::app", "frame")
                                              : QCoreApplication::translate("kv::app", "frames")));
    if (!s.window.isEmpty()) {
        text += QCoreApplication::translate("kv::app", "  Window:         %1\n").arg(s.window);
    }
    text += QCoreApplication::translate("kv::app", "  Last movement:  %1\n")
                .arg(s.lastMovement.isValid()
                         ? s.lastMovement.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                         : QCoreApplication::translate("kv::app", "none since the start"));
    text += QCoreApplication::translate("kv::app", "  Disk:           %1 MB of %2 MB in %3\n")
                .arg(s.diskUsed_mb, 0, 'f', 1)
                .arg(s.diskLimit_mb)
                .arg(s.folder);
    return text;
}

std::optional<RecorderStatus> runningRecorder(InstanceChannel& channel, const QString& suffix) {
    for (const QByteArray& line : channel.statuses()) {
        std::optional<RecorderStatus> status = recorderStatusFromJson(line);
        if (status && status->suffix == suffix) {
            return status;
        }
    }
    return std::nullopt;
}

}  // namespace kv::app
