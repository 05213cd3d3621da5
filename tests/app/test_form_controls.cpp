#include "app/form_controls.h"
#include "app/window_layout.h"
#include "playback/frame_export.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using kv::app::Form1Controls;
using kv::app::Panel;
using kv::app::PanelStatusBar;

namespace {

class FormControls : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<QWidget>();
        c = kv::app::buildForm1Controls(form.get());
    }

    QObject* find(const char* name) const { return form->findChild<QObject*>(QLatin1String(name)); }
    QWidget* widget(const char* name) const {
        return form->findChild<QWidget*>(QLatin1String(name));
    }

    void showForm() {
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    std::unique_ptr<QWidget> form;
    Form1Controls c;
};

// What a control shows the user: its caption, its tab's caption, or its hint.
QString shownText(QObject* o) {
    if (auto* a = qobject_cast<QAction*>(o)) {
        return a->text();
    }
    if (auto* p = qobject_cast<Panel*>(o)) {
        return p->caption();
    }
    if (auto* l = qobject_cast<QLabel*>(o)) {
        return l->text();
    }
    auto* w = qobject_cast<QWidget*>(o);
    if (w == nullptr) {
        return {};
    }
    for (QWidget* p = w->parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(p)) {
            const int index = tabs->indexOf(w);
            if (index >= 0) {
                return tabs->tabText(index);
            }
            break;
        }
    }
    return w->toolTip();
}

struct InventoryRow {
    const char* name;
    const char* kind;
    const char* text;  // caption or hint; nullptr when the control has none
    bool enabled;
    std::optional<QRect> geometry;  // in its parent, where the window's creation fixes it
};

const InventoryRow kInventory[] = {
    {"PageControl", "QTabWidget", nullptr, true, QRect(5, 5, 412, 345)},
    {"tsRecord", "QWidget", "Record", true, std::nullopt},
    {"tsPlayback", "QWidget", "Playback", true, std::nullopt},
    {"TabSheet1", "QWidget", "Info", true, std::nullopt},
    {"PanelRecord", "kv::app::Panel", "Record off", true, QRect(6, 8, 324, 244)},
    {"PaintBoxRecord", "kv::app::PaintBox", nullptr, true, QRect(2, 2, 320, 240)},
    {"PanelRecControl", "kv::app::Panel", nullptr, true, std::nullopt},
    {"MotionDisplayBar", "QProgressBar", "Current movement", true, QRect(6, 2, 324, 7)},
    {"MotionTriggerBar", "QSlider", "Trigger for recording on movement.", true,
     QRect(1, 8, 334, 14)},
    {"ToolBar1", "QWidget", nullptr, true, QRect(6, 24, 272, 22)},
    {"tBtnSelectCaptureDev", "QToolButton", "Select capture device", true, std::nullopt},
    {"tBtnCapturePropertys", "QToolButton", "Properties capture device", false, std::nullopt},
    {"tBtnSelectCompressor", "QToolButton", "Select compressor", false, std::nullopt},
    {"ToolButton10", "QFrame", nullptr, true, std::nullopt},
    {"tBtnRecOff", "QToolButton", "Record OFF", false, std::nullopt},
    {"tBtnRecOn", "QToolButton", "Record On", false, std::nullopt},
    {"tBtnRecMove", "QToolButton", "Record on movement", false, std::nullopt},
    {"ToolButton4", "QFrame", nullptr, true, std::nullopt},
    {"tBtnSetup", "QToolButton", "Setup Kestrelvision", true, std::nullopt},
    {"StatusBarRecord", "kv::app::PanelStatusBar", nullptr, true, std::nullopt},
    {"PanelPlayback", "kv::app::Panel", "Playback", true, QRect(6, 8, 324, 244)},
    {"PaintBoxPlayback", "kv::app::PaintBox", nullptr, true, QRect(2, 2, 320, 240)},
    {"PanelPlaybackControl", "kv::app::Panel", nullptr, true, std::nullopt},
    {"TBPlayback", "QSlider", nullptr, true, QRect(1, 1, 333, 21)},
    {"ToolBarPlayback", "QWidget", nullptr, true, QRect(6, 24, 329, 22)},
    {"tBtnOpenActual", "QToolButton", "Open current recording", true, std::nullopt},
    {"tBtnOpen", "QToolButton", "Open recording", true, std::nullopt},
    {"tBtnStop", "QToolButton", "Stop", true, std::nullopt},
    {"tBtnPlay", "QToolButton", "Play", true, std::nullopt},
    {"ToolButton8", "QFrame", nullptr, true, std::nullopt},
    {"tBtnBack", "QToolButton", "Previous frame", true, std::nullopt},
    {"tBtnForward", "QToolButton", "Next frame", true, std::nullopt},
    {"ToolButton7", "QFrame", nullptr, true, std::nullopt},
    {"tBtnPrev", "QToolButton", "Previous file", true, std::nullopt},
    {"tBtnNext", "QToolButton", "Next file", true, std::nullopt},
    {"ToolButton12", "QFrame", nullptr, true, std::nullopt},
    {"tBtnSave", "QToolButton", "Save current frame as image", true, std::nullopt},
    {"tBtnPrint", "QToolButton", "Print current frame", true, std::nullopt},
    {"tBtnSpeed", "QToolButton", "Play speed (keys + and -)", true, QRect(290, 0, 23, 22)},
    {"StatusBarPlayback", "kv::app::PanelStatusBar", nullptr, true, std::nullopt},
    {"PlaybackBusy", "QFrame", nullptr, true, std::nullopt},
    {"lbPlaybackBusy", "QLabel", "Loading...", true, std::nullopt},
    {"PlaybackBusyBar", "QProgressBar", nullptr, true, std::nullopt},
    {"BtnCancelLoad", "QPushButton", nullptr, true, std::nullopt},
    {"lbProductName", "QLabel", "Kestrelvision", true, std::nullopt},
    {"BtnQuit", "QPushButton", nullptr, true, std::nullopt},
    {"lbDescription", "QLabel",
     "Kestrelvision records quick motion pictures for long time observation. Even movement "
     "controlled.",
     true, std::nullopt},
    {"DummyPanel", "kv::app::Panel", "DummyPanel for Live Video", true, QRect(176, 8, 153, 33)},
    {"PanelGerman", "kv::app::Panel", nullptr, true, std::nullopt},
    {"TimerTrackBar", "QTimer", nullptr, true, std::nullopt},
    {"PopupMenu", "QMenu", nullptr, true, std::nullopt},
    {"cmShow", "QAction", "&Show", true, std::nullopt},
    {"cmClose", "QAction", "Q&uit", true, std::nullopt},
    {"PopUpFilter", "QMenu", nullptr, true, std::nullopt},
    {"cmShowMask", "QAction", "Show Mask", true, std::nullopt},
    {"cmAutoSetMask", "QAction", "Autoset Mask", true, std::nullopt},
    {"cmClearMask", "QAction", "Clear Mask", true, std::nullopt},
    {"OpenDialog", "QFileDialog", nullptr, true, std::nullopt},
    {"SaveDialog", "QFileDialog", nullptr, true, std::nullopt},
};

TEST_F(FormControls, EveryControlOfTheInventoryExistsAsCreated) {
    for (const InventoryRow& row : kInventory) {
        SCOPED_TRACE(row.name);
        QObject* o = find(row.name);
        ASSERT_NE(o, nullptr);
        EXPECT_TRUE(o->inherits(row.kind)) << o->metaObject()->className();
        if (row.text != nullptr) {
            EXPECT_EQ(shownText(o), QString::fromUtf8(row.text));
        }
        if (auto* w = qobject_cast<QWidget*>(o)) {
            EXPECT_EQ(w->isEnabled(), row.enabled);
            if (row.geometry) {
                EXPECT_EQ(w->geometry(), *row.geometry);
            }
        } else if (auto* a = qobject_cast<QAction*>(o)) {
            EXPECT_EQ(a->isEnabled(), row.enabled);
        }
    }
}

TEST_F(FormControls, WindowPagesAndComponentsStartAsDesigned) {
    EXPECT_EQ(form->size(), QSize(427, 371));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Kestrelvision"));
    EXPECT_EQ(form->font().pointSize(), 8);
    EXPECT_EQ(form->font().styleHint(), QFont::SansSerif);

    ASSERT_EQ(c.PageControl->count(), 3);
    EXPECT_EQ(c.PageControl->widget(0), c.tsRecord);
    EXPECT_EQ(c.PageControl->widget(1), c.tsPlayback);
    EXPECT_EQ(c.PageControl->widget(2), c.TabSheet1);
    EXPECT_EQ(c.PageControl->currentWidget(), c.tsRecord);

    EXPECT_EQ(c.TimerTrackBar->interval(), 100);
    EXPECT_FALSE(c.TimerTrackBar->isActive());

    EXPECT_EQ(c.PopupMenu->actions(), (QList<QAction*>{c.cmShow, c.cmClose}));
    EXPECT_EQ(c.PopUpFilter->actions(),
              (QList<QAction*>{c.cmShowMask, c.cmAutoSetMask, c.cmClearMask}));
    for (QAction* a : {c.cmShowMask, c.cmAutoSetMask}) {
        EXPECT_TRUE(a->isCheckable());
        EXPECT_FALSE(a->isChecked());
    }
    EXPECT_EQ(c.PaintBoxRecord->popupMenu(), c.PopUpFilter);
    EXPECT_EQ(c.PaintBoxPlayback->popupMenu(), nullptr);

    EXPECT_TRUE(c.lbVersion->text().contains(QStringLiteral(KV_VERSION)));
    EXPECT_TRUE(c.lbProductName->font().bold());
    EXPECT_TRUE(c.DummyPanel->isHidden());
    EXPECT_EQ(c.tBtnSelectCompressor->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_FALSE(c.tBtnStop->autoRaise());
    EXPECT_FALSE(c.tBtnPlay->autoRaise());
    EXPECT_TRUE(c.tBtnOpen->autoRaise());
}

TEST_F(FormControls, TrackBarsAndMotionDisplayHaveTheirRanges) {
    EXPECT_EQ(c.MotionDisplayBar->minimum(), 0);
    EXPECT_EQ(c.MotionDisplayBar->maximum(), 30000);
    EXPECT_FALSE(c.MotionDisplayBar->isTextVisible());

    QSlider* trigger = c.MotionTriggerBar;
    EXPECT_EQ(trigger->minimum(), 0);
    EXPECT_EQ(trigger->maximum(), 30000);
    EXPECT_EQ(trigger->singleStep(), 100);
    EXPECT_EQ(trigger->pageStep(), 500);
    EXPECT_EQ(trigger->value(), 1500);
    EXPECT_EQ(trigger->tickPosition(), QSlider::NoTicks);

    trigger->setValue(40000);
    EXPECT_EQ(trigger->value(), 30000);
    trigger->setValue(-5);
    EXPECT_EQ(trigger->value(), 0);

    EXPECT_EQ(c.TBPlayback->pageStep(), 10);
    EXPECT_EQ(c.TBPlayback->tickPosition(), QSlider::NoTicks);
}

struct ToolBarEntry {
    const char* name;
    int image;  // -1 for a separator
};

void expectToolBar(const Form1Controls& c, QWidget* bar, const QList<QIcon>& images,
                   std::initializer_list<ToolBarEntry> entries) {
    int x = 0;
    for (const ToolBarEntry& e : entries) {
        SCOPED_TRACE(e.name);
        auto* w = bar->findChild<QWidget*>(QLatin1String(e.name), Qt::FindDirectChildrenOnly);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->x(), x);
        EXPECT_EQ(w->y(), 0);
        if (e.image < 0) {
            EXPECT_EQ(w->width(), 20);
            x += 20;
            continue;
        }
        auto* b = qobject_cast<QToolButton*>(w);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->size(), QSize(23, 22));
        EXPECT_FALSE(b->toolTip().isEmpty());
        ASSERT_LT(e.image, images.size());
        EXPECT_EQ(b->icon().cacheKey(), images[e.image].cacheKey());
        x += 23;
    }
    Q_UNUSED(c);
}

TEST_F(FormControls, ToolBarsHoldTheirButtonsInOrderWithTheirImages) {
    ASSERT_EQ(c.ImageListRecordE.size(), 7);
    ASSERT_EQ(c.ImageListPlaybackE.size(), 10);
    expectToolBar(c, c.ToolBar1, c.ImageListRecordE,
                  {{"tBtnSelectCaptureDev", 0},
                   {"tBtnCapturePropertys", 1},
                   {"tBtnSelectCompressor", 2},
                   {"ToolButton10", -1},
                   {"tBtnRecOff", 3},
                   {"tBtnRecOn", 4},
                   {"tBtnRecMove", 5},
                   {"ToolButton4", -1},
                   {"tBtnSetup", 6}});
    expectToolBar(c, c.ToolBarPlayback, c.ImageListPlaybackE,
                  {{"tBtnOpenActual", 0},
                   {"tBtnOpen", 1},
                   {"tBtnStop", 2},
                   {"tBtnPlay", 3},
                   {"ToolButton8", -1},
                   {"tBtnBack", 4},
                   {"tBtnForward", 5},
                   {"ToolButton7", -1},
                   {"tBtnPrev", 6},
                   {"tBtnNext", 7},
                   {"ToolButton12", -1},
                   {"tBtnSave", 8},
                   {"tBtnPrint", 9}});
}

TEST_F(FormControls, RecordModeButtonsReleaseEachOther) {
    QToolButton* buttons[] = {c.tBtnRecOff, c.tBtnRecOn, c.tBtnRecMove};
    for (int tag = 0; tag < 3; ++tag) {
        EXPECT_TRUE(buttons[tag]->isCheckable());
        EXPECT_EQ(buttons[tag]->property("tag").toInt(), tag);
        EXPECT_EQ(c.RecordModeGroup->id(buttons[tag]), tag);
        buttons[tag]->setEnabled(true);
    }
    QSignalSpy clicked(c.RecordModeGroup, &QButtonGroup::idClicked);

    c.tBtnRecMove->click();
    EXPECT_TRUE(c.tBtnRecMove->isChecked());
    c.tBtnRecOn->click();
    EXPECT_TRUE(c.tBtnRecOn->isChecked());
    EXPECT_FALSE(c.tBtnRecMove->isChecked());
    EXPECT_FALSE(c.tBtnRecOff->isChecked());
    EXPECT_EQ(c.RecordModeGroup->checkedId(), 1);

    // Clicking the button that is down keeps it down.
    c.tBtnRecOn->click();
    EXPECT_TRUE(c.tBtnRecOn->isChecked());

    ASSERT_EQ(clicked.count(), 3);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), 2);
    EXPECT_EQ(clicked.at(1).at(0).toInt(), 1);
}

TEST_F(FormControls, StatusBarsAddressTheirPanels) {
    PanelStatusBar* record = c.StatusBarRecord;
    ASSERT_EQ(record->panelCount(), 2);
    EXPECT_FALSE(record->isSimple());
    const QList<QLabel*> labels = record->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 2);
    // The file panel is as wide as its text; the recorder's state takes the rest.
    record->resize(336, 19);
    record->setPanelText(0, QStringLiteral("261208_TU00.avi: 1112 Frames."));
    record->setPanelText(1, QStringLiteral("Waiting for movement"));
    record->layout()->activate();
    for (QLabel* label : labels) {
        EXPECT_GE(label->contentsRect().width(),
                  label->fontMetrics().horizontalAdvance(label->text()))
            << label->text().toStdString();
    }
    EXPECT_GE(labels[0]->width() + labels[1]->width(), 330);

    record->setPanelText(0, QStringLiteral("clip.avi: 0 Frames."));
    record->setPanelText(1, QStringLiteral("AUS"));
    EXPECT_EQ(record->panelText(0), QStringLiteral("clip.avi: 0 Frames."));
    EXPECT_EQ(record->panelText(1), QStringLiteral("AUS"));
    record->setPanelText(2, QStringLiteral("lost"));
    EXPECT_TRUE(record->panelText(2).isEmpty());
    EXPECT_TRUE(record->panelText(-1).isEmpty());

    // The file, and the frame shown.
    PanelStatusBar* playback = c.StatusBarPlayback;
    EXPECT_EQ(playback->panelCount(), 2);
    playback->setPanelText(1, QStringLiteral("Frame 3 of 10"));
    EXPECT_EQ(playback->panelText(1), QStringLiteral("Frame 3 of 10"));
}

TEST_F(FormControls, PaintBoxesPaintThroughTheirHookAndForwardClicks) {
    EXPECT_FALSE(c.PaintBoxRecord->testAttribute(Qt::WA_OpaquePaintEvent));
    c.PaintBoxRecord->setPaintHook([](QPainter& p) { p.fillRect(0, 0, 320, 240, Qt::red); });
    EXPECT_TRUE(c.PaintBoxRecord->testAttribute(Qt::WA_OpaquePaintEvent));
    showForm();

    const QImage picture = c.PaintBoxRecord->grab().toImage();
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(picture.pixelColor(319, 239), QColor(Qt::red));

    // A right click on the live picture opens the mask menu.
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(10, 10),
                                c.PaintBoxRecord->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(c.PaintBoxRecord, &menuEvent);
    EXPECT_TRUE(c.PopUpFilter->isVisible());
    c.PopUpFilter->hide();

    // A double click on the playback picture reaches its panel.
    c.PageControl->setCurrentWidget(c.tsPlayback);
    QSignalSpy doubleClicked(c.PanelPlayback, &Panel::doubleClicked);
    QTest::mouseDClick(c.PaintBoxPlayback, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_EQ(doubleClicked.count(), 1);
}

TEST_F(FormControls, ImagesDrawAtOneAndTwoTimesSize) {
    QList<QImage> seen;
    for (const QList<QIcon>* list : {&c.ImageListRecordE, &c.ImageListPlaybackE}) {
        for (qsizetype i = 0; i < list->size(); ++i) {
            SCOPED_TRACE(testing::Message() << "image " << i);
            const QIcon& icon = (*list)[i];
            for (int size : {16, 32}) {
                const QPixmap pixmap = icon.pixmap(size, size);
                ASSERT_FALSE(pixmap.isNull());
                EXPECT_EQ(pixmap.size(), QSize(size, size));
                const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
                int drawn = 0;
                for (int y = 0; y < image.height(); ++y) {
                    for (int x = 0; x < image.width(); ++x) {
                        drawn += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
                    }
                }
                EXPECT_GT(drawn, size * size / 8);
            }
            const QImage small = icon.pixmap(16, 16).toImage();
            for (const QImage& other : seen) {
                EXPECT_NE(small, other) << "two images look the same";
            }
            seen.append(small);
        }
    }
}

TEST_F(FormControls, GermanPanelCoversTheInfoPage) {
    Panel* german = c.PanelGerman;
    EXPECT_EQ(german->parentWidget(), c.TabSheet1);
    EXPECT_TRUE(german->isHidden());
    QStringList texts;
    for (QLabel* label : german->findChildren<QLabel*>()) {
        texts.append(label->text());
    }
    EXPECT_TRUE(
        texts.contains(QString::fromUtf8("Kestrelvision erzeugt Zeitrafferfilme für lange "
                                         "Beobachtungen. Auch bewegungsgesteuert.")))
        << texts.join(QLatin1Char('|')).toStdString();

    // Shown for a German-speaking user, it hides the English text whatever the page size.
    german->move(0, 0);
    german->show();
    c.PageControl->setCurrentWidget(c.TabSheet1);
    showForm();
    EXPECT_EQ(german->geometry(), c.TabSheet1->rect());
    EXPECT_FALSE(c.lbDescription->isVisible());
    EXPECT_TRUE(c.lbDescriptionGerman->isVisible());
    kv::app::applyWindowLayout(c, form.get(), kv::app::windowLayoutFor(640, 480));
    QApplication::processEvents();
    EXPECT_EQ(german->geometry(), c.TabSheet1->rect());

    // Hidden again while another page is in front, the English text comes back.
    c.PageControl->setCurrentWidget(c.tsRecord);
    german->hide();
    c.PageControl->setCurrentWidget(c.TabSheet1);
    EXPECT_TRUE(c.lbDescription->isVisible());
    EXPECT_TRUE(c.lbProductName->isVisible());
}

TEST(FileDialogFilters, PlatformFiltersBecomeQtNameFilters) {
    struct Row {
        const char* platform;
        bool anyCase;
        QStringList expected;
    };
    const Row rows[] = {
        {"Videodatei (*.avi)|*.AVI", true, {QStringLiteral("Videodatei (*.avi *.AVI)")}},
        {"Videodatei (*.avi)|*.AVI", false, {QStringLiteral("Videodatei (*.AVI)")}},
        {"JPEG File (*.jpg)|*.jpg|Monochrom-Bitmap (*.bmp)|*.bmp",
         false,
         {QStringLiteral("JPEG File (*.jpg)"), QStringLiteral("Monochrom-Bitmap (*.bmp)")}},
        {"Images|*.png;*.JPG", true, {QStringLiteral("Images (*.png *.PNG *.jpg *.JPG)")}},
        {"All|*", true, {QStringLiteral("All (*)")}},
        {"Nothing|", false, {QStringLiteral("Nothing (*)")}},
        {"Lonely description", false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.platform);
        EXPECT_EQ(kv::app::nameFiltersFromPlatform(QString::fromUtf8(row.platform), row.anyCase),
                  row.expected);
    }
}

TEST_F(FormControls, FileDialogsCarryTheirFilters) {
    EXPECT_EQ(c.OpenDialog->nameFilters(), QStringList{QStringLiteral("Videodatei (*.avi *.AVI)")});
    EXPECT_EQ(c.OpenDialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(c.OpenDialog->fileMode(), QFileDialog::ExistingFile);

    EXPECT_EQ(
        c.SaveDialog->nameFilters(),
        (QStringList{
            QStringLiteral("JPEG File (*.jpg)"), QStringLiteral("24-Bit-Color Bitmap (*.bmp)"),
            QStringLiteral("256-Color-Bitmap (*.bmp)"), QStringLiteral("16-Color-Bitmap (*.bmp)"),
            QStringLiteral("Monochrom-Bitmap (*.bmp)")}));
    EXPECT_EQ(c.SaveDialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(c.SaveDialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(c.SaveDialog->isSizeGripEnabled());
    EXPECT_FALSE(c.OpenDialog->isVisible());
    EXPECT_FALSE(c.SaveDialog->isVisible());
}

// A name pre-filled for the filter left selected takes its extension, and
// follows the filter the user chooses.
TEST_F(FormControls, SaveDialogNameFollowsTheChosenFilter) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFileDialog& dialog = *c.SaveDialog;
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    dialog.setDirectory(dir.path());
    dialog.selectNameFilter(dialog.nameFilters().at(2));  // the last save's: 256 colours
    dialog.selectFile(kv::playback::suggestedExportName(QStringLiteral("2025-03-01 14-00-02"),
                                                        kv::playback::selectedFilterIndex(dialog)));
    const auto shown = [&] { return QFileInfo(dialog.selectedFiles().value(0)).fileName(); };
    EXPECT_EQ(shown(), QStringLiteral("2025-03-01 14-00-02.bmp"));
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    // As a choice in the list signals it.
    const auto choose = [&](int index) {
        types->setCurrentIndex(index);
        Q_EMIT types->activated(index);
        Q_EMIT types->textActivated(types->itemText(index));
    };
    choose(0);
    EXPECT_EQ(shown(), QStringLiteral("2025-03-01 14-00-02.jpg"));
    choose(4);
    EXPECT_EQ(shown(), QStringLiteral("2025-03-01 14-00-02.bmp"));
    // A name typed without an extension gets the filter's.
    dialog.selectFile(QStringLiteral("door"));
    choose(0);
    EXPECT_EQ(shown(), QStringLiteral("door.jpg"));
    EXPECT_FALSE(c.PlaybackBusy->isVisible());
    EXPECT_EQ(c.BtnCancelLoad->text(), QStringLiteral("Cancel"));
}

struct LayoutRow {
    int w, h;
    QSize live, window;
    QRect page, panel, display, trigger, playbackBar;
};

const LayoutRow kLayouts[] = {
    {320,
     240,
     {320, 240},
     {350, 352},
     {5, 5, 340, 342},
     {5, 5, 324, 244},
     {5, 2, 322, 7},
     {0, 9, 332, 14},
     {0, 1, 332, 21}},
    {640,
     480,
     {640, 480},
     {670, 592},
     {5, 5, 660, 582},
     {5, 5, 644, 484},
     {5, 2, 642, 7},
     {0, 9, 652, 14},
     {0, 1, 652, 21}},
    {0,
     0,
     {320, 240},
     {350, 352},
     {5, 5, 340, 342},
     {5, 5, 324, 244},
     {5, 2, 322, 7},
     {0, 9, 332, 14},
     {0, 1, 332, 21}},
    {0,
     480,
     {320, 240},
     {350, 352},
     {5, 5, 340, 342},
     {5, 5, 324, 244},
     {5, 2, 322, 7},
     {0, 9, 332, 14},
     {0, 1, 332, 21}},
    {176,
     144,
     {176, 144},
     {206, 256},
     {5, 5, 196, 246},
     {5, 5, 180, 148},
     {5, 2, 178, 7},
     {0, 9, 188, 14},
     {0, 1, 188, 21}},
};

TEST(WindowLayout, FollowsTheFrameSize) {
    for (const LayoutRow& row : kLayouts) {
        SCOPED_TRACE(testing::Message() << row.w << "x" << row.h);
        const kv::app::WindowLayout l = kv::app::windowLayoutFor(row.w, row.h);
        EXPECT_EQ(l.livePicture, row.live);
        EXPECT_EQ(l.window, row.window);
        EXPECT_EQ(l.PageControl, row.page);
        EXPECT_EQ(l.PanelRecord, row.panel);
        EXPECT_EQ(l.PanelPlayback, row.panel);
        EXPECT_EQ(l.MotionDisplayBar, row.display);
        EXPECT_EQ(l.MotionTriggerBar, row.trigger);
        EXPECT_EQ(l.TBPlayback, row.playbackBar);
    }
}

// A resized window gives the pictures what it leaves them, down to the smallest
// picture; a camera's first layout shrinks to the screen with its aspect kept;
// a picture is drawn as large as fits, centred between bars.
TEST(WindowLayout, FollowsTheWindowAndTheScreen) {
    using kv::app::letterboxed;
    using kv::app::pictureFittingScreen;
    using kv::app::windowLayoutForClient;
    const kv::app::WindowLayout big = windowLayoutForClient(QSize(1000, 600));
    EXPECT_EQ(big.window, QSize(1000, 600));
    EXPECT_EQ(big.PanelRecord, QRect(5, 5, 974, 492));
    EXPECT_EQ(big.PageControl, QRect(5, 5, 990, 590));
    EXPECT_EQ(big.TBPlayback, QRect(0, 1, 982, 21));
    EXPECT_EQ(windowLayoutForClient(QSize(350, 352)).PanelRecord, QRect(5, 5, 324, 244));
    EXPECT_EQ(windowLayoutForClient(QSize(50, 40)).livePicture, QSize(160, 120));

    // 1920 x 1080 on a 1024 x 768 screen whose window frame takes 10 x 40.
    const QSize fitted = pictureFittingScreen({1920, 1080}, {1024, 768}, {10, 40});
    EXPECT_EQ(fitted, QSize(984, 553));
    EXPECT_LE(kv::app::windowLayoutFor(fitted.width(), fitted.height()).window.height() + 40, 768);
    EXPECT_EQ(pictureFittingScreen({640, 480}, {1024, 768}, {10, 40}), QSize(640, 480));
    EXPECT_EQ(pictureFittingScreen({}, {1024, 768}, {}), QSize(320, 240));

    EXPECT_EQ(letterboxed({1920, 1080}, QRect(0, 0, 320, 240)), QRect(0, 30, 320, 180));
    EXPECT_EQ(letterboxed({640, 480}, QRect(0, 0, 970, 340)), QRect(258, 0, 453, 340));
    EXPECT_EQ(letterboxed({320, 240}, QRect(0, 0, 320, 240)), QRect(0, 0, 320, 240));
    EXPECT_EQ(letterboxed({}, QRect(0, 0, 320, 240)), QRect(0, 0, 320, 240));
}

TEST_F(FormControls, AppliedLayoutSizesWindowAndPicturesInPlace) {
    showForm();
    const QPoint position = form->pos();
    for (const LayoutRow& row : {kLayouts[0], kLayouts[1], kLayouts[4]}) {
        SCOPED_TRACE(testing::Message() << row.w << "x" << row.h);
        kv::app::applyWindowLayout(c, form.get(), kv::app::windowLayoutFor(row.w, row.h));
        for (QWidget* page : {c.tsRecord, c.tsPlayback}) {
            c.PageControl->setCurrentWidget(page);
            QApplication::processEvents();
        }
        EXPECT_EQ(form->size(), row.window);
        // The user may make it larger, and smaller down to the smallest picture.
        EXPECT_EQ(form->minimumSize(), QSize(190, 232).boundedTo(row.window));
        EXPECT_EQ(form->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        EXPECT_EQ(form->pos(), position);
        EXPECT_EQ(c.PageControl->geometry(), row.page);
        EXPECT_EQ(c.PanelRecord->geometry(), row.panel);
        EXPECT_EQ(c.PanelPlayback->geometry(), row.panel);
        EXPECT_EQ(c.PaintBoxRecord->geometry(), QRect(QPoint(2, 2), row.live));
        EXPECT_EQ(c.PaintBoxPlayback->geometry(), QRect(QPoint(2, 2), row.live));
        EXPECT_EQ(c.MotionDisplayBar->geometry(), row.display);
        EXPECT_EQ(c.MotionTriggerBar->geometry(), row.trigger);
        EXPECT_EQ(c.TBPlayback->geometry(), row.playbackBar);

        // The control panels and status bars sit at the bottom of their pages, across
        // their whole width, below the picture.
        const std::pair<QWidget*, QWidget*> bottoms[] = {
            {c.PanelRecControl, c.StatusBarRecord}, {c.PanelPlaybackControl, c.StatusBarPlayback}};
        for (auto [panel, status] : bottoms) {
            SCOPED_TRACE(panel->objectName().toStdString());
            QWidget* page = panel->parentWidget();
            EXPECT_EQ(status->geometry(), QRect(0, page->height() - 19, page->width(), 19));
            EXPECT_EQ(panel->geometry(), QRect(0, page->height() - 65, page->width(), 46));
            EXPECT_LE(c.PanelRecord->geometry().bottom(), panel->y() - 1);
        }
    }
}

}  // namespace
