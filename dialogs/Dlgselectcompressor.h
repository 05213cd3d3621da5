#pragma once

// TDlgSelectComp, the dialog in which the user chooses the video compressor, or
// none, and its quality. It has no behaviour of its own: the main window fills
// it, shows it modally and reads the choice back.

#include <QDialog>
#include <QString>

class QLabel;
class QListWidget;
class QPushButton;
class QSlider;

class TDlgSelectComp : public QDialog {
    Q_OBJECT
  public:
    explicit TDlgSelectComp(QWidget* parent = nullptr);
    ~TDlgSelectComp() override;

    QListWidget* ListBox = nullptr;
    QLabel* Label1 = nullptr;  // "&Quality"
    QSlider* TBCompQuality = nullptr;
    QLabel* Label2 = nullptr;  // "100 %"
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;
};

namespace kv::dialogs {

// The last entry of the list: recording without a compressor.
QString noCodecEntry();  // "Do not use any Codec"

// Before showing: lists the installed compressors and the no-codec entry,
// selects the entry equal to compressor ignoring letter case (the first one
// when none is), and sets the slider to the quality in percent, rounded.
void FillCompressorDialog(TDlgSelectComp& dialog, const QString& compressor, double quality);

// What OK stores.
struct CompressorChoice {
    QString compressor;    // the selected entry, at most 79 characters
    double quality = 0.0;  // slider position x 0.01
};
CompressorChoice ChosenCompressor(const TDlgSelectComp& dialog);

}  // namespace kv::dialogs
