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

// Installs the stop signals on the default context for as long as it lives; create it
// before g_main_loop_run. Once it goes the process is on its way out: further stop signals
// are ignored, so a second SIGTERM (a stop sent to the process and to its group) cannot
// turn the orderly exit into a kill.
class StopSignals {
  public:
    explicit StopSignals(GMainLoop* loop)
        : term_(g_unix_signal_add(SIGTERM, quit_loop, loop)),
          int_(g_unix_signal_add(SIGINT, quit_loop, loop)) {}
    ~StopSignals() {
        g_source_remove(term_);
        g_source_remove(int_);
        std::signal(SIGTERM, SIG_IGN);
        std::signal(SIGINT, SIG_IGN);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    guint term_;
    guint int_;
};

}  // namespace mdm
