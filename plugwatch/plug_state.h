// The per-event logic: counting the interfaces of each USB device until the count it
// announces is complete, announcing its categories, and reporting removals.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "seams.h"

namespace plugwatch {

// One udev event as plain data. Missing attributes are empty optionals; the parent fields
// come from the interface's USB device.
struct InterfaceEvent {
    std::string subsystem;
    std::string action;
    std::optional<std::string> devpath;
    std::optional<std::string> interface_class;
    std::optional<std::string> parent_devpath;
    std::optional<std::string> id_product;
    std::optional<std::string> id_vendor;
    std::optional<std::string> product;
    std::optional<std::string> manufacturer;
    std::optional<std::string> num_interfaces;
    std::optional<std::string> serial;
};

// A sysfs attribute's text as libudev hands it out: up to its first NUL, without trailing
// newlines.
std::string trim_attribute(std::string_view raw);

// The devpath of the directory holding `devpath`; empty when it has no parent directory.
std::string parent_devpath(std::string_view devpath);

// One plugged USB device. Texts hold at most their width less one byte.
struct UsbNotificationInfo {
    char pid[8];
    char vid[8];
    char product[256];
    char manufacturer[256];
    char serial[256];
    int32_t numInterface;
    int32_t storageCounter;
    int32_t nostorageCounter;
    int32_t vendorspecCounter;
    int32_t sumCounter;
};

// One seen interface.
struct UsbInterfaceInfo {
    char interface_class[8];
    char parent_devpath[1024];
};

// Longest devpath kept; longer ones are cut the same way wherever they are used as keys.
inline constexpr std::size_t kDevpathMax = sizeof(UsbInterfaceInfo::parent_devpath) - 1;

class PlugState {
  public:
    explicit PlugState(Seams seams) : s_(seams) {}

    // Dispatch: "usb" with "add" or "remove", compared whole; anything else is ignored.
    void handle(const InterfaceEvent& event);

    void on_add(const InterfaceEvent& event);
    void on_remove(const std::optional<std::string>& devpath);

    const std::unordered_map<std::string, UsbNotificationInfo>& notifytable() const {
        return notifytable_;
    }
    const std::unordered_map<std::string, UsbInterfaceInfo>& interfacetable() const {
        return interfacetable_;
    }

  private:
    void announce(const UsbNotificationInfo& snapshot, UsbNotificationInfo& device,
                  const std::string& devpath, const std::string& interface_class);

    Seams s_;
    std::unordered_map<std::string, UsbInterfaceInfo> interfacetable_;
    std::unordered_map<std::string, UsbNotificationInfo> notifytable_;
};

}  // namespace plugwatch
