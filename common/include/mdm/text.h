// Small text helpers for fixed-width fields, printf-style texts, JSON texts and texts shown
// in logs. Plain C++: no library needed.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>
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

// True when `text` holds an ASCII control byte (below 0x20, or DEL).
inline bool has_control_byte(std::string_view text) {
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return true;
    }
    return false;
}

// `text` with each ASCII control byte (below 0x20, or DEL) written as \xNN and every other byte
// kept as it is: how the plug monitor shows device strings and records in its log lines.
inline std::string escape_ascii_controls(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

namespace detail {

// The code point of the UTF-8 sequence at the start of `s` and its length; length 0 when the
// sequence is not valid UTF-8 (a stray or cut sequence, an overlong form, a surrogate, beyond
// U+10FFFF).
struct Utf8Char {
    std::uint32_t code = 0;
    std::size_t length = 0;
};

inline Utf8Char decode_utf8(std::string_view s) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07u, least = 0x10000;
    } else {
        return {};
    }
    if (s.size() < length)
        return {};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return {};
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    return {code, length};
}

// Characters that break or rewrite a line where a text is shown: C0 and C1 controls, DEL,
// and the line and paragraph separators, which viewers treat as a line feed.
inline bool is_control_char(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

}  // namespace detail

// `text` made safe to show in a log or the journal, in at most `max_bytes` bytes (an ellipsis
// marks a cut, which never splits a character): control characters become \xNN (\uNNNN
// beyond ASCII), and so does every byte that is not UTF-8; everything else is kept.
inline std::string printable(std::string_view text,
                             std::size_t max_bytes = std::numeric_limits<std::size_t>::max()) {
    static constexpr std::string_view kEllipsis = "\u2026";
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() < max_bytes ? text.size() : max_bytes);
    std::size_t i = 0;
    while (i < text.size()) {
        detail::Utf8Char c = detail::decode_utf8(text.substr(i));
        char piece[8];
        std::size_t piece_size = 0;
        if (c.length == 0 || (c.code < 0x80 && detail::is_control_char(c.code))) {
            auto u = static_cast<unsigned char>(text[i]);
            piece_size = 4;
            piece[0] = '\\', piece[1] = 'x', piece[2] = hex[u >> 4], piece[3] = hex[u & 0xF];
            c.length = 1;
        } else if (detail::is_control_char(c.code)) {
            piece_size = 6;
            piece[0] = '\\', piece[1] = 'u';
            for (int k = 0; k < 4; ++k)
                piece[2 + k] = hex[(c.code >> (12 - 4 * k)) & 0xF];
        } else {
            piece_size = c.length;
            text.copy(piece, c.length, i);
        }
        if (out.size() + piece_size > max_bytes) {
            // Room for the ellipsis, cut after a whole character; none when even it is too long.
            if (max_bytes < kEllipsis.size())
                return {};
            out.resize(utf8_prefix(out, max_bytes - kEllipsis.size()).size());
            out += kEllipsis;
            return out;
        }
        out.append(piece, piece_size);
        i += c.length;
    }
    return out;
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

// `s` as a JSON string's body; see append_json_escaped. Bytes that are not UTF-8 are kept:
// callers with untrusted bytes make the text valid first.
inline std::string json_escaped(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    append_json_escaped(out, s);
    return out;
}

}  // namespace mdm
