// What the kernel is told about one USB interface: the same permission the plug monitor
// announces for it, turned into an action with the safety rules applied. Pure: the tables
// and the interface's facts go in, nothing is read or written.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

#include "mdm/permissions.h"
#include "mdm/usb_id.h"
#include "tables.h"

namespace tarvex_standin {

inline constexpr int kPermAllow = mdm::kPermEnabled;
inline constexpr int kPermDeny = mdm::kPermDisabled;
inline constexpr int kPermReadOnly = mdm::kPermReadOnly;
// Class entry types and usb_subtypes of the class table.
inline constexpr int kNetCardType = 7;
inline constexpr int kStorageSubtype = mdm::kSubtypeStorage;
inline constexpr int kVendorSpecSubtype = mdm::kSubtypeVendorSpec;

enum class Action {
    Authorize,    // authorized, driver bound
    Deauthorize,  // "authorized" 0: the driver lets go and the device's function is gone
    ReadOnly,     // authorized, its disks read-only
};

enum class Reason {
    DeviceEntry,   // the per-device entry of the device's ids
    ClassEntry,    // the class entry of the interface's usb_subtype
    NetCardEntry,  // the network card class entry (type 7)
    NoEntry,       // no entry applies: allowed
    Hub,           // hubs are never taken away
    Hid,           // a class entry never takes input devices away
    DamagedStore,  // the tables cannot be read: storage and vendorspec are held back
};

struct Decision {
    int perm = kPermAllow;  // what the plug monitor announces for the interface's category
    Action action = Action::Authorize;
    Reason reason = Reason::NoEntry;
};

struct InterfaceFacts {
    std::string_view interface_class;  // bInterfaceClass as sysfs shows it
    // The device's ids as their "%04x" texts read; nullopt when sysfs shows something no
    // entry can match (missing, upper case, too short).
    std::optional<uint32_t> pid, vid;
    bool network = false;  // the interface drives a network device
};

// The tables as the rule consults them: per-device entries by key (the first of a key in
// table order wins) and the class table in order.
class Policy {
  public:
    Policy() = default;
    explicit Policy(const Tables& tables);
    // The one device entry a caller looked up by key, and the class table.
    Policy(std::optional<int> device_perm, uint32_t pid, uint32_t vid,
           std::span<const tarvex_devctl_info> classes);
    // Tables that could not be read.
    static Policy damaged();

    std::optional<int> device_perm(uint32_t pid, uint32_t vid) const;
    // The perm of the first class entry with this usb_subtype (any type), as the plug
    // monitor takes it.
    std::optional<int> class_perm(int usb_subtype) const;
    // The perm of the network card entry (type 7, usb_subtype 0).
    std::optional<int> net_perm() const;
    bool is_damaged() const { return damaged_; }

  private:
    std::unordered_map<uint64_t, int> devices_;
    std::unordered_map<int, int> class_by_subtype_;
    std::optional<int> net_;
    bool damaged_ = false;
};

Decision decide(const Policy& policy, const InterfaceFacts& facts);

// The usb_subtype of an interface class: 6 storage ("08"), 19 vendorspec ("ff"), else 0.
int usb_subtype_of_class(std::string_view interface_class);

const char* action_word(Action a);  // "allow", "deny", "read-only"
const char* reason_word(Reason r);

}  // namespace tarvex_standin
