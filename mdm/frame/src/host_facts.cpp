#include "mdm/frame/host_facts.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <utmpx.h>

#include <cstring>

namespace mdm::frame {

std::string format_host_time(std::time_t when) {
    std::tm local{};
    if (!localtime_r(&when, &local))
        return {};
    char text[64];
    std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, n);
}

std::string get_host_time() {
    return format_host_time(std::time(nullptr));
}

std::string first_login_user(std::span<const LoginEntry> entries) {
    for (const LoginEntry& e : entries) {
        if (e.type == USER_PROCESS)
            return e.user;
    }
    return "root";
}

std::vector<LoginEntry> read_login_entries() {
    std::vector<LoginEntry> entries;
    setutxent();
    while (const utmpx* u = getutxent()) {
        // ut_user is a fixed-width field, not always terminated.
        entries.push_back(
            {u->ut_type, std::string(u->ut_user, strnlen(u->ut_user, sizeof u->ut_user))});
    }
    endutxent();
    return entries;
}

std::string get_host_name() {
    return first_login_user(read_login_entries());
}

std::string route_source_address(const SocketCalls& calls) {
    const std::string unknown = "unknown";
    int fd = calls.socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return unknown;
    struct Closer {
        const SocketCalls& calls;
        int fd;
        ~Closer() { calls.close(fd); }
    } closer{calls, fd};

    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(kRouteProbePort);
    if (inet_pton(AF_INET, kRouteProbeAddress, &remote.sin_addr) != 1)
        return unknown;
    if (calls.connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
        return unknown;
    }

    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (calls.getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        return unknown;
    if (local.ss_family != AF_INET || len < sizeof(sockaddr_in))
        return unknown;
    char text[INET_ADDRSTRLEN];
    const auto& in = reinterpret_cast<const sockaddr_in&>(local);
    if (!inet_ntop(AF_INET, &in.sin_addr, text, sizeof text))
        return unknown;
    return text;
}

std::string get_host_ip() {
    return route_source_address(SocketCalls{});
}

}  // namespace mdm::frame
