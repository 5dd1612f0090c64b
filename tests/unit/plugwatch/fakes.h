// Recording fakes for plugwatch's seams.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "seams.h"

namespace plugwatch::test {

struct LogLine {
    int priority;
    std::string text;
};

class RecordingLog final : public Log {
  public:
    void write(int priority, const std::string& line) override {
        lines.push_back({priority, line});
    }
    bool has(const std::string& text) const {
        for (const auto& l : lines) {
            if (l.text == text)
                return true;
        }
        return false;
    }
    std::vector<LogLine> lines;
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
        if (record_answers.empty())
            return 0;
        int answer = record_answers.front();
        record_answers.pop_front();
        return answer;
    }
    std::vector<PeerCall> of(const std::string& what) const {
        std::vector<PeerCall> out;
        for (const auto& c : calls) {
            if (c.what == what)
                out.push_back(c);
        }
        return out;
    }
    std::vector<PeerCall> calls;
    std::deque<int> record_answers;
};

// The framework as a table of plain functions over one shared fake state.
struct FakeFramework {
    std::vector<tarvex_devctl_info> classes;
    std::vector<tarvex_devctl_info> devices;
    int class_reads = 0;
    int device_reads = 0;
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

inline int next_answer(std::deque<int>& answers) {
    if (answers.empty())
        return 0;
    int a = answers.front();
    answers.pop_front();
    return a;
}

inline const mdm::tarvex::Functions& FakeFramework::functions() {
    static const mdm::tarvex::Functions fns = [] {
        mdm::tarvex::Functions f;
        f.add = [](tarvex_devctl_info* r) {
            state().writes.emplace_back("add", *r);
            return next_answer(state().add_answers);
        };
        f.update = [](tarvex_devctl_info* r) {
            state().writes.emplace_back("update", *r);
            return next_answer(state().update_answers);
        };
        f.read_special = [](int* count) -> tarvex_devctl_info* {
            ++state().device_reads;
            *count = static_cast<int>(state().devices.size());
            return state().devices.empty() ? nullptr : state().devices.data();
        };
        f.read_not_special = [](int* count) -> tarvex_devctl_info* {
            ++state().class_reads;
            *count = static_cast<int>(state().classes.size());
            return state().classes.empty() ? nullptr : state().classes.data();
        };
        return f;
    }();
    return fns;
}

}  // namespace plugwatch::test
