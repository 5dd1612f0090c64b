// The client side of the log-transmission service.
#pragma once

#include <memory>
#include <string>

#include <gio/gio.h>

#include "mdm/bus_names.h"
#include "mdm/raii_glib.h"

namespace mdm::frame {

inline constexpr const char* kLogBusName = bus::kLogService.name;
inline constexpr const char* kLogObjectPath = bus::kLogService.path;
inline constexpr const char* kLogInterface = bus::kLogService.interface;

class LogProxy {
  public:
    // Reads the log object's introspection data synchronously; throws std::runtime_error when
    // the service is not on the bus or does not answer.
    explicit LogProxy(GDBusConnection* bus);

    // Calls log_transmit(s) and waits for the reply, whose contents are ignored.
    // Throws std::runtime_error when the call fails.
    void transmit(const std::string& record) const;

  private:
    GObjectPtr<GDBusConnection> bus_;
};

}  // namespace mdm::frame
