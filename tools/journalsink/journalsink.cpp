// Captures what programs under test write to the systemd journal: binds a datagram socket
// (the sandbox puts it at /run/systemd/journal/socket, where libsystemd sends) and appends
// each well-formed entry to a file in the journal's export format. Entries too large for a
// datagram arrive as a memory file passed with the message, as journald receives them.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "journal_native.h"
#include "mdm/raii.h"

namespace {

// The passed file's contents, read from its start.
bool read_passed_file(int fd, std::string& out) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (64 << 20))
        return false;
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(done));
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 3) {
        std::fprintf(stderr, "usage: journalsink SOCKET_PATH OUTPUT_FILE\n");
        return 2;
    }
    const std::string path = argv[1];
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(addr.sun_path)) {
        std::fprintf(stderr, "journalsink: bad socket path: %s\n", path.c_str());
        return 2;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    mdm::FilePtr out(std::fopen(argv[2], "a"));
    if (!out) {
        std::fprintf(stderr, "journalsink: cannot open %s: %s\n", argv[2], std::strerror(errno));
        return 1;
    }
    mdm::UniqueFd sock(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!sock || ::bind(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        std::fprintf(stderr, "journalsink: cannot bind %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return 1;
    }
    // As journald does: large entries stay datagrams where the socket allows.
    int rcvbuf = 8 << 20;
    setsockopt(sock.get(), SOL_SOCKET, SO_RCVBUFFORCE, &rcvbuf, sizeof rcvbuf);
    std::printf("journalsink ready\n");

    std::vector<char> buf(8 << 20);
    for (;;) {
        iovec iov{buf.data(), buf.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t n = ::recvmsg(sock.get(), &msg, MSG_CMSG_CLOEXEC);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "journalsink: recvmsg: %s\n", std::strerror(errno));
            return 1;
        }
        std::string data(buf.data(), static_cast<std::size_t>(n));
        bool passed_ok = true;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
                mdm::UniqueFd owned(fd);
                if (i == 0 && n == 0)
                    passed_ok = read_passed_file(owned.get(), data);
            }
        }
        if (!passed_ok || (msg.msg_flags & MSG_TRUNC) || !journalsink::decode_datagram(data)) {
            std::fprintf(stderr, "journalsink: dropped a malformed entry of %zu bytes\n",
                         data.size());
            continue;
        }
        data += '\n';
        std::fwrite(data.data(), 1, data.size(), out.get());
        std::fflush(out.get());
    }
}
