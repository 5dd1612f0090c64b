// mountwatch: announces the mounts of the desktop's volume monitor on the session bus and
// asks the plug monitor's storage service to open each new mount point up. The volume
// monitor's signals are dispatched by the main loop, one at a time, so the mount list needs
// no lock.
#include <syslog.h>

#include <cstdio>
#include <exception>
#include <string>

#include <gio/gio.h>

#include "mdm/block_usb.h"
#include "mdm/bus_names.h"
#include "mdm/daemon.h"
#include "mdm/raii_glib.h"
#include "mount_list.h"
#include "storage-mount-generated.h"

using mountwatch::get_time_str;

namespace {

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
        conn.get(), mdm::bus::kStorage.name, mdm::bus::kStorage.path, mdm::bus::kStorage.interface,
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

class MountWatch {
  public:
    int run() {
        std::fputs("-------------------run_dbus_daemon--------------------\n", stdout);
        return daemon_.run();
    }
    ~MountWatch() { stop_monitor(); }

  private:
    using Emit = void (*)(namespaceStorageMount*, const gchar*, const gchar*, const gchar*,
                          const gchar*, const gchar*);

    void on_bus_acquired(GDBusConnection* connection);
    void run_monitor();
    void stop_monitor();
    void mount_added(GMount* mount);
    void mount_removed(GMount* mount);
    void announce(bool add, Emit emit, const std::string& pid, const std::string& vid,
                  const std::string& mountpoint, const std::string& action,
                  const std::string& time);
    static void monitor_mount_added(GVolumeMonitor*, GMount* mount, gpointer self);
    static void monitor_mount_removed(GVolumeMonitor*, GMount* mount, gpointer self);

    // The exported interface object; stays empty when the export failed, and then nothing
    // is announced, since no listener could receive it.
    mdm::GObjectPtr<namespaceStorageMount> mount_iface_;
    mountwatch::MountList storage_;
    mdm::GObjectPtr<GVolumeMonitor> monitor_;
    mdm::Daemon daemon_{{.bus = G_BUS_TYPE_SESSION,
                         .name = mdm::bus::kStorageMount.name,
                         // Worded as readers of the output expect it.
                         .bus_acquired_banner = "Acquired a message bus connection by common way\n",
                         .on_bus_acquired = [this](GDBusConnection* c) { on_bus_acquired(c); }}};
};

void MountWatch::announce(bool add, Emit emit, const std::string& pid, const std::string& vid,
                          const std::string& mountpoint, const std::string& action,
                          const std::string& time) {
    if (!mount_iface_)
        return;
    // Bus strings must be UTF-8, and a mount point or an id need not be: such bytes are
    // announced as replacement characters rather than lose the signal.
    auto valid = [](const std::string& s) {
        return mdm::GCharPtr(g_utf8_make_valid(s.c_str(), static_cast<gssize>(s.size())));
    };
    emit(mount_iface_.get(), valid(pid).get(), valid(vid).get(), valid(mountpoint).get(),
         valid(action).get(), valid(time).get());
    std::fputs(mountwatch::signal_line(add, pid, vid, mountpoint, action, time).c_str(), stdout);
    syslog(LOG_DEBUG, "%s", mountwatch::signal_log(pid, vid, mountpoint, action, time).c_str());
}

void MountWatch::mount_added(GMount* mount) {
    // "prase" below is the fixed log text's own spelling.
    syslog(LOG_INFO, "call %s", "monitor_mount_added");
    mdm::GCharPtr name(g_mount_get_name(mount));
    mdm::GObjectPtr<GVolume> volume(g_mount_get_volume(mount));
    mdm::GObjectPtr<GFile> root(g_mount_get_root(mount));
    if (!name || !volume || !root) {
        // "prase", "unkonwn" and the full-width comma of the printed lines are the texts
        // listeners and log readers already match: keep them as they are.
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
    syslog(LOG_INFO, "get pid %s vid %s", ids.pid.c_str(), ids.vid.c_str());
    int count = storage_.add(name.get(), ids.pid, ids.vid);
    std::fputs(mountwatch::mount_line(true, name.get(), ids.pid, ids.vid, mountpoint.get(),
                                      get_time_str(), count)
                   .c_str(),
               stdout);
    announce(true, namespace_storage_mount_emit_add_storage, ids.pid, ids.vid, mountpoint.get(),
             "add", get_time_str());
}

void MountWatch::mount_removed(GMount* mount) {
    mdm::GCharPtr name(g_mount_get_name(mount));
    mdm::GObjectPtr<GFile> root(g_mount_get_root(mount));
    mdm::GCharPtr path(root ? g_file_get_path(root.get()) : nullptr);
    // A root without a local path is announced with an empty mount point.
    std::string mountpoint = path ? path.get() : "";
    std::string shown_name = name ? name.get() : "";
    std::string pid = "unkonwn", vid = "unkonwn";
    if (storage_.count() > 0 && name) {
        if (auto ids = storage_.take(name.get())) {
            pid = ids->pid;
            vid = ids->vid;
        }
    }
    std::fputs(mountwatch::mount_line(false, shown_name, pid, vid, mountpoint, get_time_str(),
                                      storage_.count())
                   .c_str(),
               stdout);
    announce(false, namespace_storage_mount_emit_remove_storage, pid, vid, mountpoint, "remove",
             get_time_str());
}

// Signal handlers are called from C: nothing may unwind through them.
void MountWatch::monitor_mount_added(GVolumeMonitor*, GMount* mount, gpointer self) {
    try {
        static_cast<MountWatch*>(self)->mount_added(mount);
    } catch (const std::exception& e) {
        syslog(LOG_ERR, "monitor_mount_added: %s", e.what());
    }
}

void MountWatch::monitor_mount_removed(GVolumeMonitor*, GMount* mount, gpointer self) {
    try {
        static_cast<MountWatch*>(self)->mount_removed(mount);
    } catch (const std::exception& e) {
        syslog(LOG_ERR, "monitor_mount_removed: %s", e.what());
    }
}

// The volume monitor is watched from the main loop: a thread of its own would only wait for
// the one default context both would share.
void MountWatch::run_monitor() {
    std::fputs("-------------------run_monitor--------------------\n", stdout);
    monitor_.reset(g_volume_monitor_get());
    g_signal_connect(monitor_.get(), "mount-added", G_CALLBACK(monitor_mount_added), this);
    g_signal_connect(monitor_.get(), "mount-removed", G_CALLBACK(monitor_mount_removed), this);
    // Printed once the handlers are connected: from this line on every mount is seen.
    std::puts("g_main_loop_new");
}

void MountWatch::stop_monitor() {
    if (!monitor_)
        return;
    g_signal_handlers_disconnect_by_data(monitor_.get(), this);
    std::puts("g_main_loop_run");
    std::puts("g_main_loop_unref");
    monitor_.reset();
    std::puts("g_object_unref");
}

void MountWatch::on_bus_acquired(GDBusConnection* connection) {
    mount_iface_.reset(namespace_storage_mount_skeleton_new());
    mdm::GErrorSlot err;
    if (g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(mount_iface_.get()), connection,
                                         mdm::bus::kStorageMount.path, err.out())) {
        std::fputs("skeleton export successfully. \n", stdout);
    } else {
        std::printf("Error: Failed to export object. Reason: %s.\n", err.message());
        mount_iface_.reset();
    }
    run_monitor();
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int status;
    {
        MountWatch watch;
        status = watch.run();
        std::puts("dbus g_main_loop_run");
    }
    std::puts("dbus g_main_loop_unref");
    return status;
}
