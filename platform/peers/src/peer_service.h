// A stock peer as a daemon: its one object exported on the system bus under its name, until
// SIGTERM (the shared daemon skeleton does the name, the signals and the loop).
#pragma once

#include <cstdio>

#include "handlers.h"
#include "mdm/daemon.h"
#include "mdm/raii_glib.h"

namespace stockpeers {

class PeerService {
  public:
    explicit PeerService(const PeerObject& object)
        : object_(object), vtable_{object.on_call, nullptr, nullptr, {}} {}
    int run() { return daemon_.run(); }

  private:
    void export_on(GDBusConnection* bus) {
        mdm::GErrorSlot err;
        info_.reset(g_dbus_node_info_new_for_xml(object_.xml, err.out()));
        if (!info_) {
            daemon_.fail(std::string("bad introspection data: ") + err.message());
            return;
        }
        if (g_dbus_connection_register_object(bus, object_.path, info_->interfaces[0], &vtable_,
                                              nullptr, nullptr, err.out()) == 0) {
            daemon_.fail(std::string("cannot export ") + object_.path + ": " + err.message());
        }
    }

    const PeerObject& object_;
    const GDBusInterfaceVTable vtable_;
    mdm::DBusNodeInfoPtr info_;
    mdm::Daemon daemon_{{.bus = G_BUS_TYPE_SYSTEM,
                         .name = object_.bus_name,
                         .on_bus_acquired = [this](GDBusConnection* c) { export_on(c); }}};
};

}  // namespace stockpeers
