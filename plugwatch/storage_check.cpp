#include "storage_check.h"

#include "mdm/text.h"

namespace plugwatch {

namespace {

StorageVerdict refuse(std::string reason) {
    return StorageVerdict{false, std::move(reason), {}};
}

}  // namespace

StorageVerdict check_usb_mount_point(std::string_view path, const StorageLookups& lookups) {
    if (path.empty() || path.front() != '/')
        return refuse("not an absolute path");
    if (mdm::has_control_byte(path))
        return refuse("control characters in the path");
    std::string given(path);
    // Only the path exactly as the mount table names it: a symlink, a "..", a double or a
    // trailing slash would let the caller point somewhere the checks below never saw.
    auto canonical = lookups.canonical(given);
    if (!canonical)
        return refuse("no such path");
    if (*canonical != given)
        return refuse("not a canonical path");
    auto source = lookups.mount_source(given);
    if (!source)
        return refuse("not a mount point");
    if (!source->starts_with("/dev/"))
        return refuse("not mounted from a block device");
    auto ids = lookups.usb_ids(*source);
    if (!ids || ids->pid.empty() || ids->vid.empty())
        return refuse("not on a USB mass-storage device");
    return StorageVerdict{true, {}, *ids};
}

StorageVerdict check_usb_mount_of(std::string_view path, std::string_view pid, std::string_view vid,
                                  const StorageLookups& lookups) {
    StorageVerdict v = check_usb_mount_point(path, lookups);
    if (v.allowed && (v.ids.pid != pid || v.ids.vid != vid))
        return refuse("the device has other ids");
    return v;
}

}  // namespace plugwatch
