#include "validate.h"

#include <cstring>

namespace bankguard {

namespace {

bool is_hex_text(const std::string& text) {
    for (char c : text) {
        bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex)
            return false;
    }
    return true;
}

}  // namespace

CheckedPairs check_pairs(std::span<const Pair> pairs) {
    CheckedPairs out;
    for (const Pair& p : pairs) {
        if (!p.product || !p.vendor)
            continue;
        if (std::strlen(p.product) != 4 || std::strlen(p.vendor) != 4)
            continue;
        std::string joined = std::string(p.product) + p.vendor;
        (is_hex_text(joined) ? out.kept : out.rejected).push_back(std::move(joined));
    }
    return out;
}

}  // namespace bankguard
