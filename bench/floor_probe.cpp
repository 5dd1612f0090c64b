// The plug monitor's floor as a process of its own: a thread asleep in poll on a udev monitor
// and a stop fd, as the daemon's worker is, that answers each "change" of one device with the
// announcement's four synchronous calls on its own connection. It writes the CLOCK_MONOTONIC
// time it finished (nanoseconds, 8 bytes) to a FIFO, so the benchmark times it without a
// wakeup of its own. The calls carry the texts given, as the daemon's carry its records.
// Usage: floor_probe DEVPATH FIFO NOTIFICATION AUDIT RECORD; SIGTERM ends it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "bench_peers.h"
#include "mdm/raii_glib.h"
#include "mdm/raii_udev.h"

namespace {

int run(const std::string& devpath, const bench::FloorTexts& texts, int report, int stop) {
    mdm::UdevPtr udev(udev_new());
    mdm::UdevMonitorPtr monitor(udev ? udev_monitor_new_from_netlink(udev.get(), "udev") : nullptr);
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", "usb_interface") <
            0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
        std::fprintf(stderr, "floor_probe: no udev monitor\n");
        return 1;
    }
    mdm::GErrorSlot err;
    mdm::GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    if (!bus) {
        std::fprintf(stderr, "floor_probe: %s\n", err.message());
        return 1;
    }
    // Ready: the benchmark waits for this before its first uevent.
    const std::int64_t zero = 0;
    if (write(report, &zero, sizeof zero) != sizeof zero)
        return 1;
    pollfd p[2] = {{udev_monitor_get_fd(monitor.get()), POLLIN, 0}, {stop, POLLIN, 0}};
    for (;;) {
        if (poll(p, 2, -1) < 0 || p[1].revents)
            return 0;
        mdm::UdevDevicePtr d(udev_monitor_receive_device(monitor.get()));
        const char* path = d ? udev_device_get_devpath(d.get()) : nullptr;
        const char* action = d ? udev_device_get_action(d.get()) : nullptr;
        if (!path || !action || devpath != path || std::string_view(action) != "change")
            continue;
        if (std::string failed = bench::floor_calls(bus.get(), texts); !failed.empty()) {
            std::fprintf(stderr, "floor_probe: %s\n", failed.c_str());
            return 1;
        }
        const std::int64_t done = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      bench::Clock::now().time_since_epoch())
                                      .count();
        if (write(report, &done, sizeof done) != sizeof done)
            return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: floor_probe DEVPATH FIFO NOTIFICATION AUDIT RECORD\n");
        return 2;
    }
    const bench::FloorTexts texts{argv[3], argv[4], argv[5]};
    mdm::UniqueFd report(open(argv[2], O_WRONLY | O_CLOEXEC));
    mdm::UniqueFd stop(eventfd(0, EFD_CLOEXEC));
    if (!report || !stop)
        return 1;
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);
    int status = 0;
    std::thread worker([&] { status = run(argv[1], texts, report.get(), stop.get()); });
    int sig = 0;
    sigwait(&term, &sig);
    const std::uint64_t one = 1;
    if (write(stop.get(), &one, sizeof one) != sizeof one)
        return 1;
    worker.join();
    return status;
}
