#include "mdmtest/support.h"

namespace mdmtest {

CallResult call_bus(GBusType bus, const std::string& dest, const std::string& path,
                    const std::string& iface, const std::string& method, GVariant* args,
                    int timeout_ms) {
    CallResult result;
    mdm::GErrorSlot err;
    mdm::GCharPtr address(g_dbus_address_get_for_bus_sync(bus, nullptr, err.out()));
    mdm::GObjectPtr<GDBusConnection> conn;
    if (address) {
        conn.reset(g_dbus_connection_new_for_address_sync(
            address.get(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, err.out()));
    }
    if (!conn) {
        if (args)
            g_variant_unref(g_variant_ref_sink(args));
        result.error = err.message();
        return result;
    }
    result.reply.reset(g_dbus_connection_call_sync(
        conn.get(), dest.c_str(), path.c_str(), iface.c_str(), method.c_str(), args, nullptr,
        G_DBUS_CALL_FLAGS_NONE, timeout_ms, nullptr, err.out()));
    if (!result.reply) {
        mdm::GCharPtr remote(g_dbus_error_get_remote_error(err.get()));
        if (remote)
            result.error_name = remote.get();
        result.error = err.message();
    }
    g_dbus_connection_close_sync(conn.get(), nullptr, nullptr);
    return result;
}

bool name_has_owner(GBusType bus, const std::string& name) {
    auto r = call_bus(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      "NameHasOwner", g_variant_new("(s)", name.c_str()));
    if (!r.ok())
        return false;
    gboolean has = FALSE;
    g_variant_get(r.reply.get(), "(b)", &has);
    return has;
}

bool wait_name(GBusType bus, const std::string& name, std::chrono::milliseconds timeout) {
    return eventually([&] { return name_has_owner(bus, name); }, timeout);
}

int int_reply(const CallResult& r) {
    EXPECT_TRUE(r.ok()) << r.error_name << ": " << r.error;
    gint32 v = -12345;
    if (r.ok() && g_variant_is_of_type(r.reply.get(), G_VARIANT_TYPE("(i)")))
        g_variant_get(r.reply.get(), "(i)", &v);
    return v;
}

std::vector<std::string> strings_reply(const CallResult& r) {
    EXPECT_TRUE(r.ok()) << r.error_name << ": " << r.error;
    std::vector<std::string> out;
    if (!r.ok() || !g_variant_is_of_type(r.reply.get(), G_VARIANT_TYPE("(as)")))
        return out;
    GVariantIter* raw = nullptr;
    g_variant_get(r.reply.get(), "(as)", &raw);
    const mdm::VariantIterPtr it(raw);
    const char* s = nullptr;
    while (g_variant_iter_next(it.get(), "&s", &s))
        out.emplace_back(s);
    return out;
}

std::string render_interface(const std::string& dest, const std::string& path,
                             const std::string& iface) {
    CallResult r = call_system(dest, path, "org.freedesktop.DBus.Introspectable", "Introspect");
    if (!r.ok())
        return "introspection failed: " + r.error;
    const gchar* xml = nullptr;
    g_variant_get(r.reply.get(), "(&s)", &xml);
    mdm::DBusNodeInfoPtr node(g_dbus_node_info_new_for_xml(xml, nullptr));
    GDBusInterfaceInfo* info =
        node ? g_dbus_node_info_lookup_interface(node.get(), iface.c_str()) : nullptr;
    if (!info)
        return "no interface " + iface;
    std::string out;
    for (GDBusMethodInfo** m = info->methods; m && *m; ++m) {
        std::string args;
        for (auto [dir, list] :
             {std::pair{"in", (*m)->in_args}, std::pair{"out", (*m)->out_args}}) {
            for (GDBusArgInfo** a = list; a && *a; ++a)
                args += (args.empty() ? "" : ", ") + std::string(dir) + " " + (*a)->signature +
                        " " + (*a)->name;
        }
        out += (out.empty() ? "" : "; ") + std::string((*m)->name) + "(" + args + ")";
    }
    return out;
}

std::vector<std::string> gdbus_call(const std::string& dest, const std::string& path,
                                    const std::string& method,
                                    const std::vector<std::string>& args) {
    std::vector<std::string> argv{"gdbus",         "call", "--system", "--dest",           dest,
                                  "--object-path", path,   "--method", dest + "." + method};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

::testing::AssertionResult denied_to_nobody(const std::vector<std::string>& argv) {
    Process p(argv, ProcessOptions{.uid = 65534, .name = "nobody"});
    std::optional<int> status = p.wait_exit();
    if (!status)
        return ::testing::AssertionFailure() << argv[0] << " did not end: " << p.output();
    if (*status == 0 || p.output().find("AccessDenied") == std::string::npos)
        return ::testing::AssertionFailure()
               << argv[0] << " ended with " << *status << " and said: " << p.output();
    return ::testing::AssertionSuccess();
}

}  // namespace mdmtest
