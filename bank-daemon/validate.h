// Checking the (product id, vendor id) pairs a client hands in before they reach a list.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "mdm/usb_id.h"

namespace bankguard {

struct CheckedPairs {
    std::vector<std::string> kept;      // joined entries, in input order
    std::vector<std::string> rejected;  // joined texts holding a non-hexadecimal character
};

// A pair counts only with both ids four characters each (others are dropped silently); its
// joined text is kept when every character is a hexadecimal digit.
CheckedPairs check_pairs(std::span<const mdm::UsbIds> pairs);

}  // namespace bankguard
