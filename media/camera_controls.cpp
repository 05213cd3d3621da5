#include "media/camera_controls.h"

#include "media/redact.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QLoggingCategory>
#include <QStringList>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

Q_LOGGING_CATEGORY(lcControls, "kv.media.controls", QtInfoMsg)

namespace kv::media {

namespace {

int retried(int fd, unsigned long request, void* argument) {
    for (;;) {
        if (::ioctl(fd, request, argument) == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

class FdControlIo : public ControlIo {
  public:
    explicit FdControlIo(int fd) : fd_(fd) {}
    ~FdControlIo() override { ::close(fd_); }
    FdControlIo(const FdControlIo&) = delete;
    FdControlIo& operator=(const FdControlIo&) = delete;

    int queryControl(v4l2_queryctrl& query) override {
        return retried(fd_, VIDIOC_QUERYCTRL, &query);
    }
    int queryMenu(v4l2_querymenu& item) override { return retried(fd_, VIDIOC_QUERYMENU, &item); }
    int getControl(v4l2_control& control) override { return retried(fd_, VIDIOC_G_CTRL, &control); }
    int setControl(v4l2_control& control) override { return retried(fd_, VIDIOC_S_CTRL, &control); }

  private:
    int fd_;
};

struct Known {
    quint32 id;
    const char* key;
    const char* label;
};

// Shown and applied in this order: a mode before the value it governs.
const Known kKnown[] = {
    {V4L2_CID_BRIGHTNESS, "brightness",
     QT_TRANSLATE_NOOP("kv::media::CameraControls", "Brightness")},
    {V4L2_CID_CONTRAST, "contrast", QT_TRANSLATE_NOOP("kv::media::CameraControls", "Contrast")},
    {V4L2_CID_SATURATION, "saturation",
     QT_TRANSLATE_NOOP("kv::media::CameraControls", "Saturation")},
    {V4L2_CID_EXPOSURE_AUTO, "exposure_auto",
     QT_TRANSLATE_NOOP("kv::media::CameraControls", "Exposure")},
    {V4L2_CID_EXPOSURE_ABSOLUTE, "exposure_time",
     QT_TRANSLATE_NOOP("kv::media::CameraControls", "Exposure time (0.1 ms)")},
    {V4L2_CID_AUTOGAIN, "gain_auto",
     QT_TRANSLATE_NOOP("kv::media::CameraControls", "Automatic gain")},
    {V4L2_CID_GAIN, "gain", QT_TRANSLATE_NOOP("kv::media::CameraControls", "Gain")},
    {V4L2_CID_AUTO_WHITE_BALANCE, "white_balance_auto",
     QT_TRANSLATE_NOOP("kv::media::CameraControls", "Automatic white balance")},
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, "white_balance",
     QT_TRANSLATE_NOOP("kv::media::CameraControls", "White balance (K)")},
    {V4L2_CID_FOCUS_AUTO, "focus_auto",
     QT_TRANSLATE_NOOP("kv::media::CameraControls", "Automatic focus")},
    {V4L2_CID_FOCUS_ABSOLUTE, "focus", QT_TRANSLATE_NOOP("kv::media::CameraControls", "Focus")},
    {V4L2_CID_POWER_LINE_FREQUENCY, "power_line_frequency",
     QT_TRANSLATE_NOOP("kv::media::CameraControls", "Power-line frequency")},
};

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

struct Registry {
    std::mutex mutex;
    ControlOpener opener;
    QHash<QString, ControlValues> kept;
};

// Never destroyed: an applier thread may still reach it while the program exits.
Registry& registry() {
    static Registry* const r = new Registry;
    return *r;
}

std::optional<CameraControl> readOne(ControlIo& io, const Known& known) {
    v4l2_queryctrl query{};
    query.id = known.id;
    if (io.queryControl(query) != 0 || (query.flags & V4L2_CTRL_FLAG_DISABLED)) {
        return std::nullopt;
    }
    CameraControl control;
    control.id = known.id;
    control.key = QString::fromLatin1(known.key);
    control.label = QCoreApplication::translate("kv::media::CameraControls", known.label);
    control.minimum = query.minimum;
    control.maximum = query.maximum;
    control.step = std::max<int>(1, query.step);
    control.defaultValue = query.default_value;
    control.inactive = query.flags & V4L2_CTRL_FLAG_INACTIVE;
    control.readOnly = query.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED);
    switch (query.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            control.kind = CameraControl::Kind::Integer;
            break;
        case V4L2_CTRL_TYPE_BOOLEAN:
            control.kind = CameraControl::Kind::Boolean;
            break;
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            control.kind = CameraControl::Kind::Menu;
            for (int index = query.minimum; index <= query.maximum; ++index) {
                v4l2_querymenu item{};
                item.id = known.id;
                item.index = quint32(index);
                if (io.queryMenu(item) != 0) {
                    continue;  // a gap in the menu
                }
                control.menu.append(
                    {index,
                     query.type == V4L2_CTRL_TYPE_MENU
                         ? QString::fromUtf8(
                               reinterpret_cast<const char*>(item.name),
                               qstrnlen(reinterpret_cast<const char*>(item.name), sizeof item.name))
                         : QString::number(item.value)});
            }
            if (control.menu.isEmpty()) {
                return std::nullopt;
            }
            break;
        default:
            return std::nullopt;
    }
    v4l2_control current{};
    current.id = known.id;
    control.value = io.getControl(current) == 0 ? current.value : control.defaultValue;
    return control;
}

}  // namespace

std::unique_ptr<ControlIo> openV4l2Device(const QString& path, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (error) {
            *error = systemText(errno);
        }
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        ::close(fd);
        if (error) {
            *error = QCoreApplication::translate("kv::media::CameraControls", "%1 is not a device")
                         .arg(path);
        }
        return nullptr;
    }
    return std::make_unique<FdControlIo>(fd);
}

QList<CameraControl> readControls(ControlIo& io, QString* error) {
    QList<CameraControl> controls;
    for (const Known& known : kKnown) {
        if (std::optional<CameraControl> control = readOne(io, known)) {
            controls.append(std::move(*control));
        }
    }
    if (controls.isEmpty() && error) {
        *error = QCoreApplication::translate("kv::media::CameraControls",
                                             "The camera offers none of the usual controls.");
    }
    return controls;
}

int setControl(ControlIo& io, quint32 id, int value) {
    v4l2_control control{};
    control.id = id;
    control.value = value;
    return io.setControl(control);
}

QString controlValuesText(const ControlValues& values) {
    QStringList parts;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        parts.append(it.key() + u'=' + QString::number(it.value()));
    }
    return parts.join(u';');
}

ControlValues parseControlValues(const QString& text) {
    ControlValues values;
    for (const QString& part : text.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype equals = part.indexOf(u'=');
        bool ok = false;
        const int value = equals > 0 ? part.mid(equals + 1).trimmed().toInt(&ok) : 0;
        if (!ok) {
            qCWarning(lcControls).noquote() << "camera setting ignored:" << sanitizedText(part, 80);
            continue;
        }
        values.insert(part.left(equals).trimmed(), value);
    }
    return values;
}

QString controlKey(quint32 id) {
    for (const Known& known : kKnown) {
        if (known.id == id) {
            return QString::fromLatin1(known.key);
        }
    }
    return {};
}

int applyControls(ControlIo& io, const ControlValues& values) {
    int applied = 0;
    for (const Known& known : kKnown) {
        const auto wanted = values.constFind(QString::fromLatin1(known.key));
        if (wanted == values.cend()) {
            continue;
        }
        // Read at its turn: the mode set before may have made it active.
        const std::optional<CameraControl> control = readOne(io, known);
        if (!control || control->readOnly || control->inactive) {
            continue;
        }
        const int value = std::clamp(*wanted, control->minimum, control->maximum);
        if (value == control->value) {
            ++applied;
            continue;
        }
        if (const int failure = setControl(io, known.id, value)) {
            qCWarning(lcControls).noquote()
                << "cannot set" << known.key << "to" << value << "-" << systemText(failure);
            continue;
        }
        ++applied;
    }
    return applied;
}

ControlTarget controlTarget(const QString& cameraName, GstElement* camera) {
    ControlTarget target{cameraName, {}};
    GstElementFactory* factory = camera ? gst_element_get_factory(camera) : nullptr;
    if (factory &&
        qstrcmp(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), "v4l2src") == 0) {
        Chars device;
        g_object_get(camera, "device", device.out(), nullptr);
        target.devicePath = QString::fromUtf8(device ? device.get() : "");
    }
    return target;
}

void setControlOpener(ControlOpener opener) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.opener = std::move(opener);
}

std::unique_ptr<ControlIo> openControls(const ControlTarget& target) {
    ControlOpener opener;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        opener = r.opener;
    }
    if (opener) {
        return opener(target);
    }
    if (target.devicePath.isEmpty()) {
        return nullptr;
    }
    QString error;
    std::unique_ptr<ControlIo> io = openV4l2Device(target.devicePath, &error);
    if (!io) {
        qCWarning(lcControls).noquote()
            << "cannot open the controls of" << target.devicePath << "-" << error;
    }
    return io;
}

void setKeptControls(const QString& camera, const ControlValues& values) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (values.isEmpty()) {
        r.kept.remove(camera);
    } else {
        r.kept.insert(camera, values);
    }
}

ControlValues keptControls(const QString& camera) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.kept.value(camera);
}

void clearKeptControls() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.kept.clear();
}

struct ControlChannel::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Request> requests;
    bool stopped = false;
};

ControlChannel::ControlChannel(ControlTarget target) : state_(std::make_shared<State>()) {
    std::thread([state = state_, target = std::move(target)] {
        std::unique_ptr<ControlIo> io;
        bool opened = false;
        for (;;) {
            Request request;
            {
                std::unique_lock lock(state->mutex);
                state->wake.wait(lock, [&] { return state->stopped || !state->requests.empty(); });
                if (state->stopped) {
                    return;
                }
                request = std::move(state->requests.front());
                state->requests.pop_front();
            }
            if (!opened) {
                io = openControls(target);
                opened = true;
            }
            request(io.get());
        }
    }).detach();
}

ControlChannel::~ControlChannel() {
    std::lock_guard lock(state_->mutex);
    state_->stopped = true;
    state_->requests.clear();
    state_->wake.notify_all();
}

void ControlChannel::post(Request request) {
    std::lock_guard lock(state_->mutex);
    state_->requests.push_back(std::move(request));
    state_->wake.notify_all();
}

void applyKeptControls(const ControlTarget& target) {
    const ControlValues values = keptControls(target.camera);
    if (values.isEmpty()) {
        return;
    }
    // A device that hangs holds up this thread only; nobody waits for it.
    std::thread([target, values] {
        if (std::unique_ptr<ControlIo> io = openControls(target)) {
            const int applied = applyControls(*io, values);
            qCInfo(lcControls).noquote()
                << applied << "of" << values.size() << "kept settings applied to" << target.camera;
        }
    }).detach();
}

}  // namespace kv::media
