#include "mount_list.h"

#include <algorithm>
#include <cstring>

#include "mdm/text.h"

namespace mountwatch {

void list_remove(std::vector<StorageMount>& list, const StorageMount* entry) {
    auto at = std::find_if(list.begin(), list.end(),
                           [entry](const StorageMount& m) { return &m == entry; });
    if (at != list.end())
        list.erase(at);
}

int MountList::add(std::string_view name, std::string_view pid, std::string_view vid) {
    StorageMount& m = entries_.emplace_back();
    mdm::copy_field(m.name, name);
    mdm::copy_field(m.pid, pid);
    mdm::copy_field(m.vid, vid);
    return count();
}

std::optional<mdm::UsbIds> MountList::take(std::string_view name) {
    // A long name was listed cut; cut the one asked for the same way so it still matches.
    std::string_view key = mdm::utf8_prefix(name, sizeof(StorageMount::name) - 1);
    for (const StorageMount& m : entries_) {
        if (key == m.name) {
            mdm::UsbIds ids{m.pid, m.vid};
            list_remove(entries_, &m);
            return ids;
        }
    }
    return std::nullopt;
}

std::string time_text(const std::tm& t) {
    // Only the seconds are padded.
    if (t.tm_sec < 10)
        return format("%d-%d-%d %d:%d:0%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                      t.tm_min, t.tm_sec);
    return format("%d-%d-%d %d:%d:%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
}

std::string get_time_str() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return time_text(local);
}

std::string mount_line(bool added, const std::string& name, const std::string& pid,
                       const std::string& vid, const std::string& mountpoint,
                       const std::string& time, int count) {
    // The full-width comma after the mount point is part of the line readers match.
    return format(
        "Mount %s: name = %s, pid = %s, vid = %s, mountpoint = %s， action = %s, "
        "time = %s, count= %d\n",
        added ? "added" : "removed", name.c_str(), pid.c_str(), vid.c_str(), mountpoint.c_str(),
        added ? "add" : "remove", time.c_str(), count);
}

std::string signal_line(bool add, const std::string& pid, const std::string& vid,
                        const std::string& mountpoint, const std::string& action,
                        const std::string& time) {
    return format("Server %s pid = %s, vid = %s, mountpoint = %s, action = %s, time = %s.\n",
                  add ? "addSignal" : "removeSignal", pid.c_str(), vid.c_str(), mountpoint.c_str(),
                  action.c_str(), time.c_str());
}

std::string signal_log(const std::string& pid, const std::string& vid,
                       const std::string& mountpoint, const std::string& action,
                       const std::string& time) {
    return format("pid = %s, vid = %s, mountpoint = %s, action = %s, time = %s", pid.c_str(),
                  vid.c_str(), mountpoint.c_str(), action.c_str(), time.c_str());
}

}  // namespace mountwatch
