// Stand-in for the peers outside the system on the system bus: the log-transmission
// service, the management client, the notification agent and NetworkManager. Every call
// is recorded as one JSON line on arrival; replies follow after the configured delay.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gio/gio.h>

#include "mdm/raii.h"
#include "mdm/raii_glib.h"
#include "mdm/peer_interfaces.h"
#include "peers_xml.h"
#include "peers_logic.h"

namespace {

constexpr char kNmName[] = "org.freedesktop.NetworkManager";
constexpr char kNmPath[] = "/org/freedesktop/NetworkManager";
constexpr char kNmDeviceIface[] = "org.freedesktop.NetworkManager.Device";
constexpr char kPropertiesIface[] = "org.freedesktop.DBus.Properties";

struct App {
    peers::Options opts;
    FILE* log = stdout;
    peers::RetryBudget retry{0};
};

// What one registered object needs to answer: its peer's key and, for NetworkManager
// devices, the device's index.
struct ObjectContext {
    App* app;
    const char* peer;
    std::size_t device = 0;
};

struct PendingReply {
    GDBusMethodInvocation* invocation;  // answered exactly once, by send_reply
    mdm::VariantPtr value;              // null for an empty reply
    std::string error_name;
    std::string error_message;
};

void send_reply(std::unique_ptr<PendingReply> r) {
    if (!r->error_name.empty()) {
        g_dbus_method_invocation_return_dbus_error(r->invocation, r->error_name.c_str(),
                                                   r->error_message.c_str());
    } else {
        g_dbus_method_invocation_return_value(r->invocation, r->value.get());
    }
}

gboolean send_reply_later(gpointer data) {
    send_reply(std::unique_ptr<PendingReply>(static_cast<PendingReply*>(data)));
    return G_SOURCE_REMOVE;
}

void record(App& app, const char* peer, const char* method, GVariant* params) {
    std::string line = peers::call_json_line(peer, method, peers::call_args(params));
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), app.log);
    std::fflush(app.log);
}

// Builds the answer of a call at arrival, so "Retry" follows arrival order.
void answer(const ObjectContext& ctx, const char* iface, const char* method, GVariant* params,
            PendingReply& r) {
    App& app = *ctx.app;
    std::string_view m = method;
    GVariant* value = nullptr;  // floating until taken below
    if (m == "get_current_user") {
        value = g_variant_new("(s)", app.opts.user.c_str());
    } else if (m == "usb_storage_plug_in" || m == "usb_storage_pull_out") {
        value = g_variant_new("(s)", app.retry.next_answer());
    } else if (m == "GetDeviceByIpIface") {
        const char* name = nullptr;
        g_variant_get(params, "(&s)", &name);
        auto index = peers::find_nm_device(app.opts.nm_devices, name);
        if (index) {
            value = g_variant_new("(o)", peers::nm_device_path(*index).c_str());
        } else {
            r.error_name = "org.freedesktop.NetworkManager.UnknownDevice";
            r.error_message = "No device found for the requested iface.";
        }
    } else if (std::string_view(iface) == kPropertiesIface) {
        // Properties are answered here rather than through a getter so they can be
        // recorded and delayed like every other call.
        const char* prop_iface = nullptr;
        const char* prop = "";
        if (m == "Get") {
            g_variant_get(params, "(&s&s)", &prop_iface, &prop);
        } else {
            g_variant_get(params, "(&s)", &prop_iface);
        }
        guint32 type = app.opts.nm_devices[ctx.device].type;
        bool ours = std::string_view(prop_iface) == kNmDeviceIface;
        if (m == "Get" && ours && std::string_view(prop) == "DeviceType") {
            value = g_variant_new("(v)", g_variant_new_uint32(type));
        } else if (m == "GetAll") {
            GVariantBuilder b;
            g_variant_builder_init(&b, G_VARIANT_TYPE("a{sv}"));
            if (ours)
                g_variant_builder_add(&b, "{sv}", "DeviceType", g_variant_new_uint32(type));
            value = g_variant_new("(a{sv})", &b);
        } else {
            r.error_name = "org.freedesktop.DBus.Error.InvalidArgs";
            r.error_message = "No such property";
        }
    }
    if (value)
        r.value.reset(g_variant_ref_sink(value));
}

void on_method_call(GDBusConnection*, const char*, const char*, const char* iface,
                    const char* method, GVariant* params, GDBusMethodInvocation* invocation,
                    gpointer user_data) {
    auto& ctx = *static_cast<ObjectContext*>(user_data);
    record(*ctx.app, ctx.peer, method, params);
    auto r = std::make_unique<PendingReply>(PendingReply{invocation, nullptr, {}, {}});
    answer(ctx, iface, method, params, *r);
    if (ctx.app->opts.delay_ms == 0) {
        send_reply(std::move(r));
    } else {
        g_timeout_add(ctx.app->opts.delay_ms, send_reply_later, r.release());
    }
}

// Property getters are left unset so that Get/GetAll arrive at on_method_call.
const GDBusInterfaceVTable kVtable = {on_method_call, nullptr, nullptr, {}};

bool register_object(GDBusConnection* bus, const char* xml, const char* path, ObjectContext* ctx,
                     std::vector<mdm::DBusNodeInfoPtr>& infos) {
    mdm::GErrorSlot err;
    mdm::DBusNodeInfoPtr info(g_dbus_node_info_new_for_xml(xml, err.out()));
    if (!info) {
        std::fprintf(stderr, "peers: bad introspection data: %s\n", err.message());
        return false;
    }
    guint id = g_dbus_connection_register_object(bus, path, info->interfaces[0], &kVtable, ctx,
                                                 nullptr, err.out());
    if (id == 0) {
        std::fprintf(stderr, "peers: cannot register %s: %s\n", path, err.message());
        return false;
    }
    infos.push_back(std::move(info));
    return true;
}

// Owns `name` outright; a name already taken or refused by policy is a failure.
bool own_name(GDBusConnection* bus, const char* name) {
    constexpr guint32 kDoNotQueue = 4;
    constexpr guint32 kPrimaryOwner = 1;
    mdm::GErrorSlot err;
    mdm::VariantPtr reply(g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", name, kDoNotQueue), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, err.out()));
    guint32 result = 0;
    if (reply)
        g_variant_get(reply.get(), "(u)", &result);
    if (result != kPrimaryOwner) {
        std::fprintf(stderr, "peers: cannot own %s\n", name);
        if (err)
            std::fprintf(stderr, "peers: %s\n", err.message());
        return false;
    }
    return true;
}

void usage() {
    std::fprintf(stderr,
                 "usage: peers [--log FILE] [--no-log-service] [--no-client] [--no-agent] "
                 "[--no-nm]\n             [--user NAME] [--retry N] [--delay-ms MS] "
                 "[--nm-device IFACE=TYPE]...\n");
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    auto parsed = peers::parse_options(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::fprintf(stderr, "peers: %s\n", parsed.error.c_str());
        usage();
        return 2;
    }
    App app;
    app.opts = std::move(*parsed.options);
    app.retry = peers::RetryBudget(app.opts.retry);
    mdm::FilePtr log_file;
    if (!app.opts.log_path.empty()) {
        log_file.reset(std::fopen(app.opts.log_path.c_str(), "a"));
        if (!log_file) {
            std::fprintf(stderr, "peers: cannot open %s: %s\n", app.opts.log_path.c_str(),
                         std::strerror(errno));
            return 1;
        }
        app.log = log_file.get();
    }

    mdm::GErrorSlot err;
    mdm::GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    if (!bus) {
        std::fprintf(stderr, "peers: cannot connect to the system bus: %s\n", err.message());
        return 1;
    }

    struct PeerDef {
        bool enabled;
        const char* key;
        const char* name;
        const char* path;
        const char* xml;
    };
    const PeerDef defs[] = {
        {app.opts.log_service, "log", "org.log.sys_transmit", "/org/log/sys_transmit",
         mdm::bus::kLogServiceXml},
        {app.opts.client, "client", "com.quorl.brannoc.ostrelclient", "/brannoc/ostrelclient",
         mdm::bus::kManagementClientXml},
        {app.opts.agent, "agent", "com.quorl.brannoc.ostrelagent", "/brannoc/Responser",
         mdm::bus::kNotificationAgentXml},
        {app.opts.nm, "nm", kNmName, kNmPath, peers::kNmXml},
    };

    std::vector<std::unique_ptr<ObjectContext>> contexts;
    std::vector<mdm::DBusNodeInfoPtr> infos;
    auto context = [&](const char* key, std::size_t device = 0) {
        contexts.push_back(std::make_unique<ObjectContext>(ObjectContext{&app, key, device}));
        return contexts.back().get();
    };
    for (const auto& d : defs) {
        if (!d.enabled)
            continue;
        if (!register_object(bus.get(), d.xml, d.path, context(d.key), infos))
            return 1;
    }
    if (app.opts.nm) {
        for (std::size_t i = 0; i < app.opts.nm_devices.size(); ++i) {
            std::string path = peers::nm_device_path(i);
            if (!register_object(bus.get(), peers::kNmDeviceXml, path.c_str(), context("nm", i),
                                 infos))
                return 1;
        }
    }
    // Names last, so a client that sees a name finds its objects already there.
    for (const auto& d : defs) {
        if (d.enabled && !own_name(bus.get(), d.name))
            return 1;
    }
    std::printf("peers ready\n");

    mdm::MainLoopPtr loop(g_main_loop_new(nullptr, FALSE));
    g_main_loop_run(loop.get());
    return 0;
}
