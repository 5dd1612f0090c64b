#include "session.h"

namespace stockpeers {

std::string desktop_user(const SessionFacts& s) {
    bool graphical = s.type == "x11" || s.type == "wayland" || s.type == "mir";
    if (!s.active || s.remote || !graphical || s.klass != "user")
        return "";
    return s.name;
}

}  // namespace stockpeers
