#include "bank_model.h"

#include <algorithm>
#include <unordered_set>

namespace robustness {

namespace {
bool hex(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return g_ascii_isxdigit(c); });
}
bool valid_type(gint32 type) {
    return type >= 0 && type < 4;
}
}  // namespace

// Pairs of exactly four hexadecimal characters each, joined and lowercased; later
// repetitions dropped.
std::vector<std::string> BankModel::checked(GVariant* pairs) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    GVariantIter it;
    g_variant_iter_init(&it, pairs);
    const gchar *product = nullptr, *vendor = nullptr;
    while (g_variant_iter_next(&it, "(&s&s)", &product, &vendor)) {
        std::string p = product, v = vendor;
        if (p.size() != 4 || v.size() != 4 || !hex(p + v))
            continue;
        std::string joined = g_ascii_strdown((p + v).c_str(), -1);
        if (seen.insert(joined).second)
            out.push_back(joined);
    }
    return out;
}

std::optional<GVariant*> BankModel::expect(const std::string& method, GVariant* args) {
    gint32 type = 0;
    if (method == "getBankingDevStatus") {
        g_variant_get(args, "(i)", &type);
        return g_variant_new("(i)", valid_type(type) ? status_[type] : -1);
    }
    if (method == "setBankingDevStatus") {
        gint32 perm = 0;
        g_variant_get(args, "(ii)", &type, &perm);
        bool ok = valid_type(type) && (perm == 0 || perm == 1);
        if (ok)
            status_[type] = perm;
        return g_variant_new("(i)", ok ? 0 : -1);
    }
    if (method == "getBankingDevList") {
        g_variant_get(args, "(i)", &type);
        GVariantBuilder b;
        g_variant_builder_init(&b, G_VARIANT_TYPE("as"));
        if (valid_type(type)) {
            for (const auto& e : lists_[type])
                g_variant_builder_add(&b, "s", e.c_str());
        }
        return g_variant_new("(as)", &b);
    }
    if (method == "setBankingDevList" || method == "delBankingDevList") {
        gint32 len = 0;
        GVariant* pairs = nullptr;
        g_variant_get(args, "(ii@a(ss))", &type, &len, &pairs);
        auto entries = checked(pairs);
        g_variant_unref(pairs);
        if (!valid_type(type))
            return g_variant_new("(i)", -1);
        auto& list = lists_[type];
        int count = 0;
        if (method == "setBankingDevList") {
            std::unordered_set<std::string> present(list.begin(), list.end());
            for (const auto& e : entries) {
                if (present.insert(e).second) {
                    list.push_back(e);
                    ++count;
                }
            }
        } else {
            std::unordered_set<std::string> gone(entries.begin(), entries.end());
            auto kept = std::remove_if(list.begin(), list.end(),
                                       [&](const std::string& e) { return gone.contains(e); });
            count = static_cast<int>(list.end() - kept);
            list.erase(kept, list.end());
        }
        return g_variant_new("(i)", count);
    }
    return std::nullopt;
}

}  // namespace robustness
