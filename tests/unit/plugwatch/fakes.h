// Recording fakes for plugwatch's seams.
#pragma once

#include <algorithm>
#include <deque>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <mdmtest/fake_framework.h>

#include "seams.h"

namespace plugwatch::test {

class RecordingLog final : public Log {
  public:
    struct Line {
        int priority;
        std::string text;
    };
    void write(int priority, const std::string& line) override {
        lines.push_back({priority, line});
    }
    bool has(const std::string& text) const {
        return std::ranges::any_of(lines, [&](const Line& l) { return l.text == text; });
    }
    std::vector<Line> lines;
};

struct PeerCall {
    std::string what;  // "notify", "logging", "record"
    std::string text;
    std::string level;  // logging level; record flag in decimal
};

class RecordingPeers final : public Peers {
  public:
    int show_system_notification(const std::string& text) override {
        calls.push_back({"notify", text, ""});
        return 0;
    }
    void logging(const char* name, const char* level, const std::string& message) override {
        EXPECT_STREQ(name, "usb-monitor");
        calls.push_back({"logging", message, level});
    }
    int connect_ostrelclient_bus(const std::string& record, int status) override {
        calls.push_back({"record", record, std::to_string(status)});
        return 0;
    }
    std::vector<PeerCall> of(const std::string& what) const {
        std::vector<PeerCall> out;
        std::ranges::copy_if(calls, std::back_inserter(out),
                             [&](const PeerCall& c) { return c.what == what; });
        return out;
    }
    std::vector<PeerCall> calls;
};

using mdmtest::FakeFramework;

// A case against the shared fake framework, reset before it runs, with a recording log.
class FrameworkTest : public ::testing::Test {
  protected:
    void SetUp() override { FakeFramework::reset(); }
    static FakeFramework& fw() { return FakeFramework::state(); }
    static const mdm::tarvex::Functions& fns() { return FakeFramework::functions(); }

    RecordingLog log;
};

}  // namespace plugwatch::test
