#include "perm/device_perm.h"

#include <syslog.h>

#include <cstdio>
#include <optional>

#include "mdm/permissions.h"
#include "mdm/text.h"

namespace mdm::perm {

namespace {

// The value whose "%04x" rendering is exactly `text`, or nullopt when no value renders so
// (upper case, a sign, fewer than four digits, or a zero before a fifth digit): such a
// device can match no entry.
std::optional<uint32_t> rendered_value(std::string_view text) {
    if (text.size() < 4 || text.size() > 8 || (text.size() > 4 && text[0] == '0'))
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

}  // namespace

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
    auto want_pid = rendered_value(pid), want_vid = rendered_value(vid);
    if (!want_pid || !want_vid)
        return result;
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
