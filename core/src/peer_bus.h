// The outside peers on the system bus. Each call is one synchronous method call on the
// process's shared system bus connection: the peer receives exactly the message a proxy
// would send, without a proxy's set-up round trips.
#pragma once

#include <gio/gio.h>

#include <optional>
#include <string>
#include <string_view>

#include "mdm/bus_names.h"
#include "mdm/raii_glib.h"

namespace periphcore::peer {

using mdm::bus::Endpoint;
using mdm::bus::kLogService;
using mdm::bus::kManagementClient;
using mdm::bus::kNotificationAgent;

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
