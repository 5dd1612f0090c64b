// Bank device permissions in the security framework.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "list_lookup.h"
#include "tarvex/adapter.h"

namespace periphcore::bank {

// A device entry with `perm`, add first and update when the add fails, every answer logged.
void grant(const mdm::tarvex::Functions& fns, std::string_view product, std::string_view vendor,
           int perm);

// A product and vendor id make an eight-character key of the bank white list.
inline constexpr std::size_t kPairSize = 8;

// Whether the bank white list (read once into `white_list`) has a line beginning with the
// pair, as get_list answers it.
bool on_white_list(const PrefixSet& white_list, std::string_view product, std::string_view vendor);

// Removes the device entry of a pair (logged).
void withdraw(const mdm::tarvex::Functions& fns, std::string_view product, std::string_view vendor);

}  // namespace periphcore::bank
