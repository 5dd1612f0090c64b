// The stand-in framework alone: the per-call cost of add, update and remove on a table of
// 100 entries against one of 100,000, on a store in a private directory. The target: the
// large table costs at most 3x the small one per call.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "store.h"
#include "mdmtest/scratch.h"
#include "tarvex/adapter.h"

namespace {

using namespace tarvex_standin;
using mdm::tarvex::device_record;
using Clock = std::chrono::steady_clock;

constexpr int kCalls = 2000;
constexpr int kRounds = 5;

struct PerCall {
    double add, update, remove;  // microseconds
};

// Microseconds per call of `op` over kCalls records.
template <class Op>
double per_call(Op op) {
    auto t0 = Clock::now();
    for (uint32_t i = 0; i < kCalls; ++i)
        op(i);
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / kCalls;
}

// The best of several rounds: the machine is shared, and noise only ever adds time.
PerCall measure(uint32_t table_size) {
    mdmtest::Scratch tmp;
    Store store(tmp.path());
    std::vector<tarvex_devctl_info> fill;
    for (uint32_t i = 0; i < table_size; ++i)
        fill.push_back(device_record(i & 0xffff, 0x1000 + (i >> 16), 2));
    EXPECT_EQ(store.put_all(fill), 0);
    PerCall best{1e9, 1e9, 1e9};
    for (int round = 0; round < kRounds; ++round) {
        // New keys spread over the key range, existing keys spread over the table.
        auto fresh = [](uint32_t i) { return device_record(i * 7919 % 0x10000, 0x9000, 1); };
        auto existing = [&](uint32_t i) {
            return fill[static_cast<size_t>(i) * 7919 % fill.size()];
        };
        best.add =
            std::min(best.add, per_call([&](uint32_t i) { EXPECT_EQ(store.add(fresh(i)), 0); }));
        best.update = std::min(best.update, per_call([&](uint32_t i) {
                                   tarvex_devctl_info r = existing(i);
                                   r.perm = 1 + round % 2;
                                   EXPECT_EQ(store.update(r), 0);
                               }));
        best.remove = std::min(best.remove,
                               per_call([&](uint32_t i) { EXPECT_EQ(store.remove(fresh(i)), 0); }));
    }
    return best;
}

}  // namespace

TEST(TarvexBench, PerCallCostHardlyGrowsWithTheTable) {
    PerCall small = measure(100);
    PerCall large = measure(100000);
    const std::pair<const char*, double> ratios[] = {{"add", large.add / small.add},
                                                     {"update", large.update / small.update},
                                                     {"remove", large.remove / small.remove}};
    std::printf("per call at 100 entries: add %.1f us, update %.1f us, remove %.1f us\n", small.add,
                small.update, small.remove);
    std::printf("per call at 100,000 entries: add %.1f us, update %.1f us, remove %.1f us\n",
                large.add, large.update, large.remove);
    for (const auto& [name, ratio] : ratios) {
        std::printf("%s: 100,000 / 100 = %.2f (target <= 3)\n", name, ratio);
        EXPECT_LE(ratio, 3.0) << name;
    }
}
