#include "bank_perm.h"

#include <syslog.h>

#include <cstdio>
#include <string>

#include "bank_files.h"
#include "mdm/files.h"
#include "mdm/permissions.h"
#include "mdm/raii.h"
#include "mdm/usb_id.h"
#include "list_lookup.h"

namespace periphcore::bank {

// A product or vendor id is taken only as four hexadecimal digits, so a damaged line can
// never address some other device.
void grant(const mdm::tarvex::Functions& fns, std::string_view product, std::string_view vendor,
           int perm) {
    auto pid = mdm::parse_four_hex(product);
    auto vid = mdm::parse_four_hex(vendor);
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
    auto pid = mdm::parse_four_hex(product);
    auto vid = mdm::parse_four_hex(vendor);
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
            grant(fns, product, vendor, mdm::kPermEnabled);
        } else if (status == 0) {
            // Devices on the bank white list keep their permission when the type goes off.
            if (!on_white_list(*white_list, product, vendor))
                grant(fns, product, vendor, mdm::kPermDisabled);
        }
    }
    return true;
}

}  // namespace periphcore::bank
