// Splitting the peers' fixed-shape texts into their values. The senders insert values
// verbatim, unescaped, so a text is read as a known prefix, known separators in order and a
// known suffix: each value runs to the first occurrence of the next separator, and the last
// one to the suffix at the very end.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace stockpeers {

// The values between the separators, or nothing when the text does not have this shape.
std::optional<std::vector<std::string_view>> split_fixed(std::string_view text,
                                                         std::string_view prefix,
                                                         std::span<const std::string_view> seps,
                                                         std::string_view suffix);

}  // namespace stockpeers
