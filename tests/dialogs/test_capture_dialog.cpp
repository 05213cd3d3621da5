#include "dialogs/Dlgselectcapturesrc.h"
#include "dialogs/camera_settings_dialog.h"
#include "dialogs/property_dialog.h"
#include "media/device_catalogue.h"
#include "media/uri_camera.h"
#include "tests/support/test_env.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kv::dialogs;
using namespace kv::media;
using namespace Qt::StringLiterals;

namespace {

// Notices when an element is finalized.
class Disposal {
  public:
    explicit Disposal(GstElement* element) : element_(element) {
        g_object_weak_ref(G_OBJECT(element), &Disposal::gone, this);
    }
    ~Disposal() {
        if (element_) {
            g_object_weak_unref(G_OBJECT(element_), &Disposal::gone, this);
        }
    }
    Disposal(const Disposal&) = delete;
    Disposal& operator=(const Disposal&) = delete;
    bool disposed() const { return element_ == nullptr; }

  private:
    static void gone(gpointer self, GObject*) { static_cast<Disposal*>(self)->element_ = nullptr; }
    GstElement* element_;
};

QStringList lines(const QListWidget* list) {
    QStringList result;
    for (int i = 0; i < list->count(); ++i) {
        result.append(list->item(i)->text());
    }
    return result;
}

class CaptureDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        clearUriCameras();
        ListDeviceNames(DeviceCategory::CLSID_VideoInputDeviceCategory, real_);
        setCommandLineCameras({{u"Garden"_s, u"test:ball?width=320&height=240"_s},
                               {u"Door"_s, u"test:snow?width=160&height=120"_s}});
        garden_ = int(real_.size());
        door_ = garden_ + 1;
    }
    void TearDown() override { clearUriCameras(); }

    QStringList real_;
    int garden_ = 0;
    int door_ = 1;
    TDlgSelectCapture dialog;
};

const QStringList kGardenLines{u"320 x 240  YUY2/16 Bit"_s, u"320 x 240  RGB/24 Bit"_s,
                               u"160 x 120  YUY2/16 Bit"_s, u"160 x 120  RGB/24 Bit"_s};
const QStringList kDoorLines{u"160 x 120  YUY2/16 Bit"_s, u"160 x 120  RGB/24 Bit"_s};

TEST_F(CaptureDialog, Form) {
    EXPECT_EQ(dialog.windowTitle(), u"Select capture device"_s);
    EXPECT_EQ(dialog.size(), QSize(482, 239));  // a row below the lists: add, remove, address
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.LBDevices->geometry(), QRect(8, 24, 201, 177));
    EXPECT_EQ(dialog.LBFormats->geometry(), QRect(224, 24, 161, 177));
    EXPECT_EQ(dialog.BtnProperty->geometry(), QRect(394, 94, 80, 24));
    EXPECT_EQ(dialog.BtnProperty->text(), u"&Properties..."_s);
    EXPECT_EQ(dialog.BtnAddCamera->text(), u"&Add camera..."_s);
    EXPECT_EQ(dialog.BtnRemoveCamera->text(), u"Re&move"_s);
    EXPECT_TRUE(dialog.BtnOK->isDefault());
    EXPECT_EQ(dialog.Label1->buddy(), dialog.LBDevices);
    EXPECT_EQ(dialog.Label2->buddy(), dialog.LBFormats);
    EXPECT_EQ(dialog.boundCamera(), nullptr);
}

TEST_F(CaptureDialog, PreselectsTheStoredChoiceAndListsItsFormats) {
    ASSERT_TRUE(PrepareCaptureDialog(dialog, door_, 1));
    EXPECT_EQ(dialog.LBDevices->currentItem()->text(), u"Door"_s);
    EXPECT_EQ(lines(dialog.LBFormats), kDoorLines);
    EXPECT_EQ(dialog.LBFormats->currentRow(), 1);
    ASSERT_TRUE(dialog.boundCamera());
    Chars name = adopt(gst_object_get_name(GST_OBJECT(dialog.boundCamera())));
    EXPECT_STREQ(name.get(), "Filter");

    dialog.open();
    dialog.accept();
    const CaptureChoice choice = ChosenCapture(dialog);
    EXPECT_EQ(choice, (CaptureChoice{u"Door"_s, door_, 1}));
    EXPECT_EQ(dialog.boundCamera(), nullptr);
}

TEST_F(CaptureDialog, OutOfRangePositionsChooseTheFirstEntry) {
    ASSERT_TRUE(PrepareCaptureDialog(dialog, -1, -1));
    EXPECT_EQ(dialog.LBDevices->currentRow(), 0);
    EXPECT_EQ(dialog.LBFormats->currentRow(), 0);
    ASSERT_TRUE(PrepareCaptureDialog(dialog, door_ + 5, 99));
    EXPECT_EQ(dialog.LBDevices->currentRow(), 0);
    EXPECT_EQ(dialog.LBFormats->currentRow(), 0);
    dialog.reject();
}

TEST_F(CaptureDialog, NoCameraNoDialog) {
    clearUriCameras();
    if (!real_.isEmpty()) {
        GTEST_SKIP() << "this machine has a camera";
    }
    EXPECT_FALSE(PrepareCaptureDialog(dialog, 0, 0));
    EXPECT_EQ(dialog.LBDevices->count(), 0);
    EXPECT_EQ(dialog.boundCamera(), nullptr);
}

TEST_F(CaptureDialog, SelectingAnotherCameraReleasesTheOld) {
    ASSERT_TRUE(PrepareCaptureDialog(dialog, garden_, 0));
    dialog.show();
    EXPECT_EQ(lines(dialog.LBFormats), kGardenLines);
    ASSERT_TRUE(dialog.boundCamera());
    Disposal garden(dialog.boundCamera());

    // The keyboard moves the selection to the next camera.
    dialog.LBDevices->setFocus();
    QTest::keyClick(dialog.LBDevices, Qt::Key_Down);
    EXPECT_EQ(dialog.LBDevices->currentRow(), door_);
    EXPECT_TRUE(garden.disposed());
    EXPECT_EQ(lines(dialog.LBFormats), kDoorLines);
    EXPECT_EQ(dialog.LBFormats->currentRow(), 0);
    ASSERT_TRUE(dialog.boundCamera());

    // A mouse click on the selected camera binds it anew.
    dialog.LBFormats->setCurrentRow(1);
    Disposal door(dialog.boundCamera());
    const QRect item = dialog.LBDevices->visualItemRect(dialog.LBDevices->item(door_));
    QTest::mouseClick(dialog.LBDevices->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_TRUE(door.disposed());
    EXPECT_EQ(lines(dialog.LBFormats), kDoorLines);
    EXPECT_EQ(dialog.LBFormats->currentRow(), 0);

    // And a click on another one.
    const QRect first = dialog.LBDevices->visualItemRect(dialog.LBDevices->item(garden_));
    QTest::mouseClick(dialog.LBDevices->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(lines(dialog.LBFormats), kGardenLines);
    dialog.reject();
}

TEST_F(CaptureDialog, EveryWayOfClosingReleasesTheCamera) {
    enum class How { OK, Cancel, CloseBox, Escape };
    for (How how : {How::OK, How::Cancel, How::CloseBox, How::Escape}) {
        SCOPED_TRACE(int(how));
        ASSERT_TRUE(PrepareCaptureDialog(dialog, garden_, 0));
        ASSERT_TRUE(dialog.boundCamera());
        Disposal camera(dialog.boundCamera());
        dialog.open();
        switch (how) {
            case How::OK:
                dialog.BtnOK->click();
                break;
            case How::Cancel:
                dialog.BtnCancel->click();
                break;
            case How::CloseBox:
                dialog.close();
                break;
            case How::Escape:
                QTest::keyClick(&dialog, Qt::Key_Escape);
                break;
        }
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), how == How::OK ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(dialog.boundCamera(), nullptr);
        EXPECT_TRUE(camera.disposed());
    }
}

// Properties show the selected camera's settings; a test camera has none.
TEST_F(CaptureDialog, PropertiesShowTheCameraSettings) {
    ASSERT_TRUE(PrepareCaptureDialog(dialog, garden_, 0));
    dialog.open();
    GstElement* camera = dialog.boundCamera();
    QString caption;
    QString told;
    QTimer::singleShot(0, &dialog, [&] {
        auto* settings = qobject_cast<CameraSettingsDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(settings);
        caption = settings->windowTitle();
        EXPECT_TRUE(kv::test::pumpUntil(
            [&] { return settings->kind() == CameraSettingsDialog::Kind::Nothing; }));
        told = settings->lbStatus->text();
        settings->reject();
    });
    dialog.BtnProperty->click();
    EXPECT_EQ(caption, u"Camera settings - Garden"_s);
    EXPECT_EQ(told, u"This camera has nothing to adjust."_s);
    EXPECT_EQ(dialog.boundCamera(), camera);
    dialog.reject();

    // With no camera bound the button does nothing.
    bool opened = false;
    QTimer::singleShot(0, &dialog, [&] {
        if (auto* w = qobject_cast<CameraSettingsDialog*>(QApplication::activeModalWidget())) {
            opened = true;
            w->reject();
        }
    });
    dialog.BtnPropertyClick();
    QCoreApplication::processEvents();
    EXPECT_FALSE(opened);
}

TEST(CaptureChoiceName, CutTo79Characters) {
    EXPECT_EQ(cutToNameField(QString(100, u'x')).size(), 79);
    EXPECT_EQ(cutToNameField(u"Cam"_s), u"Cam"_s);
    // A character outside the basic plane is never split.
    const QString wide = QString(78, u'a') + QString::fromUtf8("\xF0\x9F\x93\xB7") + u"b"_s;
    EXPECT_EQ(cutToNameField(wide), QString(78, u'a'));
}

}  // namespace
