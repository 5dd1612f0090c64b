// What the stock peers write into the systemd journal: one entry per audit record and per
// USB event record, each field of the record a journal field of its own, the whole record
// kept byte for byte. Records are untrusted: they are capped, and MESSAGE holds printable
// UTF-8 only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace stockpeers {

struct JournalField {
    std::string name;
    std::string value;  // any bytes
};
using JournalEntry = std::vector<JournalField>;

// `journalctl MESSAGE_ID=...` finds every entry of one kind.
inline constexpr char kAuditMessageId[] = "578464234d984d638b4d33d9175e1a69";
inline constexpr char kUsbPlugInMessageId[] = "9d31c3d55e3040ed87683a63bfd7e80f";
inline constexpr char kUsbPullOutMessageId[] = "c9928fb03a3c433392ed4640c4c93628";

// A record beyond this is kept cut to it, and flagged.
inline constexpr std::size_t kMaxRecordBytes = 64 * 1024;
// MESSAGE is for reading; the record field keeps everything.
inline constexpr std::size_t kMaxMessageBytes = 8 * 1024;

// Syslog priority of a record's level text ("warning" 4, "info" 6, ...); unknown texts are
// read as info.
int level_priority(std::string_view level);

// The entry of an audit record; one without the fixed shape is kept whole with
// MDM_MALFORMED=1.
JournalEntry audit_entry(std::string_view record, std::string_view identifier);

enum class UsbEvent { PlugIn, PullOut };

// The entry of a USB event record sent to the management client.
JournalEntry device_entry(std::string_view log, UsbEvent event, std::string_view identifier);

}  // namespace stockpeers
