// The plug sequence against the installed packages (package_install.sh has put them in place):
// the installed plugwatch announces a stick, the installed tarvexctl denies it, the next plug
// is announced disabled, and the installed mdmctl shows the permission in force.
#include <gtest/gtest.h>

#include <mdmtest/support.h>

namespace {

using namespace mdmtest;

TEST(InstalledPackages, PlugSequence) {
    Peers peers;
    Testbed testbed;
    std::size_t finished = syslog_count("init_policy finish.");
    Process daemon({"/usr/sbin/plugwatch"}, {.umockdev = true, .name = "installed plugwatch"});
    ASSERT_TRUE(eventually([&] { return syslog_count("init_policy finish.") >= finished + 2; }))
        << daemon.output();

    UsbDevice device{.vid = "4444", .pid = "3333"};
    std::string stick = testbed.add_usb_device(device);
    std::string iface = testbed.add_interface(stick, 0, "08");
    ASSERT_TRUE(peers.wait_calls(1, "client", "usb_storage_plug_in")) << daemon.output();
    ASSERT_TRUE(peers.wait_calls(1, "agent", "show_system_notification"));
    EXPECT_NE(peers.calls("agent")[0].args.at(0).find("启用"), std::string::npos);

    CommandResult deny = run({"/usr/sbin/tarvexctl", "set-device", "3333", "4444", "2"});
    ASSERT_EQ(deny.status, 0) << deny.out;
    testbed.uevent(iface, "remove");
    ASSERT_TRUE(peers.wait_calls(1, "client", "usb_storage_pull_out"));
    testbed.uevent(iface, "add");
    ASSERT_TRUE(peers.wait_calls(2, "agent", "show_system_notification")) << daemon.output();
    EXPECT_NE(peers.calls("agent")[1].args.at(0).find("禁用"), std::string::npos)
        << peers.calls("agent")[1].args.at(0);

    Process ctl({"/usr/sbin/mdmctl", "--json", "devices"}, {.umockdev = true, .name = "mdmctl"});
    ASSERT_EQ(ctl.wait_exit(), 0) << ctl.output();
    EXPECT_NE(ctl.output().find(R"("pid":"3333","vid":"4444")"), std::string::npos) << ctl.output();
    EXPECT_NE(ctl.output().find(R"("permission":"disabled","authorized":"","readonly":"","lists":"black")"), std::string::npos)
        << ctl.output();
}

}  // namespace
