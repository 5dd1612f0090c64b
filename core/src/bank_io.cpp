#include "bank_io.h"

#include <unistd.h>

#include <cerrno>

namespace periphcore::bank {

namespace {

template <class Buf, class Op>
ssize_t transfer(int fd, Buf* buf, std::size_t len, Op op) {
    std::size_t moved = 0;
    while (moved < len) {
        ssize_t n = op(fd, buf + moved, len - moved);
        if (n > 0) {
            moved += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;  // end of file
        } else if (errno != EINTR && errno != EAGAIN) {
            return moved > 0 ? -static_cast<ssize_t>(moved) : -1;
        }
    }
    return static_cast<ssize_t>(moved);
}

}  // namespace

ssize_t read_full(int fd, void* buf, std::size_t len) {
    return transfer(fd, static_cast<char*>(buf), len, ::read);
}

ssize_t write_full(int fd, const void* buf, std::size_t len) {
    return transfer(fd, static_cast<const char*>(buf), len, ::write);
}

}  // namespace periphcore::bank

#include <cstdio>
#include <cstring>

namespace periphcore::bank {

void report_errno(const char* operation) {
    std::fprintf(stderr, "%s: %s\n", operation, std::strerror(errno));
}

}  // namespace periphcore::bank
