// The enforcement rule and its safety rules, as tables of cases.
#include <gtest/gtest.h>

#include "enforce_config.h"
#include "enforce_rule.h"
#include "usb_kernel.h"
#include "tarvex/adapter.h"

using namespace tarvex_standin;
using mdm::tarvex::class_record;
using mdm::tarvex::device_record;

namespace {

struct Case {
    const char* what;
    Tables tables;
    InterfaceFacts facts;
    Action action;
    Reason reason;
};

constexpr uint32_t kPid = 0xc820, kVid = 0x0bda;

InterfaceFacts iface(std::string_view cls, bool network = false) {
    return {cls, kPid, kVid, network};
}

Tables device(int perm, std::vector<tarvex_devctl_info> classes = {}) {
    return {{device_record(kPid, kVid, perm)}, std::move(classes)};
}
Tables classes(std::vector<tarvex_devctl_info> c) {
    return {{}, std::move(c)};
}

void check(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        Decision d = decide(Policy(c.tables), c.facts);
        EXPECT_EQ(action_word(d.action), std::string(action_word(c.action))) << c.what;
        EXPECT_EQ(reason_word(d.reason), std::string(reason_word(c.reason))) << c.what;
    }
}

}  // namespace

TEST(EnforceRule, DeviceEntryFirstThenTheClassEntryOfStorageAndVendorspec) {
    check({
        {"nothing", {}, iface("08"), Action::Authorize, Reason::NoEntry},
        {"storage class deny", classes({class_record(9, 6, 2)}), iface("08"), Action::Deauthorize,
         Reason::ClassEntry},
        {"storage class read-only", classes({class_record(9, 6, 5)}), iface("08"), Action::ReadOnly,
         Reason::ClassEntry},
        {"vendorspec class deny", classes({class_record(9, 19, 2)}), iface("ff"),
         Action::Deauthorize, Reason::ClassEntry},
        {"vendorspec read-only allows", classes({class_record(9, 19, 5)}), iface("ff"),
         Action::Authorize, Reason::ClassEntry},
        {"storage entry leaves vendorspec", classes({class_record(9, 6, 2)}), iface("ff"),
         Action::Authorize, Reason::NoEntry},
        {"first class entry of a subtype wins",
         classes({class_record(9, 6, 5), class_record(3, 6, 2)}), iface("08"), Action::ReadOnly,
         Reason::ClassEntry},
        {"device allow beats class deny", device(1, {class_record(9, 6, 2)}), iface("08"),
         Action::Authorize, Reason::DeviceEntry},
        {"device deny beats class allow", device(2, {class_record(9, 6, 1)}), iface("08"),
         Action::Deauthorize, Reason::DeviceEntry},
        {"device read-only on storage", device(5), iface("08"), Action::ReadOnly,
         Reason::DeviceEntry},
        {"device read-only elsewhere allows", device(5), iface("0e"), Action::Authorize,
         Reason::DeviceEntry},
        {"device deny on a camera", device(2), iface("0e"), Action::Deauthorize,
         Reason::DeviceEntry},
        {"unknown perm allows", device(3), iface("08"), Action::Authorize, Reason::DeviceEntry},
        {"other ids",
         {{device_record(1, kVid, 2)}, {}},
         iface("08"),
         Action::Authorize,
         Reason::NoEntry},
        {"unreadable ids match no entry",
         device(2),
         {"08", std::nullopt, kVid},
         Action::Authorize,
         Reason::NoEntry},
        {"first device entry of a key wins",
         {{device_record(kPid, kVid, 1), device_record(kPid, kVid, 2)}, {}},
         iface("08"),
         Action::Authorize,
         Reason::DeviceEntry},
    });
}

TEST(EnforceRule, HubsAndInputDevicesAreSafeFromClassEntries) {
    const std::vector<tarvex_devctl_info> deny_all = {class_record(9, 6, 2), class_record(9, 19, 2),
                                                      class_record(9, 0, 2),
                                                      class_record(kNetCardType, 0, 2)};
    check({
        {"hub under device deny", device(2), iface("09"), Action::Authorize, Reason::Hub},
        {"hub under every class deny", classes(deny_all), iface("09"), Action::Authorize,
         Reason::Hub},
        {"hub with a network function", classes(deny_all), iface("09", true), Action::Authorize,
         Reason::Hub},
        {"keyboard under every class deny", classes(deny_all), iface("03"), Action::Authorize,
         Reason::Hid},
        {"keyboard under its own device deny", device(2, deny_all), iface("03"),
         Action::Deauthorize, Reason::DeviceEntry},
        {"camera under every class deny", classes(deny_all), iface("0e"), Action::Authorize,
         Reason::NoEntry},
        {"hub in a damaged store", {}, iface("09"), Action::Authorize, Reason::Hub},
    });
    Policy damaged = Policy::damaged();
    for (const char* cls : {"03", "09", "0e", "02"})
        EXPECT_EQ(decide(damaged, iface(cls)).action, Action::Authorize) << cls;
    for (const char* cls : {"08", "ff"})
        EXPECT_EQ(decide(damaged, iface(cls)).action, Action::Deauthorize) << cls;
}

TEST(EnforceRule, NetworkCardEntryOnlyTakesNetworkInterfaces) {
    const auto net_deny = class_record(kNetCardType, 0, 2);
    check({
        {"adapter under net deny", classes({net_deny}), iface("02", true), Action::Deauthorize,
         Reason::NetCardEntry},
        {"vendorspec adapter under net deny", classes({net_deny, class_record(9, 19, 1)}),
         iface("ff", true), Action::Deauthorize, Reason::NetCardEntry},
        {"adapter under net allow", classes({class_record(kNetCardType, 0, 1)}), iface("02", true),
         Action::Authorize, Reason::NoEntry},
        {"adapter allowed by its device entry", device(1, {net_deny}), iface("ff", true),
         Action::Authorize, Reason::DeviceEntry},
        {"keyboard under net deny", classes({net_deny}), iface("03"), Action::Authorize,
         Reason::Hid},
        {"camera under net deny", classes({net_deny}), iface("0e"), Action::Authorize,
         Reason::NoEntry},
        {"comm interface without a network device", classes({net_deny}), iface("02"),
         Action::Authorize, Reason::NoEntry},
        {"type 7 of another subtype is no network entry", classes({class_record(7, 6, 1)}),
         iface("02", true), Action::Authorize, Reason::NoEntry},
    });
}

TEST(EnforceRule, IdsAreTheirPrintedForm) {
    EXPECT_EQ(mdm::parse_rendered_hex("c820"), 0xc820u);
    EXPECT_EQ(mdm::parse_rendered_hex("0001"), 1u);
    EXPECT_EQ(mdm::parse_rendered_hex("12345"), 0x12345u);
    for (const char* bad : {"C820", "820", "00001", "", "c82g", "123456789", " c82"})
        EXPECT_FALSE(mdm::parse_rendered_hex(bad)) << bad;
}

TEST(EnforceConfig, StrictSettingAndTheBootSwitch) {
    std::vector<std::string> warnings;
    auto warn = [&](const std::string& w) { warnings.push_back(w); };
    EXPECT_FALSE(parse_enforce_config("", warn).strict);
    EXPECT_TRUE(parse_enforce_config("# comment\n strict = yes # on\n", warn).strict);
    EXPECT_FALSE(parse_enforce_config("strict=yes\nstrict = no\n", warn).strict);
    EXPECT_TRUE(warnings.empty());
    // A line not understood is skipped and does not hide the lines after it.
    EXPECT_TRUE(parse_enforce_config("strict = maybe\nbogus\nstrict = yes", warn).strict);
    EXPECT_EQ(warnings.size(), 2u);

    EXPECT_TRUE(enforcement_off("root=/dev/vda tarvex.enforce=off quiet\n"));
    EXPECT_TRUE(enforcement_off("tarvex.enforce=off"));
    for (const char* other : {"", "quiet", "tarvex.enforce=offx", "xtarvex.enforce=off",
                              "tarvex.enforce=on", "tarvex.enforce="})
        EXPECT_FALSE(enforcement_off(other)) << other;
}

TEST(EnforceKernel, RootHubsAreKnownByTheirName) {
    EXPECT_TRUE(is_root_hub("/devices/pci0000:00/0000:00:14.0/usb3"));
    EXPECT_TRUE(is_root_hub("/devices/usb12"));
    for (const char* other : {"/devices/usb1/1-1", "/devices/usb1/1-0:1.0", "/devices/usb",
                              "/devices/pci0000:00/usbmon", "/devices/usb1x", ""})
        EXPECT_FALSE(is_root_hub(other)) << other;
}
