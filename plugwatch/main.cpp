// plugwatch: the USB plug monitor. The main thread owns "com.quorl.storage" and serves the
// storage object under it; the monitor thread, started once the system bus connection
// exists, does all device work.
#include <malloc.h>
#include <syslog.h>

#include <cstdio>

#include <gio/gio.h>

#include "mdm/bus_names.h"
#include "mdm/daemon.h"

#include "monitor.h"
#include "storage_service.h"

namespace {

class Plugwatch {
  public:
    int run() {
        syslog(LOG_INFO, "----------run_dbus_daemon----------");
        return daemon_.run();
    }

  private:
    void on_bus_acquired(GDBusConnection* connection) {
        // Exported from the main thread, so its calls are served on the main loop and never
        // wait for, or hold up, the monitor thread.
        storage_.export_on(connection);
        daemon_.start_worker("udev monitor", [this](mdm::Worker& w) { monitor_.run(w); });
    }

    plugwatch::StorageService storage_;
    plugwatch::Monitor monitor_;
    // Last: destroyed first, so the monitor thread is joined before what it uses goes.
    mdm::Daemon daemon_{{.bus = G_BUS_TYPE_SYSTEM,
                         .name = mdm::bus::kStorage.name,
                         .on_bus_acquired = [this](GDBusConnection* c) { on_bus_acquired(c); }}};
};

}  // namespace

int main() {
    // Set before any thread starts. One arena: the threads take turns anyway (the monitor
    // thread waits on the bus thread for every call), and an arena per thread cost more
    // than all of plugwatch's own data. A fixed mmap threshold: large blocks (a framework
    // table snapshot) go back to the system when freed instead of raising the threshold and
    // leaving the next ones in the heap for good.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return Plugwatch().run();
}
