// Replies too large for the bus: the bus refuses a larger message and drops its sender's
// connection with it, so such a reply is answered as an error and the service keeps serving.
#pragma once

#include <gio/gio.h>

namespace mdm {

// The system bus takes 32 MiB per message; the headers take far less than the rest.
inline constexpr gsize kMaxReplyBody = 30u * 1024 * 1024;

inline void return_too_large(GDBusMethodInvocation* invocation) {
    g_dbus_method_invocation_return_error_literal(invocation, G_DBUS_ERROR,
                                                  G_DBUS_ERROR_LIMITS_EXCEEDED, "list too large");
}

}  // namespace mdm
