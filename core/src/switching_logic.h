// The class switching operations apart from udev: which entries an operation acts on, and the
// record files. The udev walk in switching.cpp describes each entry and carries the decision
// out.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "mdm/raii.h"
#include "periphcore/switching.h"

namespace periphcore::switching {

// Width of the record line buffer: product, vendor, line feed and terminator must fit.
inline constexpr std::size_t kRecordLineBuffer = 64;
// Ids are the four characters sysfs shows; anything longer is refused.
inline constexpr std::size_t kMaxIdLength = 4;

// An id an operation accepts: non-null, one to four characters.
bool acceptable_id(const char* id);

// The record file of a class code, or nullopt for a code that has none.
std::optional<std::string> record_file_for(std::string_view interface_class);
// "<product><vendor>\n", or nullopt when either id is refused.
std::optional<std::string> record_line(const char* product, const char* vendor);
// Opens a record file for writing with `how` (O_APPEND, O_TRUNC), creating it; an invalid
// descriptor unless it is a regular file.
mdm::UniqueFd open_record_file(const std::string& path, int how);
// Appends the pair's record line to the file at `path` (created if missing; only a regular
// file is written). Returns false when nothing was written.
bool append_record(const std::string& path, const char* product, const char* vendor);

// What an operation knows about one USB interface and the device that owns it.
struct UsbEntry {
    bool has_parent = false;
    std::optional<std::string> subclass;   // bInterfaceSubClass
    std::optional<std::string> interface;  // the interface string
    std::optional<std::string> product;    // the parent's idProduct
    std::optional<std::string> vendor;     // the parent's idVendor
};

// The list answers an operation consults, as truths (not the lookups' 0/1 results).
struct Lookups {
    std::function<bool(const std::string& product, const std::string& vendor)> white_listed;
    std::function<bool(const std::string& product, const std::string& vendor)> black_listed;
    std::function<bool(const std::string& product, const std::string& vendor)> bank_device;
};

enum class Action {
    Leave,               // nothing for this entry
    Stop,                // end the whole operation now
    SwitchOn,            // "1" to the parent's bConfigurationValue
    SwitchOff,           // "0" to the parent's bConfigurationValue
    SwitchOffAndRecord,  // "0", then the pair to the class's record file
    RemountReadOnly,     // the block device's node to ReadOnly
};

// The decision of each enumerating operation for one entry. Entries lacking a parent, a
// sub-class or acceptable ids are always left.
Action disable_action(std::string_view interface_class, const UsbEntry& entry,
                      const Lookups& lists);
Action set_up_usb_action(const UsbEntry& entry, const Lookups& lists);
Action setup_storage_action(const UsbEntry& entry);
Action readonly_action(const UsbEntry& entry, const Lookups& lists);

// The lookups of the fixed list files under /etc/mdm.
Lookups system_lookups();

}  // namespace periphcore::switching
