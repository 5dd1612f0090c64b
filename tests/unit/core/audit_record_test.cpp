#include "audit_record.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <deque>
#include <string>

#include <glib.h>
#include <gtest/gtest.h>

using namespace periphcore;

TEST(AuditRecord, ShapeVerbatimValuesTimeAndCut) {
    std::tm tm{};
    tm.tm_year = 2027 - 1900;
    tm.tm_mday = 5;
    tm.tm_sec = 9;
    // Not JSON: quotes of either kind pass unescaped.
    EXPECT_EQ(build_audit_record(format_audit_time(tm), "未登录", "usb-monitor", "192.0.2.10",
                                 "info", "it's \"x\""),
              "{'time':'2027-01-05 00:00:09','hostname':'未登录','name':'usb-monitor',"
              "'ip':'192.0.2.10','lv':'info','message':'it's \"x\"'}");

    std::string message;
    for (int i = 0; i < 400; ++i)
        message += "设";  // 3 bytes each
    std::string record = build_audit_record("t", "u", "n", "a", "l", message);
    EXPECT_LE(record.size(), kAuditRecordMax);
    EXPECT_GT(record.size(), kAuditRecordMax - 3);
    EXPECT_TRUE(g_utf8_validate(record.c_str(), -1, nullptr));
}

TEST(AuditRecord, UserFallsBackWhenNobodyIsLoggedIn) {
    EXPECT_EQ(user_or_fallback(std::nullopt), "未登录");
    EXPECT_EQ(user_or_fallback(std::string()), "未登录");
    EXPECT_EQ(user_or_fallback(std::string(" ")), "未登录");
    EXPECT_EQ(user_or_fallback(std::string("  ")), "  ");
}

TEST(AuditRecord, AddressIsTheFirstIpv4OfAnInterfaceNotNamedLo) {
    std::deque<std::pair<ifaddrs, sockaddr_storage>> nodes;  // stable addresses
    auto add = [&](const char* name, int family, const char* address) {
        auto& [entry, addr] = nodes.emplace_back();
        entry = {};
        addr = {};
        entry.ifa_name = const_cast<char*>(name);
        entry.ifa_addr = reinterpret_cast<sockaddr*>(&addr);
        addr.ss_family = static_cast<sa_family_t>(family);
        void* raw = family == AF_INET
                        ? static_cast<void*>(&reinterpret_cast<sockaddr_in*>(&addr)->sin_addr)
                        : &reinterpret_cast<sockaddr_in6*>(&addr)->sin6_addr;
        inet_pton(family, address, raw);
        if (nodes.size() > 1)
            nodes[nodes.size() - 2].first.ifa_next = &entry;
    };
    add("lo", AF_INET, "127.0.0.1");
    add("eth0", AF_INET6, "2001:db8::1");
    EXPECT_EQ(first_ipv4_address(&nodes.front().first), std::nullopt);
    add("lo0", AF_INET, "10.1.2.3");
    add("veth0", AF_INET, "192.0.2.10");
    EXPECT_EQ(first_ipv4_address(&nodes.front().first), "10.1.2.3");
}
