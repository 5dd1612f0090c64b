// USB storage in the umockdev testbed: a stick is a USB device with a storage interface, a
// SCSI host under it and block devices (a disk, partitions) under the host, as libudev walks
// them from a block device up to the USB device.
#pragma once

#include <string>

#include "mdmtest/support.h"

namespace mdmtest {

struct UsbStick {
    std::string device;     // syspath of the USB device
    std::string interface;  // syspath of its storage interface
    std::string host;       // syspath of the SCSI host
};

// A USB device with one interface of class 08 (sub-class `subclass`) and a SCSI host named
// `host_name` under it.
UsbStick add_usb_stick(Testbed& tb, const UsbDevice& device, const std::string& subclass = "06",
                       const std::string& host_name = "host0");

// A SCSI host named `name` (e.g. "host0") under `parent_syspath`; returns its syspath.
std::string add_scsi_host(Testbed& tb, const std::string& parent_syspath, const std::string& name);

// A block device under `parent_syspath` with node /dev/`name`: devtype "disk" or
// "partition", `dev` its "major:minor".
std::string add_block_device(Testbed& tb, const std::string& parent_syspath,
                             const std::string& name, const std::string& devtype,
                             const std::string& dev);

// The current value of a sysfs attribute in the testbed, line end removed.
std::string sysfs_attribute(const std::string& syspath, const std::string& name);

}  // namespace mdmtest
