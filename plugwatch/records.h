// The texts plugwatch sends: the notification, the audit lines and the USB event record.
// JSON values are escaped so a device's own strings can neither forge a key nor break the
// record; every text stays within the buffer width its receiver was built for.
#pragma once

#include <string>
#include <string_view>

#include "category.h"

namespace plugwatch {

inline constexpr std::size_t kAuditTextMax = 511;
inline constexpr std::size_t kNotificationMax = 1023;
inline constexpr std::size_t kUsbEventRecordMax = 1023;

// {"title":"检测到插入USB端口设备","content":C,"urgency":U,"timeout":9500}
std::string notification_text(std::string_view content, std::string_view urgency);

// "插入<word>设备路径 : <devpath>  设备 PID: <pid> ,VID: <vid><suffix>"; an over-long devpath
// is shortened so the state suffix always survives.
std::string plug_audit_text(Category c, std::string_view devpath, std::string_view pid,
                            std::string_view vid, std::string_view state_suffix);

// "弹出USB设备 路径为: <devpath>"
std::string unplug_audit_text(std::string_view devpath);

struct UsbEvent {
    std::string_view pid;
    std::string_view vid;
    std::string_view product;
    std::string_view manufacturer;
    std::string_view devpath;
    std::string_view interface_class;
    std::string_view serial;
};

// The "status" value of a record: 2 enabled, 0 disabled, 1 read-only, -1 anything else.
int record_status(int perm);

// The USB event record. `stripped` gives the retry form, with the free-text fields empty.
// When the whole would exceed its width the free texts and the devpath are shortened
// evenly, so the record stays a complete JSON object.
std::string usb_event_record(const UsbEvent& e, int status, bool stripped);

}  // namespace plugwatch
