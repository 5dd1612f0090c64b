#include "device_perm.h"

#include <syslog.h>

#include <cstdio>

namespace plugwatch {

int get_device_perm(int usb_subtype, std::string_view pid, std::string_view vid,
                    const mdm::tarvex::Functions& framework, Log& log) {
    int result = 1;
    if (usb_subtype != 0) {
        // An empty class table still lets a per-device entry decide: otherwise a device the
        // framework denies would be announced to the user and the client as enabled.
        auto classes = mdm::tarvex::read_class_table(framework);
        for (const auto& entry : classes) {
            log.write(LOG_INFO, format("type：%d usb_subtype：%d perm：%d", entry.type,
                                       entry.usb_subtype, entry.perm));
            if (entry.usb_subtype == usb_subtype) {
                result = entry.perm;
                break;
            }
        }
    }
    auto devices = mdm::tarvex::read_device_table(framework);
    for (const auto& entry : devices) {
        char entry_pid[16];
        char entry_vid[16];
        std::snprintf(entry_pid, sizeof entry_pid, "%04x", entry.pid);
        std::snprintf(entry_vid, sizeof entry_vid, "%04x", entry.vid);
        log.write(LOG_DEBUG, format("pid：%s vid：%s perm：%d", entry_pid, entry_vid, entry.perm));
        if (pid == entry_pid && vid == entry_vid)
            return entry.perm;
    }
    return result;
}

}  // namespace plugwatch
