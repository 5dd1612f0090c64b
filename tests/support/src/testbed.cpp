#include <filesystem>
#include <stdexcept>

#include "mdmtest/support.h"

namespace mdmtest {

Testbed::Testbed() : tb_(umockdev_testbed_new()) {
    if (!umockdev_in_mock_environment()) {
        throw std::runtime_error("umockdev preload is not active");
    }
}

Testbed::~Testbed() {
    if (tb_)
        g_object_unref(tb_);
}

std::string Testbed::add_usb_device(const UsbDevice& d) {
    std::vector<const char*> attrs;
    auto attr = [&](const char* name, const std::optional<std::string>& value) {
        if (value) {
            attrs.push_back(name);
            attrs.push_back(value->c_str());
        }
    };
    attr("idVendor", d.vid);
    attr("idProduct", d.pid);
    attr("product", d.product);
    attr("manufacturer", d.manufacturer);
    attr("serial", d.serial);
    std::optional<std::string> num = d.num_interfaces;
    attr("bNumInterfaces", num);
    std::optional<std::string> config = "1";
    attr("bConfigurationValue", config);
    attrs.push_back(nullptr);
    const char* props[] = {"DEVTYPE", "usb_device", nullptr};
    mdm::GCharPtr path(umockdev_testbed_add_devicev(tb_, "usb", d.name.c_str(), nullptr,
                                                    const_cast<gchar**>(attrs.data()),
                                                    const_cast<gchar**>(props)));
    if (!path)
        throw std::runtime_error("umockdev: cannot add USB device " + d.name);
    return path.get();
}

std::string Testbed::add_interface(const std::string& device_syspath, int number,
                                   const std::string& interface_class,
                                   const std::string& subclass) {
    std::string dev_name = device_syspath.substr(device_syspath.rfind('/') + 1);
    std::string name = dev_name + ":1." + std::to_string(number);
    std::string num = std::to_string(number);
    const char* attrs[] = {"bInterfaceClass",
                           interface_class.c_str(),
                           "bInterfaceSubClass",
                           subclass.c_str(),
                           "bInterfaceNumber",
                           num.c_str(),
                           nullptr};
    const char* props[] = {"DEVTYPE", "usb_interface", nullptr};
    mdm::GCharPtr path(
        umockdev_testbed_add_devicev(tb_, "usb", name.c_str(), device_syspath.c_str(),
                                     const_cast<gchar**>(attrs), const_cast<gchar**>(props)));
    if (!path)
        throw std::runtime_error("umockdev: cannot add interface " + name);
    return path.get();
}

void Testbed::uevent(const std::string& syspath, const char* action) {
    umockdev_testbed_uevent(tb_, syspath.c_str(), action);
}

void Testbed::remove(const std::string& syspath) {
    // umockdev leaves the bus links of a removed device (and its interfaces) behind, which
    // makes adding the same device again fail; drop them so a test can re-plug.
    std::string root = umockdev_testbed_get_root_dir(tb_);
    std::string prefix = syspath.substr(syspath.rfind('/') + 1);
    std::string bus_dir = root + "/sys/bus/usb/devices/";
    umockdev_testbed_remove_device(tb_, syspath.c_str());
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(bus_dir, ec)) {
        auto name = entry.path().filename().string();
        if (name == prefix || name.starts_with(prefix + ":")) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
}

std::string Testbed::devpath(const std::string& syspath) {
    return syspath.starts_with("/sys") ? syspath.substr(4) : syspath;
}

}  // namespace mdmtest
