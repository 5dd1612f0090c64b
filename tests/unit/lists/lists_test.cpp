// Lookups over list files in a temporary directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "periphcore.h"

namespace fs = std::filesystem;
using periphcore::lookup_exact;
using periphcore::lookup_prefix;

namespace {

class ListFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "lists-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& content) {
        std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    fs::path dir_;
};

TEST_F(ListFiles, ExactLookupNeedsTheWholeLineWithItsLineFeed) {
    std::string list = write("black-list", "12340001\nc8200bda");
    EXPECT_EQ(lookup_exact(list.c_str(), "1234", "0001"), 0);
    // The dropped last character is the vendor id's final digit, not a line feed.
    EXPECT_EQ(lookup_exact(list.c_str(), "c820", "0bda"), 1);
    EXPECT_EQ(lookup_exact(list.c_str(), "c820", "0bd"), 0);

    std::string trailing = write("white-list", "c8200bda extra\n");
    EXPECT_EQ(lookup_exact(trailing.c_str(), "c820", "0bda"), 1);
    EXPECT_EQ(lookup_prefix(trailing.c_str(), "c820", "0bda"), 0);
}

TEST_F(ListFiles, ComparisonIsCaseSensitive) {
    std::string list = write("white-list", "C8200BDA\n");
    EXPECT_EQ(lookup_exact(list.c_str(), "c820", "0bda"), 1);
    EXPECT_EQ(lookup_prefix(list.c_str(), "c820", "0bda"), 1);
    EXPECT_EQ(lookup_exact(list.c_str(), "C820", "0BDA"), 0);
}

TEST_F(ListFiles, PrefixLookupIgnoresWhatFollowsThePair) {
    std::string list = write("bank-white-list", "aaaa0001\nc8200bdaXYZ\n");
    EXPECT_EQ(lookup_prefix(list.c_str(), "c820", "0bda"), 0);
    EXPECT_EQ(lookup_prefix(list.c_str(), "aaaa", "0001"), 0);
    EXPECT_EQ(lookup_prefix(list.c_str(), "aaaa", "0002"), 1);
    // A line shorter than the key never matches.
    std::string shorter = write("short", "c820\n");
    EXPECT_EQ(lookup_prefix(shorter.c_str(), "c820", "0bda"), 1);
}

TEST_F(ListFiles, NullIdsAndMissingFilesAnswerNotFound) {
    std::string list = write("list", "c8200bda\n");
    EXPECT_EQ(get_list(list.c_str(), "c820", nullptr), 1);
    EXPECT_EQ(get_list(list.c_str(), nullptr, "0bda"), 1);
    EXPECT_EQ(get_list(nullptr, "c820", "0bda"), 1);
    EXPECT_EQ(lookup_exact(list.c_str(), nullptr, "0bda"), 1);
    std::string missing = (dir_ / "missing").string();
    EXPECT_EQ(get_list(missing.c_str(), "c820", "0bda"), 1);
    EXPECT_EQ(lookup_exact(missing.c_str(), "c820", "0bda"), 1);
}

TEST_F(ListFiles, LongLinesAreSkippedWhole) {
    // A 300-character line whose tail would look like an entry if it were read in pieces.
    std::string long_line = std::string(254, 'x') + "c8200bda" + std::string(38, 'y');
    ASSERT_EQ(long_line.size(), 300u);
    std::string list = write("list", long_line + "\n" + "12340001\n");
    EXPECT_EQ(lookup_exact(list.c_str(), "1234", "0001"), 0);
    EXPECT_EQ(lookup_prefix(list.c_str(), "1234", "0001"), 0);
    EXPECT_EQ(lookup_exact(list.c_str(), "c820", "0bda"), 1);
    EXPECT_EQ(lookup_prefix(list.c_str(), "c820", "0bda"), 1);

    // The fragment left after the buffer fills is exactly an entry: still not one.
    std::string fragment = write("fragment", std::string(254, 'z') + "c8200bda\n");
    EXPECT_EQ(lookup_exact(fragment.c_str(), "c820", "0bda"), 1);
    EXPECT_EQ(lookup_prefix(fragment.c_str(), "c820", "0bda"), 1);

    // The longest line that fits: 253 characters and the line feed.
    std::string widest = write("widest", "c8200bda" + std::string(245, 'q') + "\n");
    EXPECT_EQ(lookup_prefix(widest.c_str(), "c820", "0bda"), 0);
    std::string one_more = write("one-more", "c8200bda" + std::string(246, 'q') + "\n");
    EXPECT_EQ(lookup_prefix(one_more.c_str(), "c820", "0bda"), 1);
}

TEST_F(ListFiles, AByteOfZeroInALineDoesNotHideTheNextLine) {
    std::string list = write("black-list", std::string("1111\0"
                                                       "0001\n",
                                                       10) +
                                               "c8200bda\n");
    EXPECT_EQ(lookup_exact(list.c_str(), "c820", "0bda"), 0);
    EXPECT_EQ(lookup_prefix(list.c_str(), "c820", "0bda"), 0);
}

TEST_F(ListFiles, KeyLongerThanItsBufferAnswersNotFound) {
    std::string product(40, 'a'), vendor(24, 'b');  // 64 bytes: no room for the terminator
    std::string list = write("list", product + vendor + "\n");
    EXPECT_EQ(lookup_prefix(list.c_str(), product.c_str(), vendor.c_str()), 1);
    EXPECT_EQ(lookup_exact(list.c_str(), product.c_str(), vendor.c_str()), 1);
    vendor.pop_back();
    EXPECT_EQ(lookup_prefix(list.c_str(), product.c_str(), vendor.c_str()), 0);
}

TEST(UtilsStrFmt, FormatsIntoANewBuffer) {
    char* path = utilsStrFmt("/etc/mdm/bank/status/%s", "taxkey");
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "/etc/mdm/bank/status/taxkey");
    free(path);

    std::string wide(5000, 'w');
    char* big = utilsStrFmt("%s-%d", wide.c_str(), 7);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(std::string(big), wide + "-7");
    free(big);

    EXPECT_EQ(utilsStrFmt(nullptr), nullptr);
}

}  // namespace
