// `mdmctl devices`: every USB interface present, its category and the permission in force, by
// the same lookup the plug monitor makes when it is plugged in.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "output.h"
#include "tarvex/adapter.h"

namespace mdmctl {

struct InterfaceFacts {
    std::string number;           // bInterfaceNumber
    std::string interface_class;  // bInterfaceClass, as sysfs shows it
    // The kernel's state: "authorized" ("1", "0", or empty where the kernel shows none) and
    // whether its disks are read-only ("yes", "no", empty without a disk).
    std::string authorized = {};
    std::string read_only = {};
};

struct DeviceFacts {
    std::string name;  // sysfs name, e.g. "1-1"
    std::string pid, vid, product;
    std::vector<InterfaceFacts> interfaces;
};

// The bank type index (0..3) a device is listed under, or 4 when it is on no bank list.
using BankTypeOf = std::function<int(const std::string& pid, const std::string& vid)>;

// One row per interface (a device without interfaces gets one row with empty interface
// cells): DEVICE PID VID PRODUCT INTERFACE CLASS CATEGORY PERMISSION AUTHORIZED READONLY
// LISTS.
Table devices_table(const std::vector<DeviceFacts>& devices,
                    const mdm::tarvex::Functions& framework, const BankTypeOf& bank_type_of);

// The USB devices present, read through libudev.
std::vector<DeviceFacts> read_usb_devices();

}  // namespace mdmctl
