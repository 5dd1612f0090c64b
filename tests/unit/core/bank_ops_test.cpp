// Status changes, list extension and deletion against a recording framework.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "bank_fixture.h"

namespace {

using namespace periphcore::bank;
using Calls = std::vector<banktest::FrameworkCall>;

class BankOps : public banktest::BankDir {};

TEST_F(BankOps, SwitchingOffDeniesAllButTheBankWhiteListAndRetriesAsUpdate) {
    put("devlist/taxtray", "11110001\n22220002\n33330003\n");
    put("status/taxtray", "1\n");
    put("white-list", "22220002 kept\n");
    framework().add_answers = {3, 3};
    EXPECT_EQ(set_status(paths(), fns(), 2, 0), 0);
    EXPECT_EQ(calls(), (Calls{{"add", 0x1111, 0x0001, 2},
                              {"update", 0x1111, 0x0001, 2},
                              {"add", 0x3333, 0x0003, 2},
                              {"update", 0x3333, 0x0003, 2}}));
    EXPECT_EQ(get("status/taxtray"), "0\n");
    EXPECT_EQ(set_status(paths(), fns(), 2, 5), -1);
    EXPECT_EQ(calls().size(), 4u);
}

TEST_F(BankOps, ExtendingAppendsNewEntriesAfterAMissingLineFeed) {
    put("devlist/ushield", "11110001");
    put("status/ushield", "1\n");
    EXPECT_EQ(set_list(paths(), fns(), 0, {"abcd0001", "11110001"}), 1);
    EXPECT_EQ(get("devlist/ushield"), "11110001\nabcd0001\n");
    // The whole list gets the type's current permission again.
    EXPECT_EQ(calls(), (Calls{{"add", 0x1111, 0x0001, 1}, {"add", 0xabcd, 0x0001, 1}}));
    EXPECT_EQ(set_list(paths(), fns(), 0, {"abcd0001"}), 0);

    // Without a status the entry is appended and nothing is granted.
    put("devlist/taxkey", "");
    EXPECT_EQ(set_list(paths(), fns(), 3, {"abcd0001"}), 1);
    EXPECT_EQ(get("devlist/taxkey"), "abcd0001\n");
    EXPECT_EQ(calls().size(), 4u);
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
}

}  // namespace
