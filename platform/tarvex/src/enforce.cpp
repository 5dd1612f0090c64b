#include "enforce.h"

#include <syslog.h>

#include <algorithm>
#include <set>
#include <unordered_map>

#include "mdm/files.h"

namespace tarvex_standin {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNetStateFile = "net-taken";

// Network devices taken away: "usb DEVPATH" for an adapter's interface, "BUS DEVICE" for a
// device unbound from its driver.
struct NetState {
    std::set<std::string> lines;

    static NetState load(const fs::path& dir) {
        NetState s;
        if (auto text = mdm::read_regular((dir / kNetStateFile).string())) {
            size_t start = 0;
            while (start < text->size()) {
                size_t end = text->find('\n', start);
                if (end == std::string::npos)
                    end = text->size();
                if (end > start)
                    s.lines.insert(text->substr(start, end - start));
                start = end + 1;
            }
        }
        return s;
    }
    void save(const fs::path& dir) const {
        std::string text;
        for (const auto& l : lines)
            text += l + "\n";
        std::error_code ec;
        fs::create_directories(dir, ec);
        mdm::replace_file((dir / kNetStateFile).string(), text, nullptr, 0600);
    }
    bool has_usb(const std::string& devpath) const { return lines.contains("usb " + devpath); }
};

bool net_denied(const Policy& p) {
    return !p.is_damaged() && p.net_perm() == kPermDeny;
}

struct Applier {
    const Policy& policy;
    const EnforceContext& ctx;
    NetState net;
    bool net_changed = false;
    std::vector<std::string> lines;

    void log(const std::string& line, int priority = LOG_INFO) {
        lines.push_back(line);
        if (ctx.log)
            ctx.log(priority, line);
    }

    // USB interfaces behind the network devices present.
    std::set<std::string> net_interfaces = {};

    Decision decide_for(const KernelInterface& i) const {
        const bool network =
            i.network || net.has_usb(i.devpath) || net_interfaces.contains(i.devpath);
        return decide(policy, facts_of(i, network));
    }

    // Brings one interface in line; `always_log` logs the decision even when nothing changes.
    void interface(const KernelInterface& i, bool always_log) {
        const Decision d = decide_for(i);
        const bool want = d.action != Action::Deauthorize;
        if (!i.authorized) {
            // A kernel without interface authorization: nothing can be switched here.
            if (always_log)
                log(decision_line(i, d, "no authorized attribute"));
            return;
        }
        const bool change = i.authorized != want;
        if (change && !ctx.dry_run) {
            bool ok = ctx.kernel.set_authorized(i.devpath, want);
            // Authorizing again does not bind the driver by itself.
            if (ok && want)
                ok = ctx.kernel.probe("usb", i.name);
            if (!ok) {
                log(decision_line(i, d, "failed"), LOG_WARNING);
                return;
            }
        }
        if (d.reason == Reason::NetCardEntry && !want) {
            net_changed |= net.lines.insert("usb " + i.devpath).second;
        } else if (want && net.lines.erase("usb " + i.devpath)) {
            net_changed = true;
        }
        if (change)
            log(decision_line(i, d, ctx.dry_run ? "would change" : "changed"));
        else if (always_log)
            log(decision_line(i, d, "in force"));
    }

    void disk(const KernelDisk& disk, const KernelInterface& i, const Decision& d,
              bool always_log) {
        if (d.action != Action::ReadOnly) {
            // Made writable again when the entry no longer asks for read-only; a medium's
            // own write protection stays with the kernel.
            if (d.action == Action::Authorize && disk.read_only == true) {
                if (!ctx.dry_run)
                    set_block_read_only(disk.devnode, false);
                log("read-write " + disk.devnode + " of " + i.name + " " + i.vid + ":" + i.pid);
            }
            return;
        }
        if (disk.read_only == true && !always_log)
            return;
        std::string result = "done";
        if (!ctx.dry_run) {
            std::string err = set_block_read_only(disk.devnode, true);
            if (!err.empty())
                result = "failed: " + err;
            std::vector<std::string> failures;
            for (const auto& target : remount_read_only(disk.devnode, failures))
                log("read-only remount " + target + " of " + disk.devnode);
            for (const auto& f : failures)
                log("read-only remount failed " + f, LOG_WARNING);
        }
        log("read-only " + disk.devnode + " of " + i.name + " " + i.vid + ":" + i.pid + " " +
                i.devpath + " (" + (ctx.dry_run ? "would change" : result) + ")",
            result == "done" ? LOG_INFO : LOG_WARNING);
    }

    void net_card(const NetCard& card) {
        if (card.usb_interface_devpath)
            return;  // decided as the adapter's interface
        if (!net_denied(policy))
            return;
        if (!ctx.dry_run && !ctx.kernel.unbind(card)) {
            log("network device " + card.name + " (" + card.bus + " " + card.device_name +
                    ") could not be unbound",
                LOG_WARNING);
            return;
        }
        net_changed |= net.lines.insert(card.bus + " " + card.device_name).second;
        log("network device " + card.name + " (" + card.bus + " " + card.device_name +
            ") unbound from " + card.driver + (ctx.dry_run ? " (would change)" : ""));
    }

    // Network devices unbound earlier get their driver back once the entry allows them.
    void restore_net_cards() {
        if (net_denied(policy))
            return;
        for (auto it = net.lines.begin(); it != net.lines.end();) {
            if (it->starts_with("usb ")) {
                ++it;
                continue;
            }
            const auto space = it->find(' ');
            const std::string bus = it->substr(0, space), name = it->substr(space + 1);
            if (!ctx.dry_run)
                ctx.kernel.probe(bus, name);
            log("network device " + bus + " " + name + " bound again" +
                (ctx.dry_run ? " (would change)" : ""));
            it = ctx.dry_run ? std::next(it) : net.lines.erase(it);
            net_changed = !ctx.dry_run;
        }
    }

    void finish() {
        if (net_changed && !ctx.dry_run)
            net.save(ctx.state_dir);
    }
};

}  // namespace

InterfaceFacts facts_of(const KernelInterface& i, bool network) {
    return {i.interface_class, mdm::parse_rendered_hex(i.pid), mdm::parse_rendered_hex(i.vid),
            network};
}

std::string decision_line(const KernelInterface& i, const Decision& d, const char* outcome) {
    return std::string(action_word(d.action)) + " interface " + i.name + " class " +
           i.interface_class + " " + i.vid + ":" + i.pid + " perm " + std::to_string(d.perm) +
           " (" + reason_word(d.reason) + ", " + outcome + ") " + i.devpath;
}

std::vector<std::string> enforce_event(const Policy& policy, const EnforceContext& ctx,
                                       const std::string& devpath,
                                       const std::optional<std::string>& devnode) {
    Applier a{policy, ctx, NetState::load(ctx.state_dir), false, {}};
    if (auto card = ctx.kernel.net_card_at(devpath)) {
        if (card->usb_interface_devpath) {
            if (auto i = ctx.kernel.interface_of(*card->usb_interface_devpath)) {
                i->network = true;
                a.interface(*i, true);
            }
        } else {
            a.net_card(*card);
        }
        a.finish();
        return a.lines;
    }
    auto i = ctx.kernel.interface_of(devpath);
    if (!i)
        return a.lines;
    if (i->devpath == devpath) {
        a.interface(*i, true);
    } else if (devnode) {
        // A block device of the interface: read-only before anything mounts it.
        const Decision d = a.decide_for(*i);
        if (d.action == Action::Deauthorize) {
            a.interface(*i, true);
        } else {
            KernelDisk disk{devpath.substr(devpath.rfind('/') + 1), *devnode, i->devpath, {}};
            if (auto ro = ctx.kernel.attribute(devpath, "ro"))
                disk.read_only = *ro == "1";
            a.disk(disk, *i, d, true);
        }
    }
    a.finish();
    return a.lines;
}

std::vector<std::string> enforce_all(const Policy& policy, const EnforceContext& ctx) {
    Applier a{policy, ctx, NetState::load(ctx.state_dir), false, {}};
    for (const auto& card : ctx.kernel.net_cards()) {
        if (card.usb_interface_devpath)
            a.net_interfaces.insert(*card.usb_interface_devpath);
        a.net_card(card);
    }
    a.restore_net_cards();
    std::unordered_map<std::string, std::pair<KernelInterface, Decision>> by_path;
    for (const auto& i : ctx.kernel.interfaces()) {
        a.interface(i, false);
        by_path.emplace(i.devpath, std::make_pair(i, a.decide_for(i)));
    }
    for (const auto& disk : ctx.kernel.disks()) {
        auto it = by_path.find(disk.interface_devpath);
        if (it != by_path.end())
            a.disk(disk, it->second.first, it->second.second, false);
    }
    a.finish();
    return a.lines;
}

std::vector<InterfaceState> present_state(const Policy& policy, const EnforceContext& ctx) {
    const NetState net = NetState::load(ctx.state_dir);
    std::set<std::string> net_interfaces;
    for (const auto& card : ctx.kernel.net_cards())
        if (card.usb_interface_devpath)
            net_interfaces.insert(*card.usb_interface_devpath);
    std::vector<InterfaceState> out;
    std::unordered_map<std::string, size_t> index;
    for (const auto& i : ctx.kernel.interfaces()) {
        index.emplace(i.devpath, out.size());
        const bool network =
            i.network || net.has_usb(i.devpath) || net_interfaces.contains(i.devpath);
        out.push_back({i, decide(policy, facts_of(i, network)), {}});
    }
    for (auto& disk : ctx.kernel.disks())
        if (auto it = index.find(disk.interface_devpath); it != index.end())
            out[it->second].disks.push_back(std::move(disk));
    std::sort(out.begin(), out.end(),
              [](const auto& x, const auto& y) { return x.iface.devpath < y.iface.devpath; });
    return out;
}

std::vector<std::string> set_interface_default(const Kernel& kernel, bool authorized,
                                               bool dry_run) {
    std::vector<std::string> lines;
    const std::string want = authorized ? "1" : "0";
    for (const auto& hub : kernel.root_hubs()) {
        if (!hub.interface_authorized_default) {
            lines.push_back("root hub " + hub.name + " has no interface_authorized_default");
            continue;
        }
        if (*hub.interface_authorized_default == want)
            continue;
        if (!dry_run &&
            !kernel.write_attribute(hub.devpath, "interface_authorized_default", want)) {
            lines.push_back("root hub " + hub.name + ": interface_authorized_default not set");
            continue;
        }
        lines.push_back("root hub " + hub.name + " interface_authorized_default " + want);
    }
    return lines;
}

}  // namespace tarvex_standin
