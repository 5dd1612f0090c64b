// The monitor thread: udev monitor, policy import, and the event loop.
#pragma once

#include <libudev.h>

#include "plug_state.h"

namespace plugwatch {

// Runs for the life of the thread; returns 1 when the monitor cannot be set up or select
// fails.
int udev_daemon();

// The plain description of one udev event; attributes are read only for "add", since a
// removed device has no sysfs left to read.
InterfaceEvent describe_event(struct udev_device* device);

// Waits for the event (or the import) in hand to finish and keeps the monitor thread from
// starting another; for the process's orderly stop.
void stop_monitoring();

}  // namespace plugwatch
