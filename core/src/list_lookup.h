// The list lookups behind periphcore's list calls, also used by the bank and switching code.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace periphcore {

// Width of the lookup key, and the longest list line (its line feed not counted) the
// lookups read whole.
inline constexpr std::size_t kListKeySize = 64;
inline constexpr std::size_t kListLineMax = 255;

// Reads a stream line by line, as the list formats were defined with a line limit. A line
// longer than `max_line` characters (its line feed not counted) is skipped whole, so no
// fragment of it can ever be mistaken for an entry.
class LineReader {
  public:
    LineReader(std::FILE* file, std::size_t max_line);
    // The next line that fits, with its line feed when it has one; nullopt at end of file.
    std::optional<std::string_view> next();

  private:
    std::FILE* file_;
    std::size_t max_line_;
    std::string buffer_;
};

// The lookup key: product id then vendor id; nullopt when it does not fit the 64-byte key.
std::optional<std::string> list_key(const char* product, const char* vendor);

// Exact lookup of the black and white lists: each line loses its last character (the line
// feed) and must then equal the key. 0 found, 1 not found.
int lookup_exact(const char* path, const char* product, const char* vendor);
// Prefix lookup: a line matches when it begins with the key. 0 found, 1 not found.
int lookup_prefix(const char* path, const char* product, const char* vendor);

// The start of every line of a list file, for many prefix lookups over one read of it:
// contains(key) answers as lookup_prefix does for a key of `key_size` characters.
class PrefixSet {
  public:
    PrefixSet(const char* path, std::size_t key_size);
    bool contains(std::string_view key) const;

  private:
    std::size_t key_size_;
    std::unordered_set<std::string> prefixes_;
};

}  // namespace periphcore
