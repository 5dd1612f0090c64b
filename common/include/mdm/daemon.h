// The shape every daemon shares: it owns its bus name, stops on SIGTERM and SIGINT after the
// call in hand, owns its worker thread (if it has one) and joins it on stop, and exits
// non-zero when its work can no longer be done, so its unit's Restart= brings it back.
//
// A system-bus service that owns a name and exports one object, without a worker thread:
//
//     class MyService {
//       public:
//         int run() { return daemon_.run(); }
//       private:
//         void export_on(GDBusConnection* bus) {
//             // g_dbus_connection_register_object(bus, path, iface, &vtable, this, ...);
//             // a failure that leaves nothing to serve: daemon_.fail("cannot export ...")
//         }
//         mdm::Daemon daemon_{{.bus = G_BUS_TYPE_SYSTEM, .name = "com.quorl.X",
//                              .on_bus_acquired = [this](GDBusConnection* c) { export_on(c); }}};
//     };
//     int main() { std::setvbuf(stdout, nullptr, _IOLBF, 0); return MyService().run(); }
//
// The object is registered in the bus-acquired callback, that is before the name is
// requested on the connection, so a caller that sees the name finds the object. All state
// lives in the service object; callbacks reach it through `this`, never through globals.
//
// With a worker (the udev monitor): call start_worker from the bus-acquired callback. The
// body runs on its own thread, blocks in Worker::wait_readable on its descriptor, and
// returns when that answers Wake::stop. A body that throws (a monitor that cannot be set up)
// or returns while no stop was asked ends the daemon: the cause is logged at error and run()
// answers 1.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gio/gio.h>

#include "mdm/raii.h"
#include "mdm/raii_glib.h"

namespace mdm {

// A thread that waits on a descriptor together with a stop descriptor (poll, no time-out).
class Worker {
  public:
    enum class Wake { readable, stop };
    using Body = std::function<void(Worker&)>;
    // Called on the worker thread when the body ended by itself, with its cause.
    using Ended = std::function<void(const std::string& cause)>;

    // Starts the thread; throws std::system_error when the stop descriptor or the thread
    // cannot be made.
    Worker(Body body, Ended ended);
    // Asks the body to stop and joins it: the work in hand is finished first.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void stop();
    bool stop_requested() const noexcept { return stop_requested_.load(); }

    // On the worker thread: blocks until `fd` is readable (or reports an error or hang-up,
    // which its reader then sees) or a stop is asked. Retries after EINTR; throws
    // std::system_error when poll fails otherwise or `fd` is not open.
    Wake wait_readable(int fd) const;

  private:
    void main(const Body& body, const Ended& ended);

    UniqueFd stop_fd_;
    std::atomic<bool> stop_requested_{false};
    std::jthread thread_;  // last: started once the rest exists
};

class Daemon {
  public:
    struct Spec {
        GBusType bus = G_BUS_TYPE_SYSTEM;
        std::string name{};
        // Written to standard output as given when the bus connection is acquired, before
        // on_bus_acquired runs; nothing when empty.
        std::string bus_acquired_banner{};
        // Runs on the main loop once the connection exists and before the name is requested
        // on it: export objects and start the worker here.
        std::function<void(GDBusConnection*)> on_bus_acquired{};
    };

    explicit Daemon(Spec spec);
    ~Daemon();
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Requests the name (no flags: no replacement, no yielding), prints "Acquired the name %s"
    // and "Lost the name %s" as the name comes and goes (losing it does not end the daemon),
    // and runs the main loop until SIGTERM, SIGINT or fail(). Then releases the name and
    // joins the worker. Returns the exit status: 0 after a stop signal, 1 after fail().
    int run();

    // Starts the worker thread running `body`; `what` names it in the failure log line.
    // A thread that cannot be started fails the daemon.
    void start_worker(const std::string& what, Worker::Body body);

    // From any thread: logs "<cause>" at error and makes run() leave its loop and answer 1.
    void fail(const std::string& cause);

    GMainLoop* loop() const { return loop_.get(); }
    bool has_worker() const { return worker_ != nullptr; }

  private:
    static void on_bus_acquired(GDBusConnection* connection, const gchar* name, gpointer self);
    static void on_name_acquired(GDBusConnection* connection, const gchar* name, gpointer self);
    static void on_name_lost(GDBusConnection* connection, const gchar* name, gpointer self);

    Spec spec_;
    MainLoopPtr loop_;
    std::atomic<int> status_{0};
    std::unique_ptr<Worker> worker_;
};

}  // namespace mdm
