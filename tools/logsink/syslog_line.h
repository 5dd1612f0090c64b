// Turns one datagram as glibc's syslog() sends it into the capture's line form.
#pragma once

#include <string>
#include <string_view>

namespace logsink {

// "<14>Dec  7 21:20:00 ident[pid]: msg\n" gives "6 msg": the severity (PRI & 7), a blank,
// the message without the header, without one trailing line feed, inner line feeds
// written as "\n". A datagram without a valid "<PRI>" is taken whole at severity 5
// (user.notice, the default of the syslog protocol).
std::string syslog_line(std::string_view datagram);

}  // namespace logsink
