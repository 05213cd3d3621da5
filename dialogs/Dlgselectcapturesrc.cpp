#include "dialogs/Dlgselectcapturesrc.h"

#include "dialogs/add_camera_dialog.h"
#include "dialogs/camera_settings_dialog.h"
#include "media/camera_settings.h"
#include "media/device_catalogue.h"
#include "media/redact.h"
#include "media/uri_camera.h"

#include <algorithm>

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>

using namespace Qt::StringLiterals;
using kv::media::DeviceCategory;

Q_LOGGING_CATEGORY(lcCaptureDialog, "kv.dialogs.capture", QtInfoMsg)

TDlgSelectCapture::TDlgSelectCapture(QWidget* parent) : QDialog(parent) {
    setObjectName(u"DlgSelectCapture"_s);
    setWindowTitle(tr("Select capture device"));
    setFixedSize(482, 239);

    Label1 = new QLabel(tr("&Devices:"), this);
    Label1->setObjectName(u"Label1"_s);
    Label1->move(8, 8);
    LBDevices = new QListWidget(this);
    LBDevices->setObjectName(u"LBDevices"_s);
    LBDevices->setGeometry(8, 24, 201, 177);
    Label1->setBuddy(LBDevices);

    Label2 = new QLabel(tr("&Formats:"), this);
    Label2->setObjectName(u"Label2"_s);
    Label2->move(224, 8);
    LBFormats = new QListWidget(this);
    LBFormats->setObjectName(u"LBFormats"_s);
    LBFormats->setGeometry(224, 24, 161, 177);
    Label2->setBuddy(LBFormats);

    BtnOK = new QPushButton(tr("OK"), this);
    BtnOK->setObjectName(u"BtnOK"_s);
    BtnOK->setGeometry(394, 25, 80, 24);
    BtnOK->setDefault(true);
    BtnCancel = new QPushButton(tr("Cancel"), this);
    BtnCancel->setObjectName(u"BtnCancel"_s);
    BtnCancel->setGeometry(394, 57, 80, 24);
    BtnProperty = new QPushButton(tr("&Properties..."), this);
    BtnProperty->setObjectName(u"BtnProperty"_s);
    BtnProperty->setGeometry(394, 94, 80, 24);
    BtnAddCamera = new QPushButton(tr("&Add camera..."), this);
    BtnAddCamera->setObjectName(u"BtnAddCamera"_s);
    BtnAddCamera->setGeometry(8, 208, 110, 24);
    BtnRemoveCamera = new QPushButton(tr("Re&move"), this);
    BtnRemoveCamera->setObjectName(u"BtnRemoveCamera"_s);
    BtnRemoveCamera->setGeometry(122, 208, 87, 24);
    BtnRemoveCamera->setToolTip(tr("Removes a camera added with \"Add camera...\""));
    lbNoCamera = new QLabel(tr("No capture device available.") + u"\n\n"_s +
                                tr("Add a network camera or a video file with \"Add camera...\"."),
                            LBDevices->viewport());
    lbNoCamera->setObjectName(u"lbNoCamera"_s);
    lbNoCamera->setWordWrap(true);
    lbNoCamera->setGeometry(6, 6, 185, 150);
    lbNoCamera->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbNoCamera->hide();
    lbAddress = new QLabel(this);
    lbAddress->setObjectName(u"lbAddress"_s);
    lbAddress->setGeometry(224, 209, 250, 22);
    lbAddress->setTextFormat(Qt::PlainText);
    lbAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QLabel* label : {Label1, Label2}) {
        label->adjustSize();
    }
    fitButtonsToTheirTexts();

    connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(BtnProperty, &QPushButton::clicked, this, &TDlgSelectCapture::BtnPropertyClick);
    connect(BtnAddCamera, &QPushButton::clicked, this, &TDlgSelectCapture::BtnAddCameraClick);
    connect(BtnRemoveCamera, &QPushButton::clicked, this, &TDlgSelectCapture::BtnRemoveCameraClick);
    // Every change of selection by mouse or keyboard, and a click on the
    // selected camera too, binds the camera anew.
    connect(LBDevices, &QListWidget::currentRowChanged, this, [this] { LBDevicesClick(); });
    connect(LBDevices, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (LBDevices->row(item) == rowAtPress_) {
            LBDevicesClick();
        }
    });
    LBDevices->viewport()->installEventFilter(this);

    FormCreate();
}

TDlgSelectCapture::~TDlgSelectCapture() {
    // The lists outlive this object's members while the widget tree is torn down.
    disconnect(LBDevices, nullptr, this, nullptr);
    LBDevices->viewport()->removeEventFilter(this);
    FormDestroy();
}

void TDlgSelectCapture::FormCreate() {
    graph_ = kv::media::adopt(gst_pipeline_new("capture-dialog"));
    if (!graph_) {
        qCWarning(lcCaptureDialog) << "cannot create the dialog's pipeline";
    }
}

void TDlgSelectCapture::FormDestroy() {
    releaseCamera();
    graph_.reset();
}

void TDlgSelectCapture::FormClose() {
    releaseCamera();
}

void TDlgSelectCapture::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TDlgSelectCapture::closeEvent(QCloseEvent* event) {
    QDialog::closeEvent(event);  // a visible dialog rejects, which gives the camera back
    FormClose();
}

bool TDlgSelectCapture::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LBDevices->viewport() && event->type() == QEvent::MouseButtonPress) {
        rowAtPress_ = LBDevices->currentRow();
    }
    return QDialog::eventFilter(watched, event);
}

void TDlgSelectCapture::setDeviceNames(const QStringList& names) {
    const QSignalBlocker block(LBDevices);
    LBDevices->clear();
    LBDevices->addItems(names);
    LBDevices->setCurrentRow(-1);
    lbNoCamera->setVisible(names.isEmpty());
    showSelection();
}

// What the selection allows, and where an added camera's pictures come from.
void TDlgSelectCapture::showSelection() {
    const QListWidgetItem* item = LBDevices->currentItem();
    const QString name = item ? item->text() : QString();
    BtnRemoveCamera->setEnabled(item && kv::media::isConfiguredCamera(name));
    BtnProperty->setEnabled(bool(camera_));
    QString address;
    for (const kv::media::UriCamera& camera : kv::media::uriCameras()) {
        if (item && camera.name == name) {
            address = kv::media::maskedUri(camera.uri);
            break;
        }
    }
    lbAddress->setText(address);
    lbAddress->setToolTip(address);
}

void TDlgSelectCapture::relist(const QString& select) {
    releaseCamera();
    LBFormats->clear();
    QStringList names;
    kv::media::ListDeviceNames(DeviceCategory::CLSID_VideoInputDeviceCategory, names);
    setDeviceNames(names);
    if (names.isEmpty()) {
        return;
    }
    const qsizetype row = names.indexOf(select);
    {
        const QSignalBlocker block(LBDevices);
        LBDevices->setCurrentRow(row < 0 ? 0 : int(row));
    }
    FillFormatList();
}

// The places are those of the original form; a translated text longer than
// its button widens the button, and the lists and the dialog make room.
void TDlgSelectCapture::fitButtonsToTheirTexts() {
    const auto needed = [](const QPushButton* button) {
        return button->fontMetrics().horizontalAdvance(QString(button->text()).remove(u'&')) + 8;
    };
    const int below = std::max(0, needed(BtnAddCamera) - BtnAddCamera->width()) +
                      std::max(0, needed(BtnRemoveCamera) - BtnRemoveCamera->width());
    int side = BtnOK->width();
    for (const QPushButton* button : {BtnOK, BtnCancel, BtnProperty}) {
        side = std::max(side, needed(button));
    }
    const int wider = side - BtnOK->width();
    if (below == 0 && wider == 0) {
        return;
    }
    LBDevices->resize(LBDevices->width() + below, LBDevices->height());
    BtnAddCamera->resize(std::max(BtnAddCamera->width(), needed(BtnAddCamera)),
                         BtnAddCamera->height());
    BtnRemoveCamera->setGeometry(BtnAddCamera->geometry().right() + 5, BtnRemoveCamera->y(),
                                 std::max(BtnRemoveCamera->width(), needed(BtnRemoveCamera)),
                                 BtnRemoveCamera->height());
    for (QWidget* w : std::initializer_list<QWidget*>{Label2, LBFormats, lbAddress}) {
        w->move(w->x() + below, w->y());
    }
    for (QPushButton* button : {BtnOK, BtnCancel, BtnProperty}) {
        button->setGeometry(button->x() + below, button->y(), side, button->height());
    }
    lbAddress->resize(lbAddress->width() + wider, lbAddress->height());
    setFixedSize(width() + below + wider, height());
}

void TDlgSelectCapture::BtnAddCameraClick() {
    kv::dialogs::AddCameraDialog add(this);
    while (add.exec() == QDialog::Accepted) {
        QString error;
        if (kv::media::addConfiguredCamera(settingsFile_, add.cameraName(), add.cameraUri(),
                                           &error)) {
            relist(add.cameraName());
            return;
        }
        QMessageBox::warning(this, add.windowTitle(), error);
    }
}

void TDlgSelectCapture::BtnRemoveCameraClick() {
    const QListWidgetItem* item = LBDevices->currentItem();
    if (!item || !kv::media::isConfiguredCamera(item->text())) {
        return;
    }
    const QString name = item->text();
    if (QMessageBox::question(this, windowTitle(), tr("Remove the camera \"%1\"?").arg(name)) !=
        QMessageBox::Yes) {
        return;
    }
    releaseCamera();
    QString error;
    if (!kv::media::removeConfiguredCamera(settingsFile_, name, &error)) {
        QMessageBox::warning(this, windowTitle(), error);
    }
    relist(QString());
}

void TDlgSelectCapture::releaseCamera() {
    if (!camera_) {
        return;
    }
    if (graph_ && GST_OBJECT_PARENT(camera_.get()) == GST_OBJECT(graph_.get())) {
        gst_bin_remove(GST_BIN(graph_.get()), camera_.get());
    }
    camera_.reset();
}

void TDlgSelectCapture::FillFormatList() {
    LBFormats->clear();
    releaseCamera();
    kv::media::Element camera;
    kv::media::FindDeviceFilter(DeviceCategory::CLSID_VideoInputDeviceCategory, QString(),
                                LBDevices->currentRow(), camera);
    if (!camera) {
        qCWarning(lcCaptureDialog) << "camera" << LBDevices->currentRow() << "cannot be bound";
        showSelection();
        return;
    }
    if (graph_) {
        gst_object_set_name(GST_OBJECT(camera.get()), "Filter");
        gst_bin_add(GST_BIN(graph_.get()), camera.get());
    }
    camera_ = std::move(camera);
    for (const kv::media::VideoInfoCapability& capability :
         kv::media::CaptureCapabilities(camera_.get())) {
        LBFormats->addItem(kv::media::FormatLine(capability));
    }
    if (LBFormats->count() > 0) {
        LBFormats->setCurrentRow(0);
    }
    showSelection();
}

void TDlgSelectCapture::LBDevicesClick() {
    FillFormatList();
}

void TDlgSelectCapture::BtnPropertyClick() {
    const QListWidgetItem* item = LBDevices->currentItem();
    if (!camera_ || !item) {
        return;
    }
    // The camera stays bound while its settings are shown.
    const kv::media::Element camera = camera_;
    kv::dialogs::ShowCameraSettings(item->text(), camera.get(), settingsFile_, this);
}

namespace kv::dialogs {

QString cutToNameField(const QString& name) {
    constexpr qsizetype kMax = 79;
    if (name.size() <= kMax) {
        return name;
    }
    qsizetype length = kMax;
    if (name.at(length - 1).isHighSurrogate()) {
        --length;
    }
    return name.left(length);
}

bool PrepareCaptureDialog(TDlgSelectCapture& dialog, int deviceIndex, int formatIndex) {
    QStringList names;
    media::ListDeviceNames(DeviceCategory::CLSID_VideoInputDeviceCategory, names);
    dialog.setDeviceNames(names);
    if (names.isEmpty()) {
        return false;
    }
    auto entry = [](int index, int count) { return index < 0 || index >= count ? 0 : index; };
    {
        const QSignalBlocker block(dialog.LBDevices);
        dialog.LBDevices->setCurrentRow(entry(deviceIndex, dialog.LBDevices->count()));
    }
    dialog.FillFormatList();
    if (dialog.LBFormats->count() > 0) {
        dialog.LBFormats->setCurrentRow(entry(formatIndex, dialog.LBFormats->count()));
    }
    return true;
}

CaptureChoice ChosenCapture(const TDlgSelectCapture& dialog) {
    CaptureChoice choice;
    choice.deviceIndex = dialog.LBDevices->currentRow();
    if (const QListWidgetItem* item = dialog.LBDevices->currentItem()) {
        choice.deviceName = cutToNameField(item->text());
    }
    choice.formatIndex = dialog.LBFormats->count() > 0 ? dialog.LBFormats->currentRow() : -1;
    return choice;
}

}  // namespace kv::dialogs
