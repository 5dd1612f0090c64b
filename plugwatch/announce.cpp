#include "announce.h"

#include <syslog.h>

#include <string>

#include "category.h"
#include "mdm/text.h"
#include "records.h"

namespace plugwatch {

void notify_device_state(Seams& s, int usb_subtype, std::string_view devpath, std::string_view pid,
                         std::string_view vid, std::string_view manufacturer,
                         std::string_view product, int perm, std::string_view serial,
                         std::string_view interface_class) {
    Category c = category_of_subtype(usb_subtype);
    auto content = notification_content(c, perm);
    auto suffix = audit_state_suffix(c, perm);
    if (!content || !suffix)
        return;

    add_usb_storage(s, *content, std::to_string(perm));
    s.peers.logging("usb-monitor", "warning", plug_audit_text(c, devpath, pid, vid, *suffix));
    usb_storage_plug(s, pid, vid, product, manufacturer, devpath, 0, interface_class, serial, perm);
}

// The trailing "\n" of these log lines is part of their fixed text.
void add_usb_storage(Seams& s, std::string_view content, std::string_view urgency) {
    s.log.write(LOG_INFO, "add_usb_storage");
    std::string text = notification_text(content, urgency);
    int result = s.peers.show_system_notification(text);
    s.log.write(LOG_INFO, format("result = %d, usb_log = %s\n", result, text.c_str()));
}

void usb_storage_plug(Seams& s, std::string_view pid, std::string_view vid,
                      std::string_view product, std::string_view manufacturer,
                      std::string_view devpath, int flag, std::string_view interface_class,
                      std::string_view serial, int perm) {
    s.log.write(LOG_INFO, "usb_storage_plug");
    UsbEvent event{pid, vid, product, manufacturer, devpath, interface_class, serial};
    int status = record_status(perm);
    std::string record = usb_event_record(event, status, false);
    int result = s.peers.connect_ostrelclient_bus(record, flag);
    s.log.write(LOG_INFO, format("result = %d, usb_log = %s, status = %d\n", result,
                                 mdm::escape_ascii_controls(record).c_str(), flag));
    if (result != 1)
        return;
    // The client could not take the record; it gets one shorter copy and no more.
    std::string retry = usb_event_record(event, status, true);
    result = s.peers.connect_ostrelclient_bus(retry, flag);
    s.log.write(LOG_INFO, format("retry result = %d, usb_log = %s, status = %d\n", result,
                                 mdm::escape_ascii_controls(retry).c_str(), flag));
}

}  // namespace plugwatch
