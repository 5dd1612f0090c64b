// plugwatch's seams bound to nothing: a log that drops lines, peers and a framework that
// accept every call.
#pragma once

#include "seams.h"

namespace fuzz {

class NullLog final : public plugwatch::Log {
  public:
    void write(int, const std::string&) override {}
};

class NullPeers final : public plugwatch::Peers {
  public:
    int show_system_notification(const std::string&) override { return 0; }
    void logging(const char*, const char*, const std::string&) override {}
    int connect_ostrelclient_bus(const std::string&, int) override { return 0; }
};

inline const mdm::tarvex::Functions& accepting_framework() {
    static const mdm::tarvex::Functions fns = [] {
        mdm::tarvex::Functions f;
        f.add = [](tarvex_devctl_info*) { return 0; };
        f.update = [](tarvex_devctl_info*) { return 0; };
        f.read_special = [](int* count) -> tarvex_devctl_info* {
            *count = 0;
            return nullptr;
        };
        f.read_not_special = f.read_special;
        return f;
    }();
    return fns;
}

}  // namespace fuzz
