#include "media/bus_observer.h"
#include "media/gst_handle.h"

#include <gtest/gtest.h>

using namespace kv::media;

namespace {

int refCount(gpointer object) {
    return int(GST_OBJECT_REFCOUNT_VALUE(object));
}

TEST(GstHandle, AdoptionSinksFloatingReferenceAndCopiesShareIt) {
    Element element = adopt(gst_element_factory_make("fakesink", nullptr));
    ASSERT_TRUE(element);
    EXPECT_FALSE(g_object_is_floating(element.get()));
    EXPECT_EQ(refCount(element.get()), 1);
    {
        Element copy = element;
        EXPECT_EQ(refCount(element.get()), 2);
        Element moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(refCount(element.get()), 2);
    }
    EXPECT_EQ(refCount(element.get()), 1);
}

TEST(GstHandle, ShareAddsAReferenceAndReleaseHandsItBack) {
    Element element = adopt(gst_element_factory_make("fakesink", nullptr));
    GstElement* raw = element.get();
    Element shared = share(raw);
    EXPECT_EQ(refCount(raw), 2);
    GstElement* released = shared.release();
    EXPECT_EQ(released, raw);
    EXPECT_EQ(refCount(raw), 2);
    gst_object_unref(released);
    EXPECT_EQ(refCount(raw), 1);
}

TEST(GstHandle, FreesStringsStructuresAndErrors) {
    Chars text = adopt(g_strdup("x"));
    Structure structure = adopt(gst_structure_new_empty("s"));
    Error error = adopt(g_error_new_literal(GST_CORE_ERROR, GST_CORE_ERROR_FAILED, "e"));
    EXPECT_STREQ(text.get(), "x");
    EXPECT_TRUE(structure && error);
    text.reset();
    EXPECT_FALSE(text);
}

TEST(BusObserver, WaitForReturnsEndOfStreamAndFiltersSeeEveryMessage) {
    Element pipeline = adopt(gst_parse_launch("videotestsrc num-buffers=3 ! fakesink", nullptr));
    ASSERT_TRUE(pipeline);
    BusObserver observer(adopt(gst_element_get_bus(pipeline.get())));
    int stateChanges = 0;
    observer.addFilter([&](GstMessage* m) {
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_STATE_CHANGED) {
            ++stateChanges;
        }
    });
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    Message eos = observer.waitFor(GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR), 5000);
    ASSERT_TRUE(eos);
    EXPECT_EQ(GST_MESSAGE_TYPE(eos.get()), GST_MESSAGE_EOS);
    EXPECT_GT(stateChanges, 0);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

TEST(BusObserver, TimesOutWithoutMessage) {
    Element pipeline = adopt(gst_pipeline_new(nullptr));
    BusObserver observer(adopt(gst_element_get_bus(pipeline.get())));
    EXPECT_FALSE(observer.waitFor(GST_MESSAGE_EOS, 50));
}

}  // namespace
