#include "records.h"

#include <algorithm>
#include <limits>

#include "mdm/permissions.h"
#include "mdm/text.h"

namespace plugwatch {
namespace {

void append_string(std::string& out, std::string_view key, std::string_view value,
                   bool last = false) {
    out += '"';
    out += key;
    out += "\":\"";
    mdm::append_json_escaped(out, value);
    out += last ? "\"" : "\",";
}

std::string render_record(const UsbEvent& e, int status, bool stripped, std::size_t cap) {
    auto cut = [cap](std::string_view v) { return mdm::utf8_prefix(v, cap); };
    std::string_view make = stripped ? "" : cut(e.manufacturer);
    std::string_view model = stripped ? "" : cut(e.product);
    std::string_view serial = stripped ? "" : cut(e.serial);
    std::string out = "{";
    append_string(out, "vid", e.vid);
    append_string(out, "pid", e.pid);
    append_string(out, "make", make);
    append_string(out, "model", model);
    append_string(out, "devpath", cut(e.devpath));
    append_string(out, "idVendor", e.vid);
    append_string(out, "idProduct", e.pid);
    append_string(out, "serial", serial);
    append_string(out, "product", model);
    append_string(out, "manufacturer", make);
    append_string(out, "bInterfaceClass", e.interface_class);
    out += "\"status\":";
    out += std::to_string(status);
    out += '}';
    return out;
}

}  // namespace

std::string notification_text(std::string_view content, std::string_view urgency) {
    std::string out = "{\"title\":\"检测到插入USB端口设备\",\"content\":\"";
    mdm::append_json_escaped(out, content);
    out += "\",\"urgency\":\"";
    mdm::append_json_escaped(out, urgency);
    out += "\",\"timeout\":9500}";
    // Both values come from fixed tables; the width is never reached in practice.
    if (out.size() > kNotificationMax)
        out.resize(mdm::utf8_prefix(out, kNotificationMax).size());
    return out;
}

std::string plug_audit_text(Category c, std::string_view devpath, std::string_view pid,
                            std::string_view vid, std::string_view state_suffix) {
    std::string head = "插入";
    head += category_word(c);
    head += "设备路径 : ";
    std::string tail = "  设备 PID: ";
    tail += pid;
    tail += " ,VID: ";
    tail += vid;
    tail += state_suffix;
    std::size_t fixed = head.size() + tail.size();
    std::size_t room = fixed < kAuditTextMax ? kAuditTextMax - fixed : 0;
    std::string out = head;
    out += mdm::utf8_prefix(devpath, room);
    out += tail;
    if (out.size() > kAuditTextMax)
        out.resize(mdm::utf8_prefix(out, kAuditTextMax).size());
    return out;
}

std::string unplug_audit_text(std::string_view devpath) {
    std::string out = "弹出USB设备 路径为: ";
    out += devpath;
    if (out.size() > kAuditTextMax)
        out.resize(mdm::utf8_prefix(out, kAuditTextMax).size());
    return out;
}

int record_status(int perm) {
    switch (perm) {
        case mdm::kPermEnabled:
            return 2;
        case mdm::kPermDisabled:
            return 0;
        case mdm::kPermReadOnly:
            return 1;
        default:
            return -1;
    }
}

std::string usb_event_record(const UsbEvent& e, int status, bool stripped) {
    std::string full = render_record(e, status, stripped, std::numeric_limits<std::size_t>::max());
    if (full.size() <= kUsbEventRecordMax)
        return full;
    // Largest per-field cap that fits; the rendered size grows with the cap.
    std::size_t lo = 0;
    std::size_t hi =
        std::max({e.product.size(), e.manufacturer.size(), e.serial.size(), e.devpath.size()});
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo + 1) / 2;
        if (render_record(e, status, stripped, mid).size() <= kUsbEventRecordMax) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    return render_record(e, status, stripped, lo);
}

}  // namespace plugwatch
