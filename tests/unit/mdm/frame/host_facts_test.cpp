#include <arpa/inet.h>
#include <netinet/in.h>
#include <utmpx.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "mdm/frame/host_facts.h"

using mdm::frame::LoginEntry;
using mdm::frame::SocketCalls;

TEST(HostName, FirstUserProcessEntryElseRoot) {
    // The first user session counts, even when the second user is the one at the desktop.
    std::vector<LoginEntry> two = {{LOGIN_PROCESS, "LOGIN"},
                                   {USER_PROCESS, "alice"},
                                   {DEAD_PROCESS, ""},
                                   {USER_PROCESS, "bob"}};
    EXPECT_EQ(mdm::frame::first_login_user(two), "alice");
    EXPECT_EQ(mdm::frame::first_login_user({}), "root");
    std::vector<LoginEntry> no_users = {{BOOT_TIME, "reboot"}, {DEAD_PROCESS, "carol"}};
    EXPECT_EQ(mdm::frame::first_login_user(no_users), "root");
}

// Socket calls that connect (or fail to), report 192.0.2.10 and record the closes.
struct FakeSockets {
    int connect_errno = 0;
    sockaddr_in connected{};
    std::vector<int> closed;

    SocketCalls calls() {
        SocketCalls c;
        c.socket = [](int, int, int) { return 7; };
        c.connect = [this](int, const sockaddr* addr, socklen_t) {
            std::memcpy(&connected, addr, sizeof connected);
            errno = connect_errno;
            return connect_errno ? -1 : 0;
        };
        c.getsockname = [](int, sockaddr* addr, socklen_t* len) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            inet_pton(AF_INET, "192.0.2.10", &local.sin_addr);
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

TEST(HostIp, SourceAddressOfTheRouteOrUnknownAndTheSocketIsReleased) {
    FakeSockets fake;
    EXPECT_EQ(mdm::frame::route_source_address(fake.calls()), "192.0.2.10");
    EXPECT_EQ(ntohs(fake.connected.sin_port), 80);
    EXPECT_EQ(fake.closed, std::vector<int>{7});

    FakeSockets no_route;
    no_route.connect_errno = ENETUNREACH;
    EXPECT_EQ(mdm::frame::route_source_address(no_route.calls()), "unknown");
    EXPECT_EQ(no_route.closed, std::vector<int>{7});
}
