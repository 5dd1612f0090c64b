// The bank device interface served on the bus: one object under the object manager, its
// handlers calling the core library's bank operations.
#pragma once

#include <gio/gio.h>

#include "bankingdevctl-gen.h"
#include "mdm/raii_glib.h"

namespace bankguard {

class Service {
  public:
    // Builds the object and exports it on `connection`; prints the failure and exports
    // nothing when the interface skeleton cannot be created.
    void start(GDBusConnection* connection);

  private:
    mdm::GObjectPtr<GDBusObjectManagerServer> manager_;
    mdm::GObjectPtr<Bankingdevctl> interface_;
};

}  // namespace bankguard
