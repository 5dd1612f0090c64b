// Where a lookup writes its steps: the daemons bind it to syslog, mdmctl drops them, tests
// record them.
#pragma once

#include <string>

namespace mdm::perm {

class Log {
  public:
    virtual ~Log() = default;
    virtual void write(int priority, const std::string& line) = 0;
};

}  // namespace mdm::perm
