// Whole transfers on a descriptor: short reads and writes and interrupted calls are
// resumed, so a status or list write is never left half done silently.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace periphcore::bank {

// Move `len` bytes, stopping early only at end of file (reads). Retries after EINTR and
// EAGAIN. Returns the bytes moved; on another error the negated number already moved, or
// -1 when none were.
ssize_t read_full(int fd, void* buf, std::size_t len);
ssize_t write_full(int fd, const void* buf, std::size_t len);

}  // namespace periphcore::bank

namespace periphcore::bank {

// The file-error line of the core library: "<operation>: <system error text>".
void report_errno(const char* operation);

}  // namespace periphcore::bank
