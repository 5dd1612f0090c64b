// Bus error replies by kind, so a caller can tell an argument it should not have sent
// (org.freedesktop.DBus.Error.InvalidArgs) from a service that failed
// (org.freedesktop.DBus.Error.Failed).
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

#include <gio/gio.h>

namespace mdm {

inline constexpr const char* kErrorInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
inline constexpr const char* kErrorFailed = "org.freedesktop.DBus.Error.Failed";

// Thrown by a method for an argument it refuses (a bad id, a bad length, an unknown type)
// where the interface has no int answer for it.
class InvalidArgs : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// Answers the exception being handled: InvalidArgs as such, anything else as Failed; the
// message is `context` (when given), ": " and the exception's text. Call only from a catch
// block; never throws.
inline void return_current_exception(GDBusMethodInvocation* invocation,
                                     const std::string& context = {}) noexcept {
    const char* name = kErrorFailed;
    std::string text;
    try {
        throw;
    } catch (const InvalidArgs& e) {
        name = kErrorInvalidArgs;
        text = e.what();
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "internal error";
    }
    const std::string message = context.empty() ? text : context + ": " + text;
    g_dbus_method_invocation_return_dbus_error(invocation, name, message.c_str());
}

}  // namespace mdm
