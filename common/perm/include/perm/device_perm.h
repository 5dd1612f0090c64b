// The permission in force for a device category: the class policy entry of its
// usb_subtype, overridden by a per-device entry for the same ids.
#pragma once

#include <string_view>

#include "perm/log.h"
#include "tarvex/adapter.h"

namespace mdm::perm {

// Starts from 1 (enabled). Storage and vendorspec read the class table first (nonstorage
// never does); the per-device table is consulted after it in every case, also when the class
// table is empty or has no entry for the usb_subtype. The first per-device entry whose
// "%04x" ids equal the texts wins. Class entries are logged as they are read up to the one
// that matches; of the per-device table only the deciding entry is logged.
int get_device_perm(int usb_subtype, std::string_view pid, std::string_view vid,
                    const mdm::tarvex::Functions& framework, Log& log);

}  // namespace mdm::perm
