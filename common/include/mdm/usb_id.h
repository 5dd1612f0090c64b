// USB product and vendor ids as texts and numbers. Each reader of an id takes it by its own
// rule, and the rules differ on purpose: what a list file, a bus argument, a sysfs attribute
// or an admin's command line accepts is fixed by what its users already rely on. Every rule
// lives here under a name that says what it accepts.
#pragma once

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace mdm {

// A device's ids as texts, product id first.
struct UsbIds {
    std::string pid;
    std::string vid;
    bool found() const { return !pid.empty() && !vid.empty(); }
    bool operator==(const UsbIds&) const = default;
};

// The joined form of the lists and the framework's entries: both ids as at least four
// lower-case hexadecimal digits, product id first ("c8200bda").
inline std::string joined_ids(uint32_t pid, uint32_t vid) {
    char text[24];
    std::snprintf(text, sizeof text, "%04x%04x", pid, vid);
    return text;
}

// The value of one hexadecimal digit of either case, or -1.
inline int hex_digit_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Every character a hexadecimal digit of either case (the empty text included): bankguard's
// pairs, mdmctl's import file.
inline bool all_hex_digits(std::string_view text) {
    for (char c : text)
        if (hex_digit_value(c) < 0)
            return false;
    return true;
}

// One to four hexadecimal digits of either case: an id as the list services take it (mdmctl's
// arguments).
inline bool is_one_to_four_hex(std::string_view text) {
    return !text.empty() && text.size() <= 4 && all_hex_digits(text);
}

// Exactly four hexadecimal digits of either case: a bank list line's ids.
inline std::optional<uint32_t> parse_four_hex(std::string_view text) {
    if (text.size() != 4 || !all_hex_digits(text))
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text)
        value = value * 16 + static_cast<uint32_t>(hex_digit_value(c));
    return value;
}

// The leading hexadecimal digits of either case, up to the first other character; no digit
// gives 0, and digits past the eighth shift the first ones out: the plug monitor's list import.
inline uint32_t parse_leading_hex(std::string_view text) {
    uint32_t value = 0;
    for (char c : text) {
        int digit = hex_digit_value(c);
        if (digit < 0)
            break;
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

// The value whose "%04x" rendering is exactly `text`, or nullopt when no value renders so
// (upper case, a sign, fewer than four digits, or a zero before a fifth digit). This is how
// sysfs shows an id and how the permission lookup and the enforcement compare it with the
// framework's entries.
inline std::optional<uint32_t> parse_rendered_hex(std::string_view text) {
    if (text.size() < 4 || text.size() > 8 || (text.size() > 4 && text[0] == '0'))
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

// What strtoul in base 16 takes as a whole: leading blanks, a sign and "0x" allowed, no
// trailing characters (a zero byte inside counts as one), the empty text refused: RosterGate's
// bank white list lines.
struct StrtoulHex {
    unsigned long value = 0;
    std::size_t digits = 0;  // the digits after blanks, sign and "0x"
};
inline std::optional<StrtoulHex> parse_strtoul_hex(std::string_view text) {
    const std::string copy(text);
    const char* begin = copy.c_str();
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(begin, &end, 16);
    if (end == begin || end != begin + copy.size() || errno != 0)
        return std::nullopt;
    const char* p = begin;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '+' || *p == '-')
        ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(p[2])))
        p += 2;
    return StrtoulHex{value, static_cast<std::size_t>(end - p)};
}

// parse_strtoul_hex's rule, with at most eight digits and a value that fits 32 bits:
// RosterGate's bus arguments.
inline std::optional<uint32_t> parse_strtoul_hex32(std::string_view text) {
    auto hex = parse_strtoul_hex(text);
    if (!hex || hex->digits > 8 || hex->value > UINT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(hex->value);
}

// An optional "0x" or "0X", then hexadecimal digits of either case and nothing else, with a
// value that fits 32 bits: tarvexctl's arguments.
inline std::optional<uint32_t> parse_0x_hex32(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace mdm
