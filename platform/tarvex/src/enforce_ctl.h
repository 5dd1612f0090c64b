// tarvexctl's enforcement commands: enforce [--dry-run | --follow | --restore-defaults],
// status and recover; and the udev helper's run.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string_view>

#include "enforce.h"
#include "enforce_config.h"
#include "store.h"

namespace tarvex_standin {

// The tables as enforcement sees them: nullopt when the store could not be read for a
// passing reason (nothing is changed then); a damaged store gives Policy::damaged().
std::optional<Policy> load_policy(const Store& store);

// True when `args[0]` is one of the enforcement commands; `status` receives its exit code.
bool run_enforce_ctl(std::span<const std::string_view> args, const EnforcePaths& paths,
                     std::ostream& out, std::ostream& err, int& status);

// The udev helper: DEVPATH [DEVNODE]. Always 0, so udev goes on with the event.
int run_helper(std::span<const std::string_view> args, const EnforcePaths& paths);

}  // namespace tarvex_standin
