// The object the plug monitor publishes under its name at /com/quorl/storage: the mount
// monitor's changePermission, and romountStorage. Calls are served on the main loop.
#pragma once

#include <gio/gio.h>

#include "mdm/raii_glib.h"

struct _namespaceStorage;

namespace plugwatch {

class StorageService {
  public:
    // Exports the object on the connection; its calls are dispatched on the calling thread's
    // default main context. A failed export is logged and the daemon goes on without it.
    void export_on(GDBusConnection* connection);
    ~StorageService();

  private:
    mdm::GObjectPtr<struct _namespaceStorage> object_;
};

}  // namespace plugwatch
