#include "mdm/daemon.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <system_error>
#include <utility>

#include "mdm/stop.h"

namespace mdm {

Worker::Worker(Body body, Ended ended) : stop_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!stop_fd_)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    thread_ = std::jthread(
        [this, body = std::move(body), ended = std::move(ended)] { main(body, ended); });
}

Worker::~Worker() {
    stop();
}

void Worker::stop() {
    if (!stop_requested_.exchange(true)) {
        const std::uint64_t one = 1;
        // Cannot fail short of a full counter, which one write never reaches.
        [[maybe_unused]] ssize_t n = ::write(stop_fd_.get(), &one, sizeof one);
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

Worker::Wake Worker::wait_readable(int fd) const {
    // poll would skip a negative descriptor and wait for the stop alone.
    if (fd < 0)
        throw std::system_error(EBADF, std::generic_category(), "poll");
    for (;;) {
        if (stop_requested_.load())
            return Wake::stop;
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {stop_fd_.get(), POLLIN, 0}};
        int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (fds[1].revents != 0 || stop_requested_.load())
            return Wake::stop;
        if (fds[0].revents & POLLNVAL)
            throw std::system_error(EBADF, std::generic_category(), "poll");
        if (fds[0].revents != 0)
            return Wake::readable;
    }
}

void Worker::main(const Body& body, const Ended& ended) {
    std::string cause = "ended";
    try {
        body(*this);
    } catch (const std::exception& e) {
        cause = e.what();
    } catch (...) {
        cause = "unknown error";
    }
    if (!stop_requested_.load())
        ended(cause);
}

namespace {

gboolean quit_from_idle(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}

}  // namespace

Daemon::Daemon(Spec spec) : spec_(std::move(spec)), loop_(g_main_loop_new(nullptr, FALSE)) {}

Daemon::~Daemon() {
    worker_.reset();
}

int Daemon::run() {
    // No flags: another owner is never replaced, and this one never yields.
    guint owner = g_bus_own_name(spec_.bus, spec_.name.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE,
                                 on_bus_acquired, on_name_acquired, on_name_lost, this, nullptr);
    StopSignals stop(loop_.get());
    g_main_loop_run(loop_.get());
    g_bus_unown_name(owner);
    // The work in hand is finished; no other is begun.
    worker_.reset();
    return status_.load();
}

void Daemon::start_worker(const std::string& what, Worker::Body body) {
    if (worker_)
        return;
    try {
        worker_ = std::make_unique<Worker>(
            std::move(body), [this, what](const std::string& cause) { fail(what + ": " + cause); });
    } catch (const std::exception& e) {
        fail(what + ": cannot start its thread: " + e.what());
    }
}

void Daemon::fail(const std::string& cause) {
    syslog(LOG_ERR, "%s", cause.c_str());
    status_.store(1);
    // Quit from the loop itself, which also works before it runs and from any thread.
    GSource* source = g_idle_source_new();
    g_source_set_callback(source, quit_from_idle, g_main_loop_ref(loop_.get()),
                          reinterpret_cast<GDestroyNotify>(g_main_loop_unref));
    g_source_attach(source, g_main_loop_get_context(loop_.get()));
    g_source_unref(source);
}

void Daemon::on_bus_acquired(GDBusConnection* connection, const gchar*, gpointer self) {
    auto* daemon = static_cast<Daemon*>(self);
    if (!daemon->spec_.bus_acquired_banner.empty())
        std::fputs(daemon->spec_.bus_acquired_banner.c_str(), stdout);
    if (!daemon->spec_.on_bus_acquired)
        return;
    // Called from C: nothing may unwind through it.
    try {
        daemon->spec_.on_bus_acquired(connection);
    } catch (const std::exception& e) {
        daemon->fail(daemon->spec_.name + ": " + e.what());
    }
}

void Daemon::on_name_acquired(GDBusConnection*, const gchar* name, gpointer) {
    std::printf("Acquired the name %s\n", name);
}

// Losing the name does not end the daemon; it keeps running until it is stopped.
void Daemon::on_name_lost(GDBusConnection*, const gchar* name, gpointer) {
    std::printf("Lost the name %s\n", name);
}

}  // namespace mdm
