// An orderly stop: SIGTERM ends each daemon's main loop after the work in hand, with exit 0.
#include <csignal>
#include <string>

#include "../plugwatch/plugwatch_fixture.h"

namespace {

using namespace plugwatch_it;
using mdmtest::Process;

struct Daemon {
    std::string program, bus_name, path, method;
};

TEST_F(PlugwatchTest, EveryDaemonLeavesOnSigtermWithExitZero) {
    mdmtest::run({"mkdir", "-p", "/etc/mdm/bank/status"});
    mdmtest::write_file("/etc/mdm/bank/status/ushield", "1");
    const std::vector<Daemon> daemons = {
        {"bank-daemon/bankguard", "com.quorl.bankingdevctl", "/com/quorl/bankingdevctl",
         "getBankingDevStatus"},
        {"mdm/vaultgate/VaultGate", "com.quorl.StorageControl", "/com/quorl/StorageControl",
         "GetStatus"},
    };
    for (const auto& d : daemons) {
        SCOPED_TRACE(d.program);
        Process p({mdmtest::program(d.program)}, {.name = d.program});
        ASSERT_TRUE(mdmtest::wait_name(G_BUS_TYPE_SYSTEM, d.bus_name));
        GVariant* args = d.method == "GetStatus" ? nullptr : g_variant_new("(i)", 0);
        auto r = mdmtest::call_system(d.bus_name, d.path, d.bus_name, d.method, args);
        EXPECT_TRUE(r.ok()) << r.error;
        p.kill(SIGTERM);
        EXPECT_EQ(p.wait_exit(), 0);
    }
}

// Idle between events, plugwatch's monitor thread leaves its wait at once: the process ends
// with 0, well before any timeout, and nothing is logged as a failure.
TEST_F(PlugwatchTest, PlugwatchLeavesIdleOnSigtermWithItsMonitorJoined) {
    start_peers();
    start_plugwatch();
    auto stick = plug(mdmtest::UsbDevice{}, {"08"});
    ASSERT_TRUE(wait_calls(1, "client", "usb_storage_plug_in"));
    daemon().kill(SIGTERM);
    EXPECT_EQ(daemon().wait_exit(std::chrono::seconds(5)), 0);
    for (const auto& line : mdmtest::syslog_lines())
        EXPECT_NE(line.rfind("3 ", 0), 0u) << line;
}

// The plug in hand is announced in full before plugwatch leaves.
TEST_F(PlugwatchTest, PlugwatchFinishesThePlugInHandBeforeLeaving) {
    start_peers();
    start_plugwatch();
    peers->process().kill(SIGSTOP);
    auto stick = plug(mdmtest::UsbDevice{}, {"08"});
    // The monitor thread is inside the announcement, waiting on a peer.
    ASSERT_TRUE(mdmtest::eventually([] { return mdmtest::syslog_has("插入通知开始"); }));
    daemon().kill(SIGTERM);
    EXPECT_FALSE(daemon().wait_exit(std::chrono::milliseconds(500)).has_value())
        << "plugwatch left in the middle of an announcement";
    peers->process().kill(SIGCONT);
    EXPECT_EQ(daemon().wait_exit(std::chrono::seconds(30)), 0);
    EXPECT_TRUE(mdmtest::syslog_has("插入通知结束"));
    EXPECT_EQ(peers->calls("client", "usb_storage_plug_in").size(), 1u);
}

}  // namespace
