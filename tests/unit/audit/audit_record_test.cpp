#include "audit_record.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <deque>
#include <string>

#include <glib.h>
#include <gtest/gtest.h>

using namespace periphcore;

namespace {

// A getifaddrs-style list built by hand.
class InterfaceList {
  public:
    InterfaceList& add(const char* name, int family, const char* address = nullptr) {
        auto& node = nodes_.emplace_back();
        node.entry.ifa_name = const_cast<char*>(name);
        if (family == AF_INET) {
            node.v4.sin_family = AF_INET;
            inet_pton(AF_INET, address, &node.v4.sin_addr);
            node.entry.ifa_addr = reinterpret_cast<sockaddr*>(&node.v4);
        } else if (family == AF_INET6) {
            node.v6.sin6_family = AF_INET6;
            inet_pton(AF_INET6, address, &node.v6.sin6_addr);
            node.entry.ifa_addr = reinterpret_cast<sockaddr*>(&node.v6);
        }
        if (nodes_.size() > 1)
            nodes_[nodes_.size() - 2].entry.ifa_next = &node.entry;
        return *this;
    }
    const ifaddrs* get() const { return nodes_.empty() ? nullptr : &nodes_.front().entry; }

  private:
    struct Node {
        ifaddrs entry{};
        sockaddr_in v4{};
        sockaddr_in6 v6{};
    };
    std::deque<Node> nodes_;  // stable addresses
};

}  // namespace

TEST(AuditRecord, HasTheExactShapeWithValuesVerbatim) {
    EXPECT_EQ(build_audit_record("2026-12-07 09:05:03", "alice", "usb-monitor", "192.0.2.10",
                                 "warning", "弹出USB设备 路径为: /devices/x"),
              "{'time':'2026-12-07 09:05:03','hostname':'alice','name':'usb-monitor',"
              "'ip':'192.0.2.10','lv':'warning','message':'弹出USB设备 路径为: /devices/x'}");
    // Not JSON: quotes of either kind pass unescaped.
    EXPECT_EQ(build_audit_record("t", "未登录", "n", "a", "info", "it's \"x\""),
              "{'time':'t','hostname':'未登录','name':'n','ip':'a','lv':'info',"
              "'message':'it's \"x\"'}");
}

TEST(AuditRecord, OverlongMessageIsCutAtACharacterBoundary) {
    std::string message;
    for (int i = 0; i < 400; ++i)
        message += "设";  // 3 bytes each
    std::string record = build_audit_record("t", "u", "n", "a", "l", message);
    EXPECT_LE(record.size(), kAuditRecordMax);
    EXPECT_GT(record.size(), kAuditRecordMax - 3);
    EXPECT_TRUE(g_utf8_validate(record.c_str(), -1, nullptr));
    EXPECT_EQ(
        record.rfind("{'time':'t','hostname':'u','name':'n','ip':'a','lv':'l','message':'", 0), 0u);
}

TEST(AuditRecord, TimeIsZeroPadded) {
    std::tm tm{};
    tm.tm_year = 2027 - 1900;
    tm.tm_mon = 0;
    tm.tm_mday = 5;
    tm.tm_hour = 3;
    tm.tm_min = 4;
    tm.tm_sec = 9;
    EXPECT_EQ(format_audit_time(tm), "2027-01-05 03:04:09");
}

TEST(AuditRecord, UserFallsBackWhenNobodyIsLoggedIn) {
    EXPECT_EQ(user_or_fallback(std::nullopt), "未登录");
    EXPECT_EQ(user_or_fallback(std::string()), "未登录");
    EXPECT_EQ(user_or_fallback(std::string(" ")), "未登录");
    EXPECT_EQ(user_or_fallback(std::string("  ")), "  ");
    EXPECT_EQ(user_or_fallback(std::string("bob")), "bob");
}

TEST(AuditRecord, AddressIsTheFirstNonLoopbackIpv4) {
    InterfaceList list;
    list.add("lo", AF_INET, "127.0.0.1")
        .add("eth0", AF_PACKET)
        .add("eth0", AF_INET6, "2001:db8::1")
        .add("veth0", AF_INET, "192.0.2.10")
        .add("wlan0", AF_INET, "198.51.100.7");
    EXPECT_EQ(first_ipv4_address(list.get()), "192.0.2.10");

    // Only the name "lo" itself is skipped.
    InterfaceList lo0;
    lo0.add("lo0", AF_INET, "10.1.2.3");
    EXPECT_EQ(first_ipv4_address(lo0.get()), "10.1.2.3");
}

TEST(AuditRecord, NoAddressWithOnlyLoopbackAndIpv6) {
    InterfaceList list;
    list.add("lo", AF_INET, "127.0.0.1").add("eth0", AF_INET6, "2001:db8::1").add("tun0", 0);
    EXPECT_EQ(first_ipv4_address(list.get()), std::nullopt);
    EXPECT_EQ(first_ipv4_address(nullptr), std::nullopt);
}
