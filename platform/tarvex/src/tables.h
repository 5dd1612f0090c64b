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

bool is_device_entry(const tarvex_devctl_info& rec);

int add_entry(Tables& t, const tarvex_devctl_info& rec);
int update_entry(Tables& t, const tarvex_devctl_info& rec);
int remove_entry(Tables& t, const tarvex_devctl_info& rec);
// Adds, or updates when the key exists.
void put_entry(Tables& t, const tarvex_devctl_info& rec);

}  // namespace tarvex_standin
