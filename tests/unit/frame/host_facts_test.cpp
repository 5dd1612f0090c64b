#include <arpa/inet.h>
#include <netinet/in.h>
#include <utmpx.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "mdm/frame/host_facts.h"

using mdm::frame::first_login_user;
using mdm::frame::LoginEntry;
using mdm::frame::route_source_address;
using mdm::frame::SocketCalls;

TEST(HostName, FirstUserProcessEntryWins) {
    // The boot and login-terminal entries come first in utmp; the first user session counts
    // even when the second user is the one at the desktop.
    std::vector<LoginEntry> entries = {
        {BOOT_TIME, "reboot"}, {LOGIN_PROCESS, "LOGIN"}, {USER_PROCESS, "alice"},
        {DEAD_PROCESS, ""},    {USER_PROCESS, "bob"},
    };
    EXPECT_EQ(first_login_user(entries), "alice");
}

TEST(HostName, RootWhenNobodyIsLoggedIn) {
    EXPECT_EQ(first_login_user({}), "root");
    std::vector<LoginEntry> no_users = {{BOOT_TIME, "reboot"}, {DEAD_PROCESS, "carol"}};
    EXPECT_EQ(first_login_user(no_users), "root");
}

// Socket calls that follow a script, remember what was asked and count the closes.
struct FakeSockets {
    int socket_result = 7;
    int connect_errno = 0;
    bool getsockname_fails = false;
    sa_family_t local_family = AF_INET;
    const char* local_address = "192.0.2.10";

    sockaddr_in connected{};
    std::vector<int> closed;

    SocketCalls calls() {
        SocketCalls c;
        c.socket = [this](int domain, int type, int) {
            EXPECT_EQ(domain, AF_INET);
            EXPECT_EQ(type, SOCK_DGRAM);
            return socket_result;
        };
        c.connect = [this](int, const sockaddr* addr, socklen_t len) {
            if (len >= sizeof connected)
                std::memcpy(&connected, addr, sizeof connected);
            if (connect_errno == 0)
                return 0;
            errno = connect_errno;
            return -1;
        };
        c.getsockname = [this](int, sockaddr* addr, socklen_t* len) {
            if (getsockname_fails)
                return -1;
            sockaddr_in local{};
            local.sin_family = local_family;
            inet_pton(AF_INET, local_address, &local.sin_addr);
            std::memcpy(addr, &local, sizeof local);
            *len = sizeof local;
            return 0;
        };
        c.close = [this](int fd) {
            closed.push_back(fd);
            return 0;
        };
        return c;
    }
};

TEST(HostIp, SourceAddressOfTheRouteToAPublicAddressOnPort80) {
    FakeSockets fake;
    EXPECT_EQ(route_source_address(fake.calls()), "192.0.2.10");
    EXPECT_EQ(fake.connected.sin_family, AF_INET);
    EXPECT_EQ(ntohs(fake.connected.sin_port), 80);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &fake.connected.sin_addr, text, sizeof text);
    EXPECT_STREQ(text, mdm::frame::kRouteProbeAddress);
    EXPECT_EQ(fake.closed, std::vector<int>{7});
}

TEST(HostIp, UnknownOnEveryFailureAndTheSocketIsReleased) {
    struct Case {
        const char* what;
        void (*break_it)(FakeSockets&);
        std::vector<int> closed;
    };
    const Case cases[] = {
        {"no route", [](FakeSockets& f) { f.connect_errno = ENETUNREACH; }, {7}},
        {"no socket", [](FakeSockets& f) { f.socket_result = -1; }, {}},
        {"local address unreadable", [](FakeSockets& f) { f.getsockname_fails = true; }, {7}},
        {"not an IPv4 address", [](FakeSockets& f) { f.local_family = AF_INET6; }, {7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSockets fake;
        c.break_it(fake);
        EXPECT_EQ(route_source_address(fake.calls()), "unknown");
        EXPECT_EQ(fake.closed, c.closed);
    }
}
