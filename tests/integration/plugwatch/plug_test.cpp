// plugwatch in the sandbox: what the peers receive for plugged and unplugged devices.
#include <gtest/gtest.h>

#include "plugwatch_fixture.h"

namespace plugwatch_it {
namespace {

using namespace mdmtest;

constexpr char kIp[] = "192.0.2.10";
// The audit message of an enabled stick with the default ids.
std::string enabled_stick_audit(const std::string& devpath) {
    return "插入storage设备路径 : " + devpath +
           "  设备 PID: c820 ,VID: 0bda  当前存储类设备处于启用状态";
}

TEST_F(PlugwatchTest, StorageStickWithNoPolicyIsAnnouncedEnabledAndItsRemovalReported) {
    start_peers();
    start_plugwatch();
    EXPECT_TRUE(daemon().wait_output("Acquired the name com.quorl.storage\n"));
    Plugged stick = plug(UsbDevice{}, {"08"});
    ASSERT_TRUE(wait_calls(1, "client", "usb_storage_plug_in"));
    ASSERT_TRUE(wait_calls(1, "log", "log_transmit"));

    EXPECT_EQ(args("agent", "show_system_notification"),
              Strings{notification("当前存储类处于启用状态", 1)});
    auto audits = args("log", "log_transmit");
    ASSERT_EQ(audits.size(), 1u);
    EXPECT_EQ(without_time(audits[0]),
              audit_tail("user", kIp, "warning", enabled_stick_audit(stick.devpath(0))));
    EXPECT_EQ(
        args("client", "usb_storage_plug_in"),
        Strings{usb_record("c820", "0bda", "Maker", "Stick", stick.devpath(0), "0001", "08", 2)});
    // Notification, then audit line (asking for the user first), then the record.
    Strings order;
    for (const auto& c : peers->calls())
        order.push_back(c.method);
    EXPECT_EQ(order, (Strings{"show_system_notification", "get_current_user", "log_transmit",
                              "usb_storage_plug_in"}));

    unplug(stick);
    ASSERT_TRUE(wait_calls(1, "client", "usb_storage_pull_out"));
    ASSERT_TRUE(wait_calls(2, "log", "log_transmit"));
    EXPECT_EQ(
        args("client", "usb_storage_pull_out"),
        Strings{usb_record("c820", "0bda", "Maker", "Stick", stick.devpath(0), "0001", "08", -1)});
    EXPECT_EQ(without_time(args("log", "log_transmit")[1]),
              audit_tail("user", kIp, "info", "弹出USB设备 路径为: " + stick.devpath(0)));
    EXPECT_EQ(args("agent", "show_system_notification").size(), 1u);
}

TEST_F(PlugwatchTest, PolicyLookupsDecideTheAnnouncement) {
    framework_set({"set-class", "1", "6", "2"});
    framework_set({"set-class", "1", "0", "2"});  // never read for an input device
    framework_set({"set-device", "2222", "1111", "1"});
    framework_set({"set-device", "3333", "4444", "3"});
    start_peers();
    start_plugwatch();
    plug(UsbDevice{.name = "1-5", .vid = "4444", .pid = "3333"}, {"08"});  // silent
    Plugged allowed = plug(UsbDevice{.vid = "1111", .pid = "2222"}, {"08"});
    Plugged denied = plug(UsbDevice{.name = "1-2", .vid = "abcd", .pid = "0001"}, {"08"});
    Plugged hid = plug(UsbDevice{.name = "1-4", .vid = "046d", .pid = "c077"}, {"03"});
    ASSERT_TRUE(wait_calls(3, "client", "usb_storage_plug_in"));

    EXPECT_EQ(args("agent", "show_system_notification"),
              (Strings{notification("当前存储类处于启用状态", 1),
                       notification("当前存储类设备处于禁用状态", 2),
                       notification("当前非存储类处于启用状态", 1)}));
    EXPECT_EQ(
        args("client", "usb_storage_plug_in"),
        (Strings{usb_record("2222", "1111", "Maker", "Stick", allowed.devpath(0), "0001", "08", 2),
                 usb_record("0001", "abcd", "Maker", "Stick", denied.devpath(0), "0001", "08", 0),
                 usb_record("c077", "046d", "Maker", "Stick", hid.devpath(0), "0001", "03", 2)}));
    EXPECT_TRUE(syslog_has("设备发现 [存储类外设] PID：3333 VID：4444 PERM：3"));
    EXPECT_EQ(args("log", "log_transmit").size(), 3u);
}

TEST_F(PlugwatchTest, CompositeDeviceIsAnnouncedTwiceStorageFirstWithTheLastInterface) {
    start_peers();
    start_plugwatch();
    Plugged combo = plug(UsbDevice{.num_interfaces = " 2"}, {"08", "03"});
    ASSERT_TRUE(wait_calls(2, "client", "usb_storage_plug_in"));
    const std::string last = combo.devpath(1);
    EXPECT_EQ(args("client", "usb_storage_plug_in"),
              (Strings{usb_record("c820", "0bda", "Maker", "Stick", last, "0001", "03", 2),
                       usb_record("c820", "0bda", "Maker", "Stick", last, "0001", "03", 2)}));
    EXPECT_EQ(args("agent", "show_system_notification"),
              (Strings{notification("当前存储类处于启用状态", 1),
                       notification("当前非存储类处于启用状态", 1)}));
}

TEST_F(PlugwatchTest, RetryIsAnsweredWithOneShorterRecord) {
    PeersOptions o;
    o.retry = 2;
    start_peers(o);
    start_plugwatch();
    // A forged manufacturer stays one escaped value; a byte that is not UTF-8 becomes U+FFFD
    // rather than losing the record on the bus.
    Plugged stick =
        plug(UsbDevice{.product = "Sti\xff", .manufacturer = R"(x","status":2,"y":")"}, {"08"});
    ASSERT_TRUE(wait_calls(2, "client", "usb_storage_plug_in"));
    // Both answers were "Retry"; the removal's record is the sync point: by then no third
    // plug record came.
    unplug(stick);
    ASSERT_TRUE(wait_calls(1, "client", "usb_storage_pull_out"));
    auto records = args("client", "usb_storage_plug_in");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], usb_record("c820", "0bda", R"(x\",\"status\":2,\"y\":\")",
                                     "Sti\xef\xbf\xbd", stick.devpath(0), "0001", "08", 2));
    EXPECT_EQ(records[1], usb_record("c820", "0bda", "", "", stick.devpath(0), "", "08", 2));
    EXPECT_TRUE(syslog_has("retry result = 1, usb_log = " + records[1] + ", status = 0"));
}

TEST_F(PlugwatchTest, AbsentManagementClientLeavesTheUserUnknown) {
    PeersOptions o;
    o.client = false;
    start_peers(o);
    start_plugwatch();
    Plugged stick = plug(UsbDevice{}, {"08"});
    ASSERT_TRUE(wait_calls(1, "log", "log_transmit"));
    EXPECT_EQ(without_time(args("log", "log_transmit")[0]),
              audit_tail("未登录", kIp, "warning", enabled_stick_audit(stick.devpath(0))));
    EXPECT_TRUE(eventually([] { return syslog_has("usb_storage_plug_in error"); }));
    EXPECT_EQ(args("agent", "show_system_notification").size(), 1u);
}

TEST_F(PlugwatchTest, NoAddressButLoopbackSendsNoAuditRecord) {
    struct RestoreNetwork {
        ~RestoreNetwork() {
            run({"ip", "addr", "add", "192.0.2.10/24", "dev", "mdm0"});
            run({"ip", "route", "replace", "default", "via", "192.0.2.1", "dev", "mdm0"});
        }
    } restore;
    ASSERT_EQ(run({"ip", "addr", "flush", "dev", "mdm0"}).status, 0);
    start_peers();
    start_plugwatch();
    Plugged stick = plug(UsbDevice{}, {"08"});
    ASSERT_TRUE(wait_calls(1, "client", "usb_storage_plug_in"));
    EXPECT_TRUE(args("log", "log_transmit").empty());
    // The log lines may still be on their way to the capture.
    EXPECT_TRUE(eventually([] {
        return syslog_has("ip is unknown, do not send usb log to transmit, usb_log = {'time':'");
    }));
    EXPECT_TRUE(eventually([] {
        return syslog_has("','hostname':'user','name':'usb-monitor','ip':'unknown','lv':'warning'");
    }));
    // The user is still asked for: the client sees the same calls either way.
    EXPECT_EQ(peers->calls("client", "get_current_user").size(), 1u);
}

// The address is kept between records; a change of the machine's addresses reaches the
// next record, and losing the last one stops the sending again.
TEST_F(PlugwatchTest, AddressChangesReachTheNextAuditRecord) {
    struct RestoreNetwork {
        ~RestoreNetwork() {
            run({"ip", "addr", "flush", "dev", "mdm0"});
            run({"ip", "addr", "add", "192.0.2.10/24", "dev", "mdm0"});
            run({"ip", "route", "replace", "default", "via", "192.0.2.1", "dev", "mdm0"});
        }
    } restore;
    start_peers();
    start_plugwatch();
    plug(UsbDevice{.name = "1-1"}, {"08"});
    ASSERT_TRUE(wait_calls(1, "log", "log_transmit"));

    ASSERT_EQ(run({"ip", "addr", "flush", "dev", "mdm0"}).status, 0);
    ASSERT_EQ(run({"ip", "addr", "add", "198.51.100.7/24", "dev", "mdm0"}).status, 0);
    plug(UsbDevice{.name = "1-2"}, {"08"});
    ASSERT_TRUE(wait_calls(2, "log", "log_transmit"));

    ASSERT_EQ(run({"ip", "addr", "flush", "dev", "mdm0"}).status, 0);
    plug(UsbDevice{.name = "1-3"}, {"08"});
    ASSERT_TRUE(wait_calls(3, "client", "usb_storage_plug_in"));
    ASSERT_TRUE(eventually([] { return syslog_has("','ip':'unknown','lv':'warning'"); }));

    auto records = args("log", "log_transmit");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0].find("'ip':'192.0.2.10'"), std::string::npos) << records[0];
    EXPECT_NE(records[1].find("'ip':'198.51.100.7'"), std::string::npos) << records[1];
}

TEST_F(PlugwatchTest, AbsentOrSlowPeersNeverStopMonitoring) {
    start_plugwatch();  // no peers at all
    plug(UsbDevice{.name = "1-1"}, {"08"});
    ASSERT_TRUE(eventually([] { return syslog_count("插入通知结束") >= 1; }));
    EXPECT_TRUE(syslog_has("usb_storage_plug_in error"));
    EXPECT_TRUE(syslog_has("send usb log to transmit, result = -1, usb_log = {'time':'"));
    EXPECT_TRUE(syslog_has("result = 0, usb_log = {\"title\":"));  // an absent agent costs 0

    PeersOptions o;
    o.delay_ms = 150;
    start_peers(o);
    for (const char* name : {"1-2", "1-3", "1-4"})
        plug(UsbDevice{.name = name}, {"08"});
    ASSERT_TRUE(wait_calls(3, "client", "usb_storage_plug_in"));
    auto records = args("client", "usb_storage_plug_in");
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::string expected = "/1-" + std::to_string(i + 2) + ":1.0\"";
        EXPECT_NE(records[i].find(expected), std::string::npos) << records[i];
    }
}

TEST_F(PlugwatchTest, BusPolicyOpensOnlyChangePermissionToUsers) {
    start_plugwatch();
    ASSERT_TRUE(daemon().wait_output("Acquired the name com.quorl.storage\n"));
    // A call the policy lets through reaches the storage object, which refuses these paths.
    auto denied = [](std::optional<uid_t> uid, const std::string& method, Strings call_args) {
        Strings argv{"gdbus",
                     "call",
                     "--system",
                     "--dest=com.quorl.storage",
                     "--object-path=/com/quorl/storage",
                     "--method=com.quorl.storage." + method};
        argv.insert(argv.end(), call_args.begin(), call_args.end());
        Process p(argv, ProcessOptions{.uid = uid, .name = "gdbus"});
        p.wait_exit();
        EXPECT_TRUE(p.output().find("(-1,)") != std::string::npos ||
                    p.output().find("AccessDenied") != std::string::npos)
            << p.output();
        return p.output().find("AccessDenied") != std::string::npos;
    };
    EXPECT_FALSE(denied(65534, "changePermission", {"/media/usb"}));
    EXPECT_TRUE(denied(65534, "romountStorage", {"/media/usb", "1", "2"}));
    EXPECT_FALSE(denied(std::nullopt, "romountStorage", {"/m", "1", "2"}));
}

}  // namespace
}  // namespace plugwatch_it
