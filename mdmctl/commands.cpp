#include "commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "bus.h"
#include "devices.h"
#include "mdm/files.h"
#include "output.h"
#include "periphcore/bank.h"
#include "tarvex/linked.h"

namespace mdmctl {

namespace {

struct Context {
    const Request& request;
    Bus& bus;
};

void print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
}

void show(const Context& c, const Table& table) {
    print(c.request.json ? table.json() : table.render());
}

// Joined list entries ("c8200bda") as PID and VID columns.
Table pair_table(const std::vector<std::string>& entries) {
    Table t{{"PID", "VID"}, {}};
    for (const auto& e : entries)
        t.rows.push_back({e.substr(0, 4), e.size() > 4 ? e.substr(4, 4) : ""});
    return t;
}

// A change answered `answer`; `ok` says whether that is success.
Exit changed(const Context& c, bool ok, int answer, const std::string& done,
             const std::string& refused) {
    // People read a refusal once, on standard error; scripts get the answer either way.
    if (ok || c.request.json)
        print(change_result(c.request.json, ok, answer, done));
    if (!ok)
        throw Failure{kRefused, refused};
    return kOk;
}

const char* list_word(Target t) {
    return t == Target::White ? "white list" : "black list";
}

std::string pair_text(const Pair& p) {
    return p.pid + " " + p.vid;
}

GVariant* pairs_variant(const std::vector<Pair>& pairs) {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a(ss)"));
    for (const auto& p : pairs)
        g_variant_builder_add(&b, "(ss)", p.pid.c_str(), p.vid.c_str());
    return g_variant_builder_end(&b);
}

std::vector<Pair> read_import(const std::string& path) {
    // Regular files of sane size only: a FIFO or device would block or feed endless input.
    std::optional<std::string> content = mdm::read_regular(path);
    if (!content && errno == EINVAL)
        throw Failure{kUsage, path + " is not a regular file"};
    if (!content)
        throw Failure{kUsage, "cannot read " + path + ": " + std::strerror(errno)};
    ImportFile parsed = parse_import(*content);
    if (!parsed.problems.empty()) {
        // Nothing is imported from a file with a bad line: a half-applied list is worse.
        for (std::size_t i = 1; i < parsed.problems.size(); ++i)
            std::fprintf(stderr, "mdmctl: %s:%s\n", path.c_str(), parsed.problems[i].c_str());
        throw Failure{kUsage, path + ":" + parsed.problems[0] + "; nothing imported"};
    }
    return parsed.pairs;
}

// The list entry a pair stands for: both ids as four lower-case digits ("c8200bda").
std::string entry_of(const Pair& p) {
    return mdm::joined_ids(mdm::parse_leading_hex(p.pid), mdm::parse_leading_hex(p.vid));
}

// The list service answers -1 both for a pair already on the list (not on it, for a
// removal) and for framework tables it cannot read or write. The list itself tells the two
// apart; when it cannot be read either, the message says that both are possible.
std::string list_refusal(const Context& c, bool white, bool add, const Pair& p) {
    const std::string word = list_word(white ? Target::White : Target::Black);
    std::optional<bool> listed;
    try {
        auto entries = c.bus.call_strings(kLists, white ? "GetWhiteList" : "GetBlackList");
        listed = std::find(entries.begin(), entries.end(), entry_of(p)) != entries.end();
    } catch (const Failure&) {
    }
    if (listed && *listed == add)
        return pair_text(p) + (add ? " is already on the " : " is not on the ") + word;
    const std::string what = std::string(add ? "add " : "remove ") + pair_text(p) +
                             (add ? " to the " : " from the ") + word;
    if (listed)
        return "RosterGate could not " + what + " (-1)";
    return "RosterGate could not " + what +
           " (-1): " + (add ? "it is already on the list" : "it is not on the list") +
           ", or the framework's tables cannot be read";
}

Exit lists(const Context& c) {
    const bool white = c.request.target == Target::White;
    const std::string word = list_word(c.request.target);
    const Pair& p = c.request.pair;
    switch (c.request.verb) {
        case Verb::List:
            show(c,
                 pair_table(c.bus.call_strings(kLists, white ? "GetWhiteList" : "GetBlackList")));
            return kOk;
        case Verb::Add: {
            int a = c.bus.call_int(kLists, white ? "SetWhiteList" : "SetBlackList",
                                   g_variant_new("(ss)", p.pid.c_str(), p.vid.c_str()));
            if (a == -1)
                return changed(c, false, a, "", list_refusal(c, white, true, p));
            return changed(c, a == 0, a, "added " + pair_text(p) + " to the " + word,
                           "the framework refused the entry (" + std::to_string(a) + ")");
        }
        case Verb::Remove: {
            int a = c.bus.call_int(kLists, white ? "DelWhiteList" : "DelBlackList",
                                   g_variant_new("(ss)", p.pid.c_str(), p.vid.c_str()));
            if (a == -1)
                return changed(c, false, a, "", list_refusal(c, white, false, p));
            return changed(c, a == 0, a, "removed " + pair_text(p) + " from the " + word,
                           "the framework refused the removal (" + std::to_string(a) + ")");
        }
        case Verb::Import: {
            auto pairs = read_import(c.request.file);
            if (pairs.empty())
                return changed(c, true, 0, "nothing to import", "");
            int n = static_cast<int>(pairs.size());
            int a = c.bus.call_int(kLists, white ? "SetWhiteListByBatch" : "SetBlackListByBatch",
                                   g_variant_new("(@a(ss)i)", pairs_variant(pairs), n));
            return changed(c, a == 0, a,
                           "imported " + std::to_string(n) + " entries into the " + word,
                           "the framework refused the batch (" + std::to_string(a) + ")");
        }
        case Verb::Clear: {
            int a = c.bus.call_int(kLists, white ? "ClearWhiteList" : "ClearBlackList");
            return changed(
                c, a == 0, a, "cleared the " + word,
                "the framework refused to clear the " + word + " (" + std::to_string(a) + ")");
        }
        default:
            throw Failure{kUsage, "bad list command"};
    }
}

Exit bank(const Context& c) {
    const int type = c.request.bank_type;
    const std::string name = bank_type_name(type);
    const Pair& p = c.request.pair;
    switch (c.request.verb) {
        case Verb::List:
            show(c, pair_table(c.bus.call_strings(kBank, "getBankingDevList",
                                                  g_variant_new("(i)", type))));
            return kOk;
        case Verb::Add:
        case Verb::Remove: {
            bool add = c.request.verb == Verb::Add;
            std::vector<Pair> one{p};
            int a = c.bus.call_int(kBank, add ? "setBankingDevList" : "delBankingDevList",
                                   g_variant_new("(ii@a(ss))", type, 1, pairs_variant(one)));
            return changed(c, a > 0, a,
                           (add ? "added " : "removed ") + pair_text(p) +
                               (add ? " to the " : " from the ") + name + " list",
                           a == 0 ? pair_text(p) + (add ? " is already" : " is not") + " on the " +
                                        name + " list"
                                  : "bankguard could not change the " + name + " list");
        }
        case Verb::On:
        case Verb::Off: {
            bool on = c.request.verb == Verb::On;
            int a = c.bus.call_int(kBank, "setBankingDevStatus", g_variant_new("(ii)", type, on));
            return changed(c, a == 0, a, "switched " + name + (on ? " on" : " off"),
                           "bankguard could not switch " + name + (on ? " on" : " off"));
        }
        case Verb::Query: {
            int s = c.bus.call_int(kBank, "getBankingDevStatus", g_variant_new("(i)", type));
            if (s < 0)
                throw Failure{kRefused, "bankguard cannot read the " + name + " status"};
            show(c, Table{{"TYPE", "STATUS"}, {{name, s ? "on" : "off"}}});
            return kOk;
        }
        default:
            throw Failure{kUsage, "bad bank command"};
    }
}

Exit net(const Context& c) {
    if (c.request.verb == Verb::Query) {
        int s = c.bus.call_int(kNet, "GetNetcardStatus");
        show(c, Table{{"NETWORK", "STATUS"}, {{"cards", s ? "on" : "off"}}});
        return kOk;
    }
    bool on = c.request.verb == Verb::On;
    int a = c.bus.call_int(kNet, "SetNetcardStatus", g_variant_new("(i)", on ? 1 : 0));
    return changed(c, a == 0, a, std::string("switched the network cards ") + (on ? "on" : "off"),
                   "NicGate refused the switch");
}

Exit status(const Context& c) {
    Table t{{"SERVICE", "BUS NAME", "STATE"}, {}};
    for (const Service& s : kAllServices)
        t.rows.push_back({s.label, s.name, c.bus.has_owner(s.name) ? "running" : "absent"});
    show(c, t);
    return kOk;
}

int bank_type_of(const std::string& pid, const std::string& vid) {
    return getBankDevType(pid.c_str(), vid.c_str());
}

Exit devices(const Request& r) {
    if (::geteuid() != 0)
        throw Failure{kNotPermitted, "not permitted: the framework's tables are root's to read"};
    Table t = devices_table(read_usb_devices(), mdm::tarvex::linked_functions(), bank_type_of);
    print(r.json ? t.json() : t.render());
    return kOk;
}

}  // namespace

Exit run(const Request& request) {
    if (request.changes() && ::geteuid() != 0)
        throw Failure{kNotPermitted, "not permitted: changes need root"};
    if (request.verb == Verb::Devices)
        return devices(request);
    Bus bus;
    Context c{request, bus};
    switch (request.target) {
        case Target::White:
        case Target::Black:
            return lists(c);
        case Target::Bank:
            return bank(c);
        case Target::Net:
            return net(c);
        case Target::None:
            break;
    }
    return status(c);
}

}  // namespace mdmctl
