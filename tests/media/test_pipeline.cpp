#include "media/pipeline.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>

using namespace kv::media;

namespace {

std::string text(const QString& reason) {
    return reason.toStdString();
}

Error fileError(const char* text) {
    return adopt(g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_WRITE, text));
}

// The reason a user reads: the error's text, and the system's reason from
// the debug text's last line unless it is a source location or said already.
TEST(DescribeError, OneFormatForErrorsWarningsAndMissingParts) {
    const Error error = fileError("Could not write to resource.");
    EXPECT_EQ(text(describeError(error.get())), "Could not write to resource.");
    EXPECT_EQ(
        text(describeError(error.get(), "gstfdsink.c(123): render ():\nNo space left on device")),
        "Could not write to resource. (No space left on device)");
    EXPECT_EQ(
        text(describeError(error.get(), "../plugins/gstfdsink.c(123): gst_fd_sink_render ()")),
        "Could not write to resource.");
    EXPECT_EQ(text(describeError(error.get(), "x\nwrite to resource")),
              "Could not write to resource.");
    EXPECT_EQ(text(describeError(nullptr, "No space left on device")),
              "unknown error (No space left on device)");
    const Error empty = fileError("");
    EXPECT_EQ(text(describeError(empty.get())), "unknown error");

    Element sink = makeElement("fakesink", "Sink");
    Message posted = adopt(gst_message_new_error(GST_OBJECT(sink.get()), error.get(),
                                                 "f.c(1): g ():\nNo space left on device"));
    EXPECT_EQ(text(describeError(posted.get())),
              "Could not write to resource. (No space left on device)");
    Message warned = adopt(gst_message_new_warning(GST_OBJECT(sink.get()), error.get(), nullptr));
    EXPECT_EQ(text(describeError(warned.get())), "Could not write to resource.");
    Message ended = adopt(gst_message_new_eos(GST_OBJECT(sink.get())));
    EXPECT_EQ(text(describeError(ended.get())), "unknown error");
    EXPECT_EQ(text(describeError(static_cast<GstMessage*>(nullptr))), "unknown error");
}

TEST(MakeElement, NamesWhatExistsAndIsNullForAMissingFactory) {
    const Element sink = makeElement("fakesink", "The Sink");
    ASSERT_TRUE(sink);
    EXPECT_STREQ(GST_ELEMENT_NAME(sink.get()), "The Sink");
    EXPECT_FALSE(g_object_is_floating(sink.get()));
    EXPECT_FALSE(makeElement("no-such-factory-anywhere", "Missing"));
}

// The holder stops the pipeline to NULL before it lets go, also when moved
// on, and its log receives the pipeline's messages until it is closed.
TEST(Pipeline, StopsToNullOnResetAndMoveAndWatchesItsBus) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString logName = dir.filePath(QStringLiteral("LOG.TXT"));

    Pipeline pipeline;
    EXPECT_FALSE(pipeline);
    ASSERT_TRUE(pipeline.create("Test Graph"));
    EXPECT_TRUE(pipeline.openLog(logName));
    Element source = makeElement("videotestsrc", "Source");
    Element sink = makeElement("fakesink", "Sink");
    g_object_set(source.get(), "num-buffers", 2, nullptr);
    gst_bin_add_many(pipeline.bin(), source.get(), sink.get(), nullptr);
    ASSERT_TRUE(gst_element_link(source.get(), sink.get()));
    int seen = 0;
    pipeline.watchBus([&seen](GstMessage*) { ++seen; });
    ASSERT_NE(pipeline.bus(), nullptr);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    Message end =
        pipeline.bus()->waitFor(GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR), 10000);
    ASSERT_TRUE(end);
    EXPECT_EQ(GST_MESSAGE_TYPE(end.get()), GST_MESSAGE_EOS);
    EXPECT_GT(seen, 0);
    end.reset();  // it holds the pipeline, its source
    pipeline.closeLog();
    QFile log(logName);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_GT(log.size(), 0);

    const Element held = share(pipeline.get());
    Pipeline moved = std::move(pipeline);
    EXPECT_FALSE(pipeline);
    EXPECT_EQ(pipeline.bus(), nullptr);
    EXPECT_EQ(moved.get(), held.get());
    EXPECT_NE(moved.bus(), nullptr);
    moved.reset();
    EXPECT_FALSE(moved);
    EXPECT_EQ(moved.bus(), nullptr);
    EXPECT_EQ(GST_STATE(held.get()), GST_STATE_NULL);
    EXPECT_EQ(GST_STATE(sink.get()), GST_STATE_NULL);
    EXPECT_EQ(int(GST_OBJECT_REFCOUNT_VALUE(held.get())), 1);
}

}  // namespace
