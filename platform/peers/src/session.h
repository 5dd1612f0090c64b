// Who is at the desktop: the user of the active graphical session on seat0, as logind
// describes that session.
#pragma once

#include <string>

namespace stockpeers {

struct SessionFacts {
    bool active = false;
    bool remote = false;
    std::string type;   // "x11", "wayland", "mir", "tty", ...
    std::string klass;  // "user", "greeter", "lock-screen", ...
    std::string name;   // user name
};

// The session's user name, or "" when it is not an active local graphical user session.
std::string desktop_user(const SessionFacts& session);

}  // namespace stockpeers
