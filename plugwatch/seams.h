// What the plug handling reaches outside itself: the system log, the three peers of the
// core library and the security framework's tables. The daemon binds them to syslog,
// periphcore and the linked framework library; tests bind them to fakes.
#pragma once

#include <string>
#include <string_view>

#include "mdm/text.h"
#include "perm/log.h"
#include "tarvex/adapter.h"

namespace plugwatch {

using Log = mdm::perm::Log;

class Peers {
  public:
    virtual ~Peers() = default;
    virtual int show_system_notification(const std::string& text) = 0;
    virtual void logging(const char* name, const char* level, const std::string& message) = 0;
    virtual int connect_ostrelclient_bus(const std::string& record, int status) = 0;
};

struct Seams {
    Log& log;
    Peers& peers;
    // The security framework, through the adapter's table of calls.
    const mdm::tarvex::Functions& framework;
};

// printf-style formatting for log lines.
using mdm::format;

}  // namespace plugwatch
