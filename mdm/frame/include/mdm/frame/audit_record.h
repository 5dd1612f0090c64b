// The control services' audit record: one text line for the log-transmission service.
#pragma once

#include <string>
#include <string_view>

namespace mdm::frame {

// The host facts every record carries, read afresh for each record.
struct AuditFacts {
    std::string time;  // "%Y-%m-%d %H:%M:%S"
    std::string user;  // first logged-in user, or "root"
    std::string ip;    // source address of the route to the outside, or "unknown"
};

// {'time':'T','hostname':'U','ip':'A','name':'N','lv':'info','message':'M'}
// Values go in verbatim: the receiver expects the text as the services have always sent it,
// so nothing is escaped. This is not JSON.
std::string build_audit_record(std::string_view record_name, const AuditFacts& facts,
                               std::string_view message);

}  // namespace mdm::frame
