/* Device class switching: USB devices are switched off by writing "0" to their
 * "bConfigurationValue" and on again with "1"; storage is remounted read-only. Devices that a
 * class-wide switch-off unconfigures are appended, one "<product><vendor>" line each, to the
 * class's record file under /etc/mdm/. Ids are product id first, then vendor id. */
#ifndef PERIPHCORE_SWITCHING_H
#define PERIPHCORE_SWITCHING_H

#include "periphcore/api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Switches on the devices with these ids unless the pair is black-listed. 0. */
PERIPHCORE_API int enabledevices(const char* product, const char* vendor);
/* Switches off every device with an interface of this class ("03", "08", "0e") that is not
 * white-listed, and records it. Storage leaves bank devices and optical drives alone. 0. */
PERIPHCORE_API int disabledevices(const char* interface_class);
/* Switch the devices with these ids on (white) or off (black); no list is consulted. 0. */
PERIPHCORE_API int add_white_list(const char* product, const char* vendor);
PERIPHCORE_API int add_black_list(const char* product, const char* vendor);
/* Switches on storage devices that are neither bank devices, optical drives nor
 * white-listed. 0. */
PERIPHCORE_API int set_up_usb(void);
/* Empties /etc/mdm/disable-storage and switches every storage device on. 0. */
PERIPHCORE_API int setup_storage(void);
/* Remounts the block devices of unlisted USB storage read-only (black-listed ones are
 * switched off instead); each node whose remount fails goes to the callback. 0. */
PERIPHCORE_API int readonlydevices(void (*callback)(const char* node));
/* Remounts a mount point or device node read-only: 0, or libmount's non-zero result. */
PERIPHCORE_API int ReadOnly(const char* target);
/* Gives the path mode 0777: 0, or -1 on failure. */
PERIPHCORE_API int change_permission(const char* path);
/* Appends the pair to the record file of the class ("03", "08", "0e", "net"). 0. */
PERIPHCORE_API int set_gsetting(const char* product, const char* vendor,
                                const char* interface_class);

#ifdef __cplusplus
}

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "mdm/raii.h"

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
#endif

#endif
