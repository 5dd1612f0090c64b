// The record files under /etc/mdm (disable-storage, disable-net, ...): one line per device
// switched off, its product id and vendor id joined.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace mdm {

// The pairs (product id, vendor id) of the record lines: characters 1-4 and 5-8 of each line
// (line end included), each pair once, in the order first seen. Not validated: a short line
// gives short pieces, which match no device.
inline std::vector<std::pair<std::string, std::string>> distinct_record_pairs(
    std::string_view records) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::unordered_set<std::string> seen;
    while (!records.empty()) {
        std::size_t end = records.find('\n');
        std::size_t len = end == std::string_view::npos ? records.size() : end + 1;
        std::string_view line = records.substr(0, len);
        records.remove_prefix(len);
        std::string product(line.substr(0, 4));
        std::string vendor(line.substr(std::min<std::size_t>(4, line.size()), 4));
        if (seen.insert(product + '\0' + vendor).second)
            pairs.emplace_back(std::move(product), std::move(vendor));
    }
    return pairs;
}

}  // namespace mdm
