// Status changes, list extension and deletion against a recording framework.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "bank_fixture.h"

namespace {

using namespace periphcore::bank;
using banktest::FrameworkCall;
using Calls = std::vector<FrameworkCall>;
using Entries = std::vector<std::string>;

class BankOps : public banktest::BankDir {};

TEST_F(BankOps, AFailedAddIsRetriedAsAnUpdate) {
    put("devlist/ushield", "11110001\n");
    put("status/ushield", "1");
    banktest::FakeFramework::add_answer = 3;
    EXPECT_EQ(set_status(paths(), fns(), 0, 0), 0);
    EXPECT_EQ(calls(), (Calls{{"add", 0x1111, 0x0001, 2}, {"update", 0x1111, 0x0001, 2}}));
    EXPECT_EQ(get("status/ushield"), "0");
    EXPECT_EQ(set_status(paths(), fns(), 0, 5), -1);
    EXPECT_EQ(calls().size(), 2u);
}

TEST_F(BankOps, SwitchingOffSparesTheBankWhiteList) {
    put("devlist/taxtray", "11110001\n22220002\n33330003\n");
    put("status/taxtray", "1");
    put("white-list", "22220002 kept\n");
    EXPECT_EQ(set_status(paths(), fns(), 2, 0), 0);
    EXPECT_EQ(calls(), (Calls{{"add", 0x1111, 0x0001, 2}, {"add", 0x3333, 0x0003, 2}}));
}

TEST_F(BankOps, ExtendingAppendsNewEntriesAfterAMissingLineFeed) {
    put("devlist/ushield", "11110001");
    put("status/ushield", "1\n");
    EXPECT_EQ(set_list(paths(), fns(), 0, {"abcd0001", "11110001"}), 1);
    EXPECT_EQ(get("devlist/ushield"), "11110001\nabcd0001\n");
    // The whole list gets the type's current permission again.
    EXPECT_EQ(calls(), (Calls{{"add", 0x1111, 0x0001, 1}, {"add", 0xabcd, 0x0001, 1}}));

    EXPECT_EQ(set_list(paths(), fns(), 0, {"abcd0001"}), 0);
    EXPECT_EQ(get("devlist/ushield"), "11110001\nabcd0001\n");
}

TEST_F(BankOps, ExtendingWithoutAStatusGrantsNothing) {
    put("devlist/taxkey", "");
    EXPECT_EQ(set_list(paths(), fns(), 3, {"abcd0001"}), 1);
    EXPECT_EQ(get("devlist/taxkey"), "abcd0001\n");
    EXPECT_TRUE(calls().empty());
}

TEST_F(BankOps, DeletionRewritesTheListAndWithdrawsUnlessWhiteListed) {
    std::string list = put("devlist/fingerprint", "11110001\nC8200BDA\n22220002\nc8200bda\n");
    ASSERT_EQ(chmod(list.c_str(), 0640), 0);
    put("white-list", "22220002\n");
    EXPECT_EQ(del_list(paths(), fns(), 1, {"c8200bda", "22220002", "99990009"}), 3);
    EXPECT_EQ(get("devlist/fingerprint"), "11110001\n");
    // The white-listed pair leaves the list yet keeps its record; it still counts.
    EXPECT_EQ(calls(), (Calls{{"remove", 0xc820, 0x0bda, 0}, {"remove", 0xc820, 0x0bda, 0}}));

    struct stat st {};
    ASSERT_EQ(stat(list.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // Nothing but the list is left in its directory.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root_ / "devlist"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(BankOps, DeletingFromAMissingListCreatesNothing) {
    EXPECT_EQ(del_list(paths(), fns(), 2, {"c8200bda"}), 0);
    EXPECT_FALSE(exists("devlist/taxtray"));
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(del_list(paths(), fns(), 5, {"c8200bda"}), -1);
}

TEST_F(BankOps, ADeletionThatCannotWriteKeepsTheOldListAndItsRecords) {
    put("devlist/ushield", "11110001\n22220002\n33330003\n");
    // Files may grow to four bytes only: the new content cannot be written whole.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    int removed = del_list(paths(), fns(), 0, {"11110001"});
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);

    EXPECT_EQ(removed, 0);
    EXPECT_EQ(get("devlist/ushield"), "11110001\n22220002\n33330003\n");
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root_ / "devlist"),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
