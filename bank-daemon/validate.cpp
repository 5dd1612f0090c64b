#include "validate.h"

#include "mdm/usb_id.h"

namespace bankguard {

CheckedPairs check_pairs(std::span<const mdm::UsbIds> pairs) {
    CheckedPairs out;
    for (const mdm::UsbIds& p : pairs) {
        if (p.pid.size() != 4 || p.vid.size() != 4)
            continue;
        std::string joined = p.pid + p.vid;
        (mdm::all_hex_digits(joined) ? out.kept : out.rejected).push_back(std::move(joined));
    }
    return out;
}

}  // namespace bankguard
