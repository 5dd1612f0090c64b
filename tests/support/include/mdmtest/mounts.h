// Block devices under umockdev, mounts that the GIO volume monitor reports, and a listener
// for bus signals. Mounts are tmpfs mounts whose source names the testbed's device node; the
// private /etc/fstab lists them with "user" so the volume monitor gives each a volume whose
// unix-device is that node.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "mdmtest/support.h"

namespace mdmtest {

// Adds a SCSI disk `disk` (e.g. "sdb") with one partition `disk`1 under `parent_syspath`
// (a USB interface for a stick, any other device for an internal disk). `minor` is the disk's
// minor number under major 8. Returns the partition's device node, e.g. "/dev/sdb1".
std::string add_block_disk(Testbed& tb, const std::string& parent_syspath, const std::string& disk,
                           int minor);

// Adds a PCI SATA controller and returns its syspath: the parent of an internal disk.
std::string add_internal_controller(Testbed& tb);

// The private /etc/fstab with added "user" lines, and tmpfs mounts; everything mounted is
// unmounted and the fstab restored when the object ends.
class Mounts {
  public:
    Mounts();
    ~Mounts();
    Mounts(const Mounts&) = delete;
    Mounts& operator=(const Mounts&) = delete;

    void list_in_fstab(const std::string& node, const std::string& mountpoint);
    // Creates the mount point and mounts a tmpfs of mode 0755 from `node` on it.
    bool mount(const std::string& node, const std::string& mountpoint);
    bool umount(const std::string& mountpoint);

  private:
    std::string saved_fstab_;
    std::vector<std::string> mounted_;
};

// Permission bits of a path (lstat), or -1 when it does not exist.
int mode_of(const std::string& path);
// Whether `mountpoint` is mounted read-only, from /proc/self/mountinfo.
bool mounted_read_only(const std::string& mountpoint);

// Receives the signals of one interface on a bus on a thread of its own.
class SignalListener {
  public:
    struct Signal {
        std::string member;
        std::vector<std::string> args;  // string arguments
    };
    SignalListener(GBusType bus, const std::string& interface);
    ~SignalListener();
    SignalListener(const SignalListener&) = delete;
    SignalListener& operator=(const SignalListener&) = delete;

    std::vector<Signal> signals(std::string_view member = {}) const;
    bool wait(std::size_t count, std::string_view member,
              std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  private:
    static void on_signal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                          const gchar* member, GVariant* params, gpointer self);

    mutable std::mutex mutex_;
    std::vector<Signal> signals_;
    mdm::MainContextPtr context_;
    mdm::MainLoopPtr loop_;
    mdm::GObjectPtr<GDBusConnection> connection_;
    guint subscription_ = 0;
    std::thread thread_;
};

}  // namespace mdmtest
