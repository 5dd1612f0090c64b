// bankguard over the system bus with long bank lists: setting 1,000 and 10,000 new entries
// into a type that is switched on, switching 10,000 devices off and deleting 5,000. Beside
// each figure its target, and the floor measured in the same run: the same payload sent to
// an invalid type, which bankguard refuses after the bus transfer and the pair checks.
#include <gtest/gtest.h>
#include <mdmtest/support.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "mdm/usb_id.h"

namespace {

using namespace mdmtest;
using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

constexpr char kName[] = "com.quorl.bankingdevctl";
constexpr char kPath[] = "/com/quorl/bankingdevctl";

// `count` distinct pairs of one vendor, products from 0000 up.
Strings pairs(int count, int vendor) {
    Strings out;
    for (int i = 0; i < count; ++i)
        out.push_back(mdm::joined_ids(static_cast<uint32_t>(i), static_cast<uint32_t>(vendor)));
    return out;
}

struct Timed {
    int reply;
    double seconds;
};

Timed timed_call(const char* method, GVariant* args) {
    auto t0 = Clock::now();
    CallResult r = call_system(kName, kPath, kName, method, args, 600000);
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_TRUE(r.ok()) << method << ": " << r.error;
    gint reply = -100;
    if (r.ok())
        g_variant_get(r.reply.get(), "(i)", &reply);
    return {reply, seconds};
}

Timed change_list(const char* method, int type, const Strings& entries) {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a(ss)"));
    for (const auto& e : entries)
        g_variant_builder_add(&b, "(ss)", e.substr(0, 4).c_str(), e.substr(4).c_str());
    return timed_call(method, g_variant_new("(iia(ss))", type, 0, &b));
}

class BankBench : public SandboxTest {};

}  // namespace

TEST_F(BankBench, LongListsCostLinearTime) {
    run({"mkdir", "-p", "/etc/mdm/bank/devlist", "/etc/mdm/bank/status"});
    for (const char* type : {"ushield", "fingerprint", "taxtray", "taxkey"}) {
        write_file(std::string("/etc/mdm/bank/devlist/") + type, "");
        write_file(std::string("/etc/mdm/bank/status/") + type, "1\n");
    }
    write_file("/etc/mdm/bank/white-list", "");
    Process daemon({program("bank-daemon/bankguard")}, {.name = "bankguard"});
    ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, kName));

    const Strings small = pairs(1000, 0x1000), large = pairs(10000, 0x2000);
    Timed floor = change_list("setBankingDevList", 9, large);
    EXPECT_EQ(floor.reply, -1);
    Timed set_small = change_list("setBankingDevList", 0, small);
    Timed set_large = change_list("setBankingDevList", 1, large);
    EXPECT_EQ(set_small.reply, 1000);
    EXPECT_EQ(set_large.reply, 10000);
    Timed off = timed_call("setBankingDevStatus", g_variant_new("(ii)", 1, 0));
    EXPECT_EQ(off.reply, 0);
    Timed del = change_list("delBankingDevList", 1, Strings(large.begin(), large.begin() + 5000));
    EXPECT_EQ(del.reply, 5000);

    Strings entries = framework_entries();
    EXPECT_EQ(entries.size(), 1000u + 5000u);
    EXPECT_EQ(entries.back(), "device 270f 2000 perm=2");

    std::printf("floor (10,000 pairs to an invalid type): %.3f s\n", floor.seconds);
    std::printf("setBankingDevList 1,000 new entries: %.3f s\n", set_small.seconds);
    std::printf(
        "setBankingDevList 10,000 new entries: %.3f s (target < 1 s); "
        "10,000 / 1,000 = %.2f (target <= 12)\n",
        set_large.seconds, set_large.seconds / set_small.seconds);
    std::printf("setBankingDevStatus off, 10,000 devices: %.3f s (target < 0.5 s)\n", off.seconds);
    std::printf("delBankingDevList 5,000 entries: %.3f s\n", del.seconds);
    EXPECT_LE(set_large.seconds / set_small.seconds, 12.0);
    EXPECT_LT(set_large.seconds, 1.0);
    EXPECT_LT(off.seconds, 0.5);
}
