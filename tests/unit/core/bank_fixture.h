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
#include "mdmtest/fake_framework.h"
#include "mdmtest/scratch.h"

namespace banktest {

struct FrameworkCall {
    std::string op;
    uint32_t pid, vid;
    int perm;
    bool operator==(const FrameworkCall&) const = default;
};

class BankDir : public ::testing::Test {
  protected:
    void SetUp() override { mdmtest::FakeFramework::reset(); }

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
    static const mdm::tarvex::Functions& fns() { return mdmtest::FakeFramework::functions(); }
    static mdmtest::FakeFramework& framework() { return mdmtest::FakeFramework::state(); }
    static std::vector<FrameworkCall> calls() {
        std::vector<FrameworkCall> out;
        for (const auto& [op, r] : framework().writes)
            out.push_back({op, r.pid, r.vid, r.perm});
        return out;
    }

    mdmtest::Scratch scratch_{"devlist", "status"};
    std::filesystem::path root_ = scratch_.path();
};

}  // namespace banktest
