#include "mdm/frame/log_proxy.h"

#include <stdexcept>

namespace mdm::frame {

LogProxy::LogProxy(GDBusConnection* bus) : bus_(static_cast<GDBusConnection*>(g_object_ref(bus))) {
    GErrorSlot err;
    VariantPtr reply(g_dbus_connection_call_sync(bus_.get(), kLogBusName, kLogObjectPath,
                                                 "org.freedesktop.DBus.Introspectable",
                                                 "Introspect", nullptr, G_VARIANT_TYPE("(s)"),
                                                 G_DBUS_CALL_FLAGS_NONE, -1, nullptr, err.out()));
    if (!reply)
        throw std::runtime_error(err.message());
}

void LogProxy::transmit(const std::string& record) const {
    // D-Bus strings must be UTF-8; a stray byte (from a login record, say) is replaced rather
    // than letting the whole record be refused.
    GCharPtr text(g_utf8_make_valid(record.data(), static_cast<gssize>(record.size())));
    GErrorSlot err;
    VariantPtr reply(g_dbus_connection_call_sync(
        bus_.get(), kLogBusName, kLogObjectPath, kLogInterface, "log_transmit",
        g_variant_new("(s)", text.get()), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, err.out()));
    if (!reply)
        throw std::runtime_error(err.message());
}

}  // namespace mdm::frame
