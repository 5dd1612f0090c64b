// Whether a path that a desktop user hands the storage service may be opened up or remounted:
// only the exact mount point of a block device on a USB mass-storage interface. Plain logic;
// the mount table, the path resolution and the udev lookup come in as functions.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "mdm/usb_id.h"

namespace plugwatch {

using UsbPair = mdm::UsbIds;

struct StorageLookups {
    // The canonical absolute form of an existing path (symlinks and dot parts resolved).
    std::function<std::optional<std::string>(const std::string& path)> canonical;
    // The source of the mount now visible at exactly this target, if any.
    std::function<std::optional<std::string>(const std::string& target)> mount_source;
    // The ids of the USB device behind a block device node on a mass-storage interface.
    std::function<std::optional<UsbPair>(const std::string& node)> usb_ids;
};

struct StorageVerdict {
    bool allowed = false;
    std::string reason;  // why not, for the log
    UsbPair ids;         // of the stick, when allowed
};

// Checks `path` as a USB storage mount point.
StorageVerdict check_usb_mount_point(std::string_view path, const StorageLookups& lookups);

// As check_usb_mount_point, and the stick must have exactly these ids.
StorageVerdict check_usb_mount_of(std::string_view path, std::string_view pid, std::string_view vid,
                                  const StorageLookups& lookups);

}  // namespace plugwatch
