// The daemon's bindings of the seams: syslog, the core library's peer calls and the
// linked security framework library.
#pragma once

#include "seams.h"

namespace plugwatch {

class SyslogLog final : public Log {
  public:
    void write(int priority, const std::string& line) override;
};

class CorePeers final : public Peers {
  public:
    int show_system_notification(const std::string& text) override;
    void logging(const char* name, const char* level, const std::string& message) override;
    int connect_ostrelclient_bus(const std::string& record, int status) override;
};

}  // namespace plugwatch
