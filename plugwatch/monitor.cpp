#include "monitor.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "mdm/raii_udev.h"
#include "policy.h"
#include "tarvex/linked.h"

namespace plugwatch {
namespace {

std::optional<std::string> text(const char* value) {
    if (!value)
        return std::nullopt;
    return std::string(value);
}

std::optional<std::string> sysattr(struct udev_device* device, const char* name) {
    return text(udev_device_get_sysattr_value(device, name));
}

// Attributes read straight from the device's directory: libudev's way costs a stat, a path
// walk and a parent device object per read, on every plug.
std::optional<std::string> sysattr_at(int dir, const char* name) {
    mdm::UniqueFd fd(openat(dir, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd)
        return std::nullopt;
    char buf[4096];  // a sysfs attribute is at most a page
    const ssize_t got = read(fd.get(), buf, sizeof buf);
    if (got < 0)
        return std::nullopt;
    return trim_attribute(std::string_view(buf, static_cast<std::size_t>(got)));
}

// libudev answers a negative errno, or sets errno and answers NULL.
std::runtime_error set_up_error(const char* what, int err) {
    return std::runtime_error(std::string(what) + ": " + std::strerror(err));
}

// Nothing about one event stops the loop.
void handle_usb_event(PlugState& state, struct udev_device* device) {
    try {
        state.handle(describe_event(device));
    } catch (const std::bad_alloc&) {
        // The event is abandoned; counts already made stay.
        syslog(LOG_ERR, "malloc error : %s", std::strerror(ENOMEM));
    }
}

}  // namespace

InterfaceEvent describe_event(struct udev_device* device) {
    InterfaceEvent e;
    e.subsystem = text(udev_device_get_subsystem(device)).value_or("");
    e.action = text(udev_device_get_action(device)).value_or("");
    e.devpath = text(udev_device_get_devpath(device));
    if (e.subsystem != "usb" || e.action != "add")
        return e;

    // An interface's directory sits in its USB device's; only a USB device has idVendor.
    const char* syspath = udev_device_get_syspath(device);
    mdm::UniqueFd iface(syspath ? open(syspath, O_PATH | O_DIRECTORY | O_CLOEXEC) : -1);
    mdm::UniqueFd parent(iface ? openat(iface.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC) : -1);
    std::optional<std::string> vendor =
        parent ? sysattr_at(parent.get(), "idVendor") : std::nullopt;
    std::string parent_path = e.devpath ? parent_devpath(*e.devpath) : std::string();
    if (!vendor || parent_path.empty())
        return describe_event_through_udev(device, std::move(e));
    e.interface_class = sysattr_at(iface.get(), "bInterfaceClass");
    e.id_vendor = std::move(vendor);
    e.id_product = sysattr_at(parent.get(), "idProduct");
    e.product = sysattr_at(parent.get(), "product");
    e.manufacturer = sysattr_at(parent.get(), "manufacturer");
    e.num_interfaces = sysattr_at(parent.get(), "bNumInterfaces");
    e.serial = sysattr_at(parent.get(), "serial");
    e.parent_devpath = std::move(parent_path);
    return e;
}

// The same through libudev's walk up the tree, for a layout the direct reads do not expect.
InterfaceEvent describe_event_through_udev(struct udev_device* device, InterfaceEvent e) {
    e.interface_class = sysattr(device, "bInterfaceClass");
    struct udev_device* parent =
        udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    if (!parent)
        return e;
    e.id_vendor = sysattr(parent, "idVendor");
    e.id_product = sysattr(parent, "idProduct");
    e.product = sysattr(parent, "product");
    e.manufacturer = sysattr(parent, "manufacturer");
    e.num_interfaces = sysattr(parent, "bNumInterfaces");
    e.serial = sysattr(parent, "serial");
    e.parent_devpath = text(udev_device_get_devpath(parent));
    return e;
}

Monitor::Monitor() : framework_(mdm::tarvex::linked_functions()) {}

void Monitor::run(mdm::Worker& worker) {
    syslog(LOG_INFO, "----------udev_daemon----------");
    Seams seams{log_, peers_, framework_};
    PlugState state(seams);

    mdm::UdevPtr udev(udev_new());
    if (!udev)
        throw set_up_error("cannot create a udev context", errno);
    // "udev": events after the rules have run, not the kernel's raw ones.
    mdm::UdevMonitorPtr monitor(udev_monitor_new_from_netlink(udev.get(), "udev"));
    if (!monitor)
        throw set_up_error("cannot create the udev monitor", errno);
    int rc = udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", "usb_interface");
    if (rc < 0)
        throw set_up_error("cannot filter the udev monitor", -rc);
    // Events wait in the socket while a peer is slow to answer, and the kernel drops what
    // does not fit. Asked for here, as udev's own daemon does, rather than relying on the
    // library version's default; without the privilege for it the default has to do.
    rc = udev_monitor_set_receive_buffer_size(monitor.get(), 128 * 1024 * 1024);
    if (rc < 0)
        syslog(LOG_WARNING, "udev monitor keeps its default receive buffer: %s",
               std::strerror(-rc));
    rc = udev_monitor_enable_receiving(monitor.get());
    if (rc < 0)
        throw set_up_error("cannot enable receiving on the udev monitor", -rc);

    // Receiving is already on: devices plugged during the import wait in the socket and
    // are handled afterwards under the imported policy. A stop waits for the import.
    init_policy(log_, framework_);

    const int fd = udev_monitor_get_fd(monitor.get());
    while (worker.wait_readable(fd) == mdm::Worker::Wake::readable) {
        mdm::UdevDevicePtr device(udev_monitor_receive_device(monitor.get()));
        if (device)
            handle_usb_event(state, device.get());
    }
}

}  // namespace plugwatch
