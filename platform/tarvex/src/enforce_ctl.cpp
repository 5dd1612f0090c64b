#include "enforce_ctl.h"

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <syslog.h>
#include <unistd.h>

#include <chrono>

#include "mdm/files.h"
#include "mdm/raii.h"
#include "store_files.h"

namespace tarvex_standin {

namespace {

constexpr const char* kUsage =
    "usage: tarvexctl enforce [--dry-run | --follow | --restore-defaults] | status | recover";

// How long the store must be quiet before a change is applied: one transaction's writes
// arrive as a burst, and a writer may be kept off the processor for a while in between.
constexpr int kSettleMs = 50;

void to_syslog(const std::string& line) {
    syslog(LOG_INFO, "%s", line.c_str());
}

void step_to_syslog(int priority, const std::string& line) {
    syslog(priority, "%s", line.c_str());
}

Store read_store(const EnforcePaths& paths) {
    return Store(paths.store, Store::ReadOnly{},
                 [](const std::string& text) { syslog(LOG_ERR, "%s", text.c_str()); });
}

// Interfaces and disks brought in line with the tables; the lines of what changed.
std::vector<std::string> apply_once(const EnforcePaths& paths, const Store& store, bool dry_run,
                                    bool log) {
    auto policy = load_policy(store);
    if (!policy)
        return {"store unreadable: nothing changed"};
    const Kernel kernel(paths.sys);
    EnforceContext ctx{kernel, paths.state, dry_run, log ? step_to_syslog : nullptr};
    return enforce_all(*policy, ctx);
}

// Strict mode's kernel default, set when enforcement starts and put back when it stops.
// The marker, there first and gone first, lets the udev helper give a controller added
// meanwhile the same default.
void apply_default(const EnforcePaths& paths, bool strict, std::ostream& out) {
    const std::filesystem::path marker = paths.state / kStrictMarker;
    std::error_code ec;
    if (strict) {
        std::filesystem::create_directories(paths.state, ec);
        if (!mdm::replace_file(marker.string(), "", nullptr, 0600))
            syslog(LOG_WARNING, "%s not written: controllers added later keep their default",
                   marker.c_str());
    } else {
        std::filesystem::remove(marker, ec);
    }
    const Kernel kernel(paths.sys);
    for (const auto& line : set_interface_default(kernel, !strict, false)) {
        to_syslog(line);
        out << line << '\n';
    }
}

int restore_defaults(const EnforcePaths& paths, std::ostream& out) {
    apply_default(paths, false, out);
    // Interfaces held back only by the default are authorized when the tables allow them.
    if (!enforcement_off(paths)) {
        const Store store = read_store(paths);
        for (const auto& line : apply_once(paths, store, false, true))
            out << line << '\n';
    }
    return 0;
}

int follow(const EnforcePaths& paths, std::ostream& out, std::ostream& err) {
    if (enforcement_off(paths)) {
        to_syslog("enforcement off for this boot (" + std::string(kBootSwitch) + ")");
        out << "enforcement off for this boot (" << kBootSwitch << ")" << std::endl;
        // Stays up so the unit is not restarted; stops on SIGTERM like the working loop.
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    mdm::UniqueFd sfd(signalfd(-1, &stop, SFD_CLOEXEC));
    mdm::UniqueFd ifd(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (!sfd || !ifd) {
        err << "tarvexctl: cannot watch for changes" << std::endl;
        return 1;
    }
    const bool off = enforcement_off(paths);
    const EnforceConfig config = read_enforce_config(
        paths, [&](const std::string& w) { to_syslog(paths.config.string() + ": " + w); });
    if (!off &&
        inotify_add_watch(ifd.get(), paths.store.c_str(),
                          IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM) < 0) {
        err << "tarvexctl: cannot watch " << paths.store.string() << std::endl;
        return 1;
    }
    // Every change of the store is applied in full, even when the tables read the same as
    // at the last evaluation: the udev helper may have acted on a state in between (a stick
    // plugged while it was black-listed for a moment).
    auto evaluate = [&] {
        // A connection of its own for each evaluation: nothing of an earlier read (or of a
        // store file since replaced) can hold it back.
        const Store store = read_store(paths);
        const auto started = std::chrono::steady_clock::now();
        auto lines = apply_once(paths, store, false, true);
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
        std::string summary = "tables re-applied: " + std::to_string(lines.size()) +
                              " change(s) in " + std::to_string(us) + " us";
        to_syslog(summary);
        out << summary << std::endl;
    };
    if (!off) {
        if (config.strict)
            apply_default(paths, true, out);
        evaluate();
    }
    out << "following " << paths.store.string() << std::endl;
    pollfd fds[2] = {{sfd.get(), POLLIN, 0}, {ifd.get(), POLLIN, 0}};
    char buf[4096] __attribute__((aligned(alignof(inotify_event))));
    for (;;) {
        if (::poll(fds, off ? 1 : 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        // Drain, then let a burst of one transaction's writes settle: one evaluation each.
        // Only the database and its journal count; the shared-memory index changes with
        // every reader, this one included.
        bool relevant = false;
        do {
            ssize_t n;
            while ((n = ::read(ifd.get(), buf, sizeof buf)) > 0) {
                for (ssize_t at = 0; at < n;) {
                    const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
                    const std::string_view name = ev->len ? ev->name : "";
                    if (name == "store.db" || name == "store.db-wal")
                        relevant = true;
                    at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                }
            }
            pollfd settle{ifd.get(), POLLIN, 0};
            if (::poll(&settle, 1, kSettleMs) <= 0)
                break;
        } while (true);
        if (relevant)
            evaluate();
    }
    if (!off && config.strict)
        restore_defaults(paths, out);
    out << "stopped" << std::endl;
    return 0;
}

std::string state_word(const std::optional<bool>& v, const char* yes, const char* no) {
    return v ? (*v ? yes : no) : "unknown";
}

int status(const EnforcePaths& paths, std::ostream& out) {
    const bool off = enforcement_off(paths);
    const EnforceConfig config = read_enforce_config(paths, nullptr);
    const Kernel kernel(paths.sys);
    out << "mode: " << (config.strict ? "strict" : "default") << '\n';
    out << "enforcement: "
        << (off ? "off for this boot (" + std::string(kBootSwitch) + ")" : std::string("on"))
        << '\n';
    for (const auto& hub : kernel.root_hubs())
        out << "root hub " << hub.name << ": interface_authorized_default "
            << hub.interface_authorized_default.value_or("missing") << '\n';
    const Store store = read_store(paths);
    auto policy = load_policy(store);
    if (!policy) {
        out << "store: unreadable\n";
        policy = Policy();
    } else if (policy->is_damaged()) {
        out << "store: damaged (" << store.file().string()
            << "); storage and vendorspec interfaces are denied, others allowed; "
               "run 'tarvexctl recover' to start an empty store\n";
    } else {
        out << "store: ok\n";
    }
    EnforceContext ctx{kernel, paths.state, true, nullptr};
    std::string device;
    for (const auto& s : present_state(*policy, ctx)) {
        if (s.iface.device_name != device) {
            device = s.iface.device_name;
            out << "device " << device << " " << s.iface.vid << ":" << s.iface.pid << '\n';
        }
        out << "  interface " << s.iface.name << " class " << s.iface.interface_class
            << " decision " << action_word(s.decision.action) << " (perm " << s.decision.perm
            << ", " << reason_word(s.decision.reason) << ") authorized "
            << state_word(s.iface.authorized, "1", "0") << '\n';
        for (const auto& d : s.disks)
            out << "    disk " << d.devnode << " read-only " << state_word(d.read_only, "yes", "no")
                << '\n';
    }
    return 0;
}

int recover(const EnforcePaths& paths, std::ostream& out, std::ostream& err) {
    const Store store(paths.store, [&](const std::string& text) { err << text << '\n'; });
    try {
        auto moved = store.recover();
        if (!moved) {
            out << "store " << store.file().string() << " is not damaged; nothing done\n";
            return 0;
        }
        out << "damaged store moved to " << moved->string() << "; started an empty store at "
            << store.file().string() << '\n';
        syslog(LOG_WARNING, "damaged store moved to %s; started an empty store", moved->c_str());
        return 0;
    } catch (const StoreError& e) {
        err << e.what() << '\n';
        return 1;
    }
}

}  // namespace

std::optional<Policy> load_policy(const Store& store) {
    auto t = store.read();
    if (t)
        return Policy(*t);
    if (store.damaged())
        return Policy::damaged();
    return std::nullopt;
}

bool run_enforce_ctl(std::span<const std::string_view> args, const EnforcePaths& paths,
                     std::ostream& out, std::ostream& err, int& code) {
    if (args.empty())
        return false;
    const std::string_view cmd = args[0];
    if (cmd != "enforce" && cmd != "status" && cmd != "recover")
        return false;
    openlog("tarvexctl", LOG_PID, LOG_AUTHPRIV);
    const std::string_view opt = args.size() > 1 ? args[1] : "";
    if (args.size() > 2 || (cmd != "enforce" && args.size() > 1)) {
        err << "tarvexctl: too many arguments; " << kUsage << '\n';
        code = 2;
        return true;
    }
    if (cmd == "status") {
        code = status(paths, out);
    } else if (cmd == "recover") {
        code = recover(paths, out, err);
    } else if (opt == "--follow") {
        code = follow(paths, out, err);
    } else if (opt == "--restore-defaults") {
        code = restore_defaults(paths, out);
    } else if (opt.empty() || opt == "--dry-run") {
        if (enforcement_off(paths)) {
            out << "enforcement off for this boot (" << kBootSwitch << "); nothing changed\n";
            code = 0;
            return true;
        }
        const Store store = read_store(paths);
        for (const auto& line : apply_once(paths, store, opt == "--dry-run", opt.empty()))
            out << line << '\n';
        code = 0;
    } else {
        err << "tarvexctl: unknown option '" << opt << "'; " << kUsage << '\n';
        code = 2;
    }
    return true;
}

int run_helper(std::span<const std::string_view> args, const EnforcePaths& paths) {
    // udev waits for this program: it never takes more than a few seconds.
    ::alarm(3);
    openlog("tarvex-enforce", LOG_PID, LOG_AUTHPRIV);
    if (args.empty() || args.size() > 2) {
        syslog(LOG_ERR, "usage: tarvex-enforce DEVPATH [DEVNODE]");
        return 0;
    }
    if (enforcement_off(paths)) {
        syslog(LOG_INFO, "enforcement off for this boot (%s): %s left alone",
               std::string(kBootSwitch).c_str(), std::string(args[0]).c_str());
        return 0;
    }
    const std::string devpath(args[0]);
    std::optional<std::string> devnode;
    if (args.size() == 2 && !args[1].empty())
        devnode = std::string(args[1]);
    const Kernel kernel(paths.sys);
    if (is_root_hub(devpath)) {
        if (std::filesystem::exists(paths.state / kStrictMarker)) {
            for (const auto& line : set_interface_default(kernel, false, false))
                to_syslog(line);
        }
        return 0;
    }
    const Store store = read_store(paths);

    // Only the device's own entry is looked up by key: the per-device table may be long.
    std::optional<Policy> policy;
    Snapshot classes;
    store.read(Table::Classes, classes);
    if (!classes.stamp) {
        if (store.damaged())
            policy = Policy::damaged();
    } else {
        std::optional<uint32_t> pid, vid;
        if (auto i = kernel.interface_of(devpath)) {
            pid = mdm::parse_rendered_hex(i->pid);
            vid = mdm::parse_rendered_hex(i->vid);
        }
        bool failed = false;
        std::optional<int> perm;
        if (pid && vid)
            perm = store.device_perm(*pid, *vid, failed);
        if (!failed)
            policy = Policy(perm, pid.value_or(0), vid.value_or(0), classes.rows);
        else if (store.damaged())
            policy = Policy::damaged();
    }
    if (!policy) {
        syslog(LOG_ERR, "store unreadable: %s left as it is", devpath.c_str());
        return 0;
    }
    EnforceContext ctx{kernel, paths.state, false, step_to_syslog};
    enforce_event(*policy, ctx, devpath, devnode);
    return 0;
}

}  // namespace tarvex_standin
