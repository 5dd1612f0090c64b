// The security framework's values as the whole system uses them: the permission of an entry,
// the class policy table's usb_subtype per interface category, and the device every machine
// allows.
#pragma once

namespace mdm {

// Permission of a framework entry: white list and built-in entries are written enabled,
// black list entries disabled.
enum Perm : int {
    kPermEnabled = 1,   // allowed, read-write
    kPermDisabled = 2,  // denied
    kPermReadOnly = 5,
};

// usb_subtype of the class policy entry for an interface category (by bInterfaceClass:
// "08" storage, "ff" vendorspec, any other nonstorage).
enum UsbSubtype : int {
    kSubtypeNonStorage = 0,
    kSubtypeStorage = 6,
    kSubtypeVendorSpec = 19,
};

// Always allowed: product c820 of vendor 0bda, in the joined form (product id first).
inline constexpr const char* kDefaultDevice = "c8200bda";

}  // namespace mdm
