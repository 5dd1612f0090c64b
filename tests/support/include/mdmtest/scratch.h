// A private scratch directory for one test, removed afterwards. Header only, for unit tests too.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace mdmtest {

class Scratch {
  public:
    // `subdirs` are created inside, e.g. the folders a component expects to find.
    explicit Scratch(std::initializer_list<const char*> subdirs = {})
        : path_(base() / "mdm-test.XXXXXX") {
        if (!mkdtemp(path_.data()))
            throw std::runtime_error("no scratch directory");
        for (const char* d : subdirs)
            std::filesystem::create_directories(path_ + "/" + d);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ + "/" + name, std::ios::binary) << text;
    }
    std::string read(const std::string& name) const {
        std::stringstream s;
        s << std::ifstream(path_ + "/" + name, std::ios::binary).rdbuf();
        return s.str();
    }

  private:
    // In memory where the machine has /dev/shm, so the fsync calls of the code under test
    // cost nothing.
    static std::filesystem::path base() {
        std::error_code ec;
        if (std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0)
            return "/dev/shm";
        return std::filesystem::temp_directory_path();
    }

    std::string path_;
};

}  // namespace mdmtest
