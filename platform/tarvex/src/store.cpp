#include "store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "mdm/raii.h"
#include "store_format.h"

namespace tarvex_standin {

namespace {

constexpr mode_t kFileMode = 0644;  // readers need not be root
constexpr mode_t kDirMode = 0755;

[[noreturn]] void fail(const char* op, const std::filesystem::path& path, int err) {
    throw StoreError(std::string(op) + " " + path.string() + ": " + std::strerror(err));
}

void lock(int fd, int how, const std::filesystem::path& path) {
    while (::flock(fd, how) != 0) {
        if (errno != EINTR)
            fail("flock", path, errno);
    }
}

// Readers may not be allowed to create the lock file; atomic replacement keeps an unlocked
// read consistent, so the lock is taken where it can be.
mdm::UniqueFd open_lock_for_reading(const std::filesystem::path& path) {
    mdm::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd)
        lock(fd.get(), LOCK_SH, path);
    return fd;
}

mdm::UniqueFd open_lock_for_writing(const std::filesystem::path& dir,
                                    const std::filesystem::path& path) {
    if (::mkdir(dir.c_str(), kDirMode) == 0) {
        ::chmod(dir.c_str(), kDirMode);  // the umask must not hide the store from readers
    } else if (errno != EEXIST) {
        fail("mkdir", dir, errno);
    }
    mdm::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kFileMode));
    if (!fd)
        fail("open", path, errno);
    ::fchmod(fd.get(), kFileMode);
    lock(fd.get(), LOCK_EX, path);
    return fd;
}

// Empty optional when the file does not exist.
std::optional<std::string> read_file(const std::filesystem::path& path) {
    mdm::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT)
            return {};
        fail("open", path, errno);
    }
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("read", path, errno);
        if (n == 0)
            return data;
        data.append(buf, static_cast<size_t>(n));
    }
}

void write_all(int fd, std::string_view data, const std::filesystem::path& path) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("write", path, errno);
        data.remove_prefix(static_cast<size_t>(n));
    }
}

void report_to_stderr(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace

Store::Store(std::filesystem::path dir, Reporter report)
    : dir_(std::move(dir)),
      file_(dir_ / "tables"),
      lock_(dir_ / "lock"),
      report_(report ? std::move(report) : Reporter(report_to_stderr)) {}

Tables Store::load(int* damaged) const {
    std::optional<std::string> image = read_file(file_);
    if (!image)
        return {};
    if (auto tables = decode_tables(*image))
        return *tables;
    if (damaged)
        *damaged = 1;
    if (!reported_.exchange(true)) {
        report_("tarvex: store " + file_.string() + " is damaged; reading it as empty tables");
    }
    return {};
}

Tables Store::read() const {
    mdm::UniqueFd held = open_lock_for_reading(lock_);
    return load(nullptr);
}

int Store::modify(const std::function<int(Tables&)>& change) const {
    mdm::UniqueFd held = open_lock_for_writing(dir_, lock_);
    int damaged = 0;
    Tables before = load(&damaged);
    Tables after = before;
    int answer = change(after);
    if (damaged || !(after == before))
        save(after);
    return answer;
}

void Store::save(const Tables& t) const {
    std::filesystem::path tmp = dir_ / "tables.tmp";
    {
        // The exclusive lock is held, so one temporary name is enough; a leftover from a
        // writer that died is truncated.
        mdm::UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode));
        if (!fd)
            fail("open", tmp, errno);
        ::fchmod(fd.get(), kFileMode);
        write_all(fd.get(), encode_tables(t), tmp);
        if (::fsync(fd.get()) != 0)
            fail("fsync", tmp, errno);
        if (::close(fd.release()) != 0)
            fail("close", tmp, errno);
    }
    if (::rename(tmp.c_str(), file_.c_str()) != 0)
        fail("rename", tmp, errno);
    mdm::UniqueFd dirfd(::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirfd)
        ::fsync(dirfd.get());
}

}  // namespace tarvex_standin
