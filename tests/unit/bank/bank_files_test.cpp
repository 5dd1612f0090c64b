// Reading bank device lists and statuses.
#include <gtest/gtest.h>

#include <vector>

#include "bank_fixture.h"
#include "periphcore.h"

namespace {

using namespace periphcore::bank;
using Entries = std::vector<std::string>;

class BankFiles : public banktest::BankDir {};

TEST_F(BankFiles, ReadingNormalisesEachLineAndDropsWhatIsNotAnEntry) {
    std::string path = put("devlist/ushield",
                           "C8200BDA\n"
                           "c820 0bda\n"
                           "c8200bd\n"
                           "\tabcd\t0001 \n"
                           "\n"
                           "c8200bdaa\n"
                           "1234ffff");
    EXPECT_EQ(read_list(path), (Entries{"c8200bda", "c8200bda", "abcd0001", "1234ffff"}));

    // A line longer than the reading buffer is skipped whole, even when blanks would
    // shrink it to eight characters.
    std::string wide = put("devlist/taxkey", std::string(520, ' ') + "aaaa0001\nbbbb0002\n");
    EXPECT_EQ(read_list(wide), (Entries{"bbbb0002"}));

    EXPECT_EQ(read_list((root_ / "devlist/missing").string()), std::nullopt);
    EXPECT_EQ(read_list(put("devlist/fingerprint", "")), Entries{});
}

TEST_F(BankFiles, TypeIsTheFirstListWithALineStartingWithThePair) {
    put("devlist/ushield", "C8200BDA\n");  // raw comparison: uppercase never matches
    put("devlist/fingerprint", "11110001\nc8200bda\n");
    put("devlist/taxkey", "c8200bda\n");
    put("devlist/taxtray", std::string(130, 'x') + "\n" + "22220002 trailing\n");
    EXPECT_EQ(device_type(paths(), "c820", "0bda"), 1);
    EXPECT_EQ(device_type(paths(), "2222", "0002"), 2);
    EXPECT_EQ(device_type(paths(), "3333", "0003"), kNotBank);
    EXPECT_EQ(device_type(paths(), nullptr, "0bda"), kNotBank);
    EXPECT_EQ(device_type(paths(), "c820", nullptr), kNotBank);

    // Lines beyond the 127-character buffer do not leak a fragment into the comparison.
    put("devlist/ushield", std::string(127, 'y') + "44440004\n");
    EXPECT_EQ(device_type(paths(), "4444", "0004"), kNotBank);

    std::filesystem::remove(root_ / "devlist/fingerprint");
    EXPECT_EQ(device_type(paths(), "c820", "0bda"), 3);
}

TEST_F(BankFiles, InputIsLowercasedAndDeduplicatedIgnoringCase) {
    std::vector<std::string> raw = {"ABCD0001", "1234aaaa", "abcd0001", "1234AAAA", "xyz"};
    std::vector<char*> in;
    for (auto& r : raw)
        in.push_back(r.data());
    in.insert(in.begin() + 2, nullptr);
    EXPECT_EQ(normalise_input(in.data(), static_cast<int>(in.size())),
              (Entries{"abcd0001", "1234aaaa", "xyz"}));
    EXPECT_EQ(normalise_input(in.data(), 1), (Entries{"abcd0001"}));
    EXPECT_EQ(normalise_input(nullptr, 3), Entries{});
}

TEST_F(BankFiles, StatusIsTheLeadingDigitsOfTheFirstTwoBytes) {
    EXPECT_EQ(parse_status("1"), 1);
    EXPECT_EQ(parse_status("1\n"), 1);
    EXPECT_EQ(parse_status("0\n"), 0);
    EXPECT_EQ(parse_status("12"), 12);
    EXPECT_EQ(parse_status("x1"), 0);

    EXPECT_EQ(read_status(put("status/ushield", "1\n")), 1);
    EXPECT_EQ(read_status(put("status/ushield", "0")), 0);
    // Only two bytes are read: the third digit never counts.
    EXPECT_EQ(read_status(put("status/ushield", "105")), 10);
    EXPECT_EQ(read_status(put("status/ushield", "")), -1);
    EXPECT_EQ(read_status((root_ / "status/missing").string()), -1);
    EXPECT_EQ(get_status(paths(), 4), -1);
    EXPECT_EQ(get_status(paths(), -1), -1);
}

TEST(BankExports, RefuseBadArgumentsWithoutTouchingFiles) {
    int count = 7;
    EXPECT_EQ(getBankDevList(9, &count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(getBankDevList(0, nullptr), nullptr);
    EXPECT_EQ(setBankDevList(3, 0, nullptr), 0);
    EXPECT_EQ(setBankDevList(3, 2, nullptr), -1);
    EXPECT_EQ(delBankDevList(-1, 0, nullptr), -1);
}

}  // namespace
