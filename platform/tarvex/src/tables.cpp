#include "tables.h"

#include <algorithm>
#include <cstring>

namespace tarvex_standin {

bool same_record(const tarvex_devctl_info& a, const tarvex_devctl_info& b) {
    // The record has no padding, so byte equality is field equality.
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool operator==(const Tables& a, const Tables& b) {
    auto same_table = [](const auto& x, const auto& y) {
        return std::equal(x.begin(), x.end(), y.begin(), y.end(), same_record);
    };
    return same_table(a.devices, b.devices) && same_table(a.classes, b.classes);
}

bool is_device_entry(const tarvex_devctl_info& rec) {
    return rec.type == 0 && rec.usb_subtype == 0;
}

tarvex_devctl_info terminated(const tarvex_devctl_info& rec) {
    tarvex_devctl_info copy = rec;
    copy.serial[sizeof copy.serial - 1] = '\0';
    copy.displayname[sizeof copy.displayname - 1] = '\0';
    return copy;
}

}  // namespace tarvex_standin
