#include "mdm/frame/audit_record.h"

namespace mdm::frame {

std::string build_audit_record(std::string_view record_name, const AuditFacts& facts,
                               std::string_view message) {
    // Concatenated rather than filled placeholder by placeholder, so a "{}" inside a value
    // can never be taken for the next placeholder.
    std::string record;
    record.reserve(96 + record_name.size() + facts.time.size() + facts.user.size() +
                   facts.ip.size() + message.size());
    record += "{'time':'";
    record += facts.time;
    record += "','hostname':'";
    record += facts.user;
    record += "','ip':'";
    record += facts.ip;
    record += "','name':'";
    record += record_name;
    record += "','lv':'info','message':'";
    record += message;
    record += "'}";
    return record;
}

}  // namespace mdm::frame
