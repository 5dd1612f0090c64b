// The stock peers' readers of untrusted records: audit records, USB event records and
// notification texts. Every record is kept byte for byte up to the cap, and MESSAGE and the
// notification's texts are printable UTF-8 within their limits.
#include <cstdlib>
#include <string>
#include <string_view>

#include <glib.h>

#include "journal_entry.h"
#include "notification.h"

namespace {

using namespace stockpeers;

void check_printable(const std::string& text, std::size_t max) {
    if (text.size() > max ||
        !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        std::abort();
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F)
            std::abort();
    }
}

void check_entry(const JournalEntry& e, std::string_view record) {
    bool has_record = false;
    for (const auto& f : e) {
        if (f.name == "MESSAGE")
            check_printable(f.value, kMaxMessageBytes);
        if (f.name == "MDM_RECORD") {
            has_record = true;
            if (f.value != record.substr(0, kMaxRecordBytes))
                std::abort();
        }
    }
    if (!has_record)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    check_entry(audit_entry(text, "fuzz"), text);
    check_entry(device_entry(text, UsbEvent::PlugIn, "fuzz"), text);
    DesktopNotification n = parse_notification(text);
    check_printable(n.summary, 256);
    check_printable(n.body, 2048 * 5);  // markup escapes may grow it
    return 0;
}
