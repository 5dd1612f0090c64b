// Lookups in the policy list files. Nothing is cached: every lookup rereads its file, so an
// edited list takes effect at once.
#include "periphcore/lists.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "list_lookup.h"
#include "mdm/files.h"
#include "mdm/raii.h"

namespace periphcore {

LineReader::LineReader(std::FILE* file, std::size_t max_line) : file_(file), max_line_(max_line) {
    buffer_.reserve(max_line + 1);
}

std::optional<std::string_view> LineReader::next() {
    // Byte by byte rather than fgets: a zero byte inside a line must not hide where the line
    // ends, or the following line would be taken for the rest of this one.
    for (;;) {
        buffer_.clear();
        bool too_long = false;
        int c;
        while ((c = getc_unlocked(file_)) != EOF) {
            if (c == '\n') {
                buffer_.push_back('\n');
                break;
            }
            if (buffer_.size() < max_line_)
                buffer_.push_back(static_cast<char>(c));
            else
                too_long = true;
        }
        if (!too_long) {
            if (buffer_.empty())
                return std::nullopt;  // end of file
            return std::string_view(buffer_);
        }
        if (c == EOF)
            return std::nullopt;
        // Too long: skipped whole, go on with the next line.
    }
}

std::optional<std::string> list_key(const char* product, const char* vendor) {
    if (!product || !vendor)
        return std::nullopt;
    std::string key = std::string(product) + vendor;
    if (key.size() >= kListKeySize)
        return std::nullopt;
    return key;
}

namespace {

template <class Match>
int lookup(const char* path, const char* product, const char* vendor, Match match) {
    auto key = list_key(product, vendor);
    if (!key || !path)
        return 1;
    mdm::FilePtr file = mdm::fopen_regular(path);
    if (!file)
        return 1;
    LineReader reader(file.get(), kListLineMax);
    while (auto line = reader.next()) {
        if (match(*line, *key))
            return 0;
    }
    return 1;
}

}  // namespace

int lookup_exact(const char* path, const char* product, const char* vendor) {
    return lookup(path, product, vendor, [](std::string_view line, std::string_view key) {
        // The last character is dropped whether or not it is a line feed, so a last entry
        // without its line feed never matches.
        return !line.empty() && line.substr(0, line.size() - 1) == key;
    });
}

int lookup_prefix(const char* path, const char* product, const char* vendor) {
    return lookup(path, product, vendor, [](std::string_view line, std::string_view key) {
        return line.starts_with(key);
    });
}

PrefixSet::PrefixSet(const char* path, std::size_t key_size) : key_size_(key_size) {
    mdm::FilePtr file = path ? mdm::fopen_regular(path) : nullptr;
    if (!file)
        return;
    LineReader reader(file.get(), kListLineMax);
    while (auto line = reader.next()) {
        if (line->size() >= key_size)
            prefixes_.emplace(line->substr(0, key_size));
    }
}

bool PrefixSet::contains(std::string_view key) const {
    return key.size() == key_size_ && key.size() < kListKeySize &&
           prefixes_.contains(std::string(key));
}

}  // namespace periphcore

extern "C" {

int get_black_list(const char* product, const char* vendor) {
    try {
        return periphcore::lookup_exact("/etc/mdm/black-list", product, vendor);
    } catch (...) {
        return 1;
    }
}

int get_white_list(const char* product, const char* vendor) {
    try {
        return periphcore::lookup_exact("/etc/mdm/white-list", product, vendor);
    } catch (...) {
        return 1;
    }
}

int get_list(const char* path, const char* product, const char* vendor) {
    try {
        return periphcore::lookup_prefix(path, product, vendor);
    } catch (...) {
        return 1;
    }
}

char* utilsStrFmt(const char* format, ...) {
    if (!format)
        return nullptr;
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    int len = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    char* out = nullptr;
    if (len >= 0)
        out = static_cast<char*>(std::malloc(static_cast<std::size_t>(len) + 1));
    if (out) {
        std::vsnprintf(out, static_cast<std::size_t>(len) + 1, format, again);
        out[len] = '\0';
    }
    va_end(again);
    return out;
}

}  // extern "C"
