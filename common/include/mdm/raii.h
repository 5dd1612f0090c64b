// Owners for the C handles used across the project. One line per handle kind, so no
// function has to release anything by hand on each return path.
#pragma once

#include <cstdlib>
#include <memory>
#include <utility>

#include <gio/gio.h>
#include <glib.h>
#include <libmount.h>
#include <dirent.h>
#include <libudev.h>
#include <unistd.h>

namespace mdm {

template <auto Release>
struct Releaser {
    template <class T>
    void operator()(T* p) const noexcept {
        if (p)
            Release(p);
    }
};

template <class T, auto Release>
using Owner = std::unique_ptr<T, Releaser<Release>>;

template <class T>
using GObjectPtr = Owner<T, g_object_unref>;
using VariantPtr = Owner<GVariant, g_variant_unref>;
using ErrorPtr = Owner<GError, g_error_free>;
using MainLoopPtr = Owner<GMainLoop, g_main_loop_unref>;
using MainContextPtr = Owner<GMainContext, g_main_context_unref>;
using HashTablePtr = Owner<GHashTable, g_hash_table_unref>;
using GCharPtr = Owner<gchar, g_free>;
using GStrvPtr = Owner<gchar*, g_strfreev>;
using DBusNodeInfoPtr = Owner<GDBusNodeInfo, g_dbus_node_info_unref>;
using CharPtr = Owner<char, free>;  // texts from malloc, e.g. those the core library hands out
using FilePtr = Owner<FILE, fclose>;
using VariantIterPtr = Owner<GVariantIter, g_variant_iter_free>;
using BytesPtr = Owner<GBytes, g_bytes_unref>;
using DirPtr = Owner<DIR, closedir>;

using UdevPtr = Owner<struct udev, udev_unref>;
using UdevDevicePtr = Owner<struct udev_device, udev_device_unref>;
using UdevEnumeratePtr = Owner<struct udev_enumerate, udev_enumerate_unref>;
using UdevMonitorPtr = Owner<struct udev_monitor, udev_monitor_unref>;
using MntContextPtr = Owner<struct libmnt_context, mnt_free_context>;
using MntTablePtr = Owner<struct libmnt_table, mnt_unref_table>;
using MntIterPtr = Owner<struct libmnt_iter, mnt_free_iter>;

// Collects a GError from a C call: `fn(..., err.out())`, then test `err`.
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

// A file descriptor closed on scope exit.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o)
            reset(std::exchange(o.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    int release() noexcept { return std::exchange(fd_, -1); }
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

}  // namespace mdm
