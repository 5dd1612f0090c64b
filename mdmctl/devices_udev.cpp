// Reading the USB devices and interfaces present through libudev.
#include <libudev.h>

#include <map>

#include "devices.h"
#include "mdm/raii_udev.h"

namespace mdmctl {

namespace {

std::string attribute(udev_device* device, const char* name) {
    const char* value = udev_device_get_sysattr_value(device, name);
    std::string text = value ? value : "";
    // sysfs pads some numbers with blanks.
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.erase(0, 1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n'))
        text.pop_back();
    return text;
}

}  // namespace

std::vector<DeviceFacts> read_usb_devices() {
    mdm::UdevPtr udev(udev_new());
    if (!udev)
        return {};
    // Disks below USB interfaces: "yes" when any of an interface's disks is read-only.
    std::map<std::string, std::string> read_only;  // by interface syspath
    {
        mdm::UdevEnumeratePtr blocks(udev_enumerate_new(udev.get()));
        udev_enumerate_add_match_subsystem(blocks.get(), "block");
        udev_enumerate_scan_devices(blocks.get());
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(blocks.get())) {
            mdm::UdevDevicePtr b(
                udev_device_new_from_syspath(udev.get(), udev_list_entry_get_name(entry)));
            if (!b)
                continue;
            udev_device* iface =
                udev_device_get_parent_with_subsystem_devtype(b.get(), "usb", "usb_interface");
            const char* path = iface ? udev_device_get_syspath(iface) : nullptr;
            if (!path)
                continue;
            std::string& state = read_only[path];
            if (attribute(b.get(), "ro") == "1")
                state = "yes";
            else if (state.empty())
                state = "no";
        }
    }
    mdm::UdevEnumeratePtr e(udev_enumerate_new(udev.get()));
    udev_enumerate_add_match_subsystem(e.get(), "usb");
    udev_enumerate_scan_devices(e.get());

    std::map<std::string, DeviceFacts> devices;  // by syspath, so the output is ordered
    std::vector<std::pair<std::string, InterfaceFacts>> interfaces;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get())) {
        const char* syspath = udev_list_entry_get_name(entry);
        mdm::UdevDevicePtr d(udev_device_new_from_syspath(udev.get(), syspath));
        if (!d)
            continue;
        const char* type = udev_device_get_devtype(d.get());
        std::string devtype = type ? type : "";
        if (devtype == "usb_device") {
            const char* name = udev_device_get_sysname(d.get());
            devices[syspath] = {name ? name : "",
                                attribute(d.get(), "idProduct"),
                                attribute(d.get(), "idVendor"),
                                attribute(d.get(), "product"),
                                {}};
        } else if (devtype == "usb_interface") {
            udev_device* parent =
                udev_device_get_parent_with_subsystem_devtype(d.get(), "usb", "usb_device");
            const std::string syspath_text = syspath;
            const char* parent_path = parent ? udev_device_get_syspath(parent) : nullptr;
            if (parent_path)
                interfaces.push_back(
                    {parent_path,
                     {attribute(d.get(), "bInterfaceNumber"), attribute(d.get(), "bInterfaceClass"),
                      attribute(d.get(), "authorized"), read_only[syspath_text]}});
        }
    }
    for (auto& [parent, facts] : interfaces)
        if (auto it = devices.find(parent); it != devices.end())
            it->second.interfaces.push_back(std::move(facts));

    std::vector<DeviceFacts> out;
    for (auto& [path, facts] : devices)
        out.push_back(std::move(facts));
    return out;
}

}  // namespace mdmctl
