// unit_exec UNIT -- PROGRAM [ARG...]: runs PROGRAM under the sandboxing settings of a systemd
// unit file, reproduced without a service manager (the test sandbox has none): a read-only
// system with the unit's writable paths, private /tmp and network, no capabilities, no new
// privileges, and a seccomp filter built from the unit's system call filter, address families
// and write-execute rule. Not reproduced: PrivateUsers, IPAddressDeny and DevicePolicy (the
// sandbox's own /dev already holds only the basic nodes) and the Protect* settings other than
// ProtectSystem and ProtectKernelTunables.
#include <fcntl.h>
#include <linux/mount.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <sys/mount.h>

namespace {

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "unit_exec: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(111);
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

// The [Service] section as name -> every assignment in order (an empty one resets in systemd;
// the units here never rely on that).
std::map<std::string, std::vector<std::string>> read_service(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        die("open " + path);
    std::map<std::string, std::vector<std::string>> out;
    bool service = false;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            service = line == "[Service]";
            continue;
        }
        auto eq = line.find('=');
        if (service && eq != std::string::npos)
            out[line.substr(0, eq)].push_back(line.substr(eq + 1));
    }
    return out;
}

// systemd's own system call groups, as this machine's systemd-analyze lists them.
std::map<std::string, std::vector<std::string>> syscall_groups() {
    std::map<std::string, std::vector<std::string>> groups;
    FILE* p = popen("systemd-analyze syscall-filter --no-pager 2>/dev/null", "r");
    if (!p)
        die("systemd-analyze");
    std::string current;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
            line.pop_back();
        if (line.empty())
            continue;
        if (line[0] == '@') {
            current = line;
            continue;
        }
        auto w = words(line);
        if (!current.empty() && !w.empty() && w[0][0] != '#')
            groups[current].push_back(w[0]);
    }
    pclose(p);
    return groups;
}

void expand(const std::map<std::string, std::vector<std::string>>& groups, const std::string& item,
            std::set<std::string>& out) {
    if (item[0] != '@') {
        out.insert(item);
        return;
    }
    auto it = groups.find(item);
    if (it == groups.end())
        throw std::runtime_error("unknown system call group " + item);
    for (const auto& member : it->second)
        expand(groups, member, out);
}

bool yes(const std::map<std::string, std::vector<std::string>>& s, const char* key) {
    auto it = s.find(key);
    return it != s.end() && !it->second.empty() &&
           (it->second.back() == "yes" || it->second.back() == "true");
}

void set_readonly(const char* path, bool readonly) {
    mount_attr attr{};
    (readonly ? attr.attr_set : attr.attr_clr) = MOUNT_ATTR_RDONLY;
    if (mount_setattr(AT_FDCWD, path, AT_RECURSIVE, &attr, sizeof attr) != 0)
        die(std::string("mount_setattr ") + path);
}

void bind_self(const std::string& path) {
    if (mount(path.c_str(), path.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
        die("bind " + path);
}

// A fresh /tmp (or /var/tmp). A build or checkout under it (a CI clone in /tmp, say) is
// bound back in, so the programs under test stay reachable as installed ones would be.
void fresh_tmpfs(const char* path) {
    if (access(path, F_OK) != 0)
        return;
    const std::string prefix = std::string(path) + "/";
    std::vector<std::pair<std::string, int>> kept;
    for (const char* var : {"MDM_BUILD_DIR", "MDM_SOURCE_DIR"}) {
        const char* dir = std::getenv(var);
        if (dir && std::string_view(dir).starts_with(prefix)) {
            int fd = open(dir, O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0)
                die(std::string("open ") + dir);
            kept.emplace_back(dir, fd);
        }
    }
    if (mount("tmpfs", path, "tmpfs", 0, "mode=1777") != 0)
        die(std::string("tmpfs ") + path);
    for (const auto& [dir, fd] : kept) {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        std::string source = "/proc/self/fd/" + std::to_string(fd);
        if (ec || mount(source.c_str(), dir.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
            die("bind " + dir);
        close(fd);
    }
}

void apply_mounts(const std::map<std::string, std::vector<std::string>>& s) {
    if (unshare(CLONE_NEWNS) != 0)
        die("unshare mount");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        die("private /");
    if (yes(s, "PrivateTmp")) {
        fresh_tmpfs("/tmp");
        fresh_tmpfs("/var/tmp");
    }
    std::vector<std::string> writable;
    if (auto it = s.find("ReadWritePaths"); it != s.end()) {
        for (const auto& line : it->second) {
            for (auto path : words(line)) {
                bool optional = path[0] == '-';
                if (optional)
                    path.erase(0, 1);
                if (access(path.c_str(), F_OK) != 0) {
                    if (optional)
                        continue;
                    die("ReadWritePaths " + path);
                }
                bind_self(path);
                writable.push_back(path);
            }
        }
    }
    // umockdev's stand-in for the udev netlink socket is a socket file it binds in the testbed
    // folder; the real socket needs no file, so that folder stays writable.
    if (const char* testbed = std::getenv("UMOCKDEV_DIR"); testbed && *testbed) {
        bind_self(testbed);
        writable.push_back(testbed);
    }
    auto ps = s.find("ProtectSystem");
    if (ps != s.end() && ps->second.back() == "strict") {
        set_readonly("/", true);
        // The API file systems stay writable, as with the service manager.
        for (const char* api : {"/dev", "/proc", "/sys", "/tmp", "/var/tmp"})
            if (access(api, F_OK) == 0)
                set_readonly(api, false);
        for (const auto& path : writable)
            set_readonly(path.c_str(), false);
    }
    if (yes(s, "ProtectKernelTunables")) {
        for (const char* path : {"/sys", "/proc/sys"}) {
            bind_self(path);
            set_readonly(path, true);
        }
    }
}

int address_family(const std::string& name) {
    static const std::map<std::string, int> known = {{"AF_UNIX", AF_UNIX},
                                                     {"AF_INET", AF_INET},
                                                     {"AF_INET6", AF_INET6},
                                                     {"AF_NETLINK", AF_NETLINK},
                                                     {"AF_PACKET", AF_PACKET}};
    auto it = known.find(name);
    if (it == known.end())
        throw std::runtime_error("unknown address family " + name);
    return it->second;
}

void apply_seccomp(const std::map<std::string, std::vector<std::string>>& s) {
    auto groups = syscall_groups();
    std::set<std::string> allowed;
    bool allow_list = false;
    if (auto it = s.find("SystemCallFilter"); it != s.end()) {
        for (const auto& line : it->second) {
            bool deny = line[0] == '~';
            std::set<std::string> items;
            for (const auto& w : words(deny ? line.substr(1) : line))
                expand(groups, w, items);
            if (!deny && !allow_list) {
                allow_list = true;
                expand(groups, "@default", allowed);  // always permitted by the manager
            }
            for (const auto& name : items) {
                if (deny)
                    allowed.erase(name);
                else
                    allowed.insert(name);
            }
        }
    }
    if (!allow_list)
        return;

    bool mdwe = yes(s, "MemoryDenyWriteExecute");
    std::vector<int> families;
    if (auto it = s.find("RestrictAddressFamilies"); it != s.end())
        for (const auto& line : it->second)
            for (const auto& w : words(line))
                families.push_back(address_family(w));

    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!ctx)
        die("seccomp_init");
    auto rule = [&](int nr, unsigned count, const scmp_arg_cmp* cmp) {
        if (seccomp_rule_add_array(ctx, SCMP_ACT_ALLOW, nr, count, cmp) != 0)
            throw std::runtime_error("seccomp rule");
    };
    for (const auto& name : allowed) {
        int nr = seccomp_syscall_resolve_name(name.c_str());
        if (nr == __NR_SCMP_ERROR || nr < 0)
            continue;  // not a call of this architecture
        if (nr == SCMP_SYS(socket) && !families.empty()) {
            for (int family : families) {
                scmp_arg_cmp c = SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(family));
                rule(nr, 1, &c);
            }
        } else if (mdwe && nr == SCMP_SYS(mmap)) {
            scmp_arg_cmp no_exec = SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0);
            scmp_arg_cmp no_write = SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_WRITE, 0);
            rule(nr, 1, &no_exec);
            rule(nr, 1, &no_write);
        } else if (mdwe && (nr == SCMP_SYS(mprotect) || nr == SCMP_SYS(pkey_mprotect))) {
            scmp_arg_cmp no_exec = SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0);
            rule(nr, 1, &no_exec);
        } else {
            rule(nr, 0, nullptr);
        }
    }
    if (seccomp_load(ctx) != 0)
        die("seccomp_load");
    seccomp_release(ctx);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
        std::fprintf(stderr, "usage: unit_exec UNIT -- PROGRAM [ARG...]\n");
        return 2;
    }
    try {
        auto s = read_service(argv[1]);
        apply_mounts(s);
        if (yes(s, "PrivateNetwork") && unshare(CLONE_NEWNET) != 0)
            die("unshare network");
        if (auto it = s.find("CapabilityBoundingSet");
            it != s.end() && words(it->second.back()).empty()) {
            for (int cap = 0; prctl(PR_CAPBSET_READ, cap) >= 0; ++cap)
                if (prctl(PR_CAPBSET_DROP, cap) != 0)
                    die("drop capability");
        }
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
            die("no new privileges");
        apply_seccomp(s);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "unit_exec: %s\n", e.what());
        return 111;
    }
    execvp(argv[3], argv + 3);
    die(std::string("exec ") + argv[3]);
}
