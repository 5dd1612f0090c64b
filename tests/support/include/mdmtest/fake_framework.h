// The security framework as a table of plain functions over one shared fake state, for unit
// tests of the framework's callers: the tables it reads, the single-entry writes it records
// with their scripted answers. Header only; reset() before each test.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "tarvex_adapter.h"

namespace mdmtest {

struct FakeFramework {
    std::vector<tarvex_devctl_info> classes;
    std::vector<tarvex_devctl_info> devices;
    int class_reads = 0;
    std::vector<std::pair<std::string, tarvex_devctl_info>> writes;  // "add"/"update"/"remove"
    std::deque<int> add_answers;                                     // 0 when empty
    std::deque<int> update_answers;                                  // 0 when empty
    std::deque<int> remove_answers;                                  // 0 when empty

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
        f.remove = [](tarvex_devctl_info* r) { return write("remove", r, state().remove_answers); };
        f.read_special = [](int* count) { return table(state().devices, count); };
        f.read_not_special = [](int* count) {
            ++state().class_reads;
            return table(state().classes, count);
        };
        return f;
    }();
    return fns;
}

}  // namespace mdmtest
