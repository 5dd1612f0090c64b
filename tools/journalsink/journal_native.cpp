#include "journal_native.h"

#include <cstdint>

namespace journalsink {

namespace {

bool valid_key(std::string_view key) {
    if (key.empty() || key.size() > 64)
        return false;
    for (char c : key) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}

// Reads one field at `pos`; false when the data is not well formed there.
bool read_field(std::string_view data, std::size_t& pos, Entry& out) {
    std::size_t nl = data.find('\n', pos);
    if (nl == std::string_view::npos)
        return false;
    std::string_view line = data.substr(pos, nl - pos);
    std::size_t eq = line.find('=');
    if (eq != std::string_view::npos) {
        if (!valid_key(line.substr(0, eq)))
            return false;
        out.emplace_back(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
        pos = nl + 1;
        return true;
    }
    if (!valid_key(line) || data.size() - (nl + 1) < 8)
        return false;
    std::uint64_t size = 0;
    for (int i = 7; i >= 0; --i)
        size = (size << 8) | static_cast<unsigned char>(data[nl + 1 + static_cast<std::size_t>(i)]);
    std::size_t start = nl + 9;
    if (size > data.size() - start || data.size() - start - size < 1 ||
        data[start + size] != '\n') {
        return false;
    }
    out.emplace_back(std::string(line), std::string(data.substr(start, size)));
    pos = start + size + 1;
    return true;
}

}  // namespace

std::optional<Entry> decode_datagram(std::string_view data) {
    Entry entry;
    std::size_t pos = 0;
    while (pos < data.size()) {
        if (!read_field(data, pos, entry))
            return std::nullopt;
    }
    if (entry.empty())
        return std::nullopt;
    return entry;
}

std::vector<Entry> decode_capture(std::string_view data) {
    std::vector<Entry> entries;
    Entry current;
    std::size_t pos = 0;
    while (pos < data.size()) {
        if (data[pos] == '\n') {
            if (!current.empty())
                entries.push_back(std::move(current));
            current.clear();
            ++pos;
            continue;
        }
        if (!read_field(data, pos, current))
            break;
    }
    return entries;
}

std::optional<std::string> field(const Entry& entry, std::string_view key) {
    for (const auto& [k, v] : entry) {
        if (k == key)
            return v;
    }
    return std::nullopt;
}

}  // namespace journalsink
