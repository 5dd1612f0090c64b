#include "cli.h"

#include <array>
#include <cctype>

#include "mdm/bank.h"
#include "mdm/usb_id.h"

namespace mdmctl {

namespace {

using mdm::bank::kTypeNames;

Failure bad(std::string message) {
    return {kUsage, std::move(message)};
}

// Parses "add PID VID" / "remove PID VID" arguments into the request's pair.
std::optional<Failure> take_pair(const std::vector<std::string>& w, std::size_t at, Request& r) {
    if (w.size() != at + 2)
        return bad("expected PID VID");
    for (std::size_t i = at; i < at + 2; ++i)
        if (!valid_id(w[i]))
            return bad("bad id \"" + w[i] + "\": one to four hexadecimal digits expected");
    r.pair = {w[at], w[at + 1]};
    return std::nullopt;
}

std::optional<Failure> parse_list(const std::vector<std::string>& w, Request& r) {
    if (w.size() < 2)
        return bad("expected list, add, remove, import or clear");
    const std::string& verb = w[1];
    if ((verb == "list" || verb == "clear") && w.size() == 2) {
        r.verb = verb == "list" ? Verb::List : Verb::Clear;
        return std::nullopt;
    }
    if (verb == "add" || verb == "remove") {
        r.verb = verb == "add" ? Verb::Add : Verb::Remove;
        return take_pair(w, 2, r);
    }
    if (verb == "import" && w.size() == 3) {
        r.verb = Verb::Import;
        r.file = w[2];
        return std::nullopt;
    }
    return bad("bad " + w[0] + " command");
}

std::optional<Failure> parse_bank(const std::vector<std::string>& w, Request& r) {
    if (w.size() < 3)
        return bad("expected bank TYPE list|add|remove|on|off|status");
    auto type = bank_type(w[1]);
    if (!type)
        return bad("bad bank type \"" + w[1] + "\": ushield, fingerprint, taxtray or taxkey");
    r.bank_type = *type;
    const std::string& verb = w[2];
    if (verb == "add" || verb == "remove") {
        r.verb = verb == "add" ? Verb::Add : Verb::Remove;
        if (auto f = take_pair(w, 3, r))
            return f;
        // The bank lists hold four-digit ids only; bankguard drops shorter ones silently.
        if (r.pair.pid.size() != 4 || r.pair.vid.size() != 4)
            return bad("bank lists take four-digit ids");
        return std::nullopt;
    }
    if (w.size() != 3)
        return bad("bad bank command");
    if (verb == "list")
        r.verb = Verb::List;
    else if (verb == "on")
        r.verb = Verb::On;
    else if (verb == "off")
        r.verb = Verb::Off;
    else if (verb == "status")
        r.verb = Verb::Query;
    else
        return bad("bad bank command \"" + verb + "\"");
    return std::nullopt;
}

}  // namespace

bool Request::changes() const {
    switch (verb) {
        case Verb::Add:
        case Verb::Remove:
        case Verb::Import:
        case Verb::Clear:
        case Verb::On:
        case Verb::Off:
            return true;
        default:
            return false;
    }
}

bool valid_id(std::string_view id) {
    return mdm::is_one_to_four_hex(id);
}

std::optional<int> bank_type(std::string_view word) {
    for (std::size_t i = 0; i < kTypeNames.size(); ++i)
        if (word == kTypeNames[i] || (word.size() == 1 && word[0] == static_cast<char>('0' + i)))
            return static_cast<int>(i);
    return std::nullopt;
}

const char* bank_type_name(int type) {
    const char* name = mdm::bank::type_name(type);
    return name ? name : "";
}

std::string usage() {
    return "usage: mdmctl [--json] COMMAND\n"
           "  status                              which services answer on the bus\n"
           "  devices                             USB devices present and the permission in force\n"
           "  whitelist|blacklist list            the entries of a list\n"
           "  whitelist|blacklist add PID VID     add a device\n"
           "  whitelist|blacklist remove PID VID  remove a device\n"
           "  whitelist|blacklist import FILE     add every joined pair of a list file\n"
           "  whitelist|blacklist clear           remove every entry\n"
           "  bank TYPE list|status|on|off        a bank device type (ushield, fingerprint,\n"
           "  bank TYPE add|remove PID VID          taxtray, taxkey)\n"
           "  net on|off|status                   network cards\n"
           "Changes need root. Exit codes: 0 done, 1 refused by the service, 2 usage or bad id,\n"
           "3 service not running, 4 not permitted, 5 other failure.\n";
}

Parsed parse(const std::vector<std::string>& args) {
    Request r;
    std::vector<std::string> w;
    for (const auto& a : args) {
        if (a == "--json")
            r.json = true;
        else if (a == "-h" || a == "--help")
            return {std::nullopt, Failure{kOk, usage()}};
        else if (!a.empty() && a[0] == '-')
            return {std::nullopt, bad("unknown option " + a)};
        else
            w.push_back(a);
    }
    if (w.empty())
        return {std::nullopt, bad("no command; see mdmctl --help")};

    std::optional<Failure> f;
    const std::string& cmd = w[0];
    if (cmd == "status" || cmd == "devices") {
        r.verb = cmd == "status" ? Verb::Status : Verb::Devices;
        if (w.size() != 1)
            f = bad(cmd + " takes no arguments");
    } else if (cmd == "whitelist" || cmd == "blacklist") {
        r.target = cmd == "whitelist" ? Target::White : Target::Black;
        f = parse_list(w, r);
    } else if (cmd == "bank") {
        r.target = Target::Bank;
        f = parse_bank(w, r);
    } else if (cmd == "net") {
        r.target = Target::Net;
        if (w.size() == 2 && (w[1] == "on" || w[1] == "off" || w[1] == "status"))
            r.verb = w[1] == "on" ? Verb::On : w[1] == "off" ? Verb::Off : Verb::Query;
        else
            f = bad("expected net on|off|status");
    } else {
        f = bad("unknown command \"" + cmd + "\"");
    }
    if (f)
        return {std::nullopt, f};
    return {r, std::nullopt};
}

ImportFile parse_import(std::string_view content) {
    ImportFile out;
    std::size_t number = 0;
    while (!content.empty()) {
        auto end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content = end == std::string_view::npos ? std::string_view{} : content.substr(end + 1);
        ++number;
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.remove_suffix(1);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
            line.remove_prefix(1);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.size() != 8 || !mdm::all_hex_digits(line)) {
            out.problems.push_back(std::to_string(number) +
                                   ": not a joined pair of eight hexadecimal digits");
            continue;
        }
        out.pairs.push_back({std::string(line.substr(0, 4)), std::string(line.substr(4))});
    }
    return out;
}

}  // namespace mdmctl
