// Audit records and USB event records into journal entries.
#include <gtest/gtest.h>

#include <map>

#include "journal_entry.h"
#include "records.h"

namespace {

using namespace stockpeers;

std::map<std::string, std::string> fields_of(const JournalEntry& e) {
    std::map<std::string, std::string> m;
    for (const auto& f : e) {
        EXPECT_TRUE(m.emplace(f.name, f.value).second) << "field twice: " << f.name;
    }
    return m;
}

TEST(AuditRecord, BothShapesGiveTheirFieldsAndAQuoteInTheMessageStaysInIt) {
    const std::string core =
        "{'time':'2026-03-01 08:05:09','hostname':'alice','name':'usb-monitor','ip':'192.0.2.10',"
        "'lv':'warning','message':'插入storage设备路径 : /x it's','name':'y'}";
    auto e = fields_of(audit_entry(core, "mdm-logd"));
    EXPECT_EQ(e["MESSAGE"], "插入storage设备路径 : /x it's','name':'y");
    EXPECT_EQ(e["PRIORITY"], "4");
    EXPECT_EQ(e["MESSAGE_ID"], kAuditMessageId);
    EXPECT_EQ(e["SYSLOG_IDENTIFIER"], "mdm-logd");
    EXPECT_EQ(e["MDM_TIME"], "2026-03-01 08:05:09");
    EXPECT_EQ(e["MDM_USER"], "alice");
    EXPECT_EQ(e["MDM_SOURCE"], "usb-monitor");
    EXPECT_EQ(e["MDM_ADDRESS"], "192.0.2.10");
    EXPECT_EQ(e["MDM_LEVEL"], "warning");
    EXPECT_EQ(e["MDM_SHAPE"], "core");
    EXPECT_EQ(e["MDM_RECORD"], core);
    EXPECT_EQ(e.count("MDM_MALFORMED") + e.count("MDM_TRUNCATED"), 0u);

    const std::string service =
        "{'time':'2026-03-01 08:05:10','hostname':'root','ip':'unknown','name':'list-control',"
        "'lv':'info','message':'SetBlackList 66660951'}";
    e = fields_of(audit_entry(service, "mdm-logd"));
    EXPECT_EQ(e["MDM_SHAPE"], "service");
    EXPECT_EQ(e["MDM_SOURCE"], "list-control");
    EXPECT_EQ(e["MDM_ADDRESS"], "unknown");
    EXPECT_EQ(e["MDM_USER"], "root");
    EXPECT_EQ(e["PRIORITY"], "6");
    EXPECT_EQ(e["MESSAGE"], "SetBlackList 66660951");
}

TEST(AuditRecord, WithoutTheShapeOrBeyondTheCapItIsKeptAndFlagged) {
    for (std::string bad : {std::string("plain text"), std::string("{'time':'x','hostname':'u'}"),
                            std::string("{'time':'t','hostname':'u','name':'n','ip':'a','lv':'l',"
                                        "'message':'no end")}) {
        auto e = fields_of(audit_entry(bad, "mdm-logd"));
        EXPECT_EQ(e["MDM_MALFORMED"], "1") << bad;
        EXPECT_EQ(e["MDM_RECORD"], bad);
        EXPECT_EQ(e["PRIORITY"], "4");
        EXPECT_EQ(e["MESSAGE_ID"], kAuditMessageId);
        EXPECT_EQ(e.count("MDM_USER"), 0u);
    }
    // Bytes that are not UTF-8 stay bytes in the record and are spelled out in MESSAGE.
    const std::string bytes =
        "{'time':'t','hostname':'\xff','name':'n','ip':'a','lv':'info',"
        "'message':'a\xc0\xaf"
        "b'}";
    auto b = fields_of(audit_entry(bytes, "mdm-logd"));
    EXPECT_EQ(b["MDM_USER"], "\xff");
    EXPECT_EQ(b["MESSAGE"], "a\\xc0\\xafb");
    EXPECT_EQ(b["MDM_RECORD"], bytes);

    // A well-shaped record beyond the cap has lost its end.
    std::string huge = "{'time':'t','hostname':'u','name':'n','ip':'a','lv':'info','message':'" +
                       std::string(1 << 20, '\x01') + "'}";
    auto entry = audit_entry(huge, "mdm-logd");
    auto e = fields_of(entry);
    EXPECT_EQ(e["MDM_RECORD"], huge.substr(0, kMaxRecordBytes));
    EXPECT_EQ(e["MDM_TRUNCATED"], "1");
    EXPECT_EQ(e["MDM_RECORD_SIZE"], std::to_string(huge.size()));
    EXPECT_EQ(e["MDM_MALFORMED"], "1");
    EXPECT_LE(e["MESSAGE"].size(), kMaxMessageBytes);
    EXPECT_EQ(e["MESSAGE"].find('\x01'), std::string::npos);
}

TEST(Level, KnownLevelsMapToTheirPriorityAndTheRestToInfo) {
    EXPECT_EQ(level_priority("warning"), 4);
    EXPECT_EQ(level_priority("WARNING"), 4);
    EXPECT_EQ(level_priority("error"), 3);
    EXPECT_EQ(level_priority("debug"), 7);
    EXPECT_EQ(level_priority("emerg"), 0);
    EXPECT_EQ(level_priority("info"), 6);
    EXPECT_EQ(level_priority("bogus"), 6);
    EXPECT_EQ(level_priority(std::string_view("warning\0x", 9)), 6);
}

TEST(DeviceLog, PlugRecordsRetriesAndPullOutsBecomeFields) {
    const std::string plug =
        R"({"vid":"0bda","pid":"c820","make":"Ma"ker","model":"Stick","devpath":"/devices/1-1:1.0",)"
        R"("idVendor":"0bda","idProduct":"c820","serial":"0001","product":"Stick",)"
        R"("manufacturer":"Ma"ker","bInterfaceClass":"08","status":2})";
    auto e = fields_of(device_entry(plug, UsbEvent::PlugIn, "mdm-clientd"));
    EXPECT_EQ(e["MESSAGE"],
              "USB device plugged in: 0bda:c820 Ma\"ker Stick, serial 0001, interface class 08, "
              "enabled");
    EXPECT_EQ(e["MESSAGE_ID"], kUsbPlugInMessageId);
    EXPECT_EQ(e["PRIORITY"], "5");
    EXPECT_EQ(e["MDM_USB_EVENT"], "plug-in");
    EXPECT_EQ(e["MDM_USB_VID"], "0bda");
    EXPECT_EQ(e["MDM_USB_PID"], "c820");
    EXPECT_EQ(e["MDM_USB_MANUFACTURER"], "Ma\"ker");
    EXPECT_EQ(e["MDM_USB_PRODUCT"], "Stick");
    EXPECT_EQ(e["MDM_USB_SERIAL"], "0001");
    EXPECT_EQ(e["MDM_USB_DEVPATH"], "/devices/1-1:1.0");
    EXPECT_EQ(e["MDM_USB_CLASS"], "08");
    EXPECT_EQ(e["MDM_USB_STATUS"], "2");
    EXPECT_EQ(e["MDM_RECORD"], plug);

    const std::string pull =
        R"({"vid":"0bda","pid":"c820","make":"","model":"","devpath":"/d","idVendor":"0bda",)"
        R"("idProduct":"c820","serial":"","product":"","manufacturer":"","bInterfaceClass":"08",)"
        R"("status":-1})";
    e = fields_of(device_entry(pull, UsbEvent::PullOut, "mdm-clientd"));
    EXPECT_EQ(e["MESSAGE"], "USB device pulled out: 0bda:c820, serial , interface class 08");
    EXPECT_EQ(e["MESSAGE_ID"], kUsbPullOutMessageId);
    EXPECT_EQ(e["MDM_USB_STATUS"], "-1");
    EXPECT_EQ(e["PRIORITY"], "6");

    for (std::string bad : {pull.substr(0, pull.size() - 1), std::string("{}"),
                            std::string(R"({"vid":"a","pid":"b","make":"","model":"",)"
                                        R"("devpath":"","idVendor":"","idProduct":"",)"
                                        R"("serial":"","product":"","manufacturer":"",)"
                                        R"("bInterfaceClass":"08","status":two})")}) {
        e = fields_of(device_entry(bad, UsbEvent::PullOut, "mdm-clientd"));
        EXPECT_EQ(e["MDM_MALFORMED"], "1") << bad;
        EXPECT_EQ(e["MDM_RECORD"], bad);
        EXPECT_EQ(e["MDM_USB_EVENT"], "pull-out");
        EXPECT_EQ(e.count("MDM_USB_VID"), 0u);
    }
}

}  // namespace
