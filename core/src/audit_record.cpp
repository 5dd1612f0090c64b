#include "audit_record.h"

#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "mdm/text.h"

namespace periphcore {

std::string format_audit_time(const std::tm& tm) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string user_or_fallback(const std::optional<std::string>& reply) {
    if (!reply || reply->empty() || *reply == " ")
        return std::string(kNotLoggedIn);
    return *reply;
}

std::optional<std::string> first_ipv4_address(const struct ifaddrs* list) {
    for (const struct ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET)
            continue;
        if (it->ifa_name && std::strcmp(it->ifa_name, "lo") == 0)
            continue;
        char host[NI_MAXHOST];
        if (getnameinfo(it->ifa_addr, sizeof(struct sockaddr_in), host, sizeof host, nullptr, 0,
                        NI_NUMERICHOST) != 0) {
            return std::nullopt;
        }
        return std::string(host);
    }
    return std::nullopt;
}

std::string build_audit_record(std::string_view time, std::string_view user, std::string_view name,
                               std::string_view ip, std::string_view level,
                               std::string_view message) {
    // The user goes under "hostname": the log service has always read it there.
    const std::pair<std::string_view, std::string_view> fields[] = {
        {"time", time}, {"hostname", user}, {"name", name},
        {"ip", ip},     {"lv", level},      {"message", message}};
    std::string record = "{";
    for (const auto& [key, value] : fields) {
        if (record.size() > 1)
            record += ',';
        record += '\'';
        record += key;
        record += "':'";
        record += value;
        record += '\'';
    }
    record += '}';
    if (record.size() > kAuditRecordMax) {
        record.resize(mdm::utf8_prefix(record, kAuditRecordMax).size());
    }
    return record;
}

}  // namespace periphcore
