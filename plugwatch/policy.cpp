#include "policy.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "mdm/files.h"
#include "mdm/permissions.h"
#include "mdm/raii.h"
#include "mdm/usb_id.h"

namespace plugwatch {
namespace {

// Devices that are always allowed, product id then vendor id.
const char* const kDefaultAllowList[] = {mdm::kDefaultDevice, nullptr};

struct ListImport {
    const char* heading;
    int perm;
    const char* name;  // in the line of an entry that failed
};

constexpr ListImport kBlackList{"blacklist：", mdm::kPermDisabled, "blacklist"};
constexpr ListImport kWhiteList{"whitelist：", mdm::kPermEnabled, "whitelist"};

void import_list(const std::string& path, const ListImport& list, Log& log,
                 const mdm::tarvex::Functions& framework) {
    mdm::FilePtr file = mdm::fopen_regular(path);
    if (!file)
        return;
    log.write(LOG_INFO, list.heading);
    // A line longer than the buffer arrives in pieces, each taken as a line of its own.
    char line[1024];
    while (std::fgets(line, sizeof line, file.get())) {
        char pid[5] = "";
        char vid[5] = "";
        std::sscanf(line, "%4s%4s", pid, vid);
        log.write(LOG_INFO, format("device info ：[idProduct] %s [idVendor] %s", pid, vid));
        int ret = set_device_perm(pid, vid, list.perm, log, framework);
        if (ret != 0)
            log.write(LOG_INFO, format("%s failed，[idProduct]：%s [idVendor]：%s ret=%d",
                                       list.name, pid, vid, ret));
    }
    file.reset();
    // The file is a one-shot import: its entries now live in the framework.
    unlink(path.c_str());
}

void apply_default_allow_list(Log& log, const mdm::tarvex::Functions& framework) {
    for (const char* const* entry = kDefaultAllowList; *entry; ++entry) {
        if (std::strlen(*entry) < 8)
            continue;
        char pid[5] = "";
        char vid[5] = "";
        std::sscanf(*entry, "%4s%4s", pid, vid);
        log.write(LOG_INFO,
                  format("default allow device info ：[idProduct] %s [idVendor] %s", pid, vid));
        if (set_device_perm(pid, vid, 1, log, framework) != 0) {
            log.write(LOG_INFO, format("set failed, maybe policy already exist, please check it. "
                                       "[idProduct]：%s [idVendor]：%s",
                                       pid, vid));
        }
    }
}

}  // namespace

int set_device_perm(const char* pid, const char* vid, int perm, Log& log,
                    const mdm::tarvex::Functions& framework) {
    if (!pid || !vid)
        return -1;
    tarvex_devctl_info record =
        mdm::tarvex::device_record(mdm::parse_leading_hex(pid), mdm::parse_leading_hex(vid), perm);
    auto answers = mdm::tarvex::write_device_entry(framework, record);
    log.write(LOG_INFO, format("tarvex_devctl_add_perm ret=%d", answers.add.value_or(-1)));
    if (answers.add == 0)
        return 0;
    log.write(LOG_INFO, format("tarvex_devctl_update_perm ret=%d", answers.update.value_or(-1)));
    return answers.update == 0 ? 0 : -answers.update.value_or(1);
}

void init_policy(Log& log, const mdm::tarvex::Functions& framework, const PolicyFiles& files) {
    log.write(LOG_INFO, "init_policy start.");
    import_list(files.black_list, kBlackList, log, framework);
    import_list(files.white_list, kWhiteList, log, framework);
    log.write(LOG_INFO, "init_policy finish.");

    log.write(LOG_INFO, "init_policy start.");
    apply_default_allow_list(log, framework);
    log.write(LOG_INFO, "init_policy finish.");
}

}  // namespace plugwatch
