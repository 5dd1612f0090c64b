#include "plug_state.h"

#include <syslog.h>

#include <glib.h>
#include <gtest/gtest.h>

#include "fakes.h"

using namespace plugwatch;
using plugwatch::test::FakeFramework;
using plugwatch::test::PeerCall;
using plugwatch::test::RecordingLog;
using plugwatch::test::RecordingPeers;

namespace {

const std::string kDevice = "/devices/pci0000:00/0000:00:14.0/usb1/1-1";

struct Iface {
    std::string devpath;
    std::string cls;
};

class PlugStateTest : public ::testing::Test {
  protected:
    void SetUp() override { FakeFramework::reset(); }

    InterfaceEvent add_event(const Iface& iface, const std::string& num = " 1") {
        InterfaceEvent e;
        e.subsystem = "usb";
        e.action = "add";
        e.devpath = iface.devpath;
        e.interface_class = iface.cls;
        e.parent_devpath = kDevice;
        e.id_product = "c820";
        e.id_vendor = "0bda";
        e.product = "Stick";
        e.manufacturer = "Maker";
        e.num_interfaces = num;
        e.serial = "0001";
        return e;
    }
    void remove(const Iface& iface) {
        InterfaceEvent e;
        e.subsystem = "usb";
        e.action = "remove";
        e.devpath = iface.devpath;
        state.handle(e);
    }
    static Iface iface(int n, const std::string& cls) {
        return {kDevice + "/1-1:1." + std::to_string(n), cls};
    }
    const UsbNotificationInfo& device() { return state.notifytable().at(kDevice); }

    RecordingLog log;
    RecordingPeers peers;
    Seams seams{log, peers, FakeFramework::functions()};
    PlugState state{seams};
};

}  // namespace

TEST_F(PlugStateTest, CompositeDeviceIsAnnouncedOnceCompleteStorageFirst) {
    Iface storage = iface(0, "08");
    Iface hid = iface(1, "03");
    state.handle(add_event(storage, " 2"));
    EXPECT_TRUE(peers.calls.empty());
    EXPECT_TRUE(log.has("bNumInterfaces：2, Counter：1"));

    state.handle(add_event(hid, " 2"));
    auto records = peers.of("record");
    ASSERT_EQ(records.size(), 2u);
    // Both categories carry the class and devpath of the interface that completed the count.
    EXPECT_NE(records[0].text.find("\"devpath\":\"" + hid.devpath + "\""), std::string::npos);
    EXPECT_NE(records[0].text.find("\"bInterfaceClass\":\"03\""), std::string::npos);
    EXPECT_NE(records[1].text.find("\"devpath\":\"" + hid.devpath + "\""), std::string::npos);
    auto notes = peers.of("notify");
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NE(notes[0].text.find("当前存储类处于启用状态"), std::string::npos);
    EXPECT_NE(notes[1].text.find("当前非存储类处于启用状态"), std::string::npos);
    // A further interface only logs the mismatch.
    peers.calls.clear();
    state.handle(add_event(iface(2, "03"), " 2"));
    EXPECT_TRUE(peers.calls.empty());
    EXPECT_TRUE(log.has("bNumInterfaces：2, Counter：3"));
}

TEST_F(PlugStateTest, IncompleteDeviceIsNeverAnnouncedButReportsEachCategoryOnRemoval) {
    Iface storage = iface(0, "08");
    Iface hid = iface(1, "03");
    Iface hid2 = iface(2, "03");
    state.handle(add_event(storage, " 3"));
    state.handle(add_event(hid, " 3"));
    EXPECT_TRUE(peers.calls.empty());

    remove(hid);
    remove(hid2);  // never added
    EXPECT_TRUE(log.has("Usb interface info is null\n"));
    remove(storage);

    auto records = peers.of("record");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].level, "1");
    EXPECT_NE(records[0].text.find("\"devpath\":\"" + hid.devpath + "\""), std::string::npos);
    EXPECT_NE(records[0].text.find("\"bInterfaceClass\":\"03\",\"status\":-1}"), std::string::npos);
    EXPECT_NE(records[1].text.find("\"bInterfaceClass\":\"08\",\"status\":-1}"), std::string::npos);
    auto audits = peers.of("logging");
    ASSERT_EQ(audits.size(), 2u);
    EXPECT_EQ(audits[0].level, "info");
    EXPECT_EQ(audits[0].text, "弹出USB设备 路径为: " + hid.devpath);
    EXPECT_EQ(audits[1].text, "弹出USB设备 路径为: " + storage.devpath);
    EXPECT_TRUE(peers.of("notify").empty());
    EXPECT_TRUE(state.notifytable().empty());
    EXPECT_TRUE(state.interfacetable().empty());
}

TEST_F(PlugStateTest, SecondRemovalInACategoryAndReAddAfterRemovalStaySilent) {
    Iface hid = iface(0, "03");
    Iface hid2 = iface(1, "03");
    Iface storage = iface(2, "08");
    for (const auto& i : {hid, hid2, storage})
        state.handle(add_event(i, " 3"));
    ASSERT_EQ(peers.of("record").size(), 2u);
    peers.calls.clear();

    remove(hid);
    remove(hid2);
    EXPECT_EQ(peers.of("record").size(), 1u);  // one unplug record per category
    EXPECT_EQ(device().nostorageCounter, -1);
    EXPECT_EQ(device().sumCounter, 1);

    // Re-plugging one brings the counter from -1 to 0; when the count completes again
    // only what was counted since is announced.
    peers.calls.clear();
    state.handle(add_event(hid, " 3"));
    EXPECT_EQ(device().nostorageCounter, 0);
    state.handle(add_event(hid2, " 3"));
    EXPECT_EQ(device().sumCounter, 3);
    auto records = peers.of("record");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].text.find("\"bInterfaceClass\":\"03\",\"status\":2}"), std::string::npos);
    EXPECT_EQ(device().nostorageCounter, 0);
}

TEST_F(PlugStateTest, ReAddOfTheRemovedCategoryCompletingTheCountAnnouncesNothing) {
    Iface storage = iface(0, "08");
    Iface hid = iface(1, "03");
    state.handle(add_event(storage, " 2"));
    state.handle(add_event(hid, " 2"));
    remove(hid);
    peers.calls.clear();

    state.handle(add_event(hid, " 2"));
    EXPECT_TRUE(peers.calls.empty());
    EXPECT_EQ(device().nostorageCounter, 0);
    EXPECT_EQ(device().sumCounter, 2);
}

TEST_F(PlugStateTest, PermissionOfThreeIsSilentButStillCounted) {
    FakeFramework::state().devices = {FakeFramework::device(0xc820, 0x0bda, 3)};
    state.handle(add_event(iface(0, "03")));
    EXPECT_TRUE(peers.calls.empty());
    EXPECT_EQ(device().nostorageCounter, 0);
    EXPECT_TRUE(log.has("设备发现 [非存储类外设] PID：c820 VID：0bda PERM：3"));
}

TEST_F(PlugStateTest, DisabledVendorspecAndRetryAnsweredOnce) {
    FakeFramework::state().classes = {FakeFramework::class_entry(19, 1)};
    FakeFramework::state().devices = {FakeFramework::device(0xc820, 0x0bda, 2)};
    peers.record_answers = {1, 1};
    state.handle(add_event(iface(0, "ff")));
    auto records = peers.of("record");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0].text.find("\"make\":\"Maker\""), std::string::npos);
    EXPECT_NE(records[0].text.find("\"status\":0}"), std::string::npos);
    EXPECT_EQ(records[1].text.find("Maker"), std::string::npos);
    EXPECT_NE(records[1].text.find("\"serial\":\"\",\"product\":\"\",\"manufacturer\":\"\","
                                   "\"bInterfaceClass\":\"ff\",\"status\":0}"),
              std::string::npos);
    EXPECT_EQ(peers.of("notify")[0].text,
              "{\"title\":\"检测到插入USB端口设备\",\"content\":\"当前无法识别类设备处于禁用状态\","
              "\"urgency\":\"2\",\"timeout\":9500}");
}

TEST_F(PlugStateTest, MissingAttributesAndIgnoredActions) {
    InterfaceEvent bad = add_event(iface(0, "08"));
    bad.num_interfaces.reset();
    state.handle(bad);
    EXPECT_TRUE(log.has("Invalid memory reference... devpath=" + *bad.devpath +
                        ", bInterfaceClass=08, idProduct=c820, idVendor=0bda, product=Stick, "
                        "manufacturer=Maker, bNumInterfaces=(null)"));
    EXPECT_TRUE(state.notifytable().empty());

    log.lines.clear();
    for (const char* action : {"bind", "change", "addx", "unbind"}) {
        InterfaceEvent e = add_event(iface(0, "08"));
        e.action = action;
        state.handle(e);
    }
    InterfaceEvent other = add_event(iface(0, "08"));
    other.subsystem = "usbmisc";
    state.handle(other);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_TRUE(peers.calls.empty());

    // Missing device strings read "null"; over-long ones are cut without splitting UTF-8.
    InterfaceEvent sparse = add_event(iface(0, "08"));
    sparse.manufacturer.reset();
    sparse.serial.reset();
    std::string long_product;
    for (int i = 0; i < 100; ++i)
        long_product += "设";
    sparse.product = long_product;
    state.handle(sparse);
    EXPECT_STREQ(device().manufacturer, "null");
    EXPECT_STREQ(device().serial, "null");
    EXPECT_EQ(std::string(device().product), long_product.substr(0, 255));
    ASSERT_EQ(peers.of("record").size(), 1u);
    EXPECT_NE(peers.of("record")[0].text.find("\"make\":\"null\""), std::string::npos);
}
