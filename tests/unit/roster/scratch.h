// A private scratch directory for one test, removed afterwards, and small file helpers.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

class Scratch {
  public:
    Scratch() {
        std::string pattern = std::filesystem::temp_directory_path() / "roster-test.XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        std::filesystem::create_directories(path_ + "/devlist");
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& path() const { return path_; }
    void write(const std::string& relative, const std::string& content) const {
        std::ofstream(path_ + "/" + relative, std::ios::binary) << content;
    }
    std::string read(const std::string& relative) const {
        std::ifstream in(path_ + "/" + relative, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool exists(const std::string& relative) const {
        return std::filesystem::exists(path_ + "/" + relative);
    }

  private:
    std::string path_;
};
