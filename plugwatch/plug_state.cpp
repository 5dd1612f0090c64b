#include "plug_state.h"

#include <syslog.h>

#include <cstdlib>

#include "announce.h"
#include "category.h"
#include "mdm/text.h"
#include "perm/device_perm.h"
#include "records.h"

namespace plugwatch {
namespace {

// printf("%s", NULL) prints "(null)"; the diagnostic lines keep that form.
const char* shown(const std::optional<std::string>& v) {
    return v ? v->c_str() : "(null)";
}

// A device's own text as the diagnostic lines show it.
std::string shown_safe(const std::optional<std::string>& v) {
    return mdm::escape_ascii_controls(shown(v));
}

std::string_view or_null(const std::optional<std::string>& v) {
    return v ? std::string_view(*v) : std::string_view("null");
}

std::string devpath_key(std::string_view devpath) {
    return std::string(mdm::utf8_prefix(devpath, kDevpathMax));
}

// The counter of a category, for a record or a snapshot of one.
template <class Info>
auto& counter_of(Info& d, Category c) {
    switch (c) {
        case Category::Storage:
            return d.storageCounter;
        case Category::VendorSpec:
            return d.vendorspecCounter;
        case Category::NonStorage:
            break;
    }
    return d.nostorageCounter;
}

UsbNotificationInfo new_device(const InterfaceEvent& e) {
    UsbNotificationInfo d{};
    mdm::copy_field(d.pid, or_null(e.id_product));
    mdm::copy_field(d.vid, or_null(e.id_vendor));
    mdm::copy_field(d.product, or_null(e.product));
    mdm::copy_field(d.manufacturer, or_null(e.manufacturer));
    mdm::copy_field(d.serial, or_null(e.serial));
    // strtol skips the leading blanks sysfs puts before the number.
    d.numInterface = static_cast<int32_t>(std::strtol(e.num_interfaces->c_str(), nullptr, 10));
    return d;
}

}  // namespace

std::string trim_attribute(std::string_view raw) {
    raw = raw.substr(0, raw.find('\0'));
    while (!raw.empty() && (raw.back() == '\n' || raw.back() == '\r'))
        raw.remove_suffix(1);
    return std::string(raw);
}

std::string parent_devpath(std::string_view devpath) {
    const std::size_t slash = devpath.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return {};
    return std::string(devpath.substr(0, slash));
}

void PlugState::handle(const InterfaceEvent& event) {
    if (event.subsystem != "usb")
        return;
    if (event.action == "add") {
        on_add(event);
    } else if (event.action == "remove") {
        on_remove(event.devpath);
    }
}

// The log lines here are the system's own texts, read by the sites' log tooling: the
// full-width colons, the trailing " \n", "No found relative information" and "Invalid memory
// reference..." stay exactly as they are.
void PlugState::on_add(const InterfaceEvent& e) {
    s_.log.write(LOG_DEBUG, format("devpath：%s", shown(e.devpath)));
    s_.log.write(LOG_DEBUG, format("bInterfaceClass：%s", shown(e.interface_class)));
    if (!e.devpath || !e.interface_class || !e.num_interfaces) {
        s_.log.write(
            LOG_DEBUG,
            format("Invalid memory reference... devpath=%s, bInterfaceClass=%s, "
                   "idProduct=%s, idVendor=%s, product=%s, manufacturer=%s, "
                   "bNumInterfaces=%s",
                   shown(e.devpath), shown(e.interface_class), shown_safe(e.id_product).c_str(),
                   shown_safe(e.id_vendor).c_str(), shown_safe(e.product).c_str(),
                   shown_safe(e.manufacturer).c_str(), shown_safe(e.num_interfaces).c_str()));
        return;
    }
    const std::string pid(or_null(e.id_product));
    const std::string vid(or_null(e.id_vendor));
    s_.log.write(LOG_DEBUG, format("idProduct：%s, idVendor：%s, product：%s, manufacturer：%s, "
                                   "numInterface：%s",
                                   mdm::escape_ascii_controls(pid).c_str(),
                                   mdm::escape_ascii_controls(vid).c_str(),
                                   mdm::escape_ascii_controls(or_null(e.product)).c_str(),
                                   mdm::escape_ascii_controls(or_null(e.manufacturer)).c_str(),
                                   mdm::escape_ascii_controls(*e.num_interfaces).c_str()));

    const std::string parent = devpath_key(e.parent_devpath.value_or(""));
    auto found = notifytable_.find(parent);
    if (found == notifytable_.end()) {
        s_.log.write(LOG_DEBUG, format("insert %s", parent.c_str()));
        found = notifytable_.emplace(parent, new_device(e)).first;
        s_.log.write(LOG_DEBUG, format("Size of hash notifytable: %d \n",
                                       static_cast<int>(notifytable_.size())));
    }
    UsbNotificationInfo& d = found->second;

    Category c = category_of_class(*e.interface_class);
    ++counter_of(d, c);
    ++d.sumCounter;
    s_.log.write(
        LOG_DEBUG,
        format("Usb notification info：pid：%s, vid：%s, product：%s, manufacturer：%s, "
               "numInterface：%d, storageCounter：%d, nostorageCounter：%d, "
               "vendorspecCounter：%d, sumCounter：%d\n",
               mdm::escape_ascii_controls(d.pid).c_str(), mdm::escape_ascii_controls(d.vid).c_str(),
               mdm::escape_ascii_controls(d.product).c_str(),
               mdm::escape_ascii_controls(d.manufacturer).c_str(), d.numInterface, d.storageCounter,
               d.nostorageCounter, d.vendorspecCounter, d.sumCounter));
    const UsbNotificationInfo snapshot = d;

    const std::string devpath = devpath_key(*e.devpath);
    UsbInterfaceInfo info{};
    mdm::copy_field(info.interface_class, *e.interface_class);
    mdm::copy_field(info.parent_devpath, parent);
    interfacetable_.insert_or_assign(devpath, info);
    s_.log.write(LOG_DEBUG,
                 format("Size of hash table: %d \n", static_cast<int>(interfacetable_.size())));

    if (snapshot.numInterface != snapshot.sumCounter) {
        s_.log.write(LOG_INFO, format("bNumInterfaces：%d, Counter：%d", snapshot.numInterface,
                                      snapshot.sumCounter));
        return;
    }
    announce(snapshot, d, devpath, info.interface_class);
}

void PlugState::announce(const UsbNotificationInfo& snapshot, UsbNotificationInfo& d,
                         const std::string& devpath, const std::string& interface_class) {
    s_.log.write(LOG_INFO, "插入通知开始");
    for (Category c : kAnnounceOrder) {
        if (counter_of(snapshot, c) <= 0)
            continue;
        int subtype = usb_subtype_of(c);
        int perm = mdm::perm::get_device_perm(subtype, d.pid, d.vid, s_.framework, s_.log);
        s_.log.write(LOG_DEBUG, discovery_line(c, mdm::escape_ascii_controls(d.pid),
                                               mdm::escape_ascii_controls(d.vid), perm));
        // Every category carries the class and devpath of the interface that completed
        // the count, as the management client has always received them.
        notify_device_state(s_, subtype, devpath, d.pid, d.vid, d.manufacturer, d.product, perm,
                            d.serial, interface_class);
        counter_of(d, c) = 0;
    }
    s_.log.write(LOG_INFO, "插入通知结束");
}

void PlugState::on_remove(const std::optional<std::string>& raw_devpath) {
    if (!raw_devpath) {
        s_.log.write(LOG_DEBUG, "Invalid memory reference... devpath=(null)");
        return;
    }
    s_.log.write(LOG_DEBUG, format("设备移除 devpath：%s", raw_devpath->c_str()));
    const std::string devpath = devpath_key(*raw_devpath);
    auto iface = interfacetable_.find(devpath);
    if (iface == interfacetable_.end()) {
        s_.log.write(LOG_DEBUG, "Usb interface info is null\n");
        return;
    }
    auto device = notifytable_.find(iface->second.parent_devpath);
    if (device == notifytable_.end()) {
        s_.log.write(LOG_DEBUG, "No found relative information");
        interfacetable_.erase(iface);
        return;
    }
    UsbNotificationInfo& d = device->second;
    --d.sumCounter;
    const std::string interface_class = iface->second.interface_class;
    int32_t& counter = counter_of(d, category_of_class(interface_class));
    // One unplug record per category: the first removal in it marks it with -1.
    if (counter != -1) {
        counter = -1;
        s_.log.write(LOG_INFO, "拔出通知开始");
        usb_storage_plug(s_, d.pid, d.vid, d.product, d.manufacturer, devpath, 1, interface_class,
                         d.serial, -1);
        s_.peers.logging("usb-monitor", "info", unplug_audit_text(devpath));
        s_.log.write(LOG_INFO, "拔出通知结束");
    }
    if (d.sumCounter == 0)
        notifytable_.erase(device);
    interfacetable_.erase(iface);
    s_.log.write(LOG_DEBUG, format("Now size of hash notifytable: %d \n",
                                   static_cast<int>(notifytable_.size())));
    s_.log.write(LOG_DEBUG,
                 format("Now size of hash table: %d \n", static_cast<int>(interfacetable_.size())));
}

}  // namespace plugwatch
