#include "monitor.h"

#include <sys/select.h>
#include <syslog.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "daemon_seams.h"
#include "mdm/raii.h"
#include "policy.h"
#include "tarvex_linked.h"

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

// Held while an event or the import is handled, so a stop waits for the work in hand.
std::mutex& work_lock() {
    static std::mutex lock;
    return lock;
}

// Always 0: nothing about one event stops the loop.
int handle_usb_event(PlugState& state, struct udev_device* device) {
    std::lock_guard<std::mutex> busy(work_lock());
    try {
        state.handle(describe_event(device));
    } catch (const std::bad_alloc&) {
        // The event is abandoned; counts already made stay.
        syslog(LOG_ERR, "malloc error : %s", std::strerror(ENOMEM));
    }
    return 0;
}

}  // namespace

InterfaceEvent describe_event(struct udev_device* device) {
    InterfaceEvent e;
    e.subsystem = text(udev_device_get_subsystem(device)).value_or("");
    e.action = text(udev_device_get_action(device)).value_or("");
    e.devpath = text(udev_device_get_devpath(device));
    if (e.subsystem != "usb" || e.action != "add")
        return e;

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

int udev_daemon() {
    syslog(LOG_INFO, "----------udev_daemon----------");
    static const mdm::tarvex::Functions framework = mdm::tarvex::linked_functions();
    SyslogLog log;
    CorePeers peers;
    Seams seams{log, peers, framework};
    PlugState state(seams);

    mdm::UdevPtr udev(udev_new());
    if (!udev)
        return 1;
    // "udev": events after the rules have run, not the kernel's raw ones.
    mdm::UdevMonitorPtr monitor(udev_monitor_new_from_netlink(udev.get(), "udev"));
    if (!monitor)
        return 1;
    udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", "usb_interface");
    // Events wait in the socket while a peer is slow to answer, and the kernel drops what
    // does not fit. Asked for here, as udev's own daemon does, rather than relying on the
    // library version's default.
    udev_monitor_set_receive_buffer_size(monitor.get(), 128 * 1024 * 1024);
    if (udev_monitor_enable_receiving(monitor.get()) < 0)
        return 1;

    // Receiving is already on: devices plugged during the import wait in the socket and
    // are handled afterwards under the imported policy.
    {
        std::lock_guard<std::mutex> busy(work_lock());
        init_policy(log, framework);
    }

    const int fd = udev_monitor_get_fd(monitor.get());
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        int ready = select(fd + 1, &readable, nullptr, nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (!FD_ISSET(fd, &readable))
            continue;
        mdm::UdevDevicePtr device(udev_monitor_receive_device(monitor.get()));
        if (device)
            handle_usb_event(state, device.get());
    }
}

void stop_monitoring() {
    work_lock().lock();  // never released: the process is ending
}

}  // namespace plugwatch
