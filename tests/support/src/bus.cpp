#include "mdmtest/support.h"

namespace mdmtest {

CallResult call_bus(GBusType bus, const std::string& dest, const std::string& path,
                    const std::string& iface, const std::string& method, GVariant* args,
                    int timeout_ms) {
    CallResult result;
    mdm::GErrorSlot err;
    mdm::GCharPtr address(g_dbus_address_get_for_bus_sync(bus, nullptr, err.out()));
    mdm::GObjectPtr<GDBusConnection> conn;
    if (address) {
        conn.reset(g_dbus_connection_new_for_address_sync(
            address.get(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, err.out()));
    }
    if (!conn) {
        if (args)
            g_variant_unref(g_variant_ref_sink(args));
        result.error = err.message();
        return result;
    }
    result.reply.reset(g_dbus_connection_call_sync(
        conn.get(), dest.c_str(), path.c_str(), iface.c_str(), method.c_str(), args, nullptr,
        G_DBUS_CALL_FLAGS_NONE, timeout_ms, nullptr, err.out()));
    if (!result.reply) {
        mdm::GCharPtr remote(g_dbus_error_get_remote_error(err.get()));
        if (remote)
            result.error_name = remote.get();
        result.error = err.message();
    }
    g_dbus_connection_close_sync(conn.get(), nullptr, nullptr);
    return result;
}

bool name_has_owner(GBusType bus, const std::string& name) {
    auto r = call_bus(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      "NameHasOwner", g_variant_new("(s)", name.c_str()));
    if (!r.ok())
        return false;
    gboolean has = FALSE;
    g_variant_get(r.reply.get(), "(b)", &has);
    return has;
}

bool wait_name(GBusType bus, const std::string& name, std::chrono::milliseconds timeout) {
    return eventually([&] { return name_has_owner(bus, name); }, timeout);
}

}  // namespace mdmtest
