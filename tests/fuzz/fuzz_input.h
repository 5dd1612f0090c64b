// Shared pieces of the fuzz targets: splitting one input into fields, and a scratch file on
// a memory file system for parsers that only take a path.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

// Reads fields separated by a zero byte; the last field runs to the end.
class Fields {
  public:
    Fields(const uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}
    std::string next() {
        auto cut = rest_.find('\0');
        std::string field(rest_.substr(0, cut));
        rest_ = cut == std::string_view::npos ? std::string_view() : rest_.substr(cut + 1);
        return field;
    }
    // A field, or nothing when its first byte is 0x01 (an attribute sysfs does not have).
    std::optional<std::string> maybe() {
        std::string f = next();
        if (!f.empty() && f[0] == '\x01')
            return std::nullopt;
        return f;
    }
    std::string_view rest() const { return rest_; }

  private:
    std::string_view rest_;
};

// One file per process under /dev/shm, rewritten for each input.
class ScratchFile {
  public:
    ScratchFile() {
        path_ = "/dev/shm/mdm-fuzz-" + std::to_string(getpid());
        dir_ = path_ + ".d";
        ::mkdir(dir_.c_str(), 0700);
    }
    ~ScratchFile() { ::unlink(path_.c_str()); }
    const std::string& write(std::string_view content) { return write_at(path_, content); }
    // A file of the given name inside the scratch directory.
    const std::string& write_at(const std::string& path, std::string_view content) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            std::abort();
        if (!content.empty() && ::write(fd, content.data(), content.size()) < 0)
            std::abort();
        ::close(fd);
        last_ = path;
        return last_;
    }
    const std::string& path() const { return path_; }
    const std::string& dir() const { return dir_; }

  private:
    std::string path_, dir_, last_;
};

}  // namespace fuzz
