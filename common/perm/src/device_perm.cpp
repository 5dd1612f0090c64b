#include "perm/device_perm.h"

#include <syslog.h>

#include <cstdio>
#include <optional>

#include "mdm/permissions.h"
#include "mdm/text.h"
#include "mdm/usb_id.h"

namespace mdm::perm {

int get_device_perm(int usb_subtype, std::string_view pid, std::string_view vid,
                    const mdm::tarvex::Functions& framework, Log& log) {
    int result = kPermEnabled;
    if (usb_subtype != kSubtypeNonStorage) {
        // An empty class table still lets a per-device entry decide: otherwise a device the
        // framework denies would be announced to the user and the client as enabled.
        auto classes = mdm::tarvex::read_class_table(framework);
        for (const auto& entry : classes) {
            log.write(LOG_INFO, mdm::format("type：%d usb_subtype：%d perm：%d", entry.type,
                                            entry.usb_subtype, entry.perm));
            if (entry.usb_subtype == usb_subtype) {
                result = entry.perm;
                break;
            }
        }
    }
    // Compared as numbers, and only the deciding entry logged: rendering and logging every
    // entry made each plug cost a log line per entry of a table an administrator can make
    // long.
    // Texts that no "%04x" renders (upper case, too short, ...) can match no entry.
    auto want_pid = parse_rendered_hex(pid), want_vid = parse_rendered_hex(vid);
    if (!want_pid || !want_vid)
        return result;
    // Entries are keyed by the ids, so the keyed lookup finds the one entry the pass would;
    // it spares each plug a pass over a table an administrator can make long.
    if (framework.read_special_perm) {
        int32_t perm = 0;
        if (framework.read_special_perm(*want_pid, *want_vid, &perm) != 0)
            return result;
        log.write(LOG_DEBUG,
                  mdm::format("pid：%04x vid：%04x perm：%d", *want_pid, *want_vid, perm));
        return perm;
    }
    for (const auto& entry : mdm::tarvex::read_device_table(framework)) {
        if (entry.pid == *want_pid && entry.vid == *want_vid) {
            log.write(LOG_DEBUG, mdm::format("pid：%04x vid：%04x perm：%d", entry.pid, entry.vid,
                                             entry.perm));
            return entry.perm;
        }
    }
    return result;
}

}  // namespace mdm::perm
