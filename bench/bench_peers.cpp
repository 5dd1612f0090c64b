#include "bench_peers.h"

#include <stdexcept>

#include "mdm/bus_names.h"
#include "mdm/peer_interfaces.h"
#include "mdm/raii_glib.h"

namespace bench {
namespace {

struct Served {
    mdm::bus::Endpoint at;
    const char* xml;
};

constexpr Served kServed[] = {
    {mdm::bus::kLogService, mdm::bus::kLogServiceXml},
    {mdm::bus::kManagementClient, mdm::bus::kManagementClientXml},
    {mdm::bus::kNotificationAgent, mdm::bus::kNotificationAgentXml},
};

}  // namespace

std::string floor_calls(GDBusConnection* bus, const FloorTexts& texts) {
    struct Call {
        const char* name;
        const char* path;
        const char* iface;
        const char* method;
        const std::string* arg;
    };
    const Call calls[] = {
        {"com.quorl.brannoc.ostrelagent", "/brannoc/Responser", "com.quorl.brannoc.ostrelagent",
         "show_system_notification", &texts.notification},
        {"com.quorl.brannoc.ostrelclient", "/brannoc/ostrelclient",
         "com.quorl.brannoc.ostrelclient", "get_current_user", nullptr},
        {"org.log.sys_transmit", "/org/log/sys_transmit", "org.log.transmit", "log_transmit",
         &texts.audit},
        // Not usb_storage_plug_in: the benchmark counts those as the daemon's announcements.
        {"com.quorl.brannoc.ostrelclient", "/brannoc/ostrelclient",
         "com.quorl.brannoc.ostrelclient", "usb_storage_pull_out", &texts.record},
    };
    for (const auto& c : calls) {
        mdm::GErrorSlot err;
        mdm::VariantPtr reply(
            g_dbus_connection_call_sync(bus, c.name, c.path, c.iface, c.method,
                                        c.arg ? g_variant_new("(s)", c.arg->c_str()) : nullptr,
                                        nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, err.out()));
        if (!reply)
            return std::string(c.method) + ": " + err.message();
    }
    return {};
}

BenchPeers::BenchPeers() {
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    thread_ = std::thread([this] { run(); });
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(10), [this] { return ready_; })) {
        throw std::runtime_error("bench peers did not come up");
    }
}

BenchPeers::~BenchPeers() {
    g_main_loop_quit(loop_);
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void BenchPeers::run() {
    g_main_context_push_thread_default(context_);
    mdm::GErrorSlot err;
    mdm::GCharPtr address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    mdm::GObjectPtr<GDBusConnection> bus(g_dbus_connection_new_for_address_sync(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, err.out()));
    static const GDBusInterfaceVTable vtable{on_call, nullptr, nullptr, {}};
    for (const auto& s : kServed) {
        // Registering takes its own reference to the interface data.
        mdm::DBusNodeInfoPtr node(g_dbus_node_info_new_for_xml(s.xml, nullptr));
        g_dbus_connection_register_object(
            bus.get(), s.at.path, g_dbus_node_info_lookup_interface(node.get(), s.at.interface),
            &vtable, this, nullptr, nullptr);
        mdm::VariantPtr reply(g_dbus_connection_call_sync(
            bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", s.at.name, 0u), nullptr, G_DBUS_CALL_FLAGS_NONE,
            -1, nullptr, err.out()));
    }
    {
        std::lock_guard lock(mutex_);
        ready_ = true;
    }
    changed_.notify_all();
    g_main_loop_run(loop_);
    g_main_context_pop_thread_default(context_);
}

void BenchPeers::on_call(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                         const gchar* method, GVariant* params, GDBusMethodInvocation* invocation,
                         gpointer data) {
    auto* self = static_cast<BenchPeers*>(data);
    const auto now = Clock::now();
    std::string m = method;
    bool awaited;
    {
        std::lock_guard lock(self->mutex_);
        self->arrivals_[m].push_back(now);
        const char* arg = nullptr;
        if (g_variant_is_of_type(params, G_VARIANT_TYPE("(s)")))
            g_variant_get(params, "(&s)", &arg);
        if (m == "usb_storage_plug_in")
            self->plug_records_.emplace_back(arg ? arg : "");
        if (arg && !self->first_arguments_.contains(m))
            self->first_arguments_.emplace(m, arg);
        awaited = m == self->awaited_;
    }
    // Only the call waited for wakes the waiter: a woken benchmark thread would compete for
    // the processors with the daemon it is timing.
    if (awaited)
        self->changed_.notify_all();
    if (m == "get_current_user") {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(s)", "user"));
    } else if (m == "usb_storage_plug_in" || m == "usb_storage_pull_out") {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(s)", "OK"));
    } else {
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }
}

std::size_t BenchPeers::count(const std::string& method) {
    std::lock_guard lock(mutex_);
    return arrivals_[method].size();
}

Clock::time_point BenchPeers::wait(const std::string& method, std::size_t n,
                                   std::chrono::seconds timeout) {
    std::unique_lock lock(mutex_);
    awaited_ = method;
    const bool arrived =
        changed_.wait_for(lock, timeout, [&] { return arrivals_[method].size() >= n; });
    awaited_.clear();
    if (!arrived)
        throw std::runtime_error("no call " + std::to_string(n) + " of " + method);
    return arrivals_[method][n - 1];
}

std::vector<std::string> BenchPeers::plug_records() {
    std::lock_guard lock(mutex_);
    return plug_records_;
}

std::string BenchPeers::first_argument(const std::string& method) {
    std::lock_guard lock(mutex_);
    auto found = first_arguments_.find(method);
    return found == first_arguments_.end() ? std::string() : found->second;
}

}  // namespace bench
