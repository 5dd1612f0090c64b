// A hung peer must not lose plug events: while the peers are stopped, the monitor thread is
// held in its first call and every later uevent waits in the monitor's socket.
#include <csignal>
#include <filesystem>
#include <string>

#include "../plugwatch/plugwatch_fixture.h"

namespace {

using namespace plugwatch_it;

// Scaled down in time, not in events: the peers stay stopped only while the devices are
// plugged (a second or two), which already holds all 200 uevents in the socket at once.
TEST_F(PlugwatchTest, DevicesPluggedWhileThePeersHangAreAllAnnouncedInOrder) {
    constexpr int kDevices = 200;
    start_peers();
    start_plugwatch();

    peers->process().kill(SIGSTOP);
    std::vector<std::string> devpaths;
    for (int i = 0; i < kDevices; ++i) {
        mdmtest::UsbDevice d;
        d.name = "1-" + std::to_string(i + 1);
        d.serial = "S" + std::to_string(i);
        devpaths.push_back(plug(d, {"08"}).devpath(0));
    }
    peers->process().kill(SIGCONT);

    ASSERT_TRUE(wait_calls(kDevices, "client", "usb_storage_plug_in", std::chrono::seconds(60)))
        << peers->calls("client", "usb_storage_plug_in").size() << " of " << kDevices;
    auto records = args("client", "usb_storage_plug_in");
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kDevices));
    for (int i = 0; i < kDevices; ++i) {
        // Each record names its interface's devpath; the next device's must not come first.
        EXPECT_NE(records[i].find("\"devpath\":\"" + devpaths[i] + "\""), std::string::npos)
            << "record " << i << ": " << records[i];
    }
    EXPECT_TRUE(daemon().running());
}

// A huge list is refused as unreadable instead of holding up the import, and with it every
// plug event; a FIFO in its place does not block it either.
TEST_F(PlugwatchTest, HugeOrSpecialListFilesDoNotHoldUpTheImport) {
    mdmtest::write_file("/etc/mdm/black-list", "c8200bda\n");
    std::filesystem::resize_file("/etc/mdm/black-list", 1ull << 30);  // sparse
    ASSERT_EQ(mdmtest::run({"mkfifo", "/etc/mdm/white-list"}).status, 0);
    start_peers();
    start_plugwatch();  // waits (10 s at most) for the import to finish
    plug(mdmtest::UsbDevice{}, {"08"});
    EXPECT_TRUE(wait_calls(1, "client", "usb_storage_plug_in"));
}

}  // namespace
