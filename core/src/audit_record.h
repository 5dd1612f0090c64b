// Texts and host facts of the audit record, kept apart from the bus so they can be
// checked byte for byte.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

struct ifaddrs;

namespace periphcore {

// The record is built in a 1024-byte buffer on the receiving side's terms.
inline constexpr std::size_t kAuditRecordMax = 1023;
inline constexpr std::string_view kNotLoggedIn = "未登录";
inline constexpr std::string_view kUnknownIp = "unknown";

// "YYYY-MM-DD hh:mm:ss" from a broken-down local time.
std::string format_audit_time(const std::tm& tm);

// The user as the management client reported it; no answer, an empty text or a single
// blank mean nobody is logged in.
std::string user_or_fallback(const std::optional<std::string>& reply);

// Dotted address of the first non-"lo" interface, in listing order, that carries IPv4.
// Nothing when there is none or the numeric lookup fails.
std::optional<std::string> first_ipv4_address(const struct ifaddrs* list);

// {'time':'T','hostname':'U','name':'N','ip':'A','lv':'L','message':'M'} with the values
// verbatim, cut to kAuditRecordMax bytes at a character boundary.
std::string build_audit_record(std::string_view time, std::string_view user, std::string_view name,
                               std::string_view ip, std::string_view level,
                               std::string_view message);

}  // namespace periphcore
