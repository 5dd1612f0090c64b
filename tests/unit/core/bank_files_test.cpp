// Reading bank device lists and statuses, and normalising what callers hand in.
#include <gtest/gtest.h>

#include <vector>

#include "bank_fixture.h"

namespace {

using namespace periphcore::bank;
using Entries = std::vector<std::string>;

class BankFiles : public banktest::BankDir {};

TEST_F(BankFiles, ReadingNormalisesEachLineAndDropsWhatIsNotAnEntry) {
    std::string path =
        put("devlist/ushield", "C8200BDA\nc820 0bda\nc8200bd\n\tabcd\t0001 \n1234ffff");
    EXPECT_EQ(read_list(path), (Entries{"c8200bda", "c8200bda", "abcd0001", "1234ffff"}));
    // Too long for the buffer even though blanks would shrink it to eight characters.
    std::string wide = put("devlist/taxkey", std::string(520, ' ') + "aaaa0001\nbbbb0002\n");
    EXPECT_EQ(read_list(wide), (Entries{"bbbb0002"}));
    EXPECT_EQ(read_list((root_ / "devlist/missing").string()), std::nullopt);
}

TEST_F(BankFiles, TypeIsTheFirstListWithARawLineStartingWithThePair) {
    put("devlist/ushield", "C8200BDA\n" + std::string(127, 'y') + "44440004\n");
    put("devlist/fingerprint", "11110001\nc8200bda\n");
    put("devlist/taxkey", "c8200bda\n");
    EXPECT_EQ(device_type(paths(), "c820", "0bda"), 1);
    EXPECT_EQ(device_type(paths(), "4444", "0004"), kNotBank);  // no fragment of a long line
    EXPECT_EQ(device_type(paths(), nullptr, "0bda"), kNotBank);
}

TEST_F(BankFiles, LineLimitsCountCharactersWithoutTheLineFeedAndAZeroByteIsNoEntry) {
    // The list reader takes 511 characters, the type lookup and switching 127.
    std::string list = put("devlist/ushield", "c8200bda" + std::string(503, ' ') + "\n" +
                                                  "aaaa0001" + std::string(504, ' ') + "\n" +
                                                  std::string("c820\0bda\n", 9) + "bbbb0002\n");
    EXPECT_EQ(read_list(list), (Entries{"c8200bda", "bbbb0002"}));

    put("devlist/fingerprint",
        "11110001" + std::string(119, 'x') + "\n" + "2222000" + std::string(121, 'x') + "\n");
    EXPECT_EQ(device_type(paths(), "1111", "0001"), 1);
    EXPECT_EQ(device_type(paths(), "2222", "000x"), kNotBank);
    ASSERT_TRUE(apply_status(paths(), fns(), 1, 1));
    EXPECT_EQ(calls(), (std::vector<banktest::FrameworkCall>{{"add", 0x1111, 0x0001, 1}}));
}

TEST_F(BankFiles, InputIsLowercasedAndDeduplicatedIgnoringCase) {
    std::vector<std::string> raw = {"ABCD0001", "1234aaaa", "abcd0001", "1234AAAA"};
    std::vector<char*> in;
    for (auto& r : raw)
        in.push_back(r.data());
    EXPECT_EQ(normalise_input(in.data(), static_cast<int>(in.size())),
              (Entries{"abcd0001", "1234aaaa"}));
}

TEST_F(BankFiles, StatusIsTheLeadingDigitsOfTheFirstTwoBytes) {
    EXPECT_EQ(read_status(put("status/ushield", "1\n")), 1);
    EXPECT_EQ(read_status(put("status/ushield", "0")), 0);
    EXPECT_EQ(read_status(put("status/ushield", "105")), 10);  // the third byte is never read
    EXPECT_EQ(read_status(put("status/ushield", "")), -1);
    EXPECT_EQ(read_status((root_ / "status/missing").string()), -1);
    EXPECT_EQ(get_status(paths(), 4), -1);
}

}  // namespace
