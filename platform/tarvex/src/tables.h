// The two permission tables of the stand-in and the answers its calls give.
#pragma once

#include <vector>

#include "tarvex_extend.h"

namespace tarvex_standin {

// Answers of the single-entry calls: 0 done, kNotDone when the key exists (add) or is
// missing (update, remove), kFailed when the store could not be read or written.
inline constexpr int kNotDone = 1;
inline constexpr int kFailed = -1;

struct Tables {
    std::vector<tarvex_devctl_info> devices;  // keyed by (pid, vid), insertion order
    std::vector<tarvex_devctl_info> classes;  // keyed by (type, usb_subtype), insertion order
};

bool same_record(const tarvex_devctl_info& a, const tarvex_devctl_info& b);
bool operator==(const Tables& a, const Tables& b);

// A record with type and usb_subtype both 0 is a per-device entry; any other a class entry.
bool is_device_entry(const tarvex_devctl_info& rec);

// Callers may hand over texts without a terminator; what the tables keep always has one.
tarvex_devctl_info terminated(const tarvex_devctl_info& rec);

}  // namespace tarvex_standin
