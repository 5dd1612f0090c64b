#include "storage_service.h"

#include <syslog.h>

#include <climits>
#include <cstdlib>
#include <exception>
#include <string>

#include "mdm/block_usb.h"
#include "mdm/bus_errors.h"
#include "mdm/bus_names.h"
#include "mdm/raii_glib.h"
#include "mdm/raii_mount.h"
#include "mdm/text.h"
#include "periphcore/switching.h"
#include "storage-generated.h"
#include "storage_check.h"

namespace plugwatch {

namespace {

std::optional<std::string> canonical_path(const std::string& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return std::nullopt;
    return std::string(resolved);
}

std::optional<std::string> mount_source(const std::string& target) {
    mdm::MntTablePtr table(mnt_new_table_from_file("/proc/self/mountinfo"));
    if (!table)
        return std::nullopt;
    // Backwards: the last mount on a target is the one visible there.
    mdm::MntIterPtr iter(mnt_new_iter(MNT_ITER_BACKWARD));
    struct libmnt_fs* fs = nullptr;
    while (iter && mnt_table_next_fs(table.get(), iter.get(), &fs) == 0) {
        const char* fs_target = mnt_fs_get_target(fs);
        if (fs_target && target == fs_target) {
            const char* source = mnt_fs_get_source(fs);
            return std::string(source ? source : "");
        }
    }
    return std::nullopt;
}

std::optional<UsbPair> usb_ids(const std::string& node) {
    mdm::UsbIds ids;
    if (mdm::usb_ids_of_block_node(node.c_str(), ids) != 0 || !ids.found())
        return std::nullopt;
    return ids;
}

const StorageLookups& system_lookups() {
    static const StorageLookups lookups{canonical_path, mount_source, usb_ids};
    return lookups;
}

int refused(const char* method, const char* path, const StorageVerdict& v) {
    if (!mdm::has_control_byte(path))
        syslog(LOG_INFO, "%s %s refused: %s", method, path, v.reason.c_str());
    else
        syslog(LOG_INFO, "%s refused: %s", method, v.reason.c_str());
    return -1;
}

int change_permission_request(const char* path) {
    StorageVerdict v = check_usb_mount_point(path, system_lookups());
    if (!v.allowed)
        return refused("changePermission", path, v);
    int rc = change_permission(path);
    syslog(LOG_INFO, "changePermission %s: rc = %d", path, rc);
    return rc;
}

int romount_request(const char* path, const char* pid, const char* vid) {
    StorageVerdict v = check_usb_mount_of(path, pid, vid, system_lookups());
    if (!v.allowed)
        return refused("romountStorage", path, v);
    int rc = ReadOnly(path);
    syslog(LOG_INFO, "romountStorage %s: rc = %d", path, rc);
    return rc;
}

gboolean on_change_permission(namespaceStorage* object, GDBusMethodInvocation* invocation,
                              const gchar* mountpoint, gpointer) {
    try {
        namespace_storage_complete_change_permission(object, invocation,
                                                     change_permission_request(mountpoint));
    } catch (...) {
        mdm::return_current_exception(invocation);
    }
    return TRUE;
}

gboolean on_romount_storage(namespaceStorage* object, GDBusMethodInvocation* invocation,
                            const gchar* path, const gchar* pid, const gchar* vid, gpointer) {
    try {
        namespace_storage_complete_romount_storage(object, invocation,
                                                   romount_request(path, pid, vid));
    } catch (...) {
        mdm::return_current_exception(invocation);
    }
    return TRUE;
}

}  // namespace

void StorageService::export_on(GDBusConnection* connection) {
    if (object_)
        return;
    object_.reset(namespace_storage_skeleton_new());
    g_signal_connect(object_.get(), "handle-change-permission", G_CALLBACK(on_change_permission),
                     nullptr);
    g_signal_connect(object_.get(), "handle-romount-storage", G_CALLBACK(on_romount_storage),
                     nullptr);
    mdm::GErrorSlot err;
    if (!g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(object_.get()), connection,
                                          mdm::bus::kStorage.path, err.out())) {
        syslog(LOG_ERR, "storage object not exported: %s", err.message());
        object_.reset();
    }
}

StorageService::~StorageService() {
    if (object_)
        g_dbus_interface_skeleton_unexport(G_DBUS_INTERFACE_SKELETON(object_.get()));
}

}  // namespace plugwatch
