#include "dialogs/add_camera_dialog.h"

#include "media/camera_probe.h"
#include "media/camera_settings.h"
#include "media/uri_camera.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace kv::dialogs {

AddCameraDialog::AddCameraDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DlgAddCamera"));
    setWindowTitle(tr("Add camera"));
    edName = new QLineEdit(this);
    edName->setObjectName(QStringLiteral("edName"));
    edName->setPlaceholderText(tr("e.g. Garden"));
    edAddress = new QLineEdit(this);
    edAddress->setObjectName(QStringLiteral("edAddress"));
    edAddress->setPlaceholderText(tr("rtsp://, http://, file:// or a file"));
    edAddress->setMinimumWidth(320);
    BtnBrowse = new QPushButton(tr("&Browse..."), this);
    BtnBrowse->setObjectName(QStringLiteral("BtnBrowse"));
    edUser = new QLineEdit(this);
    edUser->setObjectName(QStringLiteral("edUser"));
    edPassword = new QLineEdit(this);
    edPassword->setObjectName(QStringLiteral("edPassword"));
    edPassword->setEchoMode(QLineEdit::Password);
    BtnTest = new QPushButton(tr("&Test"), this);
    BtnTest->setObjectName(QStringLiteral("BtnTest"));
    lbTestResult = new QLabel(this);
    lbTestResult->setObjectName(QStringLiteral("lbTestResult"));
    lbTestResult->setWordWrap(true);
    lbTestResult->setTextFormat(Qt::PlainText);

    auto* address = new QHBoxLayout;
    address->addWidget(edAddress, 1);
    address->addWidget(BtnBrowse);
    auto* test = new QHBoxLayout;
    test->addWidget(BtnTest);
    test->addWidget(lbTestResult, 1);
    auto* form = new QFormLayout;
    form->addRow(tr("&Name:"), edName);
    auto* addressLabel = new QLabel(tr("&Address:"), this);
    addressLabel->setBuddy(edAddress);
    form->addRow(addressLabel, address);
    form->addRow(tr("&User:"), edUser);
    form->addRow(tr("&Password:"), edPassword);
    form->addRow(QString(), test);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Buttons);

    FileDialog = new QFileDialog(this, tr("Video file"));
    FileDialog->setObjectName(QStringLiteral("FileDialog"));
    FileDialog->setAcceptMode(QFileDialog::AcceptOpen);
    FileDialog->setFileMode(QFileDialog::ExistingFile);
    FileDialog->setNameFilters(
        {tr("Video files (*.avi *.mp4 *.mkv *.mov *.webm *.mjpeg)"), tr("All files (*)")});

    probe_ = new media::CameraProbe(this);
    connect(probe_, &media::CameraProbe::finished, this, [this](QSize size, const QString& error) {
        BtnTest->setEnabled(true);
        lbTestResult->setText(size.isValid()
                                  ? tr("Works: %1 x %2 pixels").arg(size.width()).arg(size.height())
                                  : error);
    });
    connect(BtnTest, &QPushButton::clicked, this, &AddCameraDialog::BtnTestClick);
    connect(BtnBrowse, &QPushButton::clicked, this, &AddCameraDialog::BtnBrowseClick);
    connect(edAddress, &QLineEdit::editingFinished, this, &AddCameraDialog::takeUserInfo);
    connect(Buttons, &QDialogButtonBox::accepted, this, &AddCameraDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString AddCameraDialog::cameraName() const {
    return edName->text().trimmed();
}

QString AddCameraDialog::cameraUri() const {
    const QString address = edAddress->text().trimmed();
    if (address.startsWith(u'/')) {
        return QUrl::fromLocalFile(address).toString();
    }
    QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.isLocalFile() ||
        (edUser->text().isEmpty() && edPassword->text().isEmpty())) {
        return address;
    }
    url.setUserName(edUser->text());
    url.setPassword(edPassword->text());
    return url.toString(QUrl::FullyEncoded);
}

void AddCameraDialog::takeUserInfo() {
    QUrl url(edAddress->text().trimmed(), QUrl::StrictMode);
    if (!url.isValid() || (url.userName().isEmpty() && url.password().isEmpty())) {
        return;
    }
    edUser->setText(url.userName());
    edPassword->setText(url.password());
    url.setUserInfo(QString());
    edAddress->setText(url.toString());
}

void AddCameraDialog::BtnTestClick() {
    takeUserInfo();
    QString reason;
    if (!media::isUsableCameraUri(cameraUri(), &reason)) {
        lbTestResult->setText(tr("The address cannot be used: %1.").arg(reason));
        return;
    }
    BtnTest->setEnabled(false);
    lbTestResult->setText(tr("Testing..."));
    probe_->start(cameraUri());
}

void AddCameraDialog::BtnBrowseClick() {
    if (FileDialog->exec() != QDialog::Accepted || FileDialog->selectedFiles().isEmpty()) {
        return;
    }
    const QString file = FileDialog->selectedFiles().constFirst();
    edAddress->setText(QUrl::fromLocalFile(file).toString());
    if (edName->text().trimmed().isEmpty()) {
        edName->setText(QFileInfo(file).completeBaseName());
    }
}

void AddCameraDialog::accept() {
    takeUserInfo();
    QString problem = media::cameraNameProblem(cameraName());
    QLineEdit* wrong = edName;
    QString reason;
    if (problem.isEmpty() && edAddress->text().trimmed().isEmpty()) {
        problem = tr("The camera needs an address.");
        wrong = edAddress;
    } else if (problem.isEmpty() && !media::isUsableCameraUri(cameraUri(), &reason)) {
        problem = tr("The address cannot be used: %1.").arg(reason);
        wrong = edAddress;
    }
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), problem);
        wrong->setFocus();
        return;
    }
    QDialog::accept();
}

}  // namespace kv::dialogs
