#include "lifecycle.h"

#include <cstdio>

#include "mdm/raii.h"
#include "mdm/stop.h"

namespace stockpeers {

namespace {

struct State {
    GMainLoop* loop;
    int status = 0;
};

void on_closed(GDBusConnection*, gboolean, GError*, gpointer data) {
    auto& s = *static_cast<State*>(data);
    s.status = 1;  // restarted by systemd or activated again by the bus
    g_main_loop_quit(s.loop);
}

// Owns `name` outright, so a second instance or a refused owner ends at once with the bus's
// reason.
bool own_name(GDBusConnection* bus, const char* name, const char* program) {
    constexpr guint32 kDoNotQueue = 4;
    constexpr guint32 kPrimaryOwner = 1;
    mdm::GErrorSlot err;
    mdm::VariantPtr reply(g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", name, kDoNotQueue), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, err.out()));
    guint32 result = 0;
    if (reply)
        g_variant_get(reply.get(), "(u)", &result);
    if (result != kPrimaryOwner) {
        std::printf("%s: cannot own %s: %s\n", program, name,
                    err ? err.message() : "another process owns it");
        return false;
    }
    std::printf("%s: Acquired the name %s\n", program, name);
    return true;
}

}  // namespace

int serve(const PeerObject& object, const char* program) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    mdm::GErrorSlot err;
    mdm::GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    if (!bus) {
        std::printf("%s: no system bus: %s\n", program, err.message());
        return 1;
    }
    mdm::DBusNodeInfoPtr info(g_dbus_node_info_new_for_xml(object.xml, err.out()));
    if (!info) {
        std::printf("%s: %s\n", program, err.message());
        return 1;
    }
    const GDBusInterfaceVTable vtable{object.on_call, nullptr, nullptr, {}};
    if (g_dbus_connection_register_object(bus.get(), object.path, info->interfaces[0], &vtable,
                                          nullptr, nullptr, err.out()) == 0) {
        std::printf("%s: cannot register %s: %s\n", program, object.path, err.message());
        return 1;
    }
    mdm::MainLoopPtr loop(g_main_loop_new(nullptr, FALSE));
    State state{loop.get()};
    g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
    g_signal_connect(bus.get(), "closed", G_CALLBACK(on_closed), &state);
    // The object is there before the name, so a caller that sees the name finds it.
    if (!own_name(bus.get(), object.bus_name, program))
        return 1;
    mdm::quit_on_stop_signals(loop.get());
    g_main_loop_run(loop.get());
    g_dbus_connection_flush_sync(bus.get(), nullptr, nullptr);
    return state.status;
}

}  // namespace stockpeers
