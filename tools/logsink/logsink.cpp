// Captures the system log of the programs under test: binds a datagram socket (the
// sandbox puts it at /dev/log) and appends each message to a file as "<severity> <msg>".
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "mdm/raii.h"
#include "syslog_line.h"

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 3) {
        std::fprintf(stderr, "usage: logsink SOCKET_PATH OUTPUT_FILE\n");
        return 2;
    }
    const std::string path = argv[1];
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(addr.sun_path)) {
        std::fprintf(stderr, "logsink: bad socket path: %s\n", path.c_str());
        return 2;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);

    mdm::FilePtr out(std::fopen(argv[2], "a"));
    if (!out) {
        std::fprintf(stderr, "logsink: cannot open %s: %s\n", argv[2], std::strerror(errno));
        return 1;
    }
    mdm::UniqueFd sock(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!sock || ::bind(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        std::fprintf(stderr, "logsink: cannot bind %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("logsink ready\n");

    // Large enough for any message syslog() sends over a local socket.
    std::vector<char> buf(256 * 1024);
    // Waits for a message, then takes whatever else is already queued before writing: one
    // write for a run of whole lines, so the capture costs the programs under test less of
    // the processors. The run is written as soon as the queue is empty.
    std::string run;
    auto write_run = [&] {
        std::fwrite(run.data(), 1, run.size(), out.get());
        std::fflush(out.get());
        run.clear();
    };
    int flags = 0;
    for (;;) {
        ssize_t n = ::recv(sock.get(), buf.data(), buf.size(), flags);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                write_run();
                flags = 0;
                continue;
            }
            std::fprintf(stderr, "logsink: recv: %s\n", std::strerror(errno));
            return 1;
        }
        run += logsink::syslog_line(std::string_view(buf.data(), n));
        run += '\n';
        if (run.size() >= 64 * 1024)
            write_run();
        flags = MSG_DONTWAIT;
    }
}
