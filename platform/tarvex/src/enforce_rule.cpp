#include "enforce_rule.h"

namespace tarvex_standin {

namespace {

uint64_t key_of(uint32_t pid, uint32_t vid) {
    return uint64_t{pid} << 32 | vid;
}

constexpr std::string_view kHubClass = "09";
constexpr std::string_view kHidClass = "03";

}  // namespace

Policy::Policy(const Tables& tables) {
    devices_.reserve(tables.devices.size());
    for (const auto& e : tables.devices)
        devices_.emplace(key_of(e.pid, e.vid), e.perm);  // the first of a key stays
    for (const auto& e : tables.classes) {
        class_by_subtype_.emplace(e.usb_subtype, e.perm);
        if (e.type == kNetCardType && e.usb_subtype == 0 && !net_)
            net_ = e.perm;
    }
}

Policy::Policy(std::optional<int> device_perm, uint32_t pid, uint32_t vid,
               std::span<const tarvex_devctl_info> classes)
    : Policy(Tables{{}, {classes.begin(), classes.end()}}) {
    if (device_perm)
        devices_.emplace(key_of(pid, vid), *device_perm);
}

Policy Policy::damaged() {
    Policy p;
    p.damaged_ = true;
    return p;
}

std::optional<int> Policy::device_perm(uint32_t pid, uint32_t vid) const {
    auto it = devices_.find(key_of(pid, vid));
    if (it == devices_.end())
        return std::nullopt;
    return it->second;
}

std::optional<int> Policy::class_perm(int usb_subtype) const {
    auto it = class_by_subtype_.find(usb_subtype);
    if (it == class_by_subtype_.end())
        return std::nullopt;
    return it->second;
}

std::optional<int> Policy::net_perm() const {
    return net_;
}

int usb_subtype_of_class(std::string_view interface_class) {
    if (interface_class == "08")
        return kStorageSubtype;
    if (interface_class == "ff")
        return kVendorSpecSubtype;
    return mdm::kSubtypeNonStorage;
}

Decision decide(const Policy& policy, const InterfaceFacts& facts) {
    const int subtype = usb_subtype_of_class(facts.interface_class);
    const bool storage = subtype == kStorageSubtype;
    const bool hub = facts.interface_class == kHubClass;

    if (policy.is_damaged()) {
        // Nothing is known of the tables: what could carry data off stays away, the rest
        // (keyboards, hubs, network) stays usable so the machine can be repaired.
        if (subtype != mdm::kSubtypeNonStorage)
            return {kPermAllow, Action::Deauthorize, Reason::DamagedStore};
        return {kPermAllow, Action::Authorize, Reason::DamagedStore};
    }

    Decision d;
    std::optional<int> device;
    if (facts.pid && facts.vid)
        device = policy.device_perm(*facts.pid, *facts.vid);
    std::optional<int> cls;
    if (subtype != mdm::kSubtypeNonStorage)
        cls = policy.class_perm(subtype);
    d.perm = device ? *device : cls ? *cls : kPermAllow;

    auto action_of = [&](int perm) {
        if (perm == kPermDeny)
            return Action::Deauthorize;
        if (perm == kPermReadOnly && storage)
            return Action::ReadOnly;
        return Action::Authorize;
    };

    if (hub) {
        d.reason = Reason::Hub;
        return d;
    }
    if (device) {
        d.action = action_of(*device);
        d.reason = Reason::DeviceEntry;
        return d;
    }
    if (facts.network && policy.net_perm() == kPermDeny) {
        d.action = Action::Deauthorize;
        d.reason = Reason::NetCardEntry;
        return d;
    }
    if (cls) {
        d.action = action_of(*cls);
        d.reason = Reason::ClassEntry;
        return d;
    }
    d.reason = facts.interface_class == kHidClass ? Reason::Hid : Reason::NoEntry;
    return d;
}

const char* action_word(Action a) {
    switch (a) {
        case Action::Authorize:
            return "allow";
        case Action::Deauthorize:
            return "deny";
        case Action::ReadOnly:
            return "read-only";
    }
    return "?";
}

const char* reason_word(Reason r) {
    switch (r) {
        case Reason::DeviceEntry:
            return "device entry";
        case Reason::ClassEntry:
            return "class entry";
        case Reason::NetCardEntry:
            return "network card entry";
        case Reason::NoEntry:
            return "no entry";
        case Reason::Hub:
            return "hub";
        case Reason::Hid:
            return "input device";
        case Reason::DamagedStore:
            return "damaged store";
    }
    return "?";
}

}  // namespace tarvex_standin
