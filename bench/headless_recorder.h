#pragma once

// The real program run headless from outside, as a user or systemd runs it:
// a private home with its own settings file, the recordings counted by
// ffprobe, the process measured through /proc; and gst-launch-1.0 peers
// configured as the program configures its encoders.

#include "app/settings_store.h"
#include "media/compressors.h"
#include "session/settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gst/gst.h>

#include <optional>

namespace kv::bench {

// A private home whose settings file holds the given settings (the
// recording folder set to one of its own); a program started with env()
// reads no file of the user's.
class HeadlessHome {
  public:
    explicit HeadlessHome(session::Settings settings) {
        const QString config = dir_.path() + QStringLiteral("/.config");
        const QString run = dir_.path() + QStringLiteral("/run");
        folder_ = dir_.path() + QStringLiteral("/rec");
        env_.insert(QStringLiteral("HOME"), dir_.path());
        env_.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
        env_.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env_.remove(QStringLiteral("DISPLAY"));
        env_.remove(QStringLiteral("QT_QPA_PLATFORM"));
        QDir().mkpath(run);
        QDir().mkpath(folder_);
        QFile::setPermissions(
            run, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // The store writes where the program will look.
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
        settings.AVIPath = folder_ + u'/';
        app::SettingsStore().save(settings, nullptr);
    }

    const QString& folder() const { return folder_; }
    const QProcessEnvironment& env() const { return env_; }
    QString path() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    QString folder_;
    QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
};

// The recordings in a folder, by name.
inline QStringList aviFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.avi")}, QDir::Files, QDir::Name);
}

// Frames (video packets) in an AVI file as ffprobe counts them; -1 when it
// cannot read the file.
inline int aviFrames(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                   QStringLiteral("v:0"), QStringLiteral("-count_packets"),
                   QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_packets"),
                   QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    ffprobe.waitForFinished(120000);
    bool ok = false;
    const int frames = ffprobe.readAllStandardOutput().trimmed().toInt(&ok);
    return ok ? frames : -1;
}

// Resident set now and at its peak, in MiB, from /proc/PID/status.
struct Memory {
    double rss_MiB = 0;
    double peak_MiB = 0;
};

inline std::optional<Memory> processMemory(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    Memory memory;
    int found = 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 2) {
            continue;
        }
        const double mib = fields[1].toDouble() / 1024.0;  // the kernel gives kB
        if (fields[0] == "VmRSS:") {
            memory.rss_MiB = mib;
            ++found;
        } else if (fields[0] == "VmHWM:") {
            memory.peak_MiB = mib;
            ++found;
        }
    }
    return found == 2 ? std::optional<Memory>(memory) : std::nullopt;
}

// The encoder the program makes for a compressor at a quality and key-frame
// rate, as gst-launch-1.0 arguments: the caps it is fed (when it has any)
// and the element with every property the program changed. Empty when the
// compressor is not installed.
inline QStringList launchEncoder(const QString& compressor, double quality, int keyFrameRate) {
    const media::Element encoder = media::createCompressor(compressor);
    if (!encoder) {
        return {};
    }
    media::ApplyCompression(encoder.get(), compressor, quality, keyFrameRate);
    GstElementFactory* factory = gst_element_get_factory(encoder.get());
    if (const GstPlugin* plugin = gst_plugin_feature_get_plugin(GST_PLUGIN_FEATURE(factory))) {
        gst_object_unref(const_cast<GstPlugin*>(plugin));
    } else {
        // Our own element lives only in the program: gst-launch gets the stock
        // JPEG encoder at the same quality, fed as it was before ours.
        int jpegQuality = 0;
        g_object_get(encoder.get(), "quality", &jpegQuality, nullptr);
        return {QStringLiteral("video/x-raw,format=I420,colorimetry=1:4:0:0"), QStringLiteral("!"),
                QStringLiteral("jpegenc"), QStringLiteral("quality=%1").arg(jpegQuality)};
    }
    QStringList arguments;
    if (const media::Caps caps = media::compressorInputCaps(encoder.get())) {
        gchar* text = gst_caps_to_string(caps.get());
        arguments << QString::fromUtf8(text) << QStringLiteral("!");
        g_free(text);
    }
    arguments << QString::fromUtf8(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)));
    guint count = 0;
    GParamSpec** properties =
        g_object_class_list_properties(G_OBJECT_GET_CLASS(encoder.get()), &count);
    for (guint i = 0; i < count; ++i) {
        GParamSpec* property = properties[i];
        const bool settable = (property->flags & G_PARAM_READWRITE) == G_PARAM_READWRITE &&
                              !(property->flags & G_PARAM_CONSTRUCT_ONLY);
        if (!settable || g_str_equal(property->name, "name") ||
            g_str_equal(property->name, "parent")) {
            continue;
        }
        GValue value = G_VALUE_INIT;
        g_value_init(&value, property->value_type);
        g_object_get_property(G_OBJECT(encoder.get()), property->name, &value);
        if (!g_param_value_defaults(property, &value)) {
            if (gchar* text = gst_value_serialize(&value)) {
                arguments << QStringLiteral("%1=%2").arg(QString::fromUtf8(property->name),
                                                         QString::fromUtf8(text));
                g_free(text);
            }
        }
        g_value_unset(&value);
    }
    g_free(properties);
    return arguments;
}

}  // namespace kv::bench
