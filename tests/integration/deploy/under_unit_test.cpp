// The daemons started under their installed units' restrictions (reproduced by unit_exec, as
// the sandbox has no service manager) still do their work.
#include <gtest/gtest.h>

#include <mdmtest/support.h>
#include <mdmtest/usb_storage.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace mdmtest;
using Strings = std::vector<std::string>;

// The folders and bank files a boot creates by tmpfiles.d, which the units' writable paths
// name.
class UnderUnitTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        auto r = run({"systemd-tmpfiles", "--create", source_dir() + "/data/tmpfiles/mdm.conf"});
        ASSERT_EQ(r.status, 0) << r.out;
    }
};

TEST_F(UnderUnitTest, RestrictionsAreInForce) {
    // A control service's unit: no writable policy folder, no capability, a filter loaded.
    auto vault =
        run(under_unit("VaultGate", {"sh", "-c",
                                     "grep -E '^(CapEff|NoNewPrivs|Seccomp):' "
                                     "/proc/self/status; touch /etc/mdm/probe 2>/dev/null"}));
    EXPECT_EQ(vault.out, "CapEff:\t0000000000000000\nNoNewPrivs:\t1\nSeccomp:\t2\n");
    EXPECT_NE(vault.status, 0);
    EXPECT_FALSE(file_exists("/etc/mdm/probe"));
    // The plug monitor may write /etc/mdm and the store, nothing else of the system.
    EXPECT_EQ(run(under_unit("plugwatch", {"touch", "/etc/mdm/probe"})).status, 0);
    EXPECT_TRUE(file_exists("/etc/mdm/probe"));
    EXPECT_NE(run(under_unit("plugwatch", {"touch", "/usr/lib/mdm/probe"})).status, 0);
    // bankguard has no network of its own.
    EXPECT_EQ(run(under_unit("bankguard", {"sh", "-c", "sed -n '3,$s/:.*//p' /proc/net/dev"})).out,
              "    lo\n");
}

TEST_F(UnderUnitTest, ControlServicesAnswer) {
    Peers peers;
    // Each argument-less method answers 0, as it does unrestricted.
    const struct {
        std::string unit, program, bus;
        Strings methods;
    } services[] = {
        {"VaultGate", "mdm/vaultgate/VaultGate", "com.quorl.StorageControl", {"GetStatus"}},
        {"TouchGate",
         "mdm/touchgate/TouchGate",
         "com.quorl.InputControl.hid",
         {"DisableHidDevices", "EnableHidDevices", "GetHidDevices"}},
        {"LensGate",
         "mdm/lensgate/LensGate",
         "com.quorl.InputControl.video",
         {"DisableVideoDevices", "EnableVideoDevices", "GetVideoDevices"}}};
    for (const auto& s : services) {
        SCOPED_TRACE(s.unit);
        Process proc(under_unit(s.unit, {program(s.program)}), {.name = s.unit});
        ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, s.bus)) << proc.output();
        std::string path = "/" + s.bus;
        std::replace(path.begin(), path.end(), '.', '/');
        for (const auto& m : s.methods)
            EXPECT_EQ(int_reply(call_system(s.bus, path, s.bus, m)), 0) << m;
        EXPECT_TRUE(proc.running()) << proc.output();
    }
}

TEST_F(UnderUnitTest, StockPeersJournalAndSignal) {
    auto logind = dbusmock("logind", G_BUS_TYPE_SYSTEM, "org.freedesktop.login1");
    logind_add_session("c1", 1000, "alice", true, "x11");
    const struct {
        std::string unit, bus;
    } peers[] = {{"mdm-logd", "org.log.sys_transmit"},
                 {"mdm-clientd", "com.quorl.brannoc.ostrelclient"},
                 {"mdm-notifyd", "com.quorl.brannoc.ostrelagent"}};
    std::vector<std::unique_ptr<Process>> procs;
    for (const auto& p : peers) {
        procs.push_back(
            std::make_unique<Process>(under_unit(p.unit, {program("platform/peers/" + p.unit)}),
                                      ProcessOptions{.name = p.unit}));
        ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, p.bus)) << procs.back()->output();
    }
    // A record at the cap: the entry outgrows a small datagram.
    std::string record = "{'time':'t','hostname':'u','name':'n','ip':'a','lv':'info','message':'" +
                         std::string(60000, 'm') + "'}";
    EXPECT_TRUE(call_system("org.log.sys_transmit", "/org/log/sys_transmit", "org.log.transmit",
                            "log_transmit", g_variant_new("(s)", record.c_str()))
                    .ok());
    auto user = call_system("com.quorl.brannoc.ostrelclient", "/brannoc/ostrelclient",
                            "com.quorl.brannoc.ostrelclient", "get_current_user");
    ASSERT_TRUE(user.ok()) << user.error;
    const char* name = nullptr;
    g_variant_get(user.reply.get(), "(&s)", &name);
    EXPECT_STREQ(name, "alice");
    EXPECT_TRUE(call_system("com.quorl.brannoc.ostrelclient", "/brannoc/ostrelclient",
                            "com.quorl.brannoc.ostrelclient", "usb_storage_pull_out",
                            g_variant_new("(s)", "{}"))
                    .ok());
    EXPECT_TRUE(call_system("com.quorl.brannoc.ostrelagent", "/brannoc/Responser",
                            "com.quorl.brannoc.ostrelagent", "show_system_notification",
                            g_variant_new("(s)", "text"))
                    .ok());
    std::vector<journalsink::Entry> entries;
    EXPECT_TRUE(eventually([&] { return (entries = journal_entries()).size() >= 2; }));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(journalsink::field(entries[0], "MDM_RECORD"), record);
    EXPECT_EQ(journalsink::field(entries[1], "MDM_USB_EVENT"), "pull-out");
    for (auto& p : procs) {
        p->kill(SIGTERM);
        EXPECT_EQ(p->wait_exit(), 0) << p->output();
    }
}

TEST_F(UnderUnitTest, BankguardSwitchesATypeAndWritesTheFramework) {
    Process proc(under_unit("bankguard", {program("bank-daemon/bankguard")}),
                 {.name = "bankguard"});
    const char* bus = "com.quorl.bankingdevctl";
    const char* path = "/com/quorl/bankingdevctl";
    ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, bus)) << proc.output();
    auto call = [&](const char* method, const char* args) {
        return int_reply(call_system(bus, path, bus, method, g_variant_new_parsed(args)));
    };
    EXPECT_EQ(call("setBankingDevList", "(1, 2, [('3333', '4444'), ('7777', '8888')])"), 2);
    EXPECT_EQ(call("setBankingDevStatus", "(1, 1)"), 0);
    EXPECT_EQ(call("getBankingDevStatus", "(1,)"), 1);
    // Shortening a list rewrites the file, keeping its owner.
    EXPECT_EQ(call("delBankingDevList", "(1, 1, [('7777', '8888')])"), 1);
    EXPECT_EQ(read_file("/etc/mdm/bank/devlist/fingerprint"), "33334444\n");
    bool granted = false;
    for (const auto& e : framework_entries())
        granted |= e.find("3333") != std::string::npos && e.find("4444") != std::string::npos;
    EXPECT_TRUE(granted) << "no framework entry for the listed device";
}

TEST_F(UnderUnitTest, PlugwatchImportsAndAnnounces) {
    write_file("/etc/mdm/black-list", "33334444\n");
    Peers peers;
    Testbed testbed;
    std::size_t finished = syslog_count("init_policy finish.");
    Process proc(under_unit("plugwatch", {program("plugwatch/plugwatch")}),
                 {.umockdev = true, .name = "plugwatch"});
    ASSERT_TRUE(eventually([&] { return syslog_count("init_policy finish.") >= finished + 2; }))
        << proc.output();
    EXPECT_FALSE(file_exists("/etc/mdm/black-list"));  // imported, then removed
    std::string stick = testbed.add_usb_device(UsbDevice{.vid = "4444", .pid = "3333"});
    testbed.add_interface(stick, 0, "08");
    ASSERT_TRUE(peers.wait_calls(1, "client", "usb_storage_plug_in")) << proc.output();
    ASSERT_TRUE(peers.wait_calls(1, "log", "log_transmit"));
    // Denied by the imported black list; the audit record carries the host address.
    auto notes = peers.calls("agent", "show_system_notification");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].args.at(0).find("禁用"), std::string::npos) << notes[0].args.at(0);
    EXPECT_NE(peers.calls("log", "log_transmit")[0].args.at(0).find("192.0.2.10"),
              std::string::npos);
}

// A udev monitor that cannot be set up (here: a unit that takes netlink sockets away) leaves
// plugwatch with nothing to watch: it says why and exits non-zero, so Restart= brings it back.
TEST_F(UnderUnitTest, PlugwatchWithoutAUdevMonitorExitsWithItsCause) {
    write_file("/etc/mdm/no-netlink.service",
               "[Service]\nSystemCallFilter=@system-service\n"
               "RestrictAddressFamilies=AF_UNIX AF_INET\n");
    Process proc({program("tests/integration/deploy/unit_exec"), "/etc/mdm/no-netlink.service",
                  "--", program("plugwatch/plugwatch")},
                 {.name = "plugwatch"});
    EXPECT_EQ(proc.wait_exit(), 1);
    EXPECT_TRUE(eventually([] {
        return syslog_has(
            "3 udev monitor: cannot create the udev monitor: Operation not permitted");
    }));
    EXPECT_EQ(syslog_count("init_policy"), 0u) << "the policy was imported without a monitor";
}

TEST_F(UnderUnitTest, RosterGateWritesTheFrameworkAndTheBankWhiteList) {
    Peers peers;
    write_file("/etc/mdm/bank/devlist/ushield", "55556666\n");
    Process proc(under_unit("RosterGate", {program("mdm/rostergate/RosterGate")}),
                 {.name = "RosterGate"});
    const char* bus = "com.quorl.ListControl";
    const char* path = "/com/quorl/ListControl";
    ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, bus)) << proc.output();
    auto pair = [&](const char* method, const char* pid, const char* vid) {
        return int_reply(call_system(bus, path, bus, method, g_variant_new("(ss)", pid, vid)));
    };
    EXPECT_EQ(pair("SetBlackList", "3333", "4444"), 0);
    EXPECT_EQ(pair("SetWhiteList", "5555", "6666"), 0);  // a bank device
    EXPECT_EQ(read_file("/etc/mdm/bank/white-list"), "55556666\n");
    EXPECT_EQ(pair("DelWhiteList", "5555", "6666"), 0);  // rewrites the bank white list
    EXPECT_EQ(read_file("/etc/mdm/bank/white-list"), "");
    EXPECT_EQ(strings_reply(call_system(bus, path, bus, "GetBlackList")), Strings{"33334444"});
    // The audit records carry the host address from the UDP socket.
    ASSERT_TRUE(peers.wait_calls(2, "log", "log_transmit")) << proc.output();
    EXPECT_NE(peers.calls("log", "log_transmit")[0].args.at(0).find("'ip':'192.0.2.10'"),
              std::string::npos);
}

TEST_F(UnderUnitTest, NicGateSwitchesCardsAndRecordedDevices) {
    Peers peers;
    Testbed testbed;
    const std::string stick = testbed.add_usb_device({});
    write_file("/etc/mdm/disable-net", "c8200bda\n");
    Process proc(under_unit("NicGate", {program("mdm/nicgate/NicGate")}),
                 {.umockdev = true, .name = "NicGate"});
    const char* bus = "com.quorl.netcardcontrol";
    const char* path = "/com/quorl/netcardcontrol";
    ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, bus)) << proc.output();
    auto set = [&](int status) {
        return int_reply(
            call_system(bus, path, bus, "SetNetcardStatus", g_variant_new("(i)", status)));
    };
    EXPECT_EQ(set(0), 0);
    EXPECT_EQ(read_file("/etc/mdm/net"), "0");
    EXPECT_EQ(int_reply(call_system(bus, path, bus, "GetNetcardStatus")), 0);
    umockdev_testbed_set_attribute(testbed.get(), stick.c_str(), "bConfigurationValue", "0");
    EXPECT_EQ(set(1), 0);
    EXPECT_EQ(sysfs_attribute(stick, "bConfigurationValue"), "1");
    EXPECT_EQ(framework_entries(), Strings{"class type=7 usb_subtype=0 perm=1"});
    ASSERT_TRUE(peers.wait_calls(2, "log", "log_transmit")) << proc.output();
    EXPECT_NE(peers.calls("log", "log_transmit")[0].args.at(0).find("'ip':'192.0.2.10'"),
              std::string::npos);
}

}  // namespace
