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

const UsbEvent kStick{"c820", "0bda", "Stick", "Maker", "/devices/pci0000:00/usb1/1-1/1-1:1.0",
                      "08",   "0001"};

}  // namespace

TEST(Records, NotificationText) {
    EXPECT_EQ(notification_text(*notification_content(Category::Storage, 1), "1"),
              "{\"title\":\"检测到插入USB端口设备\",\"content\":\"当前存储类处于启用状态\","
              "\"urgency\":\"1\",\"timeout\":9500}");
    EXPECT_EQ(notification_content(Category::Storage, 3), std::nullopt);
    // Escaping leaves the fixed texts as they are but keeps any other value a JSON string.
    EXPECT_EQ(notification_text("a\"b", "1"),
              "{\"title\":\"检测到插入USB端口设备\",\"content\":\"a\\\"b\","
              "\"urgency\":\"1\",\"timeout\":9500}");
}

TEST(Records, PlugAndUnplugAuditTexts) {
    EXPECT_EQ(plug_audit_text(Category::Storage, "/devices/x/1-1:1.0", "c820", "0bda",
                              *audit_state_suffix(Category::Storage, 1)),
              "插入storage设备路径 : /devices/x/1-1:1.0  设备 PID: c820 ,VID: 0bda"
              "  当前存储类设备处于启用状态");
    EXPECT_EQ(
        plug_audit_text(Category::VendorSpec, "/d", "null", "null",
                        *audit_state_suffix(Category::VendorSpec, 2)),
        "插入vendorspec设备路径 : /d  设备 PID: null ,VID: null  当前无法识别类设备处于禁用状态");
    EXPECT_EQ(unplug_audit_text("/devices/x/1-1:1.0"), "弹出USB设备 路径为: /devices/x/1-1:1.0");
}

TEST(Records, OverlongDevpathShortensTheAuditTextButKeepsItsState) {
    std::string devpath = "/devices/" + repeat("é", 600);
    std::string suffix(*audit_state_suffix(Category::NonStorage, 5));
    std::string text = plug_audit_text(Category::NonStorage, devpath, "0001", "0002", suffix);
    EXPECT_LE(text.size(), kAuditTextMax);
    EXPECT_GE(text.size(), kAuditTextMax - 1);
    EXPECT_TRUE(g_utf8_validate(text.c_str(), -1, nullptr));
    EXPECT_TRUE(text.ends_with("  设备 PID: 0001 ,VID: 0002" + suffix));

    std::string unplug = unplug_audit_text(devpath);
    EXPECT_LE(unplug.size(), kAuditTextMax);
    EXPECT_TRUE(g_utf8_validate(unplug.c_str(), -1, nullptr));
}

TEST(Records, UsbEventRecordKeysStatusAndRetryForm) {
    EXPECT_EQ(usb_event_record(kStick, record_status(1), false),
              "{\"vid\":\"0bda\",\"pid\":\"c820\",\"make\":\"Maker\",\"model\":\"Stick\","
              "\"devpath\":\"/devices/pci0000:00/usb1/1-1/1-1:1.0\",\"idVendor\":\"0bda\","
              "\"idProduct\":\"c820\",\"serial\":\"0001\",\"product\":\"Stick\","
              "\"manufacturer\":\"Maker\",\"bInterfaceClass\":\"08\",\"status\":2}");
    EXPECT_EQ(usb_event_record(kStick, record_status(-1), true),
              "{\"vid\":\"0bda\",\"pid\":\"c820\",\"make\":\"\",\"model\":\"\","
              "\"devpath\":\"/devices/pci0000:00/usb1/1-1/1-1:1.0\",\"idVendor\":\"0bda\","
              "\"idProduct\":\"c820\",\"serial\":\"\",\"product\":\"\","
              "\"manufacturer\":\"\",\"bInterfaceClass\":\"08\",\"status\":-1}");
    EXPECT_EQ(record_status(2), 0);
    EXPECT_EQ(record_status(5), 1);
    EXPECT_EQ(record_status(3), -1);
}

TEST(Records, ForgedManufacturerCannotAddAKey) {
    UsbEvent forged = kStick;
    forged.manufacturer = R"(x","status":2,"y":")";
    forged.product = "back\\slash\nline";
    std::string record = usb_event_record(forged, record_status(2), false);
    EXPECT_EQ(record,
              R"({"vid":"0bda","pid":"c820","make":"x\",\"status\":2,\"y\":\"",)"
              R"("model":"back\\slash\nline","devpath":"/devices/pci0000:00/usb1/1-1/1-1:1.0",)"
              R"("idVendor":"0bda","idProduct":"c820","serial":"0001",)"
              R"("product":"back\\slash\nline","manufacturer":"x\",\"status\":2,\"y\":\"",)"
              R"("bInterfaceClass":"08","status":0})");
}

TEST(Records, OverlongRecordStaysACompleteObjectWithinItsWidth) {
    std::string product = repeat("设", 85);  // 255 bytes, the field's limit
    std::string devpath = "/devices/" + repeat("a", 1014);
    std::string quotes = repeat("\"", 255);  // doubles when escaped
    UsbEvent big{"c820", "0bda", product, quotes, devpath, "08", product};
    std::string record = usb_event_record(big, 2, false);
    EXPECT_LE(record.size(), kUsbEventRecordMax);
    EXPECT_GT(record.size(), kUsbEventRecordMax - 40);
    EXPECT_TRUE(g_utf8_validate(record.c_str(), -1, nullptr));
    EXPECT_TRUE(record.starts_with("{\"vid\":\"0bda\",\"pid\":\"c820\",\"make\":\"\\\""));
    EXPECT_TRUE(record.ends_with(",\"bInterfaceClass\":\"08\",\"status\":2}"));
    // The shortened manufacturer is whole escaped quotes: no escape was cut in half.
    const std::string open = "\"make\":\"";
    std::size_t from = record.find(open) + open.size();
    std::string make = record.substr(from, record.find("\",\"model\"") - from);
    ASSERT_FALSE(make.empty());
    ASSERT_EQ(make.size() % 2, 0u);
    EXPECT_EQ(make, repeat("\\\"", static_cast<int>(make.size() / 2)));
    EXPECT_NE(record.find("\",\"model\":\"设"), std::string::npos);
}
