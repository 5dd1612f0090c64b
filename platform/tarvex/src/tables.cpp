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

namespace {

std::vector<tarvex_devctl_info>& table_of(Tables& t, const tarvex_devctl_info& rec) {
    return is_device_entry(rec) ? t.devices : t.classes;
}

bool same_key(const tarvex_devctl_info& a, const tarvex_devctl_info& b) {
    if (is_device_entry(a))
        return a.pid == b.pid && a.vid == b.vid;
    return a.type == b.type && a.usb_subtype == b.usb_subtype;
}

std::vector<tarvex_devctl_info>::iterator find_entry(std::vector<tarvex_devctl_info>& table,
                                                     const tarvex_devctl_info& rec) {
    return std::find_if(table.begin(), table.end(),
                        [&](const tarvex_devctl_info& e) { return same_key(e, rec); });
}

// Callers may hand over texts without a terminator; what the tables keep always has one.
tarvex_devctl_info terminated(const tarvex_devctl_info& rec) {
    tarvex_devctl_info copy = rec;
    copy.serial[sizeof copy.serial - 1] = '\0';
    copy.displayname[sizeof copy.displayname - 1] = '\0';
    return copy;
}

}  // namespace

int add_entry(Tables& t, const tarvex_devctl_info& rec) {
    auto& table = table_of(t, rec);
    if (find_entry(table, rec) != table.end())
        return kNotDone;
    table.push_back(terminated(rec));
    return 0;
}

int update_entry(Tables& t, const tarvex_devctl_info& rec) {
    auto& table = table_of(t, rec);
    auto it = find_entry(table, rec);
    if (it == table.end())
        return kNotDone;
    *it = terminated(rec);
    return 0;
}

int remove_entry(Tables& t, const tarvex_devctl_info& rec) {
    auto& table = table_of(t, rec);
    auto it = find_entry(table, rec);
    if (it == table.end())
        return kNotDone;
    table.erase(it);
    return 0;
}

void put_entry(Tables& t, const tarvex_devctl_info& rec) {
    if (add_entry(t, rec) != 0)
        update_entry(t, rec);
}

}  // namespace tarvex_standin
