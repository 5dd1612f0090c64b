// Owners for GLib, GObject and GIO handles (link mdm_common_glib).
#pragma once

#include <gio/gio.h>
#include <glib.h>

#include "mdm/raii.h"

namespace mdm {

template <class T>
using GObjectPtr = Owner<T, g_object_unref>;
using VariantPtr = Owner<GVariant, g_variant_unref>;
using MainLoopPtr = Owner<GMainLoop, g_main_loop_unref>;
using MainContextPtr = Owner<GMainContext, g_main_context_unref>;
using HashTablePtr = Owner<GHashTable, g_hash_table_unref>;
using GCharPtr = Owner<gchar, g_free>;
using GStrvPtr = Owner<gchar*, g_strfreev>;
using DBusNodeInfoPtr = Owner<GDBusNodeInfo, g_dbus_node_info_unref>;
using VariantIterPtr = Owner<GVariantIter, g_variant_iter_free>;
using BytesPtr = Owner<GBytes, g_bytes_unref>;

// Collects a GError from a C call: `fn(..., err.out())`, then test `err`. The one way the
// code holds a GError.
class GErrorSlot {
  public:
    GError** out() noexcept {
        g_clear_error(&raw_);
        return &raw_;
    }
    explicit operator bool() const noexcept { return raw_ != nullptr; }
    const char* message() const noexcept { return raw_ ? raw_->message : ""; }
    GError* get() const noexcept { return raw_; }
    ~GErrorSlot() {
        if (raw_)
            g_error_free(raw_);
    }
    GErrorSlot() = default;
    GErrorSlot(const GErrorSlot&) = delete;
    GErrorSlot& operator=(const GErrorSlot&) = delete;

  private:
    GError* raw_ = nullptr;
};

}  // namespace mdm
