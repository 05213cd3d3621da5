#include "dialogs/property_dialog.h"
#include "media/uri_camera.h"

#include <gst/video/colorbalance.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>

#include <vector>

#include <gtest/gtest.h>

using namespace kv::dialogs;
using namespace kv::media;
using namespace Qt::StringLiterals;

namespace {

Element make(const char* factory, const char* name = nullptr) {
    return adopt(gst_element_factory_make(factory, name));
}

TEST(PropertyDialog, CaptionIsTheElementNameUnlessGiven) {
    Element encoder = make("jpegenc", "Video Compressor");
    ASSERT_TRUE(encoder);
    EXPECT_EQ(PropertyDialog(encoder.get()).windowTitle(), u"Video Compressor"_s);
    EXPECT_EQ(PropertyDialog(encoder.get(), u"Filter"_s).windowTitle(), u"Filter"_s);
}

TEST(PropertyDialog, ChangesApplyAtOnce) {
    Element encoder = make("jpegenc");
    ASSERT_TRUE(encoder);
    g_object_set(encoder.get(), "quality", 40, "snapshot", FALSE, nullptr);
    PropertyDialog dialog(encoder.get());
    dialog.open();

    auto* quality = dialog.findChild<QSpinBox*>(u"quality"_s);
    ASSERT_TRUE(quality);
    EXPECT_EQ(quality->value(), 40);
    EXPECT_EQ(quality->minimum(), 0);
    EXPECT_EQ(quality->maximum(), 100);
    quality->stepUp();
    gint now = 0;
    g_object_get(encoder.get(), "quality", &now, nullptr);
    EXPECT_EQ(now, 41);
    quality->setValue(95);
    g_object_get(encoder.get(), "quality", &now, nullptr);
    EXPECT_EQ(now, 95);

    auto* snapshot = dialog.findChild<QCheckBox*>(u"snapshot"_s);
    ASSERT_TRUE(snapshot);
    snapshot->setChecked(true);
    gboolean on = FALSE;
    g_object_get(encoder.get(), "snapshot", &on, nullptr);
    EXPECT_TRUE(on);

    auto* idct = dialog.findChild<QComboBox*>(u"idct-method"_s);
    ASSERT_TRUE(idct);
    EXPECT_EQ(idct->currentText(), u"ifast"_s);
    idct->setCurrentIndex(idct->findText(u"float"_s));
    gint method = -1;
    g_object_get(encoder.get(), "idct-method", &method, nullptr);
    EXPECT_EQ(method, 2);

    // A 64-bit range that no spin box holds is edited as checked text.
    auto* interval = dialog.findChild<QLineEdit*>(u"min-force-key-unit-interval"_s);
    ASSERT_TRUE(interval);
    interval->setText(u"18446744073709551615"_s);
    Q_EMIT interval->editingFinished();
    guint64 big = 0;
    g_object_get(encoder.get(), "min-force-key-unit-interval", &big, nullptr);
    EXPECT_EQ(big, G_MAXUINT64);
    interval->setText(u"-3"_s);
    Q_EMIT interval->editingFinished();
    g_object_get(encoder.get(), "min-force-key-unit-interval", &big, nullptr);
    EXPECT_EQ(big, G_MAXUINT64);
    EXPECT_EQ(interval->text(), u"18446744073709551615"_s);

    // The name identifies the element in its pipeline and stays as it is.
    auto* name = dialog.findChild<QLineEdit*>(u"name"_s);
    ASSERT_TRUE(name);
    EXPECT_TRUE(name->isReadOnly());
    dialog.reject();
}

TEST(PropertyDialog, StateBoundPropertiesAreNotEditedInLaterStates) {
    // appsrc's leaky-type may change only up to READY; its format at any time.
    Element source = make("appsrc");
    ASSERT_TRUE(source);
    {
        PropertyDialog dialog(source.get());
        auto* leaky = dialog.findChild<QComboBox*>(u"leaky-type"_s);
        ASSERT_TRUE(leaky);
        EXPECT_TRUE(leaky->isEnabled());
        leaky->setCurrentIndex(leaky->findText(u"downstream"_s));
        gint value = 0;
        g_object_get(source.get(), "leaky-type", &value, nullptr);
        EXPECT_NE(value, 0);
    }
    ASSERT_NE(gst_element_set_state(source.get(), GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    {
        PropertyDialog dialog(source.get());
        auto* leaky = dialog.findChild<QComboBox*>(u"leaky-type"_s);
        ASSERT_TRUE(leaky);
        EXPECT_FALSE(leaky->isEnabled());
        auto* segment = dialog.findChild<QCheckBox*>(u"handle-segment-change"_s);
        ASSERT_TRUE(segment);
        EXPECT_FALSE(segment->isEnabled());
        auto* format = dialog.findChild<QComboBox*>(u"format"_s);
        ASSERT_TRUE(format);
        EXPECT_TRUE(format->isEnabled());
    }
    gst_element_set_state(source.get(), GST_STATE_NULL);
}

// Counts GLib criticals and warnings while it lives.
class Complaints {
  public:
    Complaints() {
        for (const char* domain : kDomains) {
            ids_.push_back(g_log_set_handler(
                domain, GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING),
                [](const gchar*, GLogLevelFlags, const gchar* message, gpointer self) {
                    static_cast<Complaints*>(self)->messages.append(QString::fromUtf8(message));
                },
                this));
        }
    }
    ~Complaints() {
        for (size_t i = 0; i < ids_.size(); ++i) {
            g_log_remove_handler(kDomains[i], ids_[i]);
        }
    }
    QStringList messages;

  private:
    static constexpr const char* kDomains[] = {"GLib", "GLib-GObject", "GStreamer"};
    std::vector<guint> ids_;
};

TEST(PropertyDialog, AnyElementOpensWithoutComplaint) {
    // Elements of every kind the program uses, with every kind of property.
    for (const char* factory :
         {"appsrc", "avimux", "filesink", "videotestsrc", "capsfilter", "videoconvert", "appsink",
          "queue", "v4l2src", "jpegenc", "kvjpegenc", "x264enc", "vp8enc", "avenc_mpeg4",
          "uridecodebin", "playbin"}) {
        Element element = make(factory);
        if (!element) {
            continue;
        }
        SCOPED_TRACE(factory);
        Complaints complaints;
        PropertyDialog dialog(element.get());
        dialog.refresh();
        EXPECT_GT(dialog.findChildren<QWidget*>().size(), 3);
        EXPECT_EQ(complaints.messages, QStringList());
    }
    Element source = make("videotestsrc");
    PropertyDialog dialog(source.get());
    auto* pattern = dialog.findChild<QComboBox*>(u"pattern"_s);
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->currentText(), u"smpte"_s);
    Element filter = make("capsfilter");
    Caps wanted = adopt(gst_caps_from_string("video/x-raw,width=320"));
    g_object_set(filter.get(), "caps", wanted.get(), nullptr);
    PropertyDialog filterDialog(filter.get());
    auto* filterCaps = filterDialog.findChild<QLineEdit*>(u"caps"_s);
    ASSERT_TRUE(filterCaps);
    EXPECT_TRUE(filterCaps->isReadOnly());
    EXPECT_TRUE(filterCaps->text().contains(u"320"_s)) << filterCaps->text().toStdString();
}

TEST(PropertyDialog, ACameraBinShowsItsSource) {
    Element camera = createUriCameraSource({u"T"_s, u"test:ball"_s});
    ASSERT_TRUE(camera);
    PropertyDialog dialog(camera.get(), u"Filter"_s);
    QComboBox* pattern = nullptr;
    for (auto* combo : dialog.findChildren<QComboBox*>()) {
        if (combo->objectName().endsWith(u".pattern"_s)) {
            pattern = combo;
        }
    }
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->currentText(), u"ball"_s);
    pattern->setCurrentIndex(pattern->findText(u"snow"_s));
    const QByteArray sourceName = pattern->objectName().section(u'.', 0, 0).toUtf8();
    Element source = adopt(gst_bin_get_by_name(GST_BIN(camera.get()), sourceName.constData()));
    ASSERT_TRUE(source);
    gint now = 0;
    g_object_get(source.get(), "pattern", &now, nullptr);
    EXPECT_EQ(now, pattern->currentData().toInt());
    EXPECT_EQ(now, 1);  // snow
}

TEST(PropertyDialog, ColourBalanceChannels) {
    Element balance = make("videobalance");
    if (!balance) {
        GTEST_SKIP() << "videobalance is not installed";
    }
    PropertyDialog dialog(balance.get());
    auto* slider = dialog.findChild<QSlider*>(u"BRIGHTNESS"_s);
    ASSERT_TRUE(slider);
    GstColorBalance* cb = GST_COLOR_BALANCE(balance.get());
    GstColorBalanceChannel* brightness = nullptr;
    for (const GList* l = gst_color_balance_list_channels(cb); l; l = l->next) {
        auto* channel = static_cast<GstColorBalanceChannel*>(l->data);
        if (g_str_equal(channel->label, "BRIGHTNESS")) {
            brightness = channel;
        }
    }
    ASSERT_TRUE(brightness);
    EXPECT_EQ(slider->value(), gst_color_balance_get_value(cb, brightness));
    slider->setValue(slider->maximum());
    EXPECT_EQ(gst_color_balance_get_value(cb, brightness), brightness->max_value);
    // The same value is a property too, and the dialog shows it when asked again.
    dialog.refresh();
    auto* property = dialog.findChild<QDoubleSpinBox*>(u"brightness"_s);
    ASSERT_TRUE(property);
    EXPECT_DOUBLE_EQ(property->value(), 1.0);
}

}  // namespace
