// The bank and tax devices' files: four typed device lists, each with an on/off status, and
// the bank white list, all under one root. The core library, the list service and mdmctl
// read them through this one layout.
#pragma once

#include <array>
#include <string>

namespace mdm::bank {

inline constexpr const char* kSystemRoot = "/etc/mdm/bank";

// The type index the interfaces use.
enum Type : int { kUshield = 0, kFingerprint = 1, kTaxtray = 2, kTaxkey = 3 };
inline constexpr int kTypeCount = 4;
// The type answered for a device on no list.
inline constexpr int kNotBank = kTypeCount;

inline constexpr std::array<const char*, kTypeCount> kTypeNames{"ushield", "fingerprint", "taxtray",
                                                                "taxkey"};

// The type's file name; null for any other index.
inline const char* type_name(int type) {
    return type >= 0 && type < kTypeCount ? kTypeNames[static_cast<std::size_t>(type)] : nullptr;
}

// root/devlist/<type>, root/status/<type> and root/white-list. Callers check the type first.
class Paths {
  public:
    explicit Paths(std::string root) : root_(std::move(root)) {}
    std::string devlist(int type) const { return in("devlist", type); }
    std::string status(int type) const { return in("status", type); }
    std::string white_list() const { return root_ + "/white-list"; }

  private:
    std::string in(const char* folder, int type) const {
        const char* name = type_name(type);
        return root_ + "/" + folder + "/" + (name ? name : "");
    }
    std::string root_;
};

}  // namespace mdm::bank
