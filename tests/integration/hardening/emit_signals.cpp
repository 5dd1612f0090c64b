// mdm-emit-signals PATH IFACE.MEMBER...: emits each signal, in order, on one connection to the
// system bus, each with one text argument; tests run it as another user to forge signals.
#include <cstdio>
#include <string>

#include <gio/gio.h>

#include "mdm/raii_glib.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: mdm-emit-signals PATH IFACE.MEMBER...\n");
        return 2;
    }
    mdm::GErrorSlot err;
    mdm::GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    if (!bus) {
        std::fprintf(stderr, "system bus: %s\n", err.message());
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        std::string name = argv[i];
        auto dot = name.rfind('.');
        if (dot == std::string::npos)
            return 2;
        std::string iface = name.substr(0, dot), member = name.substr(dot + 1);
        // A refused signal is dropped by the bus without an answer: sending succeeds either way.
        if (!g_dbus_connection_emit_signal(bus.get(), nullptr, argv[1], iface.c_str(),
                                           member.c_str(), g_variant_new("(s)", "forged"),
                                           err.out())) {
            std::fprintf(stderr, "emit %s: %s\n", argv[i], err.message());
            return 1;
        }
    }
    return g_dbus_connection_flush_sync(bus.get(), nullptr, nullptr) ? 0 : 1;
}
