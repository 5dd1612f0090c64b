#include "bank_perm.h"

#include <syslog.h>

#include <cstdio>
#include <string>

#include "bank_files.h"
#include "mdm/files.h"
#include "mdm/raii.h"
#include "list_lookup.h"

namespace periphcore::bank {

namespace {

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

std::optional<uint32_t> parse_id(std::string_view id) {
    if (id.size() != 4)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : id) {
        if (!is_hex_digit(c))
            return std::nullopt;
        uint32_t digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * 16 + digit;
    }
    return value;
}

void grant(const mdm::tarvex::Functions& fns, std::string_view product, std::string_view vendor,
           int perm) {
    auto pid = parse_id(product);
    auto vid = parse_id(vendor);
    if (!pid || !vid)
        return;
    std::string p(product), v(vendor);
    tarvex_devctl_info rec = mdm::tarvex::device_record(*pid, *vid, perm);
    auto answers = mdm::tarvex::write_device_entry(fns, rec);
    int ret = *answers.add;
    syslog(LOG_INFO, "tarvex_devctl_add_perm pid：%s vid：%s perm：%d ret=%d", p.c_str(), v.c_str(),
           perm, ret);
    if (answers.update) {
        ret = *answers.update;
        syslog(LOG_INFO, "tarvex_devctl_update_perm pid：%s vid：%s perm：%d ret=%d", p.c_str(),
               v.c_str(), perm, ret);
    }
    if (ret != 0)
        syslog(LOG_INFO, "set_bank_device_perm_by_pidvid ret=%d", ret);
}

void withdraw(const mdm::tarvex::Functions& fns, std::string_view product,
              std::string_view vendor) {
    auto pid = parse_id(product);
    auto vid = parse_id(vendor);
    if (!pid || !vid)
        return;
    tarvex_devctl_info rec = mdm::tarvex::device_record(*pid, *vid, 0);
    int rc = fns.remove(&rec);
    std::string p(product), v(vendor);
    syslog(LOG_INFO, "tarvex_devctl_remove_perm rc=%d pid=%s vid=%s", rc, p.c_str(), v.c_str());
}

bool on_white_list(const PrefixSet& white_list, std::string_view product, std::string_view vendor) {
    std::string key;
    key.append(product).append(vendor);
    return white_list.contains(key);
}

bool apply_status(const BankPaths& paths, const mdm::tarvex::Functions& fns, int type, int status) {
    mdm::FilePtr file = mdm::fopen_regular(paths.devlist(type));
    if (!file) {
        std::fputs("open file error\n", stderr);
        return false;
    }
    // Read once for the whole list; only switching off consults it.
    std::optional<PrefixSet> white_list;
    if (status == 0)
        white_list.emplace(paths.white_list().c_str(), kPairSize);
    LineReader reader(file.get(), kTypeLineMax);
    while (auto line = reader.next()) {
        std::string_view product = line->substr(0, 4);
        std::string_view vendor = line->substr(std::min<std::size_t>(4, line->size()), 4);
        if (status == 1) {
            grant(fns, product, vendor, 1);
        } else if (status == 0) {
            // Devices on the bank white list keep their permission when the type goes off.
            if (!on_white_list(*white_list, product, vendor))
                grant(fns, product, vendor, 2);
        }
    }
    return true;
}

}  // namespace periphcore::bank
