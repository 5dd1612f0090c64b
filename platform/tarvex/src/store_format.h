// The store's file format: a versioned binary image of both tables with a checksum, so a
// truncated or damaged file is recognised instead of being read as wrong entries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tables.h"

namespace tarvex_standin {

std::string encode_tables(const Tables& t);
// Empty when the image is not a complete, intact store of a known version.
std::optional<Tables> decode_tables(std::string_view image);

}  // namespace tarvex_standin
