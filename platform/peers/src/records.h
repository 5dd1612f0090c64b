// The records the system sends to the log-transmission service and the management client,
// read into their fields. Values are views into the text they were read from.
#pragma once

#include <optional>
#include <string_view>

namespace stockpeers {

// The core library sends time, user, name, ip, level, message; the control services send
// ip before name. Both go to the same method.
enum class AuditShape { Core, Service };

struct AuditRecord {
    AuditShape shape = AuditShape::Core;
    std::string_view time, user, source, address, level, message;
};

// {'time':'T','hostname':'U','name':'N','ip':'A','lv':'L','message':'M'} or the same with
// 'ip' before 'name'; nothing when the record has neither shape.
std::optional<AuditRecord> parse_audit_record(std::string_view record);

// The USB event record of a plug or unplug: a JSON-like object with its keys in a fixed
// order and its texts unescaped.
struct DeviceLog {
    std::string_view vid, pid, make, model, devpath, id_vendor, id_product, serial, product,
        manufacturer, interface_class;
    int status = -1;
};

std::optional<DeviceLog> parse_device_log(std::string_view log);

// A decimal integer in int's range, optionally negative; nothing for anything else.
std::optional<int> parse_int(std::string_view text);

}  // namespace stockpeers
