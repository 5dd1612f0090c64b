#include "logind.h"

#include <cstdio>

#include "mdm/raii_glib.h"
#include "session.h"

namespace stockpeers {

namespace {

constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kSeat0[] = "/org/freedesktop/login1/seat/seat0";
constexpr char kSeatIface[] = "org.freedesktop.login1.Seat";
constexpr char kSessionIface[] = "org.freedesktop.login1.Session";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
// logind answers at once; a hung logind must not hold the plug monitor for long.
constexpr int kTimeoutMs = 5000;

mdm::VariantPtr call(GDBusConnection* bus, const char* path, const char* method, GVariant* args,
                     const char* reply_type) {
    mdm::GErrorSlot err;
    mdm::VariantPtr reply(g_dbus_connection_call_sync(
        bus, kLogind, path, kProperties, method, args, G_VARIANT_TYPE(reply_type),
        G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, err.out()));
    if (!reply)
        std::printf("logind: %s %s: %s\n", path, method, err.message());
    return reply;
}

}  // namespace

std::string logind_desktop_user(GDBusConnection* bus) {
    auto seat = call(bus, kSeat0, "Get", g_variant_new("(ss)", kSeatIface, "ActiveSession"), "(v)");
    if (!seat)
        return "";
    mdm::VariantPtr active;
    {
        GVariant* v = nullptr;
        g_variant_get(seat.get(), "(v)", &v);
        active.reset(v);
    }
    if (!g_variant_is_of_type(active.get(), G_VARIANT_TYPE("(so)")))
        return "";
    const char* path = nullptr;
    g_variant_get(active.get(), "(&s&o)", nullptr, &path);
    if (std::string_view(path) == "/")
        return "";

    auto all = call(bus, path, "GetAll", g_variant_new("(s)", kSessionIface), "(a{sv})");
    if (!all)
        return "";
    mdm::VariantPtr props(g_variant_get_child_value(all.get(), 0));
    SessionFacts facts;
    gboolean flag = FALSE;
    if (g_variant_lookup(props.get(), "Active", "b", &flag))
        facts.active = flag;
    flag = FALSE;
    if (g_variant_lookup(props.get(), "Remote", "b", &flag))
        facts.remote = flag;
    const char* text = nullptr;
    if (g_variant_lookup(props.get(), "Type", "&s", &text))
        facts.type = text;
    if (g_variant_lookup(props.get(), "Class", "&s", &text))
        facts.klass = text;
    if (g_variant_lookup(props.get(), "Name", "&s", &text))
        facts.name = text;
    return desktop_user(facts);
}

}  // namespace stockpeers
