// Start-up of a control service and the dispatch of its bus methods.
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "mdm/bus_errors.h"
#include "mdm/bus_limits.h"
#include "mdm/frame/service.h"
#include "mdm/stop.h"

namespace mdm::frame {

namespace {

struct Binding {
    Service* service;
    const HandlerTable* handlers;
};

void on_method_call(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                    GVariant* args, GDBusMethodInvocation* invocation, gpointer user_data) {
    const auto* binding = static_cast<const Binding*>(user_data);
    // The bus layer already refuses methods missing from the introspection data; this keeps
    // the table the only way in even if the two ever disagree.
    auto it = binding->handlers->find(method);
    if (it == binding->handlers->end()) {
        g_dbus_method_invocation_return_dbus_error(
            invocation, "org.freedesktop.DBus.Error.UnknownMethod",
            (std::string("no such method: ") + method).c_str());
        return;
    }
    try {
        VariantPtr reply = it->second(*binding->service, args);
        if (g_variant_get_size(reply.get()) > kMaxReplyBody)
            return_too_large(invocation);  // only a list can grow so large
        else
            g_dbus_method_invocation_return_value(invocation, reply.get());
    } catch (...) {
        // A refused argument answers InvalidArgs, anything else Failed.
        return_current_exception(invocation, std::string(method) + " failed");
    }
}

const GDBusInterfaceVTable kVTable = {on_method_call, nullptr, nullptr, {}};

// The interface named after the bus name, with a handler for each of its methods.
GDBusInterfaceInfo* find_interface(GDBusNodeInfo* node, const ServiceSpec& spec) {
    GDBusInterfaceInfo* iface = g_dbus_node_info_lookup_interface(node, spec.bus_name.c_str());
    if (!iface)
        throw std::runtime_error("introspection data lacks interface " + spec.bus_name);
    for (GDBusMethodInfo** m = iface->methods; m && *m; ++m) {
        if (!spec.handlers.contains((*m)->name)) {
            throw std::runtime_error(std::string("no handler for method ") + (*m)->name);
        }
    }
    return iface;
}

// Asks for the name outright: a name already owned is a failed start, not a place in the
// queue, so a second instance ends instead of waiting.
void request_name(GDBusConnection* bus, const std::string& name) {
    constexpr guint32 kDoNotQueue = 0x4;
    constexpr guint32 kPrimaryOwner = 1, kAlreadyOwner = 4;
    GErrorSlot err;
    VariantPtr reply(g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", name.c_str(), kDoNotQueue), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, err.out()));
    if (!reply)
        throw std::runtime_error("cannot own bus name " + name + ": " + err.message());
    guint32 result = 0;
    g_variant_get(reply.get(), "(u)", &result);
    if (result != kPrimaryOwner && result != kAlreadyOwner) {
        throw std::runtime_error("bus name " + name + " is already owned by another process");
    }
}

int fail_start(const ServiceSpec& spec, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", spec.bus_name.c_str(), what.c_str());
    return 1;
}

}  // namespace

int run_service(const ServiceSpec& given) {
    ServiceSpec spec = given;
    if (spec.object_path.empty())
        spec.object_path = object_path_for(spec.bus_name);

    // Failure lines must reach the journal when they happen.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    MainLoopPtr loop(g_main_loop_new(nullptr, FALSE));
    GErrorSlot err;
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    if (!bus)
        return fail_start(spec, std::string("cannot connect to the system bus: ") + err.message());

    std::unique_ptr<Service> service;
    try {
        service = std::make_unique<Service>(bus.get(), spec);
    } catch (const std::exception& e) {
        return fail_start(spec, e.what());
    }

    DBusNodeInfoPtr node(g_dbus_node_info_new_for_xml(spec.introspection_xml.c_str(), err.out()));
    if (!node)
        return fail_start(spec, std::string("bad introspection data: ") + err.message());
    Binding binding{service.get(), &spec.handlers};
    try {
        GDBusInterfaceInfo* iface = find_interface(node.get(), spec);
        guint id = g_dbus_connection_register_object(bus.get(), spec.object_path.c_str(), iface,
                                                     &kVTable, &binding, nullptr, err.out());
        if (id == 0) {
            throw std::runtime_error("cannot export " + spec.object_path + ": " + err.message());
        }
        request_name(bus.get(), spec.bus_name);
    } catch (const std::exception& e) {
        return fail_start(spec, e.what());
    }

    StopSignals stop(loop.get());
    g_main_loop_run(loop.get());
    return 0;
}

}  // namespace mdm::frame
