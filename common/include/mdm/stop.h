// Orderly stop for the daemons: SIGTERM (and SIGINT) quit the main loop from the loop itself,
// so the bus call in hand is finished and answered before the daemon leaves.
#pragma once

#include <csignal>

#include <glib-unix.h>
#include <glib.h>

namespace mdm {

inline gboolean quit_loop(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_CONTINUE;
}

// Call before g_main_loop_run; the sources live as long as the default context.
inline void quit_on_stop_signals(GMainLoop* loop) {
    g_unix_signal_add(SIGTERM, quit_loop, loop);
    g_unix_signal_add(SIGINT, quit_loop, loop);
}

}  // namespace mdm
