#include "dialogs/camera_settings_dialog.h"

#include "media/camera_settings.h"
#include "media/uri_camera.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>

Q_LOGGING_CATEGORY(lcCameraSettingsDialog, "kv.dialogs.camerasettings", QtInfoMsg)

namespace kv::dialogs {

using media::CameraControl;

namespace {

constexpr int kAnswerTimeout_ms = 5000;
constexpr int kDefaultLatency_ms = 2000;  // rtspsrc's own

bool isRtsp(const QString& camera) {
    for (const media::UriCamera& uri : media::uriCameras()) {
        if (uri.name == camera) {
            return uri.uri.startsWith(QStringLiteral("rtsp"), Qt::CaseInsensitive);
        }
    }
    return false;
}

}  // namespace

CameraSettingsDialog::CameraSettingsDialog(const QString& cameraName, GstElement* camera,
                                           const QString& settingsFile, QWidget* parent)
    : QDialog(parent),
      camera_(cameraName),
      settingsFile_(settingsFile),
      kept_(media::keptControls(cameraName)),
      alive_(std::make_shared<bool>(true)) {
    setObjectName(QStringLiteral("DlgCameraSettings"));
    setWindowTitle(tr("Camera settings - %1").arg(cameraName));
    lbStatus = new QLabel(this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    lbStatus->setWordWrap(true);
    lbStatus->setTextFormat(Qt::PlainText);
    auto* rows = new QWidget(this);
    form_ = new QFormLayout(rows);
    BtnDefaults = new QPushButton(tr("&Defaults"), this);
    BtnDefaults->setObjectName(QStringLiteral("BtnDefaults"));
    BtnDefaults->setEnabled(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(BtnDefaults, QDialogButtonBox::ResetRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(BtnDefaults, &QPushButton::clicked, this, &CameraSettingsDialog::BtnDefaultsClick);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbStatus);
    layout->addWidget(rows);
    layout->addStretch();
    layout->addWidget(buttons);
    setMinimumWidth(420);

    if (isRtsp(cameraName)) {
        showNetwork();
        return;
    }
    lbStatus->setText(tr("Reading the camera's settings..."));
    channel_ = std::make_unique<media::ControlChannel>(media::controlTarget(cameraName, camera));
    readAfter([](media::ControlIo* io) { return io ? QString() : QStringLiteral("none"); });
    QTimer::singleShot(kAnswerTimeout_ms, this, [this] {
        if (kind_ == Kind::Reading) {
            showNothing(tr("The camera does not answer."));
        }
    });
}

CameraSettingsDialog::~CameraSettingsDialog() {
    *alive_ = false;
}

void CameraSettingsDialog::readAfter(std::function<QString(media::ControlIo*)> request) {
    channel_->post([this, alive = alive_, request = std::move(request)](media::ControlIo* io) {
        const QString failure = request(io);
        QList<CameraControl> controls;
        QString error;
        if (io) {
            controls = media::readControls(*io, &error);
        }
        if (!failure.isEmpty()) {
            error = failure;
        }
        const bool none = !io;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive, controls, error, none] {
                if (!*alive) {
                    return;
                }
                if (none) {
                    showNothing(tr("This camera has nothing to adjust."));
                } else {
                    showControls(controls, error);
                }
            },
            Qt::QueuedConnection);
    });
}

void CameraSettingsDialog::showNothing(const QString& why) {
    kind_ = Kind::Nothing;
    lbStatus->setText(why);
    BtnDefaults->setEnabled(false);
}

void CameraSettingsDialog::showNetwork() {
    kind_ = Kind::Network;
    lbStatus->setText(
        tr("These settings take effect when the camera starts again, which "
           "closing the camera dialog does."));
    auto* latency = new QSpinBox(this);
    latency->setObjectName(media::kRtspLatencyKey);
    latency->setRange(0, 10000);
    latency->setSingleStep(100);
    latency->setSuffix(tr(" ms"));
    latency->setKeyboardTracking(false);
    latency->setValue(kept_.value(media::kRtspLatencyKey, kDefaultLatency_ms));
    latency->setToolTip(
        tr("How long the camera's stream is held to even out the network; "
           "less is closer to live, more rides out a slow network."));
    auto* transport = new QComboBox(this);
    transport->setObjectName(media::kRtspTransportKey);
    transport->addItems({tr("Automatic"), tr("TCP only"), tr("UDP only")});
    transport->setCurrentIndex(qBound(0, kept_.value(media::kRtspTransportKey, 0), 2));
    form_->addRow(tr("&Latency:"), latency);
    form_->addRow(tr("&Transport:"), transport);
    connect(latency, &QSpinBox::valueChanged, this,
            [this](int value) { keep(media::kRtspLatencyKey, value); });
    connect(transport, &QComboBox::currentIndexChanged, this,
            [this](int index) { keep(media::kRtspTransportKey, index); });
}

void CameraSettingsDialog::keep(const QString& key, int value) {
    kept_.insert(key, value);
    QString error;
    if (!media::saveCameraSettings(settingsFile_, camera_, kept_, &error)) {
        lbStatus->setText(error);
    }
}

void CameraSettingsDialog::showControls(const QList<CameraControl>& controls,
                                        const QString& error) {
    const bool first = kind_ != Kind::Controls;
    kind_ = Kind::Controls;
    controls_ = controls;
    if (!error.isEmpty()) {
        lbStatus->setText(error);
    } else if (first) {
        lbStatus->setText(tr("Changes are set at once and kept for this camera."));
    }
    if (first) {
        BtnDefaults->setEnabled(!controls.isEmpty());
        for (const CameraControl& control : controls_) {
            QWidget* editor = nullptr;
            switch (control.kind) {
                case CameraControl::Kind::Boolean: {
                    auto* box = new QCheckBox(this);
                    connect(box, &QCheckBox::toggled, this, [this, id = control.id](bool on) {
                        for (const CameraControl& c : controls_) {
                            if (c.id == id) {
                                change(c, on ? 1 : 0);
                            }
                        }
                    });
                    editor = box;
                    break;
                }
                case CameraControl::Kind::Menu: {
                    auto* menu = new QComboBox(this);
                    for (const auto& [value, name] : control.menu) {
                        menu->addItem(name, value);
                    }
                    connect(menu, &QComboBox::activated, this, [this, menu, id = control.id] {
                        for (const CameraControl& c : controls_) {
                            if (c.id == id) {
                                change(c, menu->currentData().toInt());
                            }
                        }
                    });
                    editor = menu;
                    break;
                }
                case CameraControl::Kind::Integer: {
                    editor = new QWidget(this);
                    auto* row = new QHBoxLayout(editor);
                    row->setContentsMargins(0, 0, 0, 0);
                    auto* slider = new QSlider(Qt::Horizontal, editor);
                    slider->setObjectName(control.key + QStringLiteral("_slider"));
                    slider->setTracking(false);
                    auto* spin = new QSpinBox(editor);
                    spin->setObjectName(control.key);
                    spin->setKeyboardTracking(false);
                    row->addWidget(slider, 1);
                    row->addWidget(spin);
                    connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
                    connect(slider, &QSlider::sliderMoved, spin, [spin](int value) {
                        const QSignalBlocker block(spin);
                        spin->setValue(value);
                    });
                    connect(spin, &QSpinBox::valueChanged, this,
                            [this, slider, id = control.id](int value) {
                                const QSignalBlocker block(slider);
                                slider->setValue(value);
                                for (const CameraControl& c : controls_) {
                                    if (c.id == id) {
                                        change(c, value);
                                    }
                                }
                            });
                    break;
                }
            }
            if (control.kind != CameraControl::Kind::Integer) {
                editor->setObjectName(control.key);
            }
            editor->setToolTip(tr("Default: %1").arg(control.defaultValue));
            form_->addRow(control.label, editor);
        }
    }
    refreshRows();
    Q_EMIT controlsShown();
}

// The rows show the device's values and which controls are live now.
void CameraSettingsDialog::refreshRows() {
    for (const CameraControl& control : controls_) {
        auto* editor = findChild<QWidget*>(control.key);
        if (!editor) {
            continue;
        }
        const bool live = !control.inactive && !control.readOnly;
        if (auto* spin = qobject_cast<QSpinBox*>(editor)) {
            auto* slider = findChild<QSlider*>(control.key + QStringLiteral("_slider"));
            const QSignalBlocker blockSpin(spin);
            const QSignalBlocker blockSlider(slider);
            spin->setRange(control.minimum, control.maximum);
            spin->setSingleStep(control.step);
            spin->setValue(control.value);
            slider->setRange(control.minimum, control.maximum);
            slider->setSingleStep(control.step);
            slider->setPageStep(std::max(control.step, (control.maximum - control.minimum) / 10));
            slider->setValue(control.value);
            spin->setEnabled(live);
            slider->setEnabled(live);
        } else if (auto* box = qobject_cast<QCheckBox*>(editor)) {
            const QSignalBlocker block(box);
            box->setChecked(control.value != 0);
            box->setEnabled(live);
        } else if (auto* menu = qobject_cast<QComboBox*>(editor)) {
            const QSignalBlocker block(menu);
            menu->setCurrentIndex(menu->findData(control.value));
            menu->setEnabled(live);
        }
    }
}

void CameraSettingsDialog::change(const CameraControl& control, int value) {
    keep(control.key, value);
    const quint32 id = control.id;
    const QString label = control.label;
    readAfter([id, value, label](media::ControlIo* io) {
        if (!io) {
            return QStringLiteral("none");
        }
        const int failure = media::setControl(*io, id, value);
        return failure == 0 ? QString()
                            : QCoreApplication::translate("kv::dialogs::CameraSettingsDialog",
                                                          "%1 cannot be set: %2")
                                  .arg(label, QString::fromLocal8Bit(std::strerror(failure)));
    });
}

void CameraSettingsDialog::BtnDefaultsClick() {
    if (kind_ != Kind::Controls) {
        return;
    }
    kept_.clear();
    QString error;
    if (!media::saveCameraSettings(settingsFile_, camera_, kept_, &error)) {
        lbStatus->setText(error);
    }
    QList<QPair<quint32, int>> defaults;
    for (const CameraControl& control : controls_) {
        if (!control.readOnly) {
            defaults.append({control.id, control.defaultValue});
        }
    }
    readAfter([defaults](media::ControlIo* io) {
        if (!io) {
            return QStringLiteral("none");
        }
        // Twice: a value governed by a mode is live only once the mode is back.
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& [id, value] : defaults) {
                media::setControl(*io, id, value);
            }
        }
        return QString();
    });
}

void ShowCameraSettings(const QString& cameraName, GstElement* camera, const QString& settingsFile,
                        QWidget* parent) {
    CameraSettingsDialog dialog(cameraName, camera, settingsFile, parent);
    dialog.exec();
}

}  // namespace kv::dialogs
