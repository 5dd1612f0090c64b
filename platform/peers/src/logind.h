// The user at the desktop as logind on the system bus tells it.
#pragma once

#include <string>

#include <gio/gio.h>

namespace stockpeers {

// The user of the active graphical session on seat0, or "" when there is none or logind
// does not answer.
std::string logind_desktop_user(GDBusConnection* bus);

}  // namespace stockpeers
