#include "records.h"

#include <glib.h>
#include <gtest/gtest.h>

using namespace plugwatch;

namespace {

std::string repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

const UsbEvent kStick{"c820", "0bda", "Stick", "Maker", "/devices/usb1/1-1/1-1:1.0", "08", "0001"};

}  // namespace

TEST(Records, NotificationAndAuditTexts) {
    EXPECT_EQ(notification_text(*notification_content(Category::Storage, 1), "1"),
              "{\"title\":\"检测到插入USB端口设备\",\"content\":\"当前存储类处于启用状态\","
              "\"urgency\":\"1\",\"timeout\":9500}");
    EXPECT_EQ(notification_content(Category::Storage, 3), std::nullopt);
    EXPECT_EQ(
        plug_audit_text(Category::VendorSpec, "/d", "null", "null",
                        *audit_state_suffix(Category::VendorSpec, 2)),
        "插入vendorspec设备路径 : /d  设备 PID: null ,VID: null  当前无法识别类设备处于禁用状态");
    EXPECT_EQ(unplug_audit_text("/d/1-1:1.0"), "弹出USB设备 路径为: /d/1-1:1.0");
}

TEST(Records, UsbEventRecordAndItsRetryForm) {
    EXPECT_EQ(usb_event_record(kStick, record_status(3), true),
              "{\"vid\":\"0bda\",\"pid\":\"c820\",\"make\":\"\",\"model\":\"\","
              "\"devpath\":\"/devices/usb1/1-1/1-1:1.0\",\"idVendor\":\"0bda\","
              "\"idProduct\":\"c820\",\"serial\":\"\",\"product\":\"\","
              "\"manufacturer\":\"\",\"bInterfaceClass\":\"08\",\"status\":-1}");
    EXPECT_EQ(record_status(1), 2);
    EXPECT_EQ(record_status(2), 0);
    EXPECT_EQ(record_status(5), 1);
}

TEST(Records, ForgedDeviceStringsCannotAddAKey) {
    UsbEvent forged = kStick;
    forged.manufacturer = R"(x","status":2,"y":")";
    forged.product = "back\\slash\nline";
    EXPECT_EQ(usb_event_record(forged, 0, false),
              R"({"vid":"0bda","pid":"c820","make":"x\",\"status\":2,\"y\":\"",)"
              R"("model":"back\\slash\nline","devpath":"/devices/usb1/1-1/1-1:1.0",)"
              R"("idVendor":"0bda","idProduct":"c820","serial":"0001",)"
              R"("product":"back\\slash\nline","manufacturer":"x\",\"status\":2,\"y\":\"",)"
              R"("bInterfaceClass":"08","status":0})");
}

TEST(Records, OverlongValuesAreCutWithinTheWidthsAtCharacterBoundaries) {
    std::string devpath = "/devices/" + repeat("é", 600);
    std::string suffix(*audit_state_suffix(Category::NonStorage, 5));
    std::string audit = plug_audit_text(Category::NonStorage, devpath, "0001", "0002", suffix);
    EXPECT_LE(audit.size(), kAuditTextMax);
    EXPECT_TRUE(g_utf8_validate(audit.c_str(), -1, nullptr));
    EXPECT_TRUE(audit.ends_with("  设备 PID: 0001 ,VID: 0002" + suffix));
    std::string unplug = unplug_audit_text(devpath);
    EXPECT_LE(unplug.size(), kAuditTextMax);
    EXPECT_TRUE(g_utf8_validate(unplug.c_str(), -1, nullptr));

    std::string product = repeat("设", 85);
    std::string quotes = repeat("\"", 255);  // doubles when escaped
    UsbEvent big{"c820", "0bda", product, quotes, devpath, "08", product};
    std::string record = usb_event_record(big, 2, false);
    EXPECT_LE(record.size(), kUsbEventRecordMax);
    EXPECT_GT(record.size(), kUsbEventRecordMax - 40);
    EXPECT_TRUE(g_utf8_validate(record.c_str(), -1, nullptr));
    EXPECT_TRUE(record.ends_with(",\"bInterfaceClass\":\"08\",\"status\":2}"));
    // The shortened manufacturer is whole escaped quotes: no escape was cut in half.
    const std::string open = "\"make\":\"";
    std::size_t from = record.find(open) + open.size();
    std::string make = record.substr(from, record.find("\",\"model\"") - from);
    ASSERT_FALSE(make.empty());
    EXPECT_EQ(make, repeat("\\\"", static_cast<int>(make.size() / 2)));
    EXPECT_EQ(make.size() % 2, 0u);
}
