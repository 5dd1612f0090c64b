// Which USB storage device a block device node belongs to. Shared by mountwatch and the
// plug monitor's storage service, header-only because mountwatch links no library of the
// system.
#pragma once

#include <cstring>
#include <string>

#include <libudev.h>

#include "mdm/raii_udev.h"
#include "mdm/text.h"
#include "mdm/usb_id.h"

namespace mdm {

// Each id is cut to what the mount list's 10-byte id fields hold.
inline constexpr std::size_t kBlockIdField = 10;

// Fills `ids` from the USB device behind the block device whose DEVNAME is `node`, when that
// block device sits on a USB mass-storage interface (class "08"); otherwise leaves them as
// they are. If several block devices match, the last one found wins. Returns -1 only when
// no udev context can be created.
inline int usb_ids_of_block_node(const char* node, UsbIds& ids) {
    UdevPtr udev(udev_new());
    if (!udev)
        return -1;
    UdevEnumeratePtr en(udev_enumerate_new(udev.get()));
    if (!en)
        return 0;
    udev_enumerate_add_match_subsystem(en.get(), "block");
    udev_enumerate_add_match_property(en.get(), "DEVNAME", node);
    udev_enumerate_scan_devices(en.get());
    struct udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en.get())) {
        UdevDevicePtr dev(
            udev_device_new_from_syspath(udev.get(), udev_list_entry_get_name(entry)));
        // udev matches property values as patterns: keep only the node itself.
        const char* name = dev ? udev_device_get_property_value(dev.get(), "DEVNAME") : nullptr;
        if (!name || std::strcmp(name, node) != 0)
            continue;
        // Borrowed from `dev`: released with it.
        struct udev_device* iface =
            udev_device_get_parent_with_subsystem_devtype(dev.get(), "usb", "usb_interface");
        struct udev_device* usb = iface ? udev_device_get_parent(iface) : nullptr;
        const char* cls = iface ? udev_device_get_sysattr_value(iface, "bInterfaceClass") : nullptr;
        if (!usb || !cls || std::strcmp(cls, "08") != 0)
            continue;
        const char* vid = udev_device_get_sysattr_value(usb, "idVendor");
        const char* pid = udev_device_get_sysattr_value(usb, "idProduct");
        if (vid && pid) {
            ids.pid = utf8_prefix(pid, kBlockIdField - 1);
            ids.vid = utf8_prefix(vid, kBlockIdField - 1);
        }
    }
    return 0;
}

}  // namespace mdm
