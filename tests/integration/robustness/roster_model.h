// What the list service's answers must be, from a model of its files: the framework's device
// entries and the bank white list. The bank device lists it consults are bankguard's, taken
// from that service's model.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include <glib.h>

namespace robustness {

struct DeviceEntry {
    uint32_t pid = 0, vid = 0;
    int perm = 0;
    bool operator==(const DeviceEntry&) const = default;
};

class RosterModel {
  public:
    // The answer a well-typed call must get: a reply, or a bus error when `reply` is null.
    struct Answer {
        GVariant* reply = nullptr;  // floating
        std::string error = {};     // the D-Bus error name when there is no reply
    };

    // bankguard changes device entries too, so the entries are taken as the store holds them
    // before each call of this service.
    void take_devices(std::vector<DeviceEntry> devices) { devices_ = std::move(devices); }
    // Updates the model; nullopt when the method is not modelled.
    std::optional<Answer> expect(const std::string& method, GVariant* args,
                                 const std::unordered_set<std::string>& bank_devices);

    const std::vector<DeviceEntry>& devices() const { return devices_; }
    // The bank white list file's expected content.
    std::string bank_white_text() const;

  private:
    std::vector<std::string> texts(int perm) const;
    void put(uint32_t pid, uint32_t vid, int perm);
    bool remove(uint32_t pid, uint32_t vid);
    // The number of entries removed, one by one.
    int remove_all(const std::vector<std::pair<uint32_t, uint32_t>>& keys);
    // A batch removal's answer; with `unlist_all` a full removal empties the bank white list.
    Answer removal_answer(const std::vector<std::pair<uint32_t, uint32_t>>& keys, bool unlist_all);
    void unlist_bank(const std::unordered_set<std::string>& gone);

    std::vector<DeviceEntry> devices_;
    std::vector<std::string> bank_white_;
};

}  // namespace robustness
