// The security framework as a table of plain functions over one shared fake state, for unit
// tests of the framework's callers: the tables it reads, the single-entry writes it records
// with their scripted answers. Header only; reset() before each test.
#pragma once

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tarvex/adapter.h"

namespace mdmtest {

struct FakeFramework {
    std::vector<tarvex_devctl_info> classes;
    std::vector<tarvex_devctl_info> devices;
    int class_reads = 0;
    int device_reads = 0;  // whole-table reads; the keyed lookup does not count
    std::vector<std::pair<std::string, tarvex_devctl_info>> writes;  // "add"/"update"/"remove"
    std::deque<int> add_answers;                                     // 0 when empty
    std::deque<int> update_answers;                                  // 0 when empty
    std::deque<int> remove_answers;                                  // 0 when empty
    // Batch calls in order, each with its records.
    struct Batch {
        std::string call;  // "batch_add"/"batch_del"
        std::vector<tarvex_devctl_info> records;
    };
    std::vector<Batch> batches;
    std::optional<int> batch_del_answer;  // otherwise the number of entries removed
    // When set, unscripted writes act on `devices` as the framework does: add refuses an
    // existing key (1), update (2) and remove (3) a missing one; a batch add puts each entry.
    bool keeps_devices = false;

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
        static constexpr auto find = [](uint32_t pid, uint32_t vid) {
            auto& t = state().devices;
            return std::find_if(t.begin(), t.end(),
                                [&](const auto& e) { return e.pid == pid && e.vid == vid; });
        };
        // 'a'dd, 'u'pdate, 'r'emove or 'p'ut (add or update) one entry of `devices`.
        static constexpr auto apply = [](const tarvex_devctl_info& r, char op) {
            auto& t = state().devices;
            auto it = find(r.pid, r.vid);
            bool found = it != t.end();
            if ((op == 'a' && found) || (op != 'a' && op != 'p' && !found))
                return op == 'a' ? 1 : op == 'u' ? 2 : 3;
            if (op == 'r')
                t.erase(it);
            else if (found)
                it->perm = r.perm;
            else
                t.push_back(r);
            return 0;
        };
        static constexpr auto write = [](const char* call, tarvex_devctl_info* r,
                                         std::deque<int>& answers, char op) {
            state().writes.emplace_back(call, *r);
            if (!answers.empty()) {
                int a = answers.front();
                answers.pop_front();
                return a;
            }
            return state().keeps_devices ? apply(*r, op) : 0;
        };
        static constexpr auto batch = [](const char* call, tarvex_devctl_info* r, int count,
                                         char op) {
            state().batches.push_back({call, {r, r + count}});
            int done = 0;
            for (int i = 0; state().keeps_devices && i < count; ++i)
                done += apply(r[i], op) == 0;
            return op == 'p' ? 0 : state().batch_del_answer.value_or(done);
        };
        static constexpr auto table = [](std::vector<tarvex_devctl_info>& t, int* count) {
            *count = static_cast<int>(t.size());
            return t.empty() ? nullptr : t.data();
        };
        mdm::tarvex::Functions f;
        f.add = [](tarvex_devctl_info* r) { return write("add", r, state().add_answers, 'a'); };
        f.update = [](tarvex_devctl_info* r) {
            return write("update", r, state().update_answers, 'u');
        };
        f.remove = [](tarvex_devctl_info* r) {
            return write("remove", r, state().remove_answers, 'r');
        };
        f.read_special = [](int* count) {
            ++state().device_reads;
            return table(state().devices, count);
        };
        f.read_special_perm = [](uint32_t pid, uint32_t vid, int32_t* perm) {
            auto it = find(pid, vid);
            if (it == state().devices.end())
                return 1;
            *perm = it->perm;
            return 0;
        };
        f.read_not_special = [](int* count) {
            ++state().class_reads;
            return table(state().classes, count);
        };
        f.batch_add = [](tarvex_devctl_info* r, int n) { return batch("batch_add", r, n, 'p'); };
        f.batch_del = [](tarvex_devctl_info* r, int n) { return batch("batch_del", r, n, 'r'); };
        return f;
    }();
    return fns;
}

}  // namespace mdmtest
