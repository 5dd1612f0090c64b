// What mdmctl prints: aligned tables for people, JSON for scripts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mdmctl {

// A JSON string literal: quotes, backslashes and control characters escaped; bytes that are
// not valid UTF-8 become U+FFFD so the output always parses.
std::string json_quote(std::string_view text);

struct Table {
    std::vector<std::string> columns;  // header texts; lower-cased, blanks as "_", the JSON keys
    std::vector<std::vector<std::string>> rows;

    // Columns padded to their widest cell (in characters), two blanks apart; no trailing blanks.
    std::string render() const;
    // An array of objects, one per row; a line feed at the end.
    std::string json() const;
};

// The outcome of a change: a line for people, {"ok":...,"answer":N} for scripts.
std::string change_result(bool json, bool ok, int answer, std::string_view message);

}  // namespace mdmctl
