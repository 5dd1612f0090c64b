// Bringing the kernel's state in line with the tables: for one device as it appears (the
// udev helper) or for every device present (tarvexctl enforce, the follow loop).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "enforce_rule.h"
#include "usb_kernel.h"

namespace tarvex_standin {

struct EnforceContext {
    const Kernel& kernel;
    // Where the network devices this took away are remembered, so they come back when the
    // network card entry allows them again (they vanish from sysfs meanwhile).
    std::filesystem::path state_dir;
    bool dry_run = false;
    // One line per decision acted on (or, at a plug, per decision made), with its syslog
    // priority: LOG_WARNING for a step the kernel refused, LOG_INFO for the rest.
    std::function<void(int, const std::string&)> log;
};

// The rule's input for a present interface.
InterfaceFacts facts_of(const KernelInterface& i, bool network);

// A device that udev reports: a USB interface, a block device or a network device.
// `devnode` is the block device's node. Returns the lines logged.
std::vector<std::string> enforce_event(const Policy& policy, const EnforceContext& ctx,
                                       const std::string& devpath,
                                       const std::optional<std::string>& devnode);

// Every USB interface, USB disk and network device present; the lines of what changed
// (or, dry, would change).
std::vector<std::string> enforce_all(const Policy& policy, const EnforceContext& ctx);

// A present interface's decision and kernel state, for status output.
struct InterfaceState {
    KernelInterface iface;
    Decision decision;
    std::vector<KernelDisk> disks;
};
std::vector<InterfaceState> present_state(const Policy& policy, const EnforceContext& ctx);

// The one line logged for a decision: action, interface, class, ids, reason and path.
std::string decision_line(const KernelInterface& i, const Decision& d, const char* outcome);

// Strict mode: new interfaces stay unauthorized until the helper allows them. Returns the
// lines of root hubs changed.
std::vector<std::string> set_interface_default(const Kernel& kernel, bool authorized, bool dry_run);

}  // namespace tarvex_standin
