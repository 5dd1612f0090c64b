// Owners for C handles, one line per handle kind, so no function has to release anything by
// hand on each return path. This header needs only the C library; the owners of GLib, udev
// and libmount handles are in raii_glib.h, raii_udev.h and raii_mount.h, each with the
// interface target that links its library.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace mdm {

template <auto Release>
struct Releaser {
    template <class T>
    void operator()(T* p) const noexcept {
        if (p)
            Release(p);
    }
};

template <class T, auto Release>
using Owner = std::unique_ptr<T, Releaser<Release>>;

using CharPtr = Owner<char, free>;  // texts from malloc, e.g. those the core library hands out
using FilePtr = Owner<FILE, fclose>;
using DirPtr = Owner<DIR, closedir>;

// A malloc'd array of `count` malloc'd texts, as the core library hands its lists out: both
// the texts and the array are released with free.
class MallocTexts {
  public:
    MallocTexts() = default;
    MallocTexts(char** texts, int count) noexcept
        : texts_(texts), count_(texts && count > 0 ? static_cast<std::size_t>(count) : 0) {}
    MallocTexts(MallocTexts&& o) noexcept
        : texts_(std::exchange(o.texts_, nullptr)), count_(std::exchange(o.count_, 0)) {}
    MallocTexts& operator=(MallocTexts&& o) noexcept {
        if (this != &o) {
            reset();
            texts_ = std::exchange(o.texts_, nullptr);
            count_ = std::exchange(o.count_, 0);
        }
        return *this;
    }
    MallocTexts(const MallocTexts&) = delete;
    MallocTexts& operator=(const MallocTexts&) = delete;
    ~MallocTexts() { reset(); }

    std::size_t size() const noexcept { return count_; }
    const char* operator[](std::size_t i) const noexcept { return texts_[i]; }
    char* const* begin() const noexcept { return texts_; }
    char* const* end() const noexcept { return texts_ + count_; }

    void reset() noexcept {
        for (std::size_t i = 0; i < count_; ++i)
            std::free(texts_[i]);
        std::free(texts_);
        texts_ = nullptr;
        count_ = 0;
    }

  private:
    char** texts_ = nullptr;
    std::size_t count_ = 0;
};

// A file descriptor closed on scope exit.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o)
            reset(std::exchange(o.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    int release() noexcept { return std::exchange(fd_, -1); }
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

}  // namespace mdm
