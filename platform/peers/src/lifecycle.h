// How each stock peer runs: its object registered, its name owned, until SIGTERM.
#pragma once

#include <gio/gio.h>

#include "handlers.h"

namespace stockpeers {

// Serves `object` on the system bus; returns the process's exit status (0 after SIGTERM or
// SIGINT, 1 when the bus or the name cannot be had or the name is lost).
int serve(const PeerObject& object, const char* program);

}  // namespace stockpeers
