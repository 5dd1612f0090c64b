// plugwatch: the USB plug monitor. The main thread owns "com.quorl.storage" and serves the
// storage object under it; the monitor thread, started once the system bus connection
// exists, does all device work.
#include <pthread.h>
#include <syslog.h>

#include <cstdio>

#include <gio/gio.h>

#include "mdm/raii.h"
#include "mdm/stop.h"

#include "monitor.h"
#include "storage_service.h"

namespace {

void* monitor_thread(void*) {
    try {
        plugwatch::udev_daemon();
    } catch (...) {
        // Monitoring ends; the process keeps its name, as after any set-up failure.
    }
    return nullptr;
}

void on_bus_acquired(GDBusConnection* connection, const gchar*, gpointer) {
    // Exported from the main thread, so its calls are served on the main loop and never
    // wait for, or hold up, the monitor thread.
    plugwatch::export_storage_service(connection);
    // The handle is not kept: the thread runs for the life of the process.
    pthread_t thread;
    pthread_create(&thread, nullptr, monitor_thread, nullptr);
}

void on_name_acquired(GDBusConnection*, const gchar* name, gpointer) {
    std::printf("Acquired the name %s\n", name);
}

void on_name_lost(GDBusConnection*, const gchar* name, gpointer) {
    std::printf("Lost the name %s\n", name);
}

void run_dbus_daemon() {
    syslog(LOG_INFO, "----------run_dbus_daemon----------");
    mdm::MainLoopPtr loop(g_main_loop_new(nullptr, FALSE));
    // No flags: another owner is never replaced, and this one never yields.
    guint owner =
        g_bus_own_name(G_BUS_TYPE_SYSTEM, "com.quorl.storage", G_BUS_NAME_OWNER_FLAGS_NONE,
                       on_bus_acquired, on_name_acquired, on_name_lost, loop.get(), nullptr);
    mdm::quit_on_stop_signals(loop.get());
    g_main_loop_run(loop.get());
    g_bus_unown_name(owner);
    // The event in hand is finished; no other is begun.
    plugwatch::stop_monitoring();
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    run_dbus_daemon();
    return 0;
}
