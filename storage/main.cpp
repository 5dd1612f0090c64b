// mountwatch: announces the mounts of the desktop's volume monitor on the session bus and
// asks the plug monitor's storage service to open each new mount point up. The main loop
// and the monitor thread's loop share the default main context, so every callback runs one
// at a time and the mount list needs no lock.
#include <pthread.h>
#include <syslog.h>

#include <cstdio>
#include <exception>
#include <string>

#include <gio/gio.h>

#include "block_usb.h"
#include "mdm/raii.h"
#include "mount_list.h"
#include "storage-mount-generated.h"

using mountwatch::get_time_str;

namespace {

// The exported interface object; stays empty when the export failed, and then nothing is
// announced, since no listener could receive it.
mdm::GObjectPtr<namespaceStorageMount> mount_iface;
mountwatch::MountList* storage = nullptr;

using Emit = void (*)(namespaceStorageMount*, const gchar*, const gchar*, const gchar*,
                      const gchar*, const gchar*);

int announce(bool add, Emit emit, const std::string& pid, const std::string& vid,
             const std::string& mountpoint, const std::string& action, const std::string& time) {
    if (!mount_iface)
        return 1;
    // Bus strings must be UTF-8, and a mount point or an id need not be: such bytes are
    // announced as replacement characters rather than lose the signal.
    auto valid = [](const std::string& s) {
        return mdm::GCharPtr(g_utf8_make_valid(s.c_str(), static_cast<gssize>(s.size())));
    };
    emit(mount_iface.get(), valid(pid).get(), valid(vid).get(), valid(mountpoint).get(),
         valid(action).get(), valid(time).get());
    std::fputs(mountwatch::signal_line(add, pid, vid, mountpoint, action, time).c_str(), stdout);
    syslog(LOG_DEBUG, "%s", mountwatch::signal_log(pid, vid, mountpoint, action, time).c_str());
    return 1;
}

int emit_add_storage(const std::string& pid, const std::string& vid, const std::string& mountpoint,
                     const std::string& action, const std::string& time) {
    return announce(true, namespace_storage_mount_emit_add_storage, pid, vid, mountpoint, action,
                    time);
}

int emit_remove_storage(const std::string& pid, const std::string& vid,
                        const std::string& mountpoint, const std::string& action,
                        const std::string& time) {
    return announce(false, namespace_storage_mount_emit_remove_storage, pid, vid, mountpoint,
                    action, time);
}

int call_change_permission(const char* mountpoint) {
    // Not a bus string, and not a path the service could be asked about under another name.
    if (!g_utf8_validate(mountpoint, -1, nullptr)) {
        std::puts("the mount point is not valid UTF-8");
        return -1;
    }
    mdm::GErrorSlot err;
    mdm::GObjectPtr<GDBusConnection> conn(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    if (!conn)
        return -1;
    // The call itself is all the service needs; a proxy would only add round trips first.
    mdm::VariantPtr reply(g_dbus_connection_call_sync(
        conn.get(), "com.quorl.storage", "/com/quorl/storage", "com.quorl.storage",
        "changePermission", g_variant_new("(s)", mountpoint), G_VARIANT_TYPE("(i)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, err.out()));
    if (!reply) {
        std::printf("%s\n", err.message());
        return -1;
    }
    gint32 ret = -1;
    g_variant_get(reply.get(), "(i)", &ret);
    return ret;
}

int get_pid_vid(const char* devnode, mdm::UsbIds& ids) {
    return mdm::usb_ids_of_block_node(devnode, ids);
}

void mount_added(GMount* mount) {
    syslog(LOG_INFO, "call %s", "monitor_mount_added");
    mdm::GCharPtr name(g_mount_get_name(mount));
    mdm::GObjectPtr<GVolume> volume(g_mount_get_volume(mount));
    mdm::GObjectPtr<GFile> root(g_mount_get_root(mount));
    if (!name || !volume || !root) {
        syslog(LOG_ERR, "prase gmount error");
        return;
    }
    mdm::GCharPtr mountpoint(g_file_get_path(root.get()));
    mdm::GCharPtr devpath(
        g_volume_get_identifier(volume.get(), G_VOLUME_IDENTIFIER_KIND_UNIX_DEVICE));
    if (!mountpoint || !devpath) {
        syslog(LOG_ERR, "prase mountpoint or devpath error");
        return;
    }
    syslog(LOG_INFO, "get mountpoint %s", mountpoint.get());
    syslog(LOG_INFO, "get devpath %s", devpath.get());
    int rc = call_change_permission(mountpoint.get());
    syslog(LOG_INFO, "call_change_permission rc = %d", rc);

    mdm::UsbIds ids;
    get_pid_vid(devpath.get(), ids);
    if (!ids.found()) {
        syslog(LOG_ERR, "prase pid vid error");
        return;
    }
    syslog(LOG_INFO, "get pid %s vid %s", ids.pid, ids.vid);
    int count = storage->add(name.get(), ids.pid, ids.vid);
    std::fputs(mountwatch::mount_line(true, name.get(), ids.pid, ids.vid, mountpoint.get(),
                                      get_time_str(), count)
                   .c_str(),
               stdout);
    emit_add_storage(ids.pid, ids.vid, mountpoint.get(), "add", get_time_str());
}

void mount_removed(GMount* mount) {
    mdm::GCharPtr name(g_mount_get_name(mount));
    mdm::GObjectPtr<GFile> root(g_mount_get_root(mount));
    mdm::GCharPtr path(root ? g_file_get_path(root.get()) : nullptr);
    // A root without a local path is announced with an empty mount point.
    std::string mountpoint = path ? path.get() : "";
    std::string shown_name = name ? name.get() : "";
    std::string pid = "unkonwn", vid = "unkonwn";
    if (storage->count() > 0 && name) {
        if (auto ids = storage->take(name.get())) {
            pid = ids->pid;
            vid = ids->vid;
        }
    }
    std::fputs(mountwatch::mount_line(false, shown_name, pid, vid, mountpoint, get_time_str(),
                                      storage->count())
                   .c_str(),
               stdout);
    emit_remove_storage(pid, vid, mountpoint, "remove", get_time_str());
}

// Signal handlers are called from C: nothing may unwind through them.
void monitor_mount_added(GVolumeMonitor*, GMount* mount, gpointer) {
    try {
        mount_added(mount);
    } catch (const std::exception& e) {
        syslog(LOG_ERR, "monitor_mount_added: %s", e.what());
    }
}

void monitor_mount_removed(GVolumeMonitor*, GMount* mount, gpointer) {
    try {
        mount_removed(mount);
    } catch (const std::exception& e) {
        syslog(LOG_ERR, "monitor_mount_removed: %s", e.what());
    }
}

void* run_monitor(void*) {
    std::fputs("-------------------run_monitor--------------------\n", stdout);
    storage = new mountwatch::MountList();
    // The same default context as the main loop: this loop waits for it, and the volume
    // monitor's signals are dispatched by whichever loop holds it, one at a time.
    mdm::MainLoopPtr loop(g_main_loop_new(nullptr, FALSE));
    mdm::GObjectPtr<GVolumeMonitor> monitor(g_volume_monitor_get());
    g_signal_connect(monitor.get(), "mount-added", G_CALLBACK(monitor_mount_added), nullptr);
    g_signal_connect(monitor.get(), "mount-removed", G_CALLBACK(monitor_mount_removed), nullptr);
    // Printed once the handlers are connected: from this line on every mount is seen.
    std::puts("g_main_loop_new");
    g_main_loop_run(loop.get());
    std::puts("g_main_loop_run");
    loop.reset();
    std::puts("g_main_loop_unref");
    monitor.reset();
    std::puts("g_object_unref");
    return nullptr;
}

void on_bus_acquired(GDBusConnection* connection, const gchar*, gpointer) {
    std::fputs("Acquired a message bus connection by common way\n", stdout);
    mount_iface.reset(namespace_storage_mount_skeleton_new());
    mdm::GErrorSlot err;
    if (g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(mount_iface.get()), connection,
                                         "/com/quorl/storage/mount", err.out())) {
        std::fputs("skeleton export successfully. \n", stdout);
    } else {
        std::printf("Error: Failed to export object. Reason: %s.\n", err.message());
        mount_iface.reset();
    }
    // The handle is not kept: the thread runs for the life of the process.
    pthread_t thread;
    pthread_create(&thread, nullptr, run_monitor, nullptr);
}

void on_name_acquired(GDBusConnection*, const gchar* name, gpointer) {
    std::printf("Acquired the name %s\n", name);
}

void on_name_lost(GDBusConnection*, const gchar* name, gpointer) {
    std::printf("Lost the name %s\n", name);
}

void run_dbus_daemon() {
    std::fputs("-------------------run_dbus_daemon--------------------\n", stdout);
    mdm::MainLoopPtr loop(g_main_loop_new(nullptr, FALSE));
    guint owner =
        g_bus_own_name(G_BUS_TYPE_SESSION, "com.quorl.storage.mount", G_BUS_NAME_OWNER_FLAGS_NONE,
                       on_bus_acquired, on_name_acquired, on_name_lost, loop.get(), nullptr);
    g_main_loop_run(loop.get());
    std::puts("dbus g_main_loop_run");
    g_bus_unown_name(owner);
    loop.reset();
    std::puts("dbus g_main_loop_unref");
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    run_dbus_daemon();
    return 0;
}
