#include "mdmtest/usb_storage.h"

#include <stdexcept>

namespace mdmtest {

namespace {

std::string add_device(Testbed& tb, const char* subsystem, const std::string& name,
                       const std::string& parent, const char* const* attrs,
                       const char* const* props) {
    mdm::GCharPtr path(umockdev_testbed_add_devicev(tb.get(), subsystem, name.c_str(),
                                                    parent.c_str(), const_cast<gchar**>(attrs),
                                                    const_cast<gchar**>(props)));
    if (!path)
        throw std::runtime_error("umockdev: cannot add " + name);
    return path.get();
}

}  // namespace

UsbStick add_usb_stick(Testbed& tb, const UsbDevice& device, const std::string& subclass,
                       const std::string& host_name) {
    UsbStick stick;
    stick.device = tb.add_usb_device(device);
    stick.interface = tb.add_interface(stick.device, 0, "08", subclass);
    stick.host = add_scsi_host(tb, stick.interface, host_name);
    return stick;
}

std::string add_scsi_host(Testbed& tb, const std::string& parent_syspath, const std::string& name) {
    const char* attrs[] = {nullptr};
    const char* props[] = {"DEVTYPE", "scsi_host", nullptr};
    return add_device(tb, "scsi", name, parent_syspath, attrs, props);
}

std::string add_block_device(Testbed& tb, const std::string& parent_syspath,
                             const std::string& name, const std::string& devtype,
                             const std::string& dev) {
    std::string devname = "/dev/" + name;
    const char* attrs[] = {"dev", dev.c_str(), nullptr};
    const char* props[] = {"DEVNAME", devname.c_str(), "DEVTYPE", devtype.c_str(), nullptr};
    return add_device(tb, "block", name, parent_syspath, attrs, props);
}

std::string sysfs_attribute(const std::string& syspath, const std::string& name) {
    std::string value = read_file(syspath + "/" + name);
    while (!value.empty() && (value.back() == '\n' || value.back() == ' '))
        value.pop_back();
    return value;
}

}  // namespace mdmtest
