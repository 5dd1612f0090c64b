// mountwatch's logic without bus or volume monitor: the list of mounted USB storage volumes,
// the timestamp text and the lines it prints and logs.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mdm/text.h"
#include "mdm/usb_id.h"

namespace mountwatch {

// One listed mount; the widths are those of the contract, and longer texts are cut at a
// UTF-8 boundary.
struct StorageMount {
    char name[128] = {};
    char pid[10] = {};
    char vid[10] = {};
};

// Removes `entry` (found by identity); later entries move down, keeping their order.
void list_remove(std::vector<StorageMount>& list, const StorageMount* entry);

// The mounts in the order they were added. No fixed limit: every USB mount is listed.
class MountList {
  public:
    // Lists a mount and returns the new count.
    int add(std::string_view name, std::string_view pid, std::string_view vid);

    // Takes out the first entry whose name equals `name` (cut as it was when listed).
    std::optional<mdm::UsbIds> take(std::string_view name);

    int count() const { return static_cast<int>(entries_.size()); }
    const std::vector<StorageMount>& entries() const { return entries_; }

  private:
    std::vector<StorageMount> entries_;
};

// "%d-%d-%d %d:%d:%d", only the seconds padded to two digits.
std::string time_text(const std::tm& local);
// A fresh timestamp from the local time.
std::string get_time_str();

// The "Mount added: ..." / "Mount removed: ..." line, line feed included.
std::string mount_line(bool added, const std::string& name, const std::string& pid,
                       const std::string& vid, const std::string& mountpoint,
                       const std::string& time, int count);

// What an emitter prints (line feed included) and logs at debug.
std::string signal_line(bool add, const std::string& pid, const std::string& vid,
                        const std::string& mountpoint, const std::string& action,
                        const std::string& time);
std::string signal_log(const std::string& pid, const std::string& vid,
                       const std::string& mountpoint, const std::string& action,
                       const std::string& time);

using mdm::format;

}  // namespace mountwatch
