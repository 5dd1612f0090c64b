// Network cards are switched as a class through the security framework, not through sysfs.
#include "periphcore/netcard.h"

#include <gio/gio.h>

#include "mdm/raii_glib.h"
#include "tarvex/adapter.h"
#include "tarvex/linked.h"

namespace periphcore::netcard {

namespace {

constexpr int kNetCardType = 7;
constexpr int kAllow = 1;
constexpr int kDeny = 2;

// The class entry of network cards: update first, add when the update fails. 0 when the
// update succeeded, otherwise the add's result.
int set_net_card_perm(const mdm::tarvex::Functions& fns, int perm) {
    tarvex_devctl_info rec = mdm::tarvex::class_record(kNetCardType, 0, perm);
    auto answers = mdm::tarvex::write_class_entry(fns, rec);
    return *answers.update == 0 ? 0 : *answers.add;
}

const mdm::tarvex::Functions& framework() {
    static const mdm::tarvex::Functions fns = mdm::tarvex::linked_functions();
    return fns;
}

constexpr const char* kNmName = "org.freedesktop.NetworkManager";

// One call on the shared system bus connection; null when it fails for any reason.
mdm::VariantPtr call_nm(GDBusConnection* bus, const char* path, const char* iface,
                        const char* method, GVariant* args, const GVariantType* reply_type) {
    return mdm::VariantPtr(g_dbus_connection_call_sync(bus, kNmName, path, iface, method, args,
                                                       reply_type, G_DBUS_CALL_FLAGS_NONE, -1,
                                                       nullptr, nullptr));
}

// 0 is NetworkManager's "unknown" type: what the caller gets when no type can be read.
int interface_type(const char* name) {
    if (!name)
        return 0;
    mdm::GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr));
    if (!bus)
        return 0;
    mdm::VariantPtr device =
        call_nm(bus.get(), "/org/freedesktop/NetworkManager", kNmName, "GetDeviceByIpIface",
                g_variant_new("(s)", name), G_VARIANT_TYPE("(o)"));
    if (!device)
        return 0;
    const gchar* path = nullptr;
    g_variant_get(device.get(), "(&o)", &path);
    mdm::VariantPtr reply =
        call_nm(bus.get(), path, "org.freedesktop.DBus.Properties", "Get",
                g_variant_new("(ss)", "org.freedesktop.NetworkManager.Device", "DeviceType"),
                G_VARIANT_TYPE("(v)"));
    if (!reply)
        return 0;
    mdm::VariantPtr value(g_variant_get_child_value(reply.get(), 0));
    mdm::VariantPtr inner(g_variant_get_variant(value.get()));
    if (!g_variant_is_of_type(inner.get(), G_VARIANT_TYPE_UINT32))
        return 0;
    return static_cast<int>(g_variant_get_uint32(inner.get()));
}

}  // namespace

}  // namespace periphcore::netcard

namespace nc = periphcore::netcard;

extern "C" {

int disable_acpi_net_card(void) {
    try {
        return nc::set_net_card_perm(nc::framework(), nc::kDeny);
    } catch (...) {
        return -1;
    }
}

int enable_net_card(void) {
    try {
        return nc::set_net_card_perm(nc::framework(), nc::kAllow);
    } catch (...) {
        return -1;
    }
}

int disable_usb_net_card(void) {
    return 0;
}

int get_interface_type(const char* interface_name) {
    try {
        return nc::interface_type(interface_name);
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
