// NicGate over the system bus: the state table, the state file, the class entry it leaves in
// the stand-in framework, the recorded devices it switches on again, its audit records and
// its bus policy.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "mdmtest/support.h"
#include "mdmtest/usb_storage.h"

using namespace mdmtest;

namespace {

constexpr char kName[] = "com.quorl.netcardcontrol";
constexpr char kPath[] = "/com/quorl/netcardcontrol";

CallResult nic_call(const char* method, GVariant* args = nullptr) {
    return call_system(kName, kPath, kName, method, args);
}

int set_status(int status) {
    return int_reply(nic_call("SetNetcardStatus", g_variant_new("(i)", status)));
}
int get_status() {
    return int_reply(nic_call("GetNetcardStatus"));
}

using Lines = std::vector<std::string>;
const Lines kDenied{"class type=7 usb_subtype=0 perm=2"},
    kAllowed{"class type=7 usb_subtype=0 perm=1"};

class NicGate : public SandboxTest {
  protected:
    void start() {
        proc = std::make_unique<Process>(std::vector<std::string>{program("mdm/nicgate/NicGate")},
                                         ProcessOptions{.umockdev = true, .name = "NicGate"});
        ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, kName)) << proc->output();
    }
    // The end of each audit record the log service received, from the record name on.
    Lines audit_tails() {
        Lines out;
        for (const auto& c : peers.calls("log", "log_transmit"))
            out.push_back(c.args.at(0).substr(c.args.at(0).find("'name'")));
        return out;
    }

    Testbed tb;
    Peers peers;
    std::unique_ptr<Process> proc;
};

}  // namespace

TEST_F(NicGate, StateTableSwitchesTheClassAndReenablesRecordedDevicesOnce) {
    const std::string stick = tb.add_usb_device({});  // product c820, vendor 0bda
    const std::string other = tb.add_usb_device({.name = "1-2", .pid = "1111"});
    write_file("/etc/mdm/disable-net", "c8200bda\nc8200bda\n11110bda\nc8200bda\n");
    start();

    EXPECT_EQ(get_status(), 1);  // no state file
    EXPECT_EQ(set_status(2), -1);
    EXPECT_FALSE(file_exists("/etc/mdm/net"));
    EXPECT_TRUE(audit_tails().empty());

    // Off: the state is written, the class passes through allow to deny after the pause.
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(set_status(0), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(950));
    EXPECT_EQ(read_file("/etc/mdm/net"), "0");
    EXPECT_EQ(get_status(), 0);
    EXPECT_EQ(framework_entries(), kDenied);
    framework_set({"set-class", "7", "0", "5"});
    EXPECT_EQ(set_status(0), 0);  // again: only the audit record
    EXPECT_EQ(framework_entries(), Lines{"class type=7 usb_subtype=0 perm=5"});

    // On: recorded devices are switched on again, the record file stays.
    for (const auto& s : {stick, other})
        umockdev_testbed_set_attribute(tb.get(), s.c_str(), "bConfigurationValue", "0");
    EXPECT_EQ(set_status(1), 0);
    EXPECT_EQ(read_file("/etc/mdm/net"), "1");
    EXPECT_EQ(framework_entries(), kAllowed);
    EXPECT_EQ(sysfs_attribute(stick, "bConfigurationValue"), "1");
    EXPECT_EQ(sysfs_attribute(other, "bConfigurationValue"), "1");
    EXPECT_EQ(read_file("/etc/mdm/disable-net"), "c8200bda\nc8200bda\n11110bda\nc8200bda\n");
    EXPECT_EQ(set_status(1), 0);

    ASSERT_TRUE(peers.wait_calls(4, "log", "log_transmit"));
    const std::string on = "'name':'netcard-control','lv':'info','message':'开启网卡管控'}";
    const std::string off = "'name':'netcard-control','lv':'info','message':'关闭网卡管控'}";
    EXPECT_EQ(audit_tails(), (Lines{on, on, off, off}));
}

TEST_F(NicGate, ABadStateFileGivesBusErrorsAndTheServiceKeepsServing) {
    write_file("/etc/mdm/net", "x");
    start();
    for (GVariant* args :
         {static_cast<GVariant*>(nullptr), g_variant_new("(i)", 0), g_variant_new("(i)", 1)}) {
        auto r = nic_call(args ? "SetNetcardStatus" : "GetNetcardStatus", args);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error_name, "org.freedesktop.DBus.Error.Failed") << r.error;
    }
    EXPECT_TRUE(framework_entries().empty());  // the state check comes before any switching
    ASSERT_TRUE(peers.wait_calls(2, "log", "log_transmit"));

    write_file("/etc/mdm/net", "0 and more");  // only the first character counts
    EXPECT_EQ(get_status(), 0);
}

TEST_F(NicGate, OnlyRootMayOwnOrCallIt) {
    EXPECT_TRUE(denied_to_nobody({program("mdm/nicgate/NicGate")}));
    start();
    EXPECT_TRUE(denied_to_nobody(gdbus_call(kName, kPath, "SetNetcardStatus", {"0"})));
    EXPECT_FALSE(file_exists("/etc/mdm/net"));
    EXPECT_EQ(get_status(), 1);
}
