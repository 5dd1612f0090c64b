// Batch additions, the batch removal and the clearing of a list: at most one framework write
// per call, however long the list.
#include "list_control.h"

namespace rostergate {

tarvex_devctl_info removal_entry(const std::string& joined) {
    // Cut into four and four characters whatever the caller's split was: c82 + 00bda
    // removes c820/0bda.
    std::string pid = joined.substr(0, 4);
    std::string vid = joined.size() > 4 ? joined.substr(4, 4) : std::string();
    return mdm::tarvex::device_record(convert_id(pid), convert_id(vid), 0);
}

int ListControl::add_batch(const std::string& name, const std::vector<Pair>& pairs, int len,
                           int perm, bool bank_step) {
    log(name);
    if (len < 0)
        throw RequestError("negative len " + std::to_string(len));
    if (len > kMaxBatchLen) {
        throw RequestError("len " + std::to_string(len) + " above " + std::to_string(kMaxBatchLen));
    }
    // The framework is handed `len` records; a pair beyond them would be dropped unseen.
    if (pairs.size() > static_cast<std::size_t>(len)) {
        throw RequestError(std::to_string(pairs.size()) + " pairs for len " + std::to_string(len));
    }
    std::vector<tarvex_devctl_info> records(static_cast<std::size_t>(len));
    const EntrySet bank = bank_step ? bank_devices() : EntrySet();
    std::vector<std::string> bank_pairs;
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const Pair& pair = pairs[k];
        if (bank_step) {
            std::string joined = to_lower(pair.pid + pair.vid);
            if (check_bank_device(joined, bank) == 1)
                bank_pairs.push_back(std::move(joined));
        }
        log(name + pair_text(pair));
        // Converted as the caller sent them: the framework's ids are numbers, case is moot.
        records[k] = mdm::tarvex::device_record(convert_id(pair.pid), convert_id(pair.vid), perm);
    }
    if (bank_step) {
        auto on_file = get_bank_device_whitelist(env_.bank);
        const EntrySet known(on_file.begin(), on_file.end());
        std::vector<std::string> missing;
        for (std::string& joined : bank_pairs) {
            if (!known.contains(joined))
                missing.push_back(std::move(joined));
        }
        add_bank_device_whitelist(env_.bank, missing);
    }
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const tarvex_devctl_info& r = records[k];
        log(name + " pid: " + std::to_string(r.pid) + ", vid: " + std::to_string(r.vid) +
            ", perm: " + std::to_string(r.perm));
    }
    int answer = fns().batch_add(records.data(), len);
    log(name + " tarvex_devctl_batch_add_special_policies return " + std::to_string(answer));
    log(name + " return " + std::to_string(answer));
    return answer;
}

int ListControl::SetWhiteListByBatch(const std::vector<Pair>& pairs, int len) {
    return add_batch("[RosterGate]:SetWhiteListByBatch", pairs, len, kWhitePerm, true);
}

int ListControl::SetBlackListByBatch(const std::vector<Pair>& pairs, int len) {
    return add_batch("[RosterGate]:SetBlackListByBatch", pairs, len, kBlackPerm, false);
}

int ListControl::remove_batch(const std::string& name, std::vector<tarvex_devctl_info>& entries,
                              const std::function<void()>& after_full_removal) {
    if (entries.empty()) {
        log(name + " return 0");
        return 0;
    }
    for (const tarvex_devctl_info& r : entries)
        log(name + " pid: " + std::to_string(r.pid) + ", vid: " + std::to_string(r.vid));
    const int count = static_cast<int>(entries.size());
    int answer = fns().batch_del(entries.data(), count);
    log(name + " tarvex_devctl_batch_del_special_policies return " + std::to_string(answer));
    if (answer != count) {
        log(name + " return " + std::to_string(answer));
        return answer;
    }
    if (after_full_removal)
        after_full_removal();
    log(name + " return 0");
    return 0;
}

int ListControl::DelWhiteListByBatch(const std::vector<Pair>& pairs, int /*len*/) {
    const std::string name = "[RosterGate]:DelWhiteListByBatch";
    log(name);
    audit("批量删除白名单");
    const EntrySet bank = bank_devices();
    std::vector<tarvex_devctl_info> entries;
    EntrySet unlist;
    for (const Pair& pair : pairs) {
        log(name + pair_text(pair));
        const std::string joined = to_lower(pair.pid + pair.vid);
        if (check_default_device(joined, env_.log) == 1)
            continue;
        if (check_bank_device(joined, bank) == 1) {
            unlist.insert(joined);
            log(name + " " + joined + " ignore");
            continue;
        }
        entries.push_back(removal_entry(joined));
    }
    del_bank_device_whitelist(env_.bank, unlist);
    return remove_batch(name, entries, nullptr);
}

int ListControl::clear_list(bool white) {
    const std::string name = white ? "[RosterGate]:ClearWhiteList" : "[RosterGate]:ClearBlackList";
    log(name);
    audit(white ? "清空白名单" : "清空黑名单");
    auto list = white ? GetWhiteList() : GetBlackList();
    const EntrySet bank = bank_devices();
    std::vector<tarvex_devctl_info> entries;
    for (const std::string& entry : list) {
        log(name + " " + entry);
        // The default device stays white-listed; as a black-list entry it goes like any other.
        if (white && check_default_device(entry, env_.log) == 1)
            continue;
        if (check_bank_device(entry, bank) == 1) {
            log(name + " " + entry + " ignore");
            continue;
        }
        entries.push_back(removal_entry(entry));
    }
    std::function<void()> after;
    if (white)
        after = [this] { clear_bank_device_whitelist(env_.bank); };
    return remove_batch(name, entries, after);
}

int ListControl::ClearWhiteList() {
    return clear_list(true);
}

int ListControl::ClearBlackList() {
    return clear_list(false);
}

}  // namespace rostergate
