#include "plug_state.h"

#include <gtest/gtest.h>

#include "fakes.h"

using namespace plugwatch;
using plugwatch::test::FakeFramework;
using plugwatch::test::RecordingPeers;

namespace {

const std::string kDevice = "/devices/pci0000:00/0000:00:14.0/usb1/1-1";

struct Iface {
    std::string devpath;
    std::string cls;
};

class PlugStateTest : public plugwatch::test::FrameworkTest {
  protected:
    InterfaceEvent add_event(const Iface& iface, const std::string& num = " 1") {
        return {"usb",  "add",   iface.devpath, iface.cls, kDevice, "c820",
                "0bda", "Stick", "Maker",       num,       "0001"};
    }
    void remove(const Iface& iface) {
        InterfaceEvent e = add_event(iface);  // removal reads only the devpath
        e.action = "remove";
        state.handle(e);
    }
    static Iface iface(int n, const std::string& cls) {
        return {kDevice + "/1-1:1." + std::to_string(n), cls};
    }
    const UsbNotificationInfo& device() { return state.notifytable().at(kDevice); }

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
    // Storage first; both carry the class and devpath of the interface that completed it.
    auto audits = peers.of("logging");
    ASSERT_EQ(audits.size(), 2u);
    EXPECT_TRUE(audits[0].text.starts_with("插入storage设备路径 : " + hid.devpath + "  "));
    EXPECT_TRUE(audits[1].text.starts_with("插入nonstorage设备路径 : " + hid.devpath + "  "));
    auto records = peers.of("record");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].text, records[1].text);
    EXPECT_NE(records[0].text.find("\"bInterfaceClass\":\"03\""), std::string::npos);
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
    EXPECT_EQ(audits[1].text, "弹出USB设备 路径为: " + storage.devpath);
    EXPECT_TRUE(state.notifytable().empty());
    EXPECT_TRUE(state.interfacetable().empty());
}

TEST_F(PlugStateTest, ReAddAfterARemovalIsNotAnnouncedAgain) {
    Iface hid = iface(0, "03");
    Iface hid2 = iface(1, "03");
    Iface storage = iface(2, "08");
    for (const auto& i : {hid, hid2, storage})
        state.handle(add_event(i, " 3"));
    remove(hid);
    remove(hid2);
    EXPECT_EQ(peers.of("record").size(), 3u);  // one unplug record per category
    EXPECT_EQ(device().nostorageCounter, -1);

    // Re-plugging brings the counter from -1 to 0, so that interface is not announced;
    // only what is counted after it is, once the count is complete again.
    peers.calls.clear();
    state.handle(add_event(hid, " 3"));
    EXPECT_EQ(device().nostorageCounter, 0);
    EXPECT_TRUE(peers.calls.empty());
    state.handle(add_event(hid2, " 3"));
    auto records = peers.of("record");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].text.ends_with("\"bInterfaceClass\":\"03\",\"status\":2}"));
}

TEST_F(PlugStateTest, MissingAttributesStopTheEventAndMissingStringsReadNull) {
    InterfaceEvent bad = add_event(iface(0, "08"));
    bad.num_interfaces.reset();
    state.handle(bad);
    EXPECT_TRUE(log.has("Invalid memory reference... devpath=" + *bad.devpath +
                        ", bInterfaceClass=08, idProduct=c820, idVendor=0bda, product=Stick, "
                        "manufacturer=Maker, bNumInterfaces=(null)"));
    EXPECT_TRUE(state.notifytable().empty());

    // Missing device strings read "null"; over-long ones are cut without splitting UTF-8.
    InterfaceEvent sparse = add_event(iface(0, "08"));
    sparse.manufacturer.reset();
    sparse.product = std::string(254, 'p') + "设";
    state.handle(sparse);
    EXPECT_STREQ(device().manufacturer, "null");
    EXPECT_EQ(std::string(device().product), std::string(254, 'p'));
}

TEST_F(PlugStateTest, DeviceStringsReachTheLogEscapedAndThePeersUnchanged) {
    InterfaceEvent e = add_event(iface(0, "08"));
    e.product = "Stick\n<11>forged: root login";
    e.manufacturer = "Maker\x1b[2J\x7f";
    e.serial = "00\r01";
    e.id_product = "c8\t20";
    state.handle(e);
    ASSERT_EQ(peers.of("record").size(), 1u);
    EXPECT_NE(peers.of("record")[0].text.find(R"("model":"Stick\n<11>forged: root login")"),
              std::string::npos)
        << peers.of("record")[0].text;

    bool product_logged = false;
    for (const auto& line : log.lines) {
        // Some fixed log texts end in a line feed of their own; nothing else may be control.
        std::string_view text = line.text;
        if (text.ends_with('\n'))
            text.remove_suffix(1);
        for (char c : text) {
            auto u = static_cast<unsigned char>(c);
            EXPECT_TRUE(u >= 0x20 && u != 0x7f) << "control byte " << int(u) << " in: " << text;
        }
        product_logged |= text.find(R"(Stick\x0a<11>forged)") != std::string_view::npos;
    }
    EXPECT_TRUE(product_logged);
    EXPECT_TRUE(
        log.has("idProduct：c8\\x0920, idVendor：0bda, product：Stick\\x0a<11>forged: root "
                "login, manufacturer：Maker\\x1b[2J\\x7f, numInterface： 1"));
}

// The direct sysfs reads must hand out what libudev did, and find the same parent.
TEST(SysfsText, AttributesAndParentsReadAsLibudevGivesThem) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> attributes[] = {
        {"0bda\n", "0bda"},
        {" 1\n", " 1"},  // bNumInterfaces keeps its leading blank
        {"Stick\r\n\n", "Stick"},
        {"a\0b\n"s, "a"},
        {"\n", ""},
        {"", ""},
        {"two words \n", "two words "},
    };
    for (const auto& [raw, want] : attributes)
        EXPECT_EQ(plugwatch::trim_attribute(raw), want) << raw;

    const std::pair<std::string, std::string> parents[] = {
        {"/devices/1-9/1-9:1.0", "/devices/1-9"},
        {"/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0",
         "/devices/pci0000:00/0000:00:14.0/usb1/1-2"},
        {"/devices", ""},
        {"devices", ""},
        {"", ""},
    };
    for (const auto& [devpath, want] : parents)
        EXPECT_EQ(plugwatch::parent_devpath(devpath), want) << devpath;
}
