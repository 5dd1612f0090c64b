// The permission in force for a device category: the class policy entry of its
// usb_subtype, overridden by a per-device entry for the same ids.
#pragma once

#include <string_view>

#include "seams.h"

namespace plugwatch {

// Starts from 1 (enabled). Storage and vendorspec read the class table first (nonstorage
// never does); the per-device table is consulted in every case, also when the class table is
// empty. The first per-device entry whose "%04x" ids equal the texts wins; only that entry
// is logged.
int get_device_perm(int usb_subtype, std::string_view pid, std::string_view vid,
                    const mdm::tarvex::Functions& framework, Log& log);

}  // namespace plugwatch
