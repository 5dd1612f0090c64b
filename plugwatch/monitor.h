// The monitor thread's work: udev monitor, policy import, and the event loop.
#pragma once

#include <libudev.h>

#include "daemon_seams.h"
#include "mdm/daemon.h"
#include "plug_state.h"
#include "tarvex/adapter.h"

namespace plugwatch {

class Monitor {
  public:
    Monitor();

    // The worker's body: sets up the udev monitor, imports the policy and handles one event
    // at a time until `worker` is told to stop. Throws, with the cause, when the monitor
    // cannot be set up or waiting on it fails.
    void run(mdm::Worker& worker);

  private:
    const mdm::tarvex::Functions framework_;
    SyslogLog log_;
    CorePeers peers_;
};

// The plain description of one udev event; attributes are read only for "add", since a
// removed device has no sysfs left to read.
InterfaceEvent describe_event(struct udev_device* device);
InterfaceEvent describe_event_through_udev(struct udev_device* device, InterfaceEvent e);

}  // namespace plugwatch
