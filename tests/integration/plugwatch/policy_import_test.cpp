// plugwatch's one-shot import of the list files at start.
#include <gtest/gtest.h>

#include <algorithm>

#include "plugwatch_fixture.h"

namespace plugwatch_it {
namespace {

using namespace mdmtest;

bool has_entry(const std::string& line) {
    auto entries = framework_entries();
    return std::find(entries.begin(), entries.end(), line) != entries.end();
}

TEST_F(PlugwatchTest, ListFilesAreImportedWhiteLastAndDeleted) {
    write_file("/etc/mdm/black-list", "33334444\n11112222\n");
    write_file("/etc/mdm/white-list", "1111 2222\n");
    // No class entries: the imported deny still decides how the stick is announced.
    start_peers();
    start_plugwatch();

    EXPECT_TRUE(has_entry("device 3333 4444 perm=2"));
    EXPECT_TRUE(has_entry("device 1111 2222 perm=1"));
    EXPECT_TRUE(has_entry("device c820 0bda perm=1"));
    EXPECT_FALSE(file_exists("/etc/mdm/black-list"));
    EXPECT_FALSE(file_exists("/etc/mdm/white-list"));
    EXPECT_TRUE(syslog_has("device info ：[idProduct] 1111 [idVendor] 2222"));

    plug(UsbDevice{.vid = "4444", .pid = "3333"}, {"08"});
    ASSERT_TRUE(wait_calls(1, "client", "usb_storage_plug_in"));
    EXPECT_NE(args("client", "usb_storage_plug_in")[0].find("\"status\":0}"), std::string::npos);
    EXPECT_EQ(args("agent", "show_system_notification"),
              Strings{notification("当前存储类设备处于禁用状态", 2)});
}

TEST_F(PlugwatchTest, SecondStartFindsNoFilesAndUpdatesTheDefaultDevice) {
    write_file("/etc/mdm/white-list", "12345678\n");
    start_plugwatch();
    EXPECT_EQ(syslog_count("whitelist："), 1u);
    stop_plugwatch();
    start_plugwatch();
    EXPECT_EQ(syslog_count("whitelist："), 1u);
    EXPECT_EQ(syslog_count("tarvex_devctl_add_perm ret=0"), 2u);  // the list entry, the default
    EXPECT_EQ(syslog_count("tarvex_devctl_update_perm ret=0"), 1u);
    EXPECT_TRUE(has_entry("device 1234 5678 perm=1"));
    EXPECT_TRUE(has_entry("device c820 0bda perm=1"));
}

TEST_F(PlugwatchTest, DevicePluggedDuringImportIsHandledAfterItUnderTheImportedPolicy) {
    // A long list keeps the import busy; the plugged stick's own entry comes last.
    std::string list;
    for (int i = 0; i < 1500; ++i) {
        char line[16];
        std::snprintf(line, sizeof line, "%04x9999\n", i);
        list += line;
    }
    list += "55556666\n";
    write_file("/etc/mdm/black-list", list);
    framework_set({"set-class", "1", "6", "1"});
    start_peers();
    start_plugwatch(false);
    ASSERT_TRUE(eventually([] { return syslog_has("blacklist："); }));
    Plugged stick = plug(UsbDevice{.vid = "6666", .pid = "5555"}, {"08"});
    ASSERT_FALSE(syslog_has("init_policy finish.")) << "the import ended before the plug";

    ASSERT_TRUE(wait_calls(1, "client", "usb_storage_plug_in", 60s));
    EXPECT_EQ(
        args("client", "usb_storage_plug_in"),
        Strings{usb_record("5555", "6666", "Maker", "Stick", stick.devpath(0), "0001", "08", 0)});
    auto finished = syslog_positions("init_policy finish.");
    auto handled = syslog_positions("devpath：" + stick.devpath(0));
    ASSERT_EQ(finished.size(), 2u);
    ASSERT_FALSE(handled.empty());
    EXPECT_GT(handled.front(), finished.back());
}

}  // namespace
}  // namespace plugwatch_it
