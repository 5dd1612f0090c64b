// The kernel side of enforcement: USB authorization, block device read-only flags, mounts
// and network drivers, over a sysfs root passed in ("/sys" on a machine; the same path under
// a umockdev testbed). Reads and writes only; no decisions.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex_standin {

struct KernelInterface {
    std::string name;         // "1-1:1.0"
    std::string devpath;      // "/devices/.../1-1/1-1:1.0"
    std::string device_name;  // "1-1"
    std::string interface_class, pid, vid;
    std::optional<bool> authorized;  // nullopt when the kernel shows no "authorized"
    bool network = false;            // a network device hangs below it
};

struct KernelDisk {
    std::string name;     // "sdb", "sdb1"
    std::string devnode;  // "/dev/sdb1"
    std::string interface_devpath;
    std::optional<bool> read_only;
};

// A network interface with a device behind it (loopback, bridges and other virtual
// interfaces have none).
struct NetCard {
    std::string name;         // "eth0"
    std::string bus;          // "pci", "usb"
    std::string device_name;  // "0000:00:03.0", "1-1:1.0"
    std::string driver;       // its driver's name
    std::optional<std::string> usb_interface_devpath;
};

struct RootHub {
    std::string name;  // "usb1"
    std::string devpath;
    std::optional<std::string> interface_authorized_default;
};

// Whether `devpath` is a root hub's ("/devices/.../usb3"), the device that carries the
// default of every interface behind its controller.
bool is_root_hub(std::string_view devpath);

class Kernel {
  public:
    explicit Kernel(std::filesystem::path sys_root = "/sys");

    std::vector<KernelInterface> interfaces() const;
    // The USB interface at `devpath` or the nearest above it (for a block or net device).
    std::optional<KernelInterface> interface_of(const std::string& devpath) const;
    // Block devices (disks and partitions) below USB interfaces.
    std::vector<KernelDisk> disks() const;
    std::vector<NetCard> net_cards() const;
    // The physical network device at `devpath` (a net class device), when it is one.
    std::optional<NetCard> net_card_at(const std::string& devpath) const;
    std::vector<RootHub> root_hubs() const;

    bool set_authorized(const std::string& devpath, bool on) const;
    // Asks the bus to bind a driver to a device (an interface re-authorized stays unbound).
    bool probe(const std::string& bus, const std::string& device_name) const;
    bool unbind(const NetCard& card) const;
    bool write_attribute(const std::string& devpath, const char* name,
                         const std::string& value) const;
    std::optional<std::string> attribute(const std::string& devpath, const char* name) const;

    const std::filesystem::path& root() const { return root_; }

  private:
    std::optional<KernelInterface> read_interface(const std::string& devpath) const;
    // "/devices/..." of a link inside sysfs, e.g. bus/usb/devices/1-1.
    std::optional<std::string> link_devpath(const std::filesystem::path& link) const;

    std::filesystem::path root_;
};

// BLKROSET on a block device node; an empty text on success, else the error.
std::string set_block_read_only(const std::string& devnode, bool on);
// Remounts read-only every mount whose source is `devnode`; the mount points changed, and
// failures as "TARGET: error" in `failures`.
std::vector<std::string> remount_read_only(const std::string& devnode,
                                           std::vector<std::string>& failures);

}  // namespace tarvex_standin
