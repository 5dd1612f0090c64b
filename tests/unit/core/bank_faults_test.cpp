// Bank list operations against a recording framework: the order of withdrawal and rewrite,
// appends cut short by a full disk, stale copies, and list files that are not plain files.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "bank_fixture.h"
#include "mdm/files.h"
#include "periphcore/lists.h"

namespace {

using namespace periphcore::bank;

class BankFaults : public banktest::BankDir {};

// What the list file held each time a permission was withdrawn.
std::string g_list_path;
std::vector<std::string> g_list_at_withdrawal;

TEST_F(BankFaults, PermissionsAreWithdrawnBeforeTheShortenedListReplacesTheOld) {
    g_list_path = put("devlist/ushield", "11110001\n22220002\n33330003\n");
    put("status/ushield", "1\n");
    g_list_at_withdrawal.clear();
    mdm::tarvex::Functions f = fns();
    f.remove = [](tarvex_devctl_info*) {
        g_list_at_withdrawal.push_back(mdm::read_regular(g_list_path).value_or(""));
        return 0;
    };
    EXPECT_EQ(del_list(paths(), f, 0, {"11110001", "33330003"}), 2);
    // A stop between the two steps leaves the devices listed, never unlisted yet allowed.
    EXPECT_EQ(g_list_at_withdrawal,
              (std::vector<std::string>(2, "11110001\n22220002\n33330003\n")));
    EXPECT_EQ(get("devlist/ushield"), "22220002\n");
}

TEST_F(BankFaults, AnAppendThatDoesNotFitIsCutOffAndNotCounted) {
    // A list of 4,090 bytes and room for 4,096: the first new line fits only in part.
    std::string list(4086 / 9 * 9, '\0');
    for (std::size_t i = 0; i < list.size(); i += 9)
        std::memcpy(&list[i], "0000aaaa\n", 9);
    list += "xyz\n";
    put("devlist/taxkey", list);
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    auto previous = signal(SIGXFSZ, SIG_IGN);  // a too-long write fails instead of killing
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int appended = set_list(paths(), fns(), 3, {"abcd0001", "abcd0002"});
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(appended, 0);
    EXPECT_EQ(get("devlist/taxkey"), list);
}

TEST_F(BankFaults, ARewriteRemovesCopiesLeftByAKilledRewrite) {
    put("devlist/taxtray", "11110001\n22220002\n");
    put("devlist/taxtray.a1B2c3", "11110001\n");
    put("devlist/taxtray.Zz9Yy8", "");
    put("devlist/taxkey.a1B2c3", "kept: another list's copy\n");
    EXPECT_EQ(del_list(paths(), fns(), 2, {"22220002"}), 1);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(root_ / "devlist"))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"taxkey.a1B2c3", "taxtray"}));
}

TEST_F(BankFaults, FifosDevicesAndHugeFilesAreUnreadableAndNeverStall) {
    std::string fifo = (root_ / "devlist/ushield").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", root_ / "devlist/fingerprint");
    std::string huge = put("devlist/taxtray", "11110001\n");
    std::filesystem::resize_file(huge, 17 * 1024 * 1024);  // sparse
    put("devlist/taxkey", "11110001\n");
    put("status/ushield", "1\n");

    auto start = std::chrono::steady_clock::now();
    for (int type : {0, 1, 2}) {
        EXPECT_EQ(read_list(paths().devlist(type)), std::nullopt) << type;
        EXPECT_EQ(set_list(paths(), fns(), type, {"abcd0001"}), 0) << type;
        EXPECT_EQ(del_list(paths(), fns(), type, {"11110001"}), 0) << type;
    }
    EXPECT_EQ(device_type(paths(), "1111", "0001"), 3);  // the readable list still answers
    EXPECT_EQ(get_list(fifo.c_str(), "1111", "0001"), 1);
    EXPECT_EQ(read_status(fifo), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(calls().empty());
}

}  // namespace
