// The host facts of an audit record. Each fact is computed anew on every read; the decisions
// are plain functions over given inputs, the I/O wrappers bind the system's sources.
#pragma once

#include <ctime>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace mdm::frame {

// "%Y-%m-%d %H:%M:%S" in local time.
std::string format_host_time(std::time_t when);
std::string get_host_time();

// One login accounting record, as much of it as the user fact needs.
struct LoginEntry {
    short type = 0;  // ut_type, e.g. USER_PROCESS
    std::string user;
};

// The user of the first user-process entry, in the order given; "root" when there is none.
std::string first_login_user(std::span<const LoginEntry> entries);
std::vector<LoginEntry> read_login_entries();  // the system's utmp, in its order
std::string get_host_name();

// The socket calls the address fact makes; tests replace them to simulate missing routes.
struct SocketCalls {
    std::function<int(int, int, int)> socket = ::socket;
    std::function<int(int, const sockaddr*, socklen_t)> connect = ::connect;
    std::function<int(int, sockaddr*, socklen_t*)> getsockname = ::getsockname;
    std::function<int(int)> close = ::close;
};

// Any routable public address does: connecting a datagram socket only makes the kernel pick
// the route and the source address, nothing is sent.
inline constexpr const char* kRouteProbeAddress = "8.8.8.8";
inline constexpr unsigned short kRouteProbePort = 80;

// The dotted-quad source address of the route to the outside, or "unknown" on any failure.
std::string route_source_address(const SocketCalls& calls);
std::string get_host_ip();

}  // namespace mdm::frame
