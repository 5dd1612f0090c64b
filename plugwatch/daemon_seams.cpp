#include "daemon_seams.h"

#include <syslog.h>

#include "periphcore.h"

namespace plugwatch {

void SyslogLog::write(int priority, const std::string& line) {
    syslog(priority, "%s", line.c_str());
}

int CorePeers::show_system_notification(const std::string& text) {
    return ::show_system_notification(text.c_str());
}

void CorePeers::logging(const char* name, const char* level, const std::string& message) {
    ::logging(name, level, message.c_str());
}

int CorePeers::connect_ostrelclient_bus(const std::string& record, int status) {
    return ::connect_ostrelclient_bus(record.c_str(), status);
}

}  // namespace plugwatch
