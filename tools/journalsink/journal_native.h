// The journal's native protocol as libsystemd writes it: one datagram per entry, each field
// "KEY=VALUE\n", or "KEY\n" + 64-bit little-endian size + value + "\n" for values with line
// feeds. A capture file holds entries one after another, each ended by an empty line (the
// journal's export format).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace journalsink {

using Field = std::pair<std::string, std::string>;
using Entry = std::vector<Field>;

// The fields of one datagram; nothing when it is not well formed.
std::optional<Entry> decode_datagram(std::string_view data);

// Every complete entry of a capture file, in order. An entry that is not well formed ends
// the reading: what follows it cannot be told apart.
std::vector<Entry> decode_capture(std::string_view data);

// The first value of `key` in `entry`.
std::optional<std::string> field(const Entry& entry, std::string_view key);

}  // namespace journalsink
