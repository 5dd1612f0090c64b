// mdmctl's reach onto the system bus: the services it drives and one call helper that turns
// every bus failure into a Failure with its exit code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <gio/gio.h>

#include "cli.h"
#include "mdm/bus_names.h"
#include "mdm/raii_glib.h"

namespace mdmctl {

struct Service {
    const char* label;  // program name, for messages
    const char* name;   // bus name, also the interface name
    const char* path;
};

inline constexpr Service kPlugMonitor{"plugwatch", mdm::bus::kStorage.name,
                                      mdm::bus::kStorage.path};
inline constexpr Service kLists{"RosterGate", mdm::bus::kListControl.name,
                                mdm::bus::kListControl.path};
inline constexpr Service kNet{"NicGate", mdm::bus::kNetcardControl.name,
                              mdm::bus::kNetcardControl.path};
inline constexpr Service kBank{"bankguard", mdm::bus::kBank.name, mdm::bus::kBank.path};
inline constexpr Service kAllServices[] = {
    kPlugMonitor,
    kLists,
    kNet,
    {"VaultGate", mdm::bus::kStorageControl.name, mdm::bus::kStorageControl.path},
    {"TouchGate", mdm::bus::kHidControl.name, mdm::bus::kHidControl.path},
    {"LensGate", mdm::bus::kVideoControl.name, mdm::bus::kVideoControl.path},
    kBank,
};

// The failure a D-Bus error name stands for, with a one-line message naming the service.
Failure classify_bus_error(const Service& service, std::string_view error_name,
                           std::string_view message);

class Bus {
  public:
    // Throws Failure when the system bus cannot be reached.
    Bus();
    // The reply, which has the type `reply_type`; throws Failure otherwise.
    mdm::VariantPtr call(const Service& service, const char* method, GVariant* args,
                         const char* reply_type);
    int call_int(const Service& service, const char* method, GVariant* args = nullptr);
    std::vector<std::string> call_strings(const Service& service, const char* method,
                                          GVariant* args = nullptr);
    bool has_owner(const char* name);

  private:
    mdm::GObjectPtr<GDBusConnection> connection_;
};

}  // namespace mdmctl
