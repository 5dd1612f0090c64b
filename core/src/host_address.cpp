#include "host_address.h"

#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "audit_record.h"

namespace periphcore {

namespace {

std::optional<std::string> list_address() {
    struct ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::nullopt;
    auto address = first_ipv4_address(list);
    freeifaddrs(list);
    return address;
}

}  // namespace

void HostAddress::open_watch() {
    watch_.reset(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
    watch_pid_ = ::getpid();
    if (!watch_)
        return;
    sockaddr_nl addr{};
    addr.nl_family = AF_NETLINK;
    // Links: an interface renamed, added or removed changes which one comes first.
    addr.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
    if (::bind(watch_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        watch_.reset();
}

bool HostAddress::changed() {
    if (!watch_ || watch_pid_ != ::getpid()) {
        // Opened before the lookup that follows, so no change after it goes unseen.
        open_watch();
        return true;
    }
    bool seen = false;
    char buf[8192];
    for (;;) {
        ssize_t n = ::recv(watch_.get(), buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            seen = true;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == ENOBUFS) {
            seen = true;  // reports were dropped: one of them may have been a change
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return seen;
        } else {
            watch_.reset();  // looked up every time until a new watch opens
            return true;
        }
    }
}

std::optional<std::string> HostAddress::get() {
    std::lock_guard lock(mu_);
    if (changed() || !known_) {
        address_ = list_address();
        // A failed listing is not kept: the next record tries again.
        known_ = address_.has_value();
    }
    return address_;
}

}  // namespace periphcore
