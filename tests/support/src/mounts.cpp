#include "mdmtest/mounts.h"

#include "mdmtest/usb_storage.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace mdmtest {

namespace {

void add_record(Testbed& tb, const std::string& record) {
    mdm::GErrorSlot err;
    if (!umockdev_testbed_add_from_string(tb.get(), record.c_str(), err.out()))
        throw std::runtime_error("umockdev: cannot add " + record + ": " + err.message());
}

}  // namespace

std::string add_block_disk(Testbed& tb, const std::string& parent_syspath, const std::string& disk,
                           int minor) {
    std::string host = add_scsi_host(tb, parent_syspath, "host" + std::to_string(minor / 16));
    std::string whole = add_block_device(tb, host, disk, "disk", "8:" + std::to_string(minor));
    add_block_device(tb, whole, disk + "1", "partition", "8:" + std::to_string(minor + 1));
    return "/dev/" + disk + "1";
}

std::string add_internal_controller(Testbed& tb) {
    add_record(tb, "P: /devices/pci0000:00/0000:00:1f.2\nE: SUBSYSTEM=pci\nE: DRIVER=ahci\n");
    add_record(tb,
               "P: /devices/pci0000:00/0000:00:1f.2/ata1\nE: DEVTYPE=ata_port\n"
               "E: SUBSYSTEM=ata_port\n");
    return "/sys/devices/pci0000:00/0000:00:1f.2/ata1";
}

Mounts::Mounts() : saved_fstab_(read_file("/etc/fstab")) {}

Mounts::~Mounts() {
    for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it)
        run({"umount", "-l", *it});
    write_file("/etc/fstab", saved_fstab_);
}

void Mounts::list_in_fstab(const std::string& node, const std::string& mountpoint) {
    std::ofstream(("/etc/fstab"), std::ios::app)
        << node << " " << mountpoint << " tmpfs user,noauto 0 0\n";
}

bool Mounts::mount(const std::string& node, const std::string& mountpoint) {
    std::error_code ec;
    std::filesystem::create_directories(mountpoint, ec);
    // mount(8) runs without the umockdev preload: it must see the real /dev and /sys.
    if (run({"mount", "-t", "tmpfs", "-o", "mode=0755", node, mountpoint}).status != 0)
        return false;
    mounted_.push_back(mountpoint);
    return true;
}

bool Mounts::umount(const std::string& mountpoint) {
    if (run({"umount", mountpoint}).status != 0)
        return false;
    std::erase(mounted_, mountpoint);
    return true;
}

int mode_of(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

bool mounted_read_only(const std::string& mountpoint) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    bool ro = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, dev, root, target, options;
        fields >> id >> parent >> dev >> root >> target >> options;
        // The last mount on a target is the one visible there.
        if (target == mountpoint)
            ro = options == "ro" || options.starts_with("ro,");
    }
    return ro;
}

SignalListener::SignalListener(GBusType bus, const std::string& interface)
    : context_(g_main_context_new()), loop_(g_main_loop_new(context_.get(), FALSE)) {
    // Signals are delivered on the context that is the thread's default at subscription.
    g_main_context_push_thread_default(context_.get());
    mdm::GErrorSlot err;
    mdm::GCharPtr address(g_dbus_address_get_for_bus_sync(bus, nullptr, err.out()));
    if (address) {
        connection_.reset(g_dbus_connection_new_for_address_sync(
            address.get(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, err.out()));
    }
    if (connection_) {
        subscription_ = g_dbus_connection_signal_subscribe(
            connection_.get(), nullptr, interface.c_str(), nullptr, nullptr, nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, on_signal, this, nullptr);
    }
    g_main_context_pop_thread_default(context_.get());
    if (!connection_)
        throw std::runtime_error(std::string("signal listener: ") + err.message());
    // The bus handles one client's messages in order: once this answers, the match is set.
    mdm::VariantPtr pong(g_dbus_connection_call_sync(
        connection_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus.Peer", "Ping", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000,
        nullptr, nullptr));
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_.get());
        g_main_loop_run(loop_.get());
        g_main_context_pop_thread_default(context_.get());
    });
}

SignalListener::~SignalListener() {
    // Wakes the loop even if it had not started running yet.
    g_main_context_invoke(
        context_.get(),
        [](gpointer l) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(l));
            return G_SOURCE_REMOVE;
        },
        loop_.get());
    thread_.join();
    if (subscription_)
        g_dbus_connection_signal_unsubscribe(connection_.get(), subscription_);
    g_dbus_connection_close_sync(connection_.get(), nullptr, nullptr);
}

void SignalListener::on_signal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                               const gchar* member, GVariant* params, gpointer self) {
    Signal s{member, {}};
    for (gsize i = 0; i < g_variant_n_children(params); ++i) {
        mdm::VariantPtr child(g_variant_get_child_value(params, i));
        if (g_variant_is_of_type(child.get(), G_VARIANT_TYPE_STRING))
            s.args.emplace_back(g_variant_get_string(child.get(), nullptr));
    }
    auto* listener = static_cast<SignalListener*>(self);
    std::lock_guard lock(listener->mutex_);
    listener->signals_.push_back(std::move(s));
}

std::vector<SignalListener::Signal> SignalListener::signals(std::string_view member) const {
    std::lock_guard lock(mutex_);
    std::vector<Signal> out;
    for (const auto& s : signals_) {
        if (member.empty() || s.member == member)
            out.push_back(s);
    }
    return out;
}

bool SignalListener::wait(std::size_t count, std::string_view member,
                          std::chrono::milliseconds timeout) const {
    return eventually([&] { return signals(member).size() >= count; }, timeout);
}

}  // namespace mdmtest
