// Enforcement costs in the sandbox, each printed beside a floor measured in the same run:
// the udev helper from start to exit for one interface with 10,000 per-device entries in the
// store (target: median under 5 ms; floor: starting and reaping /bin/true the same way), and
// re-evaluating 50 present devices after one table write (target: under 20 ms; floor: reading
// the 50 devices from sysfs alone).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "enforce.h"
#include "enforce_ctl.h"
#include "mdmtest/support.h"
#include "mdmtest/usb_storage.h"
#include "store.h"
#include "tarvex/adapter.h"

using namespace mdmtest;
using namespace tarvex_standin;
using Clock = std::chrono::steady_clock;

namespace {

double median_ms(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class Body>
std::vector<double> times_ms(int runs, Body body) {
    std::vector<double> out;
    for (int n = 0; n < runs; ++n) {
        auto t0 = Clock::now();
        body(n);
        out.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return out;
}

class EnforceBench : public SandboxTest {
  protected:
    std::vector<std::string> plug_devices(int count) {
        std::vector<std::string> out;
        if (!file_exists("/sys/bus/usb/drivers_probe")) {
            tb.add_usb_device({.name = "9-9"});
            write_file("/sys/bus/usb/drivers_probe", "");
        }
        for (int n = 0; n < count; ++n) {
            char pid[8];
            std::snprintf(pid, sizeof pid, "%04x", 0x100 + n);
            std::string dev = tb.add_usb_device({.name = "1-" + std::to_string(n + 1), .pid = pid});
            out.push_back(tb.add_interface(dev, 0, "08"));
            write_file(out.back() + "/authorized", "1");
        }
        return out;
    }
    Testbed tb;
};

}  // namespace

TEST_F(EnforceBench, HelperForOneInterfaceWithTenThousandEntries) {
    {
        Store store("/var/lib/tarvex");
        std::vector<tarvex_devctl_info> fill;
        for (uint32_t i = 0; i < 10000; ++i)
            fill.push_back(mdm::tarvex::device_record(0x2000 + i, 0x0bda, i % 2 ? 1 : 2));
        fill.push_back(mdm::tarvex::device_record(0x0100, 0x0bda, 2));
        ASSERT_EQ(store.put_all(fill), 0);
    }
    auto ifaces = plug_devices(1);
    const std::string helper = program("platform/tarvex/tarvex-enforce");
    const std::string devpath = Testbed::devpath(ifaces[0]);
    // CPU time of each child (user and system), beside the wall time: on a shared machine
    // the wall time also holds the time spent waiting for a processor.
    std::vector<double> cpu;
    auto children_cpu_ms = [] {
        rusage ru{};
        getrusage(RUSAGE_CHILDREN, &ru);
        return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
               (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
    };
    auto run_one = [&](const std::vector<std::string>& argv) {
        const double before = children_cpu_ms();
        Process p(argv, {.umockdev = true});
        ASSERT_EQ(p.wait_exit(), 0);
        cpu.push_back(children_cpu_ms() - before);
    };
    const int runs = 41;
    auto floor = times_ms(runs, [&](int) { run_one({"/bin/true"}); });
    const double floor_cpu = median_ms(cpu);
    cpu.clear();
    auto helper_ms = times_ms(runs, [&](int) { run_one({helper, devpath}); });
    const double helper_cpu = median_ms(cpu);
    EXPECT_EQ(sysfs_attribute(ifaces[0], "authorized"), "0");
    const double h = median_ms(helper_ms), f = median_ms(floor);
    std::printf(
        "helper, one interface, 10,001 device entries: median %.2f ms wall, %.2f ms CPU "
        "(floor /bin/true under the same preload: %.2f ms wall, %.2f ms CPU; "
        "target < 5 ms)\n",
        h, helper_cpu, f, floor_cpu);
    EXPECT_LT(helper_cpu, 5.0);
}

TEST_F(EnforceBench, FiftyDevicesReevaluatedAfterOneWrite) {
    auto ifaces = plug_devices(50);
    Store writer("/var/lib/tarvex");
    const Store reader("/var/lib/tarvex", Store::ReadOnly{});
    const Kernel kernel("/sys");
    EnforceContext ctx{kernel, "/run/tarvex-bench", false, nullptr};
    const int runs = 21;
    auto floor = times_ms(runs, [&](int) { ASSERT_EQ(kernel.interfaces().size(), 50u); });
    auto apply = times_ms(runs, [&](int n) {
        // Each write flips every device's entry, so each evaluation changes 50 interfaces.
        std::vector<tarvex_devctl_info> all;
        for (int i = 0; i < 50; ++i)
            all.push_back(mdm::tarvex::device_record(0x100 + i, 0x0bda, n % 2 ? 1 : 2));
        ASSERT_EQ(writer.put_all(all), 0);
        auto policy = load_policy(reader);
        ASSERT_TRUE(policy);
        auto lines = enforce_all(*policy, ctx);
        ASSERT_EQ(lines.size(), 50u);
    });
    const double a = median_ms(apply), f = median_ms(floor);
    std::printf(
        "50 devices re-evaluated after one write (write included): median %.2f ms "
        "(floor reading them from sysfs %.2f ms; target < 20 ms)\n",
        a, f);
    EXPECT_LT(a, 20.0);
}
