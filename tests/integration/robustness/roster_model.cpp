#include "roster_model.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "mdm/usb_id.h"

namespace robustness {

namespace {

constexpr int kWhite = 1, kBlack = 2, kRefused = -1, kMaxLen = 100000;
const std::string kDefaultDevice = "c8200bda";

// An id the framework record can hold, for the texts this test sends: an optional 0x, then
// one to eight hexadecimal digits.
std::optional<uint32_t> id(const std::string& text) {
    std::string_view digits(text);
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.remove_prefix(2);
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return g_ascii_isxdigit(c); }))
        return std::nullopt;
    return static_cast<uint32_t>(std::stoul(std::string(digits), nullptr, 16));
}

bool too_long(const std::string& text) {
    return g_utf8_strlen(text.c_str(), -1) > 4;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](char c) { return g_ascii_tolower(c); });
    return s;
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairs_of(GVariant* array) {
    Pairs out;
    GVariantIter it;
    g_variant_iter_init(&it, array);
    const gchar *pid = nullptr, *vid = nullptr;
    while (g_variant_iter_next(&it, "(&s&s)", &pid, &vid))
        out.emplace_back(pid, vid);
    return out;
}

RosterModel::Answer number(int n) {
    return {g_variant_new("(i)", n)};
}

// Every error the service answers is a refused argument.
RosterModel::Answer bus_error() {
    return {nullptr, "org.freedesktop.DBus.Error.InvalidArgs"};
}

}  // namespace

std::string RosterModel::bank_white_text() const {
    std::string text;
    for (const auto& e : bank_white_)
        text += e + "\n";
    return text;
}

std::vector<std::string> RosterModel::texts(int perm) const {
    std::vector<std::string> out;
    for (const auto& d : devices_) {
        if (d.perm == perm)
            out.push_back(mdm::joined_ids(d.pid, d.vid));
    }
    return out;
}

void RosterModel::put(uint32_t pid, uint32_t vid, int perm) {
    auto it = std::find_if(devices_.begin(), devices_.end(),
                           [&](const DeviceEntry& d) { return d.pid == pid && d.vid == vid; });
    if (it != devices_.end())
        it->perm = perm;  // an update keeps the entry's place
    else
        devices_.push_back({pid, vid, perm});
}

bool RosterModel::remove(uint32_t pid, uint32_t vid) {
    return std::erase_if(devices_,
                         [&](const DeviceEntry& d) { return d.pid == pid && d.vid == vid; }) > 0;
}

int RosterModel::remove_all(const std::vector<std::pair<uint32_t, uint32_t>>& keys) {
    int removed = 0;
    for (const auto& [pid, vid] : keys)
        removed += remove(pid, vid) ? 1 : 0;
    return removed;
}

RosterModel::Answer RosterModel::removal_answer(
    const std::vector<std::pair<uint32_t, uint32_t>>& keys, bool unlist_all) {
    if (keys.empty())
        return number(0);
    // A partial removal answers its count, which is 0 when nothing was removed.
    int removed = remove_all(keys);
    if (removed != static_cast<int>(keys.size()))
        return number(removed);
    if (unlist_all)
        bank_white_.clear();
    return number(0);
}

void RosterModel::unlist_bank(const std::unordered_set<std::string>& gone) {
    std::erase_if(bank_white_, [&](const std::string& e) { return gone.contains(e); });
}

std::optional<RosterModel::Answer> RosterModel::expect(
    const std::string& method, GVariant* args, const std::unordered_set<std::string>& bank) {
    auto list_reply = [](const std::vector<std::string>& list) {
        GVariantBuilder b;
        g_variant_builder_init(&b, G_VARIANT_TYPE("as"));
        for (const auto& e : list)
            g_variant_builder_add(&b, "s", e.c_str());
        return Answer{g_variant_new("(as)", &b)};
    };
    if (method == "GetWhiteList")
        return list_reply(texts(kWhite));
    if (method == "GetBlackList")
        return list_reply(texts(kBlack));

    if (method == "SetWhiteList" || method == "SetBlackList" || method == "DelWhiteList" ||
        method == "DelBlackList") {
        const gchar *p = nullptr, *v = nullptr;
        g_variant_get(args, "(&s&s)", &p, &v);
        const std::string pid = p, vid = v, joined = pid + vid;
        const bool white = method.find("White") != std::string::npos;
        if ((white || method == "SetBlackList") && (too_long(pid) || too_long(vid)))
            return number(kRefused);
        auto list = texts(white ? kWhite : kBlack);
        if (method.starts_with("Set")) {
            const std::string key = white ? lower(joined) : joined;
            if (white && bank.contains(key) && !contains(bank_white_, key))
                bank_white_.push_back(key);
            if (contains(list, key))
                return number(kRefused);
            auto pid_id = id(pid), vid_id = id(vid);
            if (!pid_id || !vid_id)
                return bus_error();
            put(*pid_id, *vid_id, white ? kWhite : kBlack);
            return number(0);
        }
        if (!white && !contains(list, joined))
            return number(kRefused);
        if (white && joined == kDefaultDevice)
            return number(0);
        if (bank.contains(joined)) {
            if (white)
                unlist_bank({joined});
            return number(0);
        }
        if (!contains(list, joined))
            return number(0);
        // The entry is found by its text but removed by the ids as the caller split them.
        auto pid_id = id(pid), vid_id = id(vid);
        if (!pid_id || !vid_id)
            return bus_error();
        return number(remove(*pid_id, *vid_id) ? 0 : 1);
    }

    if (method == "SetWhiteListByBatch" || method == "SetBlackListByBatch") {
        GVariant* array = nullptr;
        gint32 len = 0;
        g_variant_get(args, "(@a(ss)i)", &array, &len);
        Pairs pairs = pairs_of(array);
        g_variant_unref(array);
        if (len < 0 || len > kMaxLen || pairs.size() > static_cast<std::size_t>(len))
            return bus_error();
        const bool white = method == "SetWhiteListByBatch";
        std::vector<DeviceEntry> records;
        std::vector<std::string> bank_pairs;
        for (const auto& [pid, vid] : pairs) {
            auto pid_id = id(pid), vid_id = id(vid);
            if (!pid_id || !vid_id)
                return bus_error();
            records.push_back({*pid_id, *vid_id, white ? kWhite : kBlack});
            if (white && bank.contains(lower(pid + vid)))
                bank_pairs.push_back(lower(pid + vid));
        }
        // Checked against the list as it was: a pair given twice is added twice.
        const std::unordered_set<std::string> before(bank_white_.begin(), bank_white_.end());
        for (const auto& joined : bank_pairs) {
            if (!before.contains(joined))
                bank_white_.push_back(joined);
        }
        // The framework is handed `len` records; those beyond the pairs are all zero.
        records.resize(static_cast<std::size_t>(len));
        for (const auto& r : records)
            put(r.pid, r.vid, r.perm);
        return number(0);
    }

    if (method == "DelWhiteListByBatch") {
        GVariant* array = nullptr;
        gint32 len = 0;
        g_variant_get(args, "(@a(ss)i)", &array, &len);
        Pairs pairs = pairs_of(array);
        g_variant_unref(array);
        std::unordered_set<std::string> unlist;
        std::vector<std::pair<uint32_t, uint32_t>> keys;
        for (const auto& [pid, vid] : pairs) {
            const std::string joined = lower(pid + vid);
            if (joined == kDefaultDevice)
                continue;
            if (bank.contains(joined)) {
                unlist.insert(joined);
                continue;
            }
            // Cut four and four, whatever the caller's split.
            auto pid_id = id(joined.substr(0, 4));
            auto vid_id = id(joined.size() > 4 ? joined.substr(4, 4) : "");
            if (!pid_id || !vid_id)
                return bus_error();
            keys.emplace_back(*pid_id, *vid_id);
        }
        unlist_bank(unlist);
        return removal_answer(keys, false);
    }

    if (method == "ClearWhiteList" || method == "ClearBlackList") {
        const bool white = method == "ClearWhiteList";
        std::vector<std::pair<uint32_t, uint32_t>> keys;
        for (const auto& entry : texts(white ? kWhite : kBlack)) {
            if ((white && entry == kDefaultDevice) || bank.contains(entry))
                continue;
            keys.emplace_back(*id(entry.substr(0, 4)), *id(entry.substr(4, 4)));
        }
        return removal_answer(keys, white);
    }
    return std::nullopt;
}

}  // namespace robustness
