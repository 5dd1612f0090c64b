// Where enforcement looks and what switches it: the fixed paths, the configuration file and
// the kernel command line switch.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "enforce_rule.h"

namespace tarvex_standin {

// The fixed places on a machine; tests run in a world where they are private.
struct EnforcePaths {
    std::filesystem::path sys = "/sys";
    std::filesystem::path store = "/var/lib/tarvex";
    std::filesystem::path state = "/run/tarvex";
    std::filesystem::path config = "/etc/tarvex/enforce.conf";
    std::filesystem::path cmdline = "/proc/cmdline";
};

// The kernel command line word that turns enforcement off for one boot.
inline constexpr std::string_view kBootSwitch = "tarvex.enforce=off";

// In the state folder while strict mode's default is in force.
inline constexpr std::string_view kStrictMarker = "strict";

struct EnforceConfig {
    bool strict = false;  // new interfaces stay unauthorized until the helper allows them
};

// "strict = yes|no" lines; '#' comments and blank lines skipped; a line that is not
// understood is reported through `warn` and skipped.
EnforceConfig parse_enforce_config(std::string_view text,
                                   const std::function<void(const std::string&)>& warn);
EnforceConfig read_enforce_config(const EnforcePaths& paths,
                                  const std::function<void(const std::string&)>& warn);

bool enforcement_off(std::string_view cmdline);
bool enforcement_off(const EnforcePaths& paths);

}  // namespace tarvex_standin
