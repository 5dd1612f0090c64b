// A private directory for one test, removed afterwards. Prefers /dev/shm, where the store's
// fsync calls cost nothing.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

class TempDir {
  public:
    TempDir() {
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/tarvex-test.XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::system_error(errno, std::generic_category());
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};
