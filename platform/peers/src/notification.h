// The plug monitor's notification text turned into what a desktop notification server's
// Notify call takes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace stockpeers {

inline constexpr std::uint8_t kUrgencyLow = 0;
inline constexpr std::uint8_t kUrgencyNormal = 1;
inline constexpr std::uint8_t kUrgencyCritical = 2;

struct DesktopNotification {
    std::string summary;  // plain text
    std::string body;     // markup-escaped: servers may read the body as markup
    std::uint8_t urgency = kUrgencyNormal;
    std::int32_t expire_timeout = -1;  // milliseconds; -1 the server's default, 0 never
};

// {"title":"..","content":"..","urgency":"..","timeout":N}; any other text is shown as it
// is, as the summary of a notification of normal urgency.
DesktopNotification parse_notification(std::string_view text);

// "0" low, "1" normal, "2" critical (the freedesktop levels), also as words; anything else
// normal.
std::uint8_t urgency_level(std::string_view urgency);

}  // namespace stockpeers
