// Recording fakes for plugwatch's seams.
#pragma once

#include <algorithm>
#include <deque>
#include <iterator>
#include <string>
#include <vector>

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

// The framework as a table of plain functions over one shared fake state.
struct FakeFramework {
    std::vector<tarvex_devctl_info> classes;
    std::vector<tarvex_devctl_info> devices;
    int class_reads = 0;
    std::vector<std::pair<std::string, tarvex_devctl_info>> writes;  // "add"/"update"
    std::deque<int> add_answers;                                     // 0 when empty
    std::deque<int> update_answers;                                  // 0 when empty

    static FakeFramework& state() {
        static FakeFramework f;
        return f;
    }
    static void reset() { state() = FakeFramework{}; }
    static const mdm::tarvex::Functions& functions();

    static tarvex_devctl_info device(uint32_t pid, uint32_t vid, int perm) {
        return mdm::tarvex::device_record(pid, vid, perm);
    }
    static tarvex_devctl_info class_entry(int usb_subtype, int perm) {
        return mdm::tarvex::class_record(9, usb_subtype, perm);
    }
};

inline const mdm::tarvex::Functions& FakeFramework::functions() {
    static const mdm::tarvex::Functions fns = [] {
        static constexpr auto write = [](const char* call, tarvex_devctl_info* r,
                                         std::deque<int>& answers) {
            state().writes.emplace_back(call, *r);
            int a = answers.empty() ? 0 : answers.front();
            if (!answers.empty())
                answers.pop_front();
            return a;
        };
        static constexpr auto table = [](std::vector<tarvex_devctl_info>& t, int* count) {
            *count = static_cast<int>(t.size());
            return t.empty() ? nullptr : t.data();
        };
        mdm::tarvex::Functions f;
        f.add = [](tarvex_devctl_info* r) { return write("add", r, state().add_answers); };
        f.update = [](tarvex_devctl_info* r) { return write("update", r, state().update_answers); };
        f.read_special = [](int* count) { return table(state().devices, count); };
        f.read_not_special = [](int* count) {
            ++state().class_reads;
            return table(state().classes, count);
        };
        return f;
    }();
    return fns;
}

}  // namespace plugwatch::test
