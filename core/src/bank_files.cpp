// Reading the bank device lists and statuses.
#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "bank_files.h"
#include "bank_io.h"
#include "mdm/files.h"
#include "mdm/raii.h"
#include "list_lookup.h"

namespace periphcore::bank {

namespace {

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::optional<std::string> normalise_line(std::string_view line) {
    std::string entry;
    for (char c : line) {
        if (c != '\n' && c != '\t' && c != ' ')
            entry += ascii_lower(c);
    }
    if (entry.size() != 8 || entry.find('\0') != std::string::npos)
        return std::nullopt;
    return entry;
}

std::optional<std::vector<std::string>> read_list(const std::string& path) {
    mdm::FilePtr file = mdm::fopen_regular(path);
    if (!file) {
        std::fputs("open file error\n", stderr);
        return std::nullopt;
    }
    std::vector<std::string> entries;
    LineReader reader(file.get(), kDevListLineMax);
    while (auto line = reader.next()) {
        // Duplicates stay: the list is handed out as the file holds it.
        if (auto entry = normalise_line(*line))
            entries.push_back(std::move(*entry));
    }
    return entries;
}

std::vector<std::string> normalise_input(char* const* entries, int count) {
    std::vector<std::string> kept;
    std::unordered_set<std::string> seen;
    for (int i = 0; entries && i < count; ++i) {
        if (!entries[i])
            continue;
        std::string entry = entries[i];
        for (char& c : entry)
            c = ascii_lower(c);
        if (seen.insert(entry).second)
            kept.push_back(std::move(entry));
    }
    return kept;
}

int device_type(const BankPaths& paths, const char* product, const char* vendor) {
    auto key = list_key(product, vendor);
    if (!key)
        return kNotBank;
    for (int type = 0; type < kNotBank; ++type) {
        mdm::FilePtr file = mdm::fopen_regular(paths.devlist(type));
        if (!file)
            continue;
        LineReader reader(file.get(), kTypeLineMax);
        while (auto line = reader.next()) {
            if (line->starts_with(*key))
                return type;
        }
    }
    return kNotBank;
}

int parse_status(std::string_view bytes) {
    int value = 0;
    for (char c : bytes) {
        if (c < '0' || c > '9')
            break;
        if (value > (INT_MAX - (c - '0')) / 10)
            return INT_MAX;  // saturates instead of overflowing
        value = value * 10 + (c - '0');
    }
    return value;
}

int read_status(const std::string& path) {
    mdm::UniqueFd fd = mdm::open_regular(path, O_RDONLY);
    if (!fd) {
        report_errno("getBankDevStatus");
        return -1;
    }
    // Only the first two bytes count ("1" or "1\n").
    char bytes[2];
    errno = 0;  // an empty file is reported with no stale error text
    ssize_t n = read_full(fd.get(), bytes, sizeof bytes);
    if (n < 1) {
        report_errno("getBankDevStatus");
        return -1;
    }
    return parse_status(std::string_view(bytes, static_cast<std::size_t>(n)));
}

int get_status(const BankPaths& paths, int type) {
    if (!type_name(type))
        return -1;
    return read_status(paths.status(type));
}

}  // namespace periphcore::bank
