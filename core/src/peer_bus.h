// The outside peers on the system bus. Each call is one synchronous method call on the
// process's shared system bus connection: the peer receives exactly the message a proxy
// would send, without a proxy's set-up round trips.
#pragma once

#include <gio/gio.h>

#include <optional>
#include <string>
#include <string_view>

#include "mdm/raii.h"

namespace periphcore::peer {

struct Endpoint {
    const char* bus_name;
    const char* path;
    const char* interface;
};

inline constexpr Endpoint kLogService{"org.log.sys_transmit", "/org/log/sys_transmit",
                                      "org.log.transmit"};
inline constexpr Endpoint kManagementClient{
    "com.quorl.brannoc.ostrelclient", "/brannoc/ostrelclient", "com.quorl.brannoc.ostrelclient"};
inline constexpr Endpoint kNotificationAgent{"com.quorl.brannoc.ostrelagent", "/brannoc/Responser",
                                             "com.quorl.brannoc.ostrelagent"};

// The shared system bus connection (a new reference), or null with `err` set.
mdm::GObjectPtr<GDBusConnection> system_bus(mdm::GErrorSlot& err);

// Calls `method` with no arguments, no flags and the default time-out.
mdm::VariantPtr call(GDBusConnection* bus, const Endpoint& to, const char* method,
                     mdm::GErrorSlot& err);

// Calls `method` with the single string argument `text`. The bus carries only UTF-8, so
// bytes that are not are replaced rather than letting the call fail.
mdm::VariantPtr call(GDBusConnection* bus, const Endpoint& to, const char* method,
                     std::string_view text, mdm::GErrorSlot& err);

// The string of a "(s)" reply; nothing for any other reply.
std::optional<std::string> reply_string(GVariant* reply);

}  // namespace periphcore::peer
