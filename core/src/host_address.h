// The machine's IPv4 address for audit records, kept between records: it is looked up again
// only after the kernel reported a change of links or IPv4 addresses, so a record costs no
// interface listing while nothing changed.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <optional>
#include <string>

#include "mdm/raii.h"

namespace periphcore {

class HostAddress {
  public:
    // As first_ipv4_address over the current interface list; nothing when there is no such
    // address or the listing fails.
    std::optional<std::string> get();

  private:
    // True when the watch reported a change (or lost some reports) since the last call, or
    // when there is no watch to ask; reopens the watch where it has to.
    bool changed();
    void open_watch();

    std::mutex mu_;
    mdm::UniqueFd watch_;  // rtnetlink socket on the link and IPv4 address groups
    pid_t watch_pid_ = 0;  // a forked child opens its own
    bool known_ = false;
    std::optional<std::string> address_;
};

}  // namespace periphcore
