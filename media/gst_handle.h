#pragma once

// One RAII handle for every GStreamer and GLib object the program holds.
// Ownership is stated at adoption: HasRef takes over a reference the caller
// already owns (a floating reference is sunk), NeedsRef adds one of its own.

#include <gst/gst.h>

#include <utility>

namespace kv::media {

enum class Ref { HasRef, NeedsRef };

template <typename T>
struct HandleTraits;

// GstObject subclasses: elements, bins, pipelines, buses, pads, devices, ...
template <typename T>
struct ObjectTraits {
    static void ref(T* p) { gst_object_ref(p); }
    static void unref(T* p) { gst_object_unref(p); }
    static void sink(T* p) {
        if (g_object_is_floating(p)) {
            g_object_ref_sink(p);
        }
    }
};

// Mini objects: caps, buffers, samples, messages, events, queries.
template <typename T>
struct MiniObjectTraits {
    static void ref(T* p) { gst_mini_object_ref(GST_MINI_OBJECT_CAST(p)); }
    static void unref(T* p) { gst_mini_object_unref(GST_MINI_OBJECT_CAST(p)); }
    static void sink(T*) {}
};

// Objects that cannot be shared, only freed.
template <typename T, void (*Free)(T*)>
struct FreeTraits {
    static void unref(T* p) { Free(p); }
    static void sink(T*) {}
};

#define KV_OBJECT_HANDLE(T) \
    template <>             \
    struct HandleTraits<T> : ObjectTraits<T> {};
#define KV_MINI_OBJECT_HANDLE(T) \
    template <>                  \
    struct HandleTraits<T> : MiniObjectTraits<T> {};

KV_OBJECT_HANDLE(GstObject)
KV_OBJECT_HANDLE(GstElement)
KV_OBJECT_HANDLE(GstBin)
KV_OBJECT_HANDLE(GstPipeline)
KV_OBJECT_HANDLE(GstBus)
KV_OBJECT_HANDLE(GstPad)
KV_OBJECT_HANDLE(GstDevice)
KV_OBJECT_HANDLE(GstDeviceMonitor)
KV_OBJECT_HANDLE(GstElementFactory)
KV_OBJECT_HANDLE(GstPluginFeature)
KV_OBJECT_HANDLE(GstBufferPool)
KV_OBJECT_HANDLE(GstClock)
KV_MINI_OBJECT_HANDLE(GstCaps)
KV_MINI_OBJECT_HANDLE(GstBuffer)
KV_MINI_OBJECT_HANDLE(GstSample)
KV_MINI_OBJECT_HANDLE(GstMessage)
KV_MINI_OBJECT_HANDLE(GstEvent)
KV_MINI_OBJECT_HANDLE(GstQuery)

#undef KV_OBJECT_HANDLE
#undef KV_MINI_OBJECT_HANDLE

inline void freeChars(gchar* p) {
    g_free(p);
}
template <>
struct HandleTraits<GstStructure> : FreeTraits<GstStructure, gst_structure_free> {};
template <>
struct HandleTraits<GError> : FreeTraits<GError, g_error_free> {};
template <>
struct HandleTraits<gchar> : FreeTraits<gchar, freeChars> {};

template <typename T>
class Handle {
  public:
    using Traits = HandleTraits<T>;
    static constexpr bool kShareable = requires(T * x) { Traits::ref(x); };

    Handle() = default;
    Handle(T* p, Ref mode) : p_(p) {
        if (!p_) {
            return;
        }
        if (mode == Ref::HasRef) {
            Traits::sink(p_);
        } else if constexpr (kShareable) {
            Traits::ref(p_);
        }
    }
    Handle(const Handle& other) requires kShareable : p_(other.p_) {
        if (p_) {
            Traits::ref(p_);
        }
    }
    Handle(Handle&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Handle& operator=(const Handle& other) requires kShareable {
        Handle copy(other);
        std::swap(p_, copy.p_);
        return *this;
    }
    Handle& operator=(Handle&& other) noexcept {
        Handle moved(std::move(other));
        std::swap(p_, moved.p_);
        return *this;
    }
    ~Handle() { reset(); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) {
            Traits::unref(p);
        }
    }
    // Gives up ownership; the caller now holds the reference.
    [[nodiscard]] T* release() { return std::exchange(p_, nullptr); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    bool operator==(const Handle& other) const { return p_ == other.p_; }

    // For C functions that return a new reference through an out parameter.
    T** out() {
        reset();
        return &p_;
    }

  private:
    T* p_ = nullptr;
};

// Wraps an object the caller must free, at the line where it was returned.
template <typename T>
Handle<T> adopt(T* p) {
    return Handle<T>(p, Ref::HasRef);
}
template <typename T>
requires Handle<T>::kShareable Handle<T> share(T* p) {
    return Handle<T>(p, Ref::NeedsRef);
}

using Element = Handle<GstElement>;
using Bus = Handle<GstBus>;
using Pad = Handle<GstPad>;
using Caps = Handle<GstCaps>;
using Buffer = Handle<GstBuffer>;
using Sample = Handle<GstSample>;
using Message = Handle<GstMessage>;
using Structure = Handle<GstStructure>;
using Error = Handle<GError>;
using Chars = Handle<gchar>;
using Device = Handle<GstDevice>;
using DeviceMonitor = Handle<GstDeviceMonitor>;

}  // namespace kv::media
