// python-dbusmock's templates as stand-ins for logind and the desktop's notification server.
#include "mdmtest/support.h"

namespace mdmtest {

namespace {

constexpr char kMock[] = "org.freedesktop.DBus.Mock";
constexpr char kLogind[] = "org.freedesktop.login1";

}  // namespace

std::unique_ptr<Process> dbusmock(const std::string& tmpl, GBusType bus, const std::string& name) {
    auto p = std::make_unique<Process>(
        std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--template", tmpl,
                                 bus == G_BUS_TYPE_SYSTEM ? "--system" : "--session"},
        ProcessOptions{.name = "dbusmock " + tmpl});
    EXPECT_TRUE(wait_name(bus, name)) << "dbusmock " << tmpl << ": " << p->output();
    return p;
}

void logind_add_session(const std::string& id, guint32 uid, const std::string& user, bool active,
                        const std::string& type) {
    auto r = call_system(kLogind, "/org/freedesktop/login1", kMock, "AddSession",
                         g_variant_new("(ssusb)", id.c_str(), "seat0", uid, user.c_str(), active));
    ASSERT_TRUE(r.ok()) << r.error;
    r = call_system(kLogind, "/org/freedesktop/login1/session/" + id,
                    "org.freedesktop.DBus.Properties", "Set",
                    g_variant_new("(ssv)", "org.freedesktop.login1.Session", "Type",
                                  g_variant_new_string(type.c_str())));
    ASSERT_TRUE(r.ok()) << r.error;
}

std::vector<NotifyCall> notify_calls() {
    auto r = call_bus(G_BUS_TYPE_SESSION, "org.freedesktop.Notifications",
                      "/org/freedesktop/Notifications", kMock, "GetCalls", nullptr);
    std::vector<NotifyCall> out;
    if (!r.ok())
        return out;
    mdm::VariantPtr calls(g_variant_get_child_value(r.reply.get(), 0));
    for (gsize i = 0; i < g_variant_n_children(calls.get()); ++i) {
        const char* method = nullptr;
        GVariant* args_raw = nullptr;
        g_variant_get_child(calls.get(), i, "(t&s@av)", nullptr, &method, &args_raw);
        mdm::VariantPtr args(args_raw);
        if (std::string_view(method) != "Notify" || g_variant_n_children(args.get()) != 8)
            continue;
        auto arg = [&](gsize n) {
            mdm::VariantPtr boxed(g_variant_get_child_value(args.get(), n));
            return mdm::VariantPtr(g_variant_get_variant(boxed.get()));
        };
        auto text = [&](gsize n) {
            return std::string(g_variant_get_string(arg(n).get(), nullptr));
        };
        NotifyCall c;
        c.app_name = text(0);
        c.replaces_id = g_variant_get_uint32(arg(1).get());
        c.icon = text(2);
        c.summary = text(3);
        c.body = text(4);
        c.actions = g_variant_n_children(arg(5).get());
        auto hints = arg(6);
        guint8 urgency = 0;
        if (g_variant_lookup(hints.get(), "urgency", "y", &urgency))
            c.urgency = urgency;
        const char* category = nullptr;
        if (g_variant_lookup(hints.get(), "category", "&s", &category))
            c.category = category;
        c.expire_timeout = g_variant_get_int32(arg(7).get());
        out.push_back(std::move(c));
    }
    return out;
}

}  // namespace mdmtest
