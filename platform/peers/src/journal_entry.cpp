#include "journal_entry.h"

#include <array>
#include <cstdio>
#include <utility>

#include <glib.h>

#include "mdm/text.h"
#include "records.h"

namespace stockpeers {

namespace {

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

JournalEntry audit_entry(std::string_view record, std::string_view identifier) {
    JournalEntry e;
    std::string_view kept = record.substr(0, kMaxRecordBytes);
    // A record cut by the cap has lost its end and is read as without shape.
    auto r = record.size() > kMaxRecordBytes ? std::nullopt : parse_audit_record(record);
    if (r) {
        add(e, "MESSAGE", mdm::printable(r->message, kMaxMessageBytes));
        add(e, "PRIORITY", std::to_string(level_priority(r->level)));
    } else {
        std::string_view lead = "audit record without the fixed shape: ";
        add(e, "MESSAGE", std::string(lead) + mdm::printable(kept, kMaxMessageBytes - lead.size()));
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
        add(e, "MESSAGE", mdm::printable(text, kMaxMessageBytes));
        add(e, "PRIORITY", plug ? "5" : "6");
    } else {
        std::string_view lead = "USB event record without the fixed shape: ";
        add(e, "MESSAGE",
            std::string(lead) +
                mdm::printable(log.substr(0, kMaxRecordBytes), kMaxMessageBytes - lead.size()));
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
