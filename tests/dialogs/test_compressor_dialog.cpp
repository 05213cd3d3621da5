#include "dialogs/Dlgselectcompressor.h"

#include "media/compressors.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

using namespace kv::dialogs;
using namespace Qt::StringLiterals;

namespace {

QStringList entries(const TDlgSelectComp& dialog) {
    QStringList result;
    for (int i = 0; i < dialog.ListBox->count(); ++i) {
        result.append(dialog.ListBox->item(i)->text());
    }
    return result;
}

TEST(CompressorDialog, Form) {
    TDlgSelectComp dialog;
    EXPECT_EQ(dialog.windowTitle(), u"Select compressor"_s);
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.Label1->text(), u"&Quality"_s);
    EXPECT_EQ(dialog.Label1->buddy(), dialog.TBCompQuality);
    EXPECT_EQ(dialog.Label2->text(), u"100 %"_s);
    EXPECT_EQ(dialog.TBCompQuality->minimum(), 0);
    EXPECT_EQ(dialog.TBCompQuality->maximum(), 100);
    EXPECT_EQ(dialog.TBCompQuality->pageStep(), 10);
    EXPECT_EQ(dialog.TBCompQuality->tickInterval(), 10);
    EXPECT_EQ(dialog.TBCompQuality->tickPosition(), QSlider::TicksBothSides);
    EXPECT_TRUE(dialog.BtnOK->isDefault());
}

TEST(CompressorDialog, ListsTheInstalledCompressorsThenNone) {
    TDlgSelectComp dialog;
    FillCompressorDialog(dialog, u"MJPEG Compressor"_s, 0.8);
    QStringList expected = kv::media::installedCompressorNames();
    expected.append(u"Do not use any Codec"_s);
    EXPECT_EQ(entries(dialog), expected);
    // Filled again, it holds the same list once.
    FillCompressorDialog(dialog, u"MJPEG Compressor"_s, 0.8);
    EXPECT_EQ(entries(dialog), expected);
}

TEST(CompressorDialog, Preselection) {
    const QStringList installed = kv::media::installedCompressorNames();
    ASSERT_TRUE(installed.contains(u"MJPEG Compressor"_s)) << "the MJPEG compressor is needed";
    struct Row {
        const char* stored;
        QString selected;
    } const rows[] = {
        {"mjpeg compressor", u"MJPEG Compressor"_s},
        {"MJPEG COMPRESSOR", u"MJPEG Compressor"_s},
        {"No Such Compressor", installed.first()},
        {"", installed.first()},
        {"do not use any codec", u"Do not use any Codec"_s},
    };
    TDlgSelectComp dialog;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        FillCompressorDialog(dialog, QString::fromUtf8(row.stored), 0.5);
        EXPECT_EQ(dialog.ListBox->currentItem()->text(), row.selected);
        EXPECT_TRUE(dialog.ListBox->currentItem()->isSelected());
        EXPECT_EQ(ChosenCompressor(dialog).compressor, row.selected);
    }
    // Other than the first installed one, to tell selection from the default.
    if (installed.size() > 1) {
        FillCompressorDialog(dialog, installed.last().toLower(), 0.5);
        EXPECT_EQ(ChosenCompressor(dialog).compressor, installed.last());
    }
}

TEST(CompressorDialog, QualityShownInPercentAndReadBack) {
    TDlgSelectComp dialog;
    for (int percent = 0; percent <= 100; ++percent) {
        const double quality = percent * 0.01;
        FillCompressorDialog(dialog, u"MJPEG Compressor"_s, quality);
        ASSERT_EQ(dialog.TBCompQuality->value(), percent);
        dialog.open();
        dialog.BtnOK->click();
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
        ASSERT_DOUBLE_EQ(ChosenCompressor(dialog).quality, quality);
    }
    FillCompressorDialog(dialog, u"MJPEG Compressor"_s, 0.29);
    EXPECT_EQ(dialog.TBCompQuality->value(), 29);
    EXPECT_DOUBLE_EQ(ChosenCompressor(dialog).quality, 0.29);
    FillCompressorDialog(dialog, u"MJPEG Compressor"_s, 0.996);
    EXPECT_EQ(dialog.TBCompQuality->value(), 100);
}

TEST(CompressorDialog, ChoosingNoCodec) {
    TDlgSelectComp dialog;
    FillCompressorDialog(dialog, u"MJPEG Compressor"_s, 0.8);
    dialog.ListBox->setCurrentRow(dialog.ListBox->count() - 1);
    dialog.TBCompQuality->setValue(35);
    const CompressorChoice choice = ChosenCompressor(dialog);
    EXPECT_EQ(choice.compressor, noCodecEntry());
    EXPECT_DOUBLE_EQ(choice.quality, 0.35);
}

}  // namespace
