// Lookups over list files in a temporary directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "list_lookup.h"
#include "mdm/raii.h"
#include "mdmtest/scratch.h"
#include "periphcore.h"

namespace fs = std::filesystem;
using periphcore::lookup_exact;
using periphcore::lookup_prefix;

namespace {

class ListFiles : public ::testing::Test {
  protected:
    std::string write(const std::string& name, const std::string& content) {
        std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    mdmtest::Scratch scratch_;
    fs::path dir_ = scratch_.path();
};

TEST_F(ListFiles, ExactNeedsTheWholeLineAndPrefixOnlyItsStart) {
    std::string list = write("black-list", "12340001\nc8200bda");
    EXPECT_EQ(lookup_exact(list.c_str(), "1234", "0001"), 0);
    // The dropped last character is the vendor id's final digit, not a line feed.
    EXPECT_EQ(lookup_exact(list.c_str(), "c820", "0bda"), 1);

    std::string trailing = write("white-list", "c8200bdaXYZ\nC8200BDA\n");
    EXPECT_EQ(lookup_exact(trailing.c_str(), "c820", "0bda"), 1);
    EXPECT_EQ(lookup_prefix(trailing.c_str(), "c820", "0bda"), 0);
    // Case-sensitive: the uppercase line matches only an uppercase key.
    EXPECT_EQ(lookup_exact(trailing.c_str(), "C820", "0BDA"), 0);
    EXPECT_EQ(lookup_prefix(write("upper", "C8200BDA\n").c_str(), "c820", "0bda"), 1);
}

TEST_F(ListFiles, NullIdsMissingFilesAndOversizedKeysAnswerNotFound) {
    std::string list = write("list", "c8200bda\n");
    EXPECT_EQ(get_list(list.c_str(), "c820", nullptr), 1);
    EXPECT_EQ(get_list(list.c_str(), nullptr, "0bda"), 1);
    EXPECT_EQ(get_list(nullptr, "c820", "0bda"), 1);
    std::string missing = (dir_ / "missing").string();
    EXPECT_EQ(get_list(missing.c_str(), "c820", "0bda"), 1);
    EXPECT_EQ(lookup_exact(missing.c_str(), "c820", "0bda"), 1);

    std::string product(40, 'a'), vendor(24, 'b');  // 64 bytes: no room for the terminator
    std::string wide = write("wide", product + vendor + "\n");
    EXPECT_EQ(lookup_prefix(wide.c_str(), product.c_str(), vendor.c_str()), 1);
    vendor.pop_back();
    EXPECT_EQ(lookup_prefix(wide.c_str(), product.c_str(), vendor.c_str()), 0);
}

TEST_F(ListFiles, LongLinesAreSkippedWholeAndZeroBytesHideNothing) {
    // The entry sits where a reader cutting the line into buffer-sized pieces would start
    // its second piece.
    std::string long_line = std::string(254, 'x') + "c8200bda" + std::string(38, 'y');
    std::string list = write("list", long_line + "\n" + "12340001\n");
    EXPECT_EQ(lookup_exact(list.c_str(), "1234", "0001"), 0);
    EXPECT_EQ(lookup_prefix(list.c_str(), "1234", "0001"), 0);
    EXPECT_EQ(lookup_exact(list.c_str(), "c820", "0bda"), 1);
    EXPECT_EQ(lookup_prefix(list.c_str(), "c820", "0bda"), 1);

    std::string zero = write("zero", std::string("1111\0"
                                                 "0001\n",
                                                 10) +
                                         "c8200bda\n");
    EXPECT_EQ(lookup_exact(zero.c_str(), "c820", "0bda"), 0);
    EXPECT_EQ(lookup_prefix(zero.c_str(), "c820", "0bda"), 0);
}

TEST(UtilsStrFmt, FormatsIntoANewBuffer) {
    mdm::CharPtr path(utilsStrFmt("/etc/mdm/bank/status/%s", "taxkey"));
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path.get(), "/etc/mdm/bank/status/taxkey");
    EXPECT_EQ(utilsStrFmt(nullptr), nullptr);
}

}  // namespace

TEST_F(ListFiles, LinesUpTo255CharactersAreReadWholeAndTheSetAnswersAsTheLookup) {
    std::string list = write("list", "c8200bda" + std::string(247, 'x') + "\n" + "1234000" +
                                         std::string(249, 'x') + "\n" +
                                         std::string("5555\0"
                                                     "005\n",
                                                     9) +
                                         "C8200BDA\n" + "abcd0001");
    periphcore::PrefixSet set(list.c_str(), 8);
    const std::pair<const char*, const char*> pairs[] = {{"c820", "0bda"}, {"1234", "000x"},
                                                         {"5555", "0005"}, {"C820", "0BDA"},
                                                         {"abcd", "0001"}, {"abcd", "0002"}};
    EXPECT_EQ(lookup_prefix(list.c_str(), "c820", "0bda"), 0) << "a 255-character line";
    EXPECT_EQ(lookup_prefix(list.c_str(), "1234", "000x"), 1) << "a 256-character line";
    for (const auto& [product, vendor] : pairs) {
        EXPECT_EQ(set.contains(std::string(product) + vendor),
                  lookup_prefix(list.c_str(), product, vendor) == 0)
            << product << vendor;
    }
    EXPECT_FALSE(periphcore::PrefixSet((dir_ / "missing").c_str(), 8).contains("c8200bda"));
}
