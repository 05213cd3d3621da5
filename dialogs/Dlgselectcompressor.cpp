#include "dialogs/Dlgselectcompressor.h"

#include "dialogs/Dlgselectcapturesrc.h"
#include "media/device_catalogue.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

TDlgSelectComp::TDlgSelectComp(QWidget* parent) : QDialog(parent) {
    setObjectName(u"DlgSelectComp"_s);
    setWindowTitle(tr("Select compressor"));

    ListBox = new QListWidget(this);
    ListBox->setObjectName(u"ListBox"_s);
    Label1 = new QLabel(tr("&Quality"), this);
    Label1->setObjectName(u"Label1"_s);
    TBCompQuality = new QSlider(Qt::Horizontal, this);
    TBCompQuality->setObjectName(u"TBCompQuality"_s);
    TBCompQuality->setRange(0, 100);
    TBCompQuality->setPageStep(10);
    TBCompQuality->setTickInterval(10);
    TBCompQuality->setTickPosition(QSlider::TicksBothSides);
    Label1->setBuddy(TBCompQuality);
    Label2 = new QLabel(u"100 %"_s, this);
    Label2->setObjectName(u"Label2"_s);

    BtnOK = new QPushButton(tr("OK"), this);
    BtnOK->setObjectName(u"BtnOK"_s);
    BtnOK->setDefault(true);
    BtnCancel = new QPushButton(tr("Cancel"), this);
    BtnCancel->setObjectName(u"BtnCancel"_s);
    connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* left = new QVBoxLayout;
    left->addWidget(ListBox, 1);
    left->addWidget(Label1);
    auto* quality = new QHBoxLayout;
    quality->addWidget(TBCompQuality, 1);
    quality->addWidget(Label2);
    left->addLayout(quality);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
    setFixedSize(360, 280);
}

TDlgSelectComp::~TDlgSelectComp() = default;

namespace kv::dialogs {

QString noCodecEntry() {
    return u"Do not use any Codec"_s;
}

void FillCompressorDialog(TDlgSelectComp& dialog, const QString& compressor, double quality) {
    QStringList names;
    media::ListDeviceNames(media::DeviceCategory::CLSID_VideoCompressorCategory, names);
    names.append(noCodecEntry());
    dialog.ListBox->clear();
    dialog.ListBox->addItems(names);
    qsizetype selected = 0;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i].compare(compressor, Qt::CaseInsensitive) == 0) {
            selected = i;
            break;
        }
    }
    dialog.ListBox->setCurrentRow(int(selected));
    dialog.TBCompQuality->setValue(int(std::lround(quality * 100.0)));
}

CompressorChoice ChosenCompressor(const TDlgSelectComp& dialog) {
    CompressorChoice choice;
    choice.quality = dialog.TBCompQuality->value() * 0.01;
    const QListWidgetItem* item = dialog.ListBox->currentItem();
    choice.compressor = cutToNameField(item ? item->text() : noCodecEntry());
    return choice;
}

}  // namespace kv::dialogs
