#include "bus.h"

#include "mdm/bus_errors.h"

namespace mdmctl {

Failure classify_bus_error(const Service& service, std::string_view error_name,
                           std::string_view message) {
    const std::string who = std::string(service.label) + " (" + service.name + ")";
    if (error_name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        error_name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        error_name == "org.freedesktop.DBus.Error.Spawn.ServiceNotFound")
        return {kAbsent, who + " is not running"};
    // A refused argument is the caller's mistake, as a bad command line is.
    if (error_name == mdm::kErrorInvalidArgs)
        return {kUsage, who + " refused the arguments: " + std::string(message)};
    if (error_name == "org.freedesktop.DBus.Error.AccessDenied")
        return {kNotPermitted, "not permitted: only root may call " + who};
    if (error_name == "org.freedesktop.DBus.Error.NoReply" ||
        error_name == "org.freedesktop.DBus.Error.Timeout")
        return {kFailed, who + " did not answer"};
    return {kFailed, who + " failed: " + std::string(message)};
}

Bus::Bus() {
    mdm::GErrorSlot err;
    connection_.reset(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    if (!connection_)
        throw Failure{kFailed, std::string("cannot reach the system bus: ") + err.message()};
}

mdm::VariantPtr Bus::call(const Service& service, const char* method, GVariant* args,
                          const char* reply_type) {
    mdm::GErrorSlot err;
    mdm::VariantPtr reply(g_dbus_connection_call_sync(
        connection_.get(), service.name, service.path, service.name, method, args,
        G_VARIANT_TYPE(reply_type), G_DBUS_CALL_FLAGS_NONE, 25000, nullptr, err.out()));
    if (!reply) {
        mdm::GCharPtr remote(g_dbus_error_get_remote_error(err.get()));
        g_dbus_error_strip_remote_error(err.get());
        std::string name = remote ? remote.get() : "";
        if (!remote && g_error_matches(err.get(), G_IO_ERROR, G_IO_ERROR_TIMED_OUT))
            name = "org.freedesktop.DBus.Error.Timeout";
        throw classify_bus_error(service, name, err.message());
    }
    return reply;
}

int Bus::call_int(const Service& service, const char* method, GVariant* args) {
    auto reply = call(service, method, args, "(i)");
    gint32 value = 0;
    g_variant_get(reply.get(), "(i)", &value);
    return value;
}

std::vector<std::string> Bus::call_strings(const Service& service, const char* method,
                                           GVariant* args) {
    auto reply = call(service, method, args, "(as)");
    std::vector<std::string> out;
    GVariantIter* raw = nullptr;
    g_variant_get(reply.get(), "(as)", &raw);
    mdm::VariantIterPtr iter(raw);
    const gchar* item = nullptr;
    while (g_variant_iter_next(iter.get(), "&s", &item))
        out.emplace_back(item);
    return out;
}

bool Bus::has_owner(const char* name) {
    mdm::VariantPtr reply(g_dbus_connection_call_sync(
        connection_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        -1, nullptr, nullptr));
    gboolean owned = FALSE;
    if (reply)
        g_variant_get(reply.get(), "(b)", &owned);
    return owned;
}

}  // namespace mdmctl
