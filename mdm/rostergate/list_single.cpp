// Queries and single-entry changes of the white and black lists.
#include <algorithm>
#include <cstdio>

#include "list_control.h"
#include "mdm/usb_id.h"

namespace rostergate {

namespace {

// Callers count characters, not bytes; bus strings are UTF-8.
bool longer_than_four(const std::string& text) {
    std::size_t chars = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++chars;
    }
    return chars > 4;
}

bool listed(const std::vector<std::string>& list, const std::string& entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
}

}  // namespace

std::string entry_text(const tarvex_devctl_info& rec) {
    return mdm::joined_ids(rec.pid, rec.vid);
}

std::string pair_text(const Pair& pair) {
    return "('" + pair.pid + "', '" + pair.vid + "')";
}

uint32_t convert_id(const std::string& text) {
    // As the 32-bit record field holds it: a longer id would be cut or wrapped.
    auto id = mdm::parse_strtoul_hex32(text);
    if (!id)
        throw RequestError("invalid id '" + text + "'");
    return *id;
}

EntrySet ListControl::bank_devices() const {
    auto list = get_bank_device_list(env_.bank, env_.log);
    return EntrySet(std::make_move_iterator(list.begin()), std::make_move_iterator(list.end()));
}

std::vector<std::string> ListControl::read_list(int perm, const char* name) const {
    log(std::string("[RosterGate]:") + name);
    std::vector<std::string> result;
    for (const tarvex_devctl_info& rec : mdm::tarvex::read_device_table(fns())) {
        if (rec.perm == perm)
            result.push_back(entry_text(rec));
    }
    return result;
}

std::vector<std::string> ListControl::GetWhiteList() const {
    return read_list(kWhitePerm, "GetWhiteList");
}

std::vector<std::string> ListControl::GetBlackList() const {
    return read_list(kBlackPerm, "GetBlackList");
}

int ListControl::write_entry(const std::string& name, const std::string& pid,
                             const std::string& vid, int perm) {
    tarvex_devctl_info rec = mdm::tarvex::device_record(convert_id(pid), convert_id(vid), perm);
    auto answers = mdm::tarvex::write_device_entry(fns(), rec);
    log(name + " tarvex_devctl_add_perm return " + std::to_string(*answers.add));
    int result = *answers.add;
    if (answers.update) {
        result = *answers.update;
        log(name + " tarvex_devctl_update_perm return " + std::to_string(result));
    }
    log(name + " return " + std::to_string(result));
    return result;
}

int ListControl::SetWhiteList(const std::string& pid, const std::string& vid) {
    const std::string name = "[RosterGate]:SetWhiteList";
    log(name);
    if (longer_than_four(pid) || longer_than_four(vid))
        return -1;
    auto white = GetWhiteList();
    const std::string pidvid = to_lower(pid + vid);
    // A bank device white-listed here must stay allowed when its bank type is switched off,
    // even when its entry already exists; nothing in this step may stop the call.
    try {
        if (check_bank_device(pidvid, bank_devices()) == 1) {
            auto bank_white = get_bank_device_whitelist(env_.bank);
            if (!listed(bank_white, pidvid))
                add_bank_device_whitelist(env_.bank, {pidvid});
        }
    } catch (const std::exception&) {
    }
    if (listed(white, pidvid))
        return -1;
    audit("添加白名单设备pid: " + pid + ", vid: " + vid);
    return write_entry(name, pid, vid, kWhitePerm);
}

int ListControl::SetBlackList(const std::string& pid, const std::string& vid) {
    const std::string name = "[RosterGate]:SetBlackList";
    log(name);
    if (longer_than_four(pid) || longer_than_four(vid))
        return -1;
    auto black = GetBlackList();
    // Compared as given: upper-case ids pass this test and end in the framework's update.
    if (listed(black, pid + vid)) {
        log(name + " return -1");
        return -1;
    }
    audit("添加黑名单设备pid: " + pid + ", vid: " + vid);
    return write_entry(name, pid, vid, kBlackPerm);
}

int ListControl::remove_matches(const std::string& name, const std::vector<std::string>& list,
                                const std::string& pidvid, const std::string& pid,
                                const std::string& vid) {
    for (const std::string& entry : list) {
        if (entry != pidvid)
            continue;
        // The record comes from the halves as the caller split them, not from the match.
        tarvex_devctl_info rec = mdm::tarvex::device_record(convert_id(pid), convert_id(vid), 0);
        int answer = fns().remove(&rec);
        log(name + " tarvex_devctl_remove_perm return " + std::to_string(answer));
        if (answer != 0) {
            log(name + " return " + std::to_string(answer));
            return answer;
        }
    }
    log(name + " return 0");
    return 0;
}

int ListControl::DelWhiteList(const std::string& pid, const std::string& vid) {
    const std::string name = "[RosterGate]:DelWhiteList";
    log(name);
    if (longer_than_four(pid) || longer_than_four(vid))
        return -1;
    audit("删除白名单设备pid: " + pid + ", vid: " + vid);
    auto white = GetWhiteList();
    EntrySet bank = bank_devices();
    const std::string pidvid = pid + vid;
    if (check_default_device(pidvid, env_.log) == 1) {
        log(name + " return 0");
        return 0;
    }
    // A bank device keeps its entry; it only leaves the bank white list.
    if (check_bank_device(pidvid, bank) == 1) {
        log(name + " " + pidvid + " ignore");
        log(name + " return 0");
        del_bank_device_whitelist(env_.bank, {pidvid});
        return 0;
    }
    return remove_matches(name, white, pidvid, pid, vid);
}

int ListControl::DelBlackList(const std::string& pid, const std::string& vid) {
    const std::string name = "[RosterGate]:DelBlackList";
    log(name);
    audit("删除黑名单设备pid: " + pid + ", vid: " + vid);
    auto black = GetBlackList();
    const std::string pidvid = pid + vid;
    if (!listed(black, pidvid)) {
        log(name + " return -1");
        return -1;
    }
    if (check_bank_device(pidvid, bank_devices()) == 1) {
        log(name + " " + pidvid + " ignore");
        log(name + " return 0");
        return 0;
    }
    return remove_matches(name, black, pidvid, pid, vid);
}

}  // namespace rostergate
