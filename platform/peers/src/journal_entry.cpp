#include "journal_entry.h"

#include <array>
#include <cstdio>
#include <utility>

#include <glib.h>

#include "records.h"

namespace stockpeers {

namespace {

bool is_control(gunichar c) {
    // The line and paragraph separators break lines in viewers just as a line feed does.
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

void add(JournalEntry& e, const char* name, std::string_view value) {
    e.push_back({name, std::string(value)});
}

// The record field, cut to the cap, with its original size when it was cut.
void add_record(JournalEntry& e, std::string_view record) {
    bool cut = record.size() > kMaxRecordBytes;
    add(e, "MDM_RECORD", record.substr(0, kMaxRecordBytes));
    if (cut) {
        add(e, "MDM_TRUNCATED", "1");
        add(e, "MDM_RECORD_SIZE", std::to_string(record.size()));
    }
}

const char* permission_word(int status) {
    switch (status) {
        case 2:
            return "enabled";
        case 1:
            return "read-only";
        case 0:
            return "disabled";
        default:
            return nullptr;
    }
}

}  // namespace

int level_priority(std::string_view level) {
    static constexpr std::array<std::pair<std::string_view, int>, 14> kLevels = {{
        {"emerg", 0},
        {"emergency", 0},
        {"alert", 1},
        {"crit", 2},
        {"critical", 2},
        {"err", 3},
        {"error", 3},
        {"warn", 4},
        {"warning", 4},
        {"notice", 5},
        {"info", 6},
        {"information", 6},
        {"debug", 7},
        {"trace", 7},
    }};
    std::string lower(level);
    for (char& c : lower)
        c = g_ascii_tolower(c);
    for (const auto& [word, p] : kLevels) {
        if (lower == word)
            return p;
    }
    return 6;
}

std::string printable(std::string_view text, std::size_t max_bytes) {
    static constexpr std::string_view kEllipsis = "\u2026";
    std::string out;
    out.reserve(std::min(text.size(), max_bytes));
    std::size_t i = 0;
    while (i < text.size()) {
        const char* p = text.data() + i;
        gunichar c = g_utf8_get_char_validated(p, static_cast<gssize>(text.size() - i));
        std::string piece;
        std::size_t used = 1;
        char buf[16];
        if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2) ||
            (c == 0 && *p == '\0')) {
            std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned char>(*p));
            piece = buf;
        } else {
            used = static_cast<std::size_t>(g_utf8_skip[static_cast<unsigned char>(*p)]);
            if (is_control(c)) {
                std::snprintf(buf, sizeof buf, c < 0x80 ? "\\x%02x" : "\\u%04x", c);
                piece = buf;
            } else {
                piece.assign(p, used);
            }
        }
        if (out.size() + piece.size() > max_bytes) {
            // Room for the ellipsis: drop whole characters from the end.
            while (!out.empty() && out.size() + kEllipsis.size() > max_bytes) {
                std::size_t back = out.size() - 1;
                while (back > 0 && (static_cast<unsigned char>(out[back]) & 0xC0) == 0x80)
                    --back;
                out.resize(back);
            }
            if (out.size() + kEllipsis.size() <= max_bytes)
                out += kEllipsis;
            return out;
        }
        out += piece;
        i += used;
    }
    return out;
}

JournalEntry audit_entry(std::string_view record, std::string_view identifier) {
    JournalEntry e;
    std::string_view kept = record.substr(0, kMaxRecordBytes);
    // A record cut by the cap has lost its end and is read as without shape.
    auto r = record.size() > kMaxRecordBytes ? std::nullopt : parse_audit_record(record);
    if (r) {
        add(e, "MESSAGE", printable(r->message));
        add(e, "PRIORITY", std::to_string(level_priority(r->level)));
    } else {
        std::string_view lead = "audit record without the fixed shape: ";
        add(e, "MESSAGE", std::string(lead) + printable(kept, kMaxMessageBytes - lead.size()));
        add(e, "PRIORITY", "4");
    }
    add(e, "MESSAGE_ID", kAuditMessageId);
    add(e, "SYSLOG_IDENTIFIER", identifier);
    if (r) {
        add(e, "MDM_TIME", r->time);
        add(e, "MDM_USER", r->user);
        add(e, "MDM_SOURCE", r->source);
        add(e, "MDM_ADDRESS", r->address);
        add(e, "MDM_LEVEL", r->level);
        add(e, "MDM_SHAPE", r->shape == AuditShape::Core ? "core" : "service");
    } else {
        add(e, "MDM_MALFORMED", "1");
    }
    add_record(e, record);
    return e;
}

JournalEntry device_entry(std::string_view log, UsbEvent event, std::string_view identifier) {
    JournalEntry e;
    const bool plug = event == UsbEvent::PlugIn;
    auto d = log.size() > kMaxRecordBytes ? std::nullopt : parse_device_log(log);
    if (d) {
        // The resend after a retry carries no free texts: fall back on the short keys.
        std::string_view product = d->product.empty() ? d->model : d->product;
        std::string_view maker = d->manufacturer.empty() ? d->make : d->manufacturer;
        std::string text = plug ? "USB device plugged in: " : "USB device pulled out: ";
        text += std::string(d->vid) + ":" + std::string(d->pid);
        if (!maker.empty() || !product.empty())
            text += " " + std::string(maker) + (maker.empty() ? "" : " ") + std::string(product);
        text += ", serial " + std::string(d->serial) + ", interface class " +
                std::string(d->interface_class);
        if (const char* word = permission_word(d->status))
            text += std::string(", ") + word;
        add(e, "MESSAGE", printable(text));
        add(e, "PRIORITY", plug ? "5" : "6");
    } else {
        std::string_view lead = "USB event record without the fixed shape: ";
        add(e, "MESSAGE",
            std::string(lead) +
                printable(log.substr(0, kMaxRecordBytes), kMaxMessageBytes - lead.size()));
        add(e, "PRIORITY", "4");
    }
    add(e, "MESSAGE_ID", plug ? kUsbPlugInMessageId : kUsbPullOutMessageId);
    add(e, "SYSLOG_IDENTIFIER", identifier);
    add(e, "MDM_USB_EVENT", plug ? "plug-in" : "pull-out");
    if (d) {
        add(e, "MDM_USB_VID", d->vid);
        add(e, "MDM_USB_PID", d->pid);
        add(e, "MDM_USB_MANUFACTURER", d->manufacturer.empty() ? d->make : d->manufacturer);
        add(e, "MDM_USB_PRODUCT", d->product.empty() ? d->model : d->product);
        add(e, "MDM_USB_SERIAL", d->serial);
        add(e, "MDM_USB_DEVPATH", d->devpath);
        add(e, "MDM_USB_CLASS", d->interface_class);
        add(e, "MDM_USB_STATUS", std::to_string(d->status));
    } else {
        add(e, "MDM_MALFORMED", "1");
    }
    add_record(e, log);
    return e;
}

}  // namespace stockpeers
