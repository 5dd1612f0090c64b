#include "validate.h"

#include <cstring>

#include "mdm/usb_id.h"

namespace bankguard {

CheckedPairs check_pairs(std::span<const Pair> pairs) {
    CheckedPairs out;
    for (const Pair& p : pairs) {
        if (!p.product || !p.vendor)
            continue;
        if (std::strlen(p.product) != 4 || std::strlen(p.vendor) != 4)
            continue;
        std::string joined = std::string(p.product) + p.vendor;
        (mdm::all_hex_digits(joined) ? out.kept : out.rejected).push_back(std::move(joined));
    }
    return out;
}

}  // namespace bankguard
