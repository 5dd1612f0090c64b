// A scratch bank directory and a security framework that records the calls made to it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "bank_files.h"

namespace banktest {

struct FrameworkCall {
    std::string op;
    uint32_t pid, vid;
    int perm;
    bool operator==(const FrameworkCall&) const = default;
};

struct FakeFramework {
    static inline std::vector<FrameworkCall> calls;
    static inline int add_answer = 0;

    static int record(const char* op, tarvex_devctl_info* r, int answer) {
        calls.push_back({op, r->pid, r->vid, r->perm});
        return answer;
    }
};

class BankDir : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "bank-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
        std::filesystem::create_directories(root_ / "devlist");
        std::filesystem::create_directories(root_ / "status");
        FakeFramework::calls.clear();
        FakeFramework::add_answer = 0;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    std::string put(const std::string& relative, const std::string& content) {
        std::string path = (root_ / relative).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string get(const std::string& relative) {
        std::ifstream in(root_ / relative, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

    periphcore::bank::BankPaths paths() const { return periphcore::bank::BankPaths(root_); }
    static mdm::tarvex::Functions fns() {
        mdm::tarvex::Functions f;
        f.add = [](tarvex_devctl_info* r) {
            return FakeFramework::record("add", r, FakeFramework::add_answer);
        };
        f.update = [](tarvex_devctl_info* r) { return FakeFramework::record("update", r, 0); };
        f.remove = [](tarvex_devctl_info* r) { return FakeFramework::record("remove", r, 0); };
        return f;
    }
    static const std::vector<FrameworkCall>& calls() { return FakeFramework::calls; }

    std::filesystem::path root_;
};

}  // namespace banktest
