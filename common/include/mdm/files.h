// File helpers shared by every program: whole transfers on a descriptor, and replacing a file
// whole through a temporary copy beside it, so a crash or a full disk never leaves it half
// written.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "mdm/raii.h"

namespace mdm {

namespace detail {

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

}  // namespace detail

// Move `len` bytes, stopping early only at end of file (reads). Retries after EINTR and
// EAGAIN. Returns the bytes moved; on another error the negated number already moved, or
// -1 when none were.
inline ssize_t read_full(int fd, void* buf, std::size_t len) {
    return detail::transfer(fd, static_cast<char*>(buf), len, ::read);
}
inline ssize_t write_full(int fd, const void* buf, std::size_t len) {
    return detail::transfer(fd, static_cast<const char*>(buf), len, ::write);
}

// Writes `content` to a new file beside `path` and renames it over `path`: readers see the
// old file or the new one, never a truncated mix. The new file takes the mode and owner of
// `like` when given (the file it replaces), otherwise `mode` and the caller's owner. Returns
// false (errno set, `path` untouched, no temporary left) on any failure.
inline bool replace_file(const std::string& path, std::string_view content,
                         const struct stat* like = nullptr, mode_t mode = 0644) {
    std::string tmp = path + ".XXXXXX";
    UniqueFd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (!fd)
        return false;
    bool ok = like ? ::fchmod(fd.get(), like->st_mode & 07777) == 0 &&
                         ::fchown(fd.get(), like->st_uid, like->st_gid) == 0
                   : ::fchmod(fd.get(), mode) == 0;
    ok = ok && write_full(fd.get(), content.data(), content.size()) ==
                   static_cast<ssize_t>(content.size());
    ok = ok && ::fsync(fd.get()) == 0;
    ok = ok && ::close(fd.release()) == 0;
    ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        int saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
    }
    return ok;
}

// replace_file keeping the mode and owner of the file now at `path` when there is one.
inline bool replace_file_keeping_owner(const std::string& path, std::string_view content,
                                       mode_t mode_if_new = 0644) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return replace_file(path, content, &st);
    return replace_file(path, content, nullptr, mode_if_new);
}

// Files the system reads are untrusted: a list that is a FIFO, a device or a huge file must
// not stall a daemon. Larger files are refused.
inline constexpr off_t kMaxReadFile = 16 * 1024 * 1024;

// Opens a regular file of at most kMaxReadFile bytes. The open itself never blocks (a FIFO
// or device is opened non-blocking and then refused); anything else fails with errno set
// (EINVAL for a file that is not regular, EFBIG for one too large), so callers report it as
// they report a file they cannot open.
// `mode` is for a file that O_CREAT makes.
inline UniqueFd open_regular(const std::string& path, int flags, mode_t mode = 0644) {
    UniqueFd fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode));
    if (!fd)
        return fd;
    struct stat st {};
    int err = 0;
    if (::fstat(fd.get(), &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode))
        err = EINVAL;
    else if (st.st_size > kMaxReadFile)
        err = EFBIG;
    if (err) {
        fd.reset();
        errno = err;
        return fd;
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// The whole content of a regular file opened as open_regular does; nullopt when it cannot be
// opened or read.
inline std::optional<std::string> read_regular(const std::string& path) {
    UniqueFd fd = open_regular(path, O_RDONLY);
    if (!fd)
        return std::nullopt;
    std::string content;
    char chunk[65536];
    for (;;) {
        ssize_t n = read_full(fd.get(), chunk, sizeof chunk);
        if (n < 0)
            return std::nullopt;
        content.append(chunk, static_cast<std::size_t>(n));
        // A file that grows while it is read stops at the cap.
        if (static_cast<std::size_t>(n) < sizeof chunk ||
            content.size() > static_cast<std::size_t>(kMaxReadFile))
            return content;
    }
}

// open_regular for reading through stdio.
inline FilePtr fopen_regular(const std::string& path) {
    UniqueFd fd = open_regular(path, O_RDONLY);
    if (!fd)
        return FilePtr();
    FilePtr file(::fdopen(fd.get(), "r"));
    if (file)
        fd.release();
    return file;
}

// Removes "<path>.XXXXXX" copies left by a replace_file that was killed before its rename.
// Only for files a single process rewrites: another writer's copy in flight would go too.
inline void remove_stale_copies(const std::string& path) {
    auto slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".";
    DirPtr d(::opendir(dir.c_str()));
    if (!d)
        return;
    while (struct dirent* e = ::readdir(d.get())) {
        std::string_view name(e->d_name);
        // mkstemp's six characters, and nothing else
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix))
            ::unlinkat(::dirfd(d.get()), e->d_name, 0);
    }
}

}  // namespace mdm
