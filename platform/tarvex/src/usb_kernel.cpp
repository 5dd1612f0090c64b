#include "usb_kernel.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "mdm/files.h"
#include "mdm/raii.h"
#include "mdm/raii_mount.h"

namespace tarvex_standin {

namespace fs = std::filesystem;

namespace {

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    size_t start = text.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : text.substr(start);
}

std::string parent_devpath(const std::string& devpath) {
    auto slash = devpath.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : devpath.substr(0, slash);
}

std::string base_name(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

bool is_dir(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

}  // namespace

Kernel::Kernel(fs::path sys_root) : root_(std::move(sys_root)) {}

std::optional<std::string> Kernel::attribute(const std::string& devpath, const char* name) const {
    auto text = mdm::read_regular((root_ / devpath.substr(1) / name).string());
    if (!text)
        return std::nullopt;
    return trimmed(std::move(*text));
}

bool Kernel::write_attribute(const std::string& devpath, const char* name,
                             const std::string& value) const {
    const fs::path path = root_ / devpath.substr(1) / name;
    mdm::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
    if (!fd)
        return false;
    return mdm::write_full(fd.get(), value.data(), value.size()) ==
           static_cast<ssize_t>(value.size());
}

std::optional<std::string> Kernel::link_devpath(const fs::path& link) const {
    // Resolved by hand, relative to the link's own folder (a real folder of sysfs): the
    // path must stay inside the root passed in.
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    if (ec)
        return std::nullopt;
    const fs::path resolved = (link.parent_path() / target).lexically_normal();
    std::string rel = resolved.lexically_relative(root_).string();
    while (rel.ends_with('/'))
        rel.pop_back();  // left by a link ending in ".."
    if (!rel.starts_with("devices/"))
        return std::nullopt;
    return "/" + rel;
}

std::optional<KernelInterface> Kernel::read_interface(const std::string& devpath) const {
    auto cls = attribute(devpath, "bInterfaceClass");
    if (!cls)
        return std::nullopt;
    KernelInterface i;
    i.name = base_name(devpath);
    i.devpath = devpath;
    const std::string device = parent_devpath(devpath);
    i.device_name = base_name(device);
    i.interface_class = *cls;
    i.pid = attribute(device, "idProduct").value_or("");
    i.vid = attribute(device, "idVendor").value_or("");
    if (auto a = attribute(devpath, "authorized"))
        i.authorized = *a != "0";
    i.network = is_dir(root_ / devpath.substr(1) / "net");
    return i;
}

std::vector<KernelInterface> Kernel::interfaces() const {
    std::vector<KernelInterface> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root_ / "bus/usb/devices", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find(':') == std::string::npos)
            continue;  // a device, not an interface
        if (auto devpath = link_devpath(entry.path()))
            if (auto i = read_interface(*devpath))
                out.push_back(std::move(*i));
    }
    return out;
}

std::optional<KernelInterface> Kernel::interface_of(const std::string& devpath) const {
    for (std::string p = devpath; !p.empty(); p = parent_devpath(p)) {
        if (base_name(p).find(':') != std::string::npos)
            if (auto i = read_interface(p))
                return i;
    }
    return std::nullopt;
}

std::vector<KernelDisk> Kernel::disks() const {
    // Interfaces by devpath, so each block device finds its owner by walking up its path.
    std::unordered_map<std::string, bool> storage;
    for (const auto& i : interfaces())
        storage.emplace(i.devpath, true);
    std::vector<KernelDisk> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root_ / "class/block", ec)) {
        auto devpath = link_devpath(entry.path());
        if (!devpath)
            continue;
        for (std::string p = parent_devpath(*devpath); !p.empty(); p = parent_devpath(p)) {
            if (!storage.contains(p))
                continue;
            KernelDisk d;
            d.name = entry.path().filename().string();
            std::string node = d.name;
            if (auto uevent = mdm::read_regular((root_ / devpath->substr(1) / "uevent").string())) {
                auto at = uevent->find("DEVNAME=");
                if (at != std::string::npos)
                    node = uevent->substr(at + 8, uevent->find('\n', at) - at - 8);
            }
            d.devnode = "/dev/" + node;
            d.interface_devpath = p;
            if (auto ro = attribute(*devpath, "ro"))
                d.read_only = *ro == "1";
            out.push_back(std::move(d));
            break;
        }
    }
    return out;
}

std::optional<NetCard> Kernel::net_card_at(const std::string& devpath) const {
    const fs::path dir = root_ / devpath.substr(1);
    auto device = link_devpath(dir / "device");
    if (!device)
        return std::nullopt;  // virtual: loopback, bridges, tunnels
    NetCard c;
    c.name = base_name(devpath);
    c.device_name = base_name(*device);
    // These point into /sys/bus: their last component is the name.
    std::error_code ec;
    c.bus = fs::read_symlink(root_ / device->substr(1) / "subsystem", ec).filename().string();
    c.driver = fs::read_symlink(root_ / device->substr(1) / "driver", ec).filename().string();
    if (c.bus == "usb" && c.device_name.find(':') != std::string::npos)
        c.usb_interface_devpath = *device;
    return c;
}

std::vector<NetCard> Kernel::net_cards() const {
    std::vector<NetCard> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root_ / "class/net", ec)) {
        if (auto devpath = link_devpath(entry.path()))
            if (auto card = net_card_at(*devpath))
                out.push_back(std::move(*card));
    }
    return out;
}

bool is_root_hub(std::string_view devpath) {
    const auto slash = devpath.rfind('/');
    const std::string_view name =
        slash == std::string_view::npos ? devpath : devpath.substr(slash + 1);
    return name.size() > 3 && name.starts_with("usb") &&
           name.find_first_not_of("0123456789", 3) == std::string_view::npos;
}

std::vector<RootHub> Kernel::root_hubs() const {
    std::vector<RootHub> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root_ / "bus/usb/devices", ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("usb"))
            continue;
        if (auto devpath = link_devpath(entry.path()))
            out.push_back({name, *devpath, attribute(*devpath, "interface_authorized_default")});
    }
    return out;
}

bool Kernel::set_authorized(const std::string& devpath, bool on) const {
    return write_attribute(devpath, "authorized", on ? "1" : "0");
}

bool Kernel::probe(const std::string& bus, const std::string& device_name) const {
    return write_attribute("/bus/" + bus, "drivers_probe", device_name);
}

bool Kernel::unbind(const NetCard& card) const {
    if (card.driver.empty())
        return true;  // nothing bound
    return write_attribute("/bus/" + card.bus + "/drivers/" + card.driver, "unbind",
                           card.device_name);
}

std::string set_block_read_only(const std::string& devnode, bool on) {
    mdm::UniqueFd fd(::open(devnode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return std::strerror(errno);
    int flag = on ? 1 : 0;
    if (::ioctl(fd.get(), BLKROSET, &flag) != 0)
        return std::strerror(errno);
    return {};
}

std::vector<std::string> remount_read_only(const std::string& devnode,
                                           std::vector<std::string>& failures) {
    std::vector<std::string> changed;
    mdm::MntTablePtr table(mnt_new_table());
    if (!table || mnt_table_parse_mtab(table.get(), nullptr) != 0)
        return changed;
    std::vector<std::string> targets;
    mdm::MntIterPtr it(mnt_new_iter(MNT_ITER_FORWARD));
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), it.get(), &fs) == 0) {
        const char* source = mnt_fs_get_source(fs);
        const char* target = mnt_fs_get_target(fs);
        const char* options = mnt_fs_get_vfs_options(fs);
        if (source && target && devnode == source &&
            !(options && mnt_optstr_get_option(options, "ro", nullptr, nullptr) == 0))
            targets.emplace_back(target);
    }
    for (const auto& target : targets) {
        mdm::MntContextPtr cxt(mnt_new_context());
        if (!cxt)
            continue;
        mnt_context_set_options(cxt.get(), "remount,ro");
        mnt_context_set_target(cxt.get(), target.c_str());
        int rc = mnt_context_mount(cxt.get());
        if (rc == 0)
            changed.push_back(target);
        else
            failures.push_back(target + ": " + std::to_string(rc));
    }
    return changed;
}

}  // namespace tarvex_standin
