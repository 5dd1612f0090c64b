// What one announced category, or one unplugged category, sends to the peers.
#pragma once

#include <string_view>

#include "seams.h"

namespace plugwatch {

// Notification, audit line (level "warning") and plug record for a permission of 1, 2 or 5;
// nothing at all for any other permission.
void notify_device_state(Seams& s, int usb_subtype, std::string_view devpath, std::string_view pid,
                         std::string_view vid, std::string_view manufacturer,
                         std::string_view product, int perm, std::string_view serial,
                         std::string_view interface_class);

// The desktop notification, with the permission digit as urgency.
void add_usb_storage(Seams& s, std::string_view content, std::string_view urgency);

// Sends the USB event record (flag 0 plug, 1 unplug); a "Retry" answer gets exactly one
// resend without the free-text fields.
void usb_storage_plug(Seams& s, std::string_view pid, std::string_view vid,
                      std::string_view product, std::string_view manufacturer,
                      std::string_view devpath, int flag, std::string_view interface_class,
                      std::string_view serial, int perm);

}  // namespace plugwatch
