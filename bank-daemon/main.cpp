// bankguard: the bank device lists and statuses on the system bus.
#include <cstdio>

#include <gio/gio.h>

#include "mdm/raii.h"
#include "mdm/stop.h"
#include "service.h"

namespace {

void on_bus_acquired(GDBusConnection* connection, const gchar*, gpointer data) {
    std::printf("Acquired a message bus connection by server manager way\n");
    static_cast<bankguard::Service*>(data)->start(connection);
}

void on_name_acquired(GDBusConnection*, const gchar* name, gpointer) {
    std::printf("Acquired the name %s\n", name);
}

// Losing the name does not end the daemon; it keeps running until it is stopped.
void on_name_lost(GDBusConnection*, const gchar* name, gpointer) {
    std::printf("Lost the name %s\n", name);
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    mdm::MainLoopPtr loop(g_main_loop_new(nullptr, FALSE));
    bankguard::Service service;
    guint owner =
        g_bus_own_name(G_BUS_TYPE_SYSTEM, "com.quorl.bankingdevctl", G_BUS_NAME_OWNER_FLAGS_NONE,
                       on_bus_acquired, on_name_acquired, on_name_lost, &service, nullptr);
    mdm::quit_on_stop_signals(loop.get());
    g_main_loop_run(loop.get());
    g_bus_unown_name(owner);
    return 0;
}
