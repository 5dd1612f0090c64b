// The udev side of the class switching operations: enumerate, describe each entry for the
// decisions of switching_logic.cpp, carry the decision out.
#include <fcntl.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "mdm/files.h"
#include "mdm/raii_udev.h"
#include "mdm/records.h"
#include "periphcore/lists.h"
#include "switching_logic.h"

namespace periphcore::switching {

namespace {

constexpr const char* kConfigAttr = "bConfigurationValue";

mdm::UdevPtr new_udev() {
    mdm::UdevPtr udev(udev_new());
    // Without a udev context no operation can do anything; the callers have always ended
    // here, without a message.
    if (!udev)
        std::exit(1);
    return udev;
}

std::optional<std::string> attr(udev_device* dev, const char* name) {
    const char* value = dev ? udev_device_get_sysattr_value(dev, name) : nullptr;
    if (!value)
        return std::nullopt;
    return std::string(value);
}

// A failed sysfs write is not reported; the walk goes on.
void configure(udev_device* device, const char* value) {
    udev_device_set_sysattr_value(device, kConfigAttr, value);
}

// Creates each enumerated device from its sys path and hands it on; `visit` answers false
// to end the walk.
void walk(udev* ctx, udev_enumerate* e, const std::function<bool(udev_device*)>& visit) {
    udev_enumerate_scan_devices(e);
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
        mdm::UdevDevicePtr dev(udev_device_new_from_syspath(ctx, udev_list_entry_get_name(entry)));
        if (dev && !visit(dev.get()))
            return;
    }
}

// The facts of an interface and its owning device; `parent` is not owned (it lives as long
// as the interface).
UsbEntry describe(udev_device* interface, udev_device* parent) {
    UsbEntry e;
    e.has_parent = parent != nullptr;
    e.subclass = attr(interface, "bInterfaceSubClass");
    e.interface = attr(interface, "interface");
    e.product = attr(parent, "idProduct");
    e.vendor = attr(parent, "idVendor");
    return e;
}

// Every USB interface of a class, with its description and its owning device.
void for_each_interface(const char* interface_class,
                        const std::function<bool(const UsbEntry&, udev_device*)>& act) {
    mdm::UdevPtr udev = new_udev();
    mdm::UdevEnumeratePtr e(udev_enumerate_new(udev.get()));
    if (!e)
        return;
    udev_enumerate_add_match_sysattr(e.get(), "bInterfaceClass", interface_class);
    walk(udev.get(), e.get(), [&](udev_device* dev) {
        // Compared literally again: udev takes the value as a glob pattern.
        if (attr(dev, "bInterfaceClass") != interface_class)
            return true;
        udev_device* parent = udev_device_get_parent(dev);
        return act(describe(dev, parent), parent);
    });
}

// Every USB device with exactly these ids. udev compares attributes as glob patterns, so the
// ids are compared again literally: an id like "*" must not reach every device.
void for_each_device(const char* product, const char* vendor,
                     const std::function<void(udev_device*)>& act) {
    mdm::UdevPtr udev = new_udev();
    mdm::UdevEnumeratePtr e(udev_enumerate_new(udev.get()));
    if (!e)
        return;
    udev_enumerate_add_match_sysattr(e.get(), "idVendor", vendor);
    udev_enumerate_add_match_sysattr(e.get(), "idProduct", product);
    walk(udev.get(), e.get(), [&](udev_device* dev) {
        if (attr(dev, "idProduct") == product && attr(dev, "idVendor") == vendor)
            act(dev);
        return true;
    });
}

int switch_by_ids(const char* product, const char* vendor, const char* value,
                  bool unless_black_listed) {
    if (!acceptable_id(product) || !acceptable_id(vendor))
        return 0;
    if (unless_black_listed && get_black_list(product, vendor) == 0)
        return 0;
    for_each_device(product, vendor, [&](udev_device* dev) { configure(dev, value); });
    return 0;
}

int disable_class(const char* interface_class) {
    if (!interface_class)
        return 0;
    const Lookups lists = system_lookups();
    for_each_interface(interface_class, [&](const UsbEntry& entry, udev_device* parent) {
        switch (disable_action(interface_class, entry, lists)) {
            case Action::Stop:
                return false;
            case Action::SwitchOffAndRecord:
                configure(parent, "0");
                set_gsetting(entry.product->c_str(), entry.vendor->c_str(), interface_class);
                break;
            default:
                break;
        }
        return true;
    });
    return 0;
}

int switch_storage_on(Action (*decide)(const UsbEntry&, const Lookups&)) {
    const Lookups lists = system_lookups();
    for_each_interface("08", [&](const UsbEntry& entry, udev_device* parent) {
        if (decide(entry, lists) == Action::SwitchOn)
            configure(parent, "1");
        return true;
    });
    return 0;
}

int remount_storage_read_only(void (*callback)(const char*)) {
    const Lookups lists = system_lookups();
    mdm::UdevPtr udev = new_udev();
    mdm::UdevEnumeratePtr e(udev_enumerate_new(udev.get()));
    if (!e)
        return 0;
    udev_enumerate_add_match_subsystem(e.get(), "block");
    walk(udev.get(), e.get(), [&](udev_device* block) {
        udev_device* iface =
            udev_device_get_parent_with_subsystem_devtype(block, "usb", "usb_interface");
        udev_device* parent = iface ? udev_device_get_parent(iface) : nullptr;
        if (!parent || attr(iface, "bInterfaceClass") != "08")
            return true;
        switch (readonly_action(describe(iface, parent), lists)) {
            case Action::SwitchOff:
                configure(parent, "0");
                break;
            case Action::RemountReadOnly:
                if (const char* node = udev_device_get_devnode(block)) {
                    if (ReadOnly(node) != 0 && callback)
                        callback(node);
                }
                break;
            default:
                break;
        }
        return true;
    });
    return 0;
}

}  // namespace

}  // namespace periphcore::switching

namespace sw = periphcore::switching;

extern "C" {

int enabledevices(const char* product, const char* vendor) {
    try {
        return sw::switch_by_ids(product, vendor, "1", true);
    } catch (...) {
        return 0;
    }
}

int add_white_list(const char* product, const char* vendor) {
    try {
        return sw::switch_by_ids(product, vendor, "1", false);
    } catch (...) {
        return 0;
    }
}

int add_black_list(const char* product, const char* vendor) {
    try {
        return sw::switch_by_ids(product, vendor, "0", false);
    } catch (...) {
        return 0;
    }
}

int disabledevices(const char* interface_class) {
    try {
        return sw::disable_class(interface_class);
    } catch (...) {
        return 0;
    }
}

int set_up_usb(void) {
    try {
        return sw::switch_storage_on(sw::set_up_usb_action);
    } catch (...) {
        return 0;
    }
}

int setup_storage(void) {
    try {
        // A stick switched off as a class is unconfigured: the kernel took its interfaces away,
        // so no search by interface class finds it again. The record file names it; it is
        // read before it is emptied, and each device it names is switched on by its ids.
        const std::string records_path = "/etc/mdm/disable-storage";
        std::optional<std::string> records = mdm::read_regular(records_path);
        // Emptied first and whether or not any storage device is present: what it recorded is
        // about to be switched on.
        sw::open_record_file(records_path, O_TRUNC);
        if (records) {
            for (const auto& [product, vendor] : mdm::distinct_record_pairs(*records))
                sw::switch_by_ids(product.c_str(), vendor.c_str(), "1", false);
        }
        return sw::switch_storage_on(
            [](const sw::UsbEntry& e, const sw::Lookups&) { return sw::setup_storage_action(e); });
    } catch (...) {
        return 0;
    }
}

int readonlydevices(void (*callback)(const char* node)) {
    try {
        return sw::remount_storage_read_only(callback);
    } catch (...) {
        return 0;
    }
}

int set_gsetting(const char* product, const char* vendor, const char* interface_class) {
    try {
        if (!interface_class)
            return 0;
        if (auto path = sw::record_file_for(interface_class))
            sw::append_record(*path, product, vendor);
    } catch (...) {
    }
    return 0;
}

}  // extern "C"
