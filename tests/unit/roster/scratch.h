// A private scratch directory for one test, removed afterwards.
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
    Scratch() : path_(std::filesystem::temp_directory_path() / "roster-test.XXXXXX") {
        if (!mkdtemp(path_.data()) || !std::filesystem::create_directory(path_ + "/devlist"))
            throw std::runtime_error("no scratch directory");
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& path() const { return path_; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ + "/" + name, std::ios::binary) << text;
    }
    std::string read(const std::string& name) const {
        std::stringstream s;
        s << std::ifstream(path_ + "/" + name, std::ios::binary).rdbuf();
        return s.str();
    }

  private:
    std::string path_;
};
