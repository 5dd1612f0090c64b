// bankguard: the bank device lists and statuses on the system bus.
#include <cstdio>

#include <gio/gio.h>

#include "mdm/bus_names.h"
#include "mdm/daemon.h"
#include "service.h"

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    bankguard::Service service;
    mdm::Daemon daemon(
        {.bus = G_BUS_TYPE_SYSTEM,
         .name = mdm::bus::kBank.name,
         .bus_acquired_banner = "Acquired a message bus connection by server manager way\n",
         .on_bus_acquired = [&service](GDBusConnection* c) { service.start(c); }});
    return daemon.run();
}
