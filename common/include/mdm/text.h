// Small text helpers for fixed-width fields, printf-style texts and JSON texts.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace mdm {

// printf-style formatting into a std::string of whatever length the text needs.
inline std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
inline std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int size = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string out;
    if (size > 0) {
        out.resize(static_cast<std::size_t>(size));
        std::vsnprintf(out.data(), out.size() + 1, fmt, again);
    }
    va_end(again);
    return out;
}

// Longest prefix of `s` of at most `max_bytes` bytes that does not end inside a UTF-8
// sequence. Invalid bytes are treated as single characters.
inline std::string_view utf8_prefix(std::string_view s, std::size_t max_bytes) {
    if (s.size() <= max_bytes)
        return s;
    std::size_t end = max_bytes;
    // Step back over continuation bytes to the lead byte of the last sequence.
    std::size_t lead = end;
    while (lead > 0 && (static_cast<unsigned char>(s[lead]) & 0xC0) == 0x80 && end - lead < 4) {
        --lead;
    }
    return s.substr(0, lead);
}

// Copies `src` into a field of `width` bytes (terminator included), cutting at a UTF-8
// boundary so the field never overflows and never holds half a character.
inline void copy_field(char* dst, std::size_t width, std::string_view src) {
    if (width == 0)
        return;
    std::string_view cut = utf8_prefix(src, width - 1);
    std::memcpy(dst, cut.data(), cut.size());
    dst[cut.size()] = '\0';
}

template <std::size_t N>
inline void copy_field(char (&dst)[N], std::string_view src) {
    copy_field(dst, N, src);
}

// Appends `s` as the body of a JSON string: quote, backslash and control characters escaped,
// every other byte (UTF-8 included) unchanged.
inline void append_json_escaped(std::string& out, std::string_view s) {
    static const char hex[] = "0123456789abcdef";
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (u < 0x20) {
                    out += "\\u00";
                    out += hex[u >> 4];
                    out += hex[u & 0xF];
                } else {
                    out += c;
                }
        }
    }
}

inline std::string json_escaped(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    append_json_escaped(out, s);
    return out;
}

}  // namespace mdm
