// The bank white list and the id texts, on a scratch directory.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "bank_whitelist.h"
#include <mdmtest/scratch.h>
#include "mdm/usb_id.h"

using namespace rostergate;

namespace {

using Lines = std::vector<std::string>;

bool is_hex_text(const std::string& text) {
    return mdm::parse_strtoul_hex(text).has_value();
}

TEST(IdText, BaseSixteenOfTheWholeTextThatFitsThirtyTwoBits) {
    for (const char* good : {"c820", "0BDA", "0x1f", " 1a", "+12", "ffffffff", "00000001"}) {
        EXPECT_TRUE(is_hex_text(good)) << good;
        EXPECT_TRUE(mdm::parse_strtoul_hex32(good).has_value()) << good;
    }
    EXPECT_EQ(mdm::parse_strtoul_hex32("0BDA"), 0x0bdau);
    EXPECT_EQ(mdm::parse_strtoul_hex32("ffffffff"), 0xffffffffu);
    for (const char* bad : {"", " ", "zz", "12g", "0x", "1 ", "c8 20"})
        EXPECT_FALSE(is_hex_text(bad)) << "'" << bad << "'";
    EXPECT_FALSE(
        is_hex_text(std::string("12\0"
                                "34",
                                5)));
    // Convertible, but more than the record field holds: never cut or wrapped.
    for (const char* wide : {"100000000", "000000001", "0x123456789", "-1"}) {
        EXPECT_FALSE(mdm::parse_strtoul_hex32(wide).has_value()) << wide;
    }
}

TEST(BankLists, LinesDevicesAndTheDefaultPair) {
    mdmtest::Scratch dir{"devlist"};
    BankFiles files(dir.path());
    std::vector<std::string> logged;
    LogLine log = [&](const std::string& line) { logged.push_back(line); };

    // fingerprint is missing; the other three are still read, in their order.
    dir.write("devlist/taxkey", "1111aaaa\n\n \n2222bbbb \r\n");
    dir.write("devlist/taxtray", "3333cccc\n ");
    dir.write("devlist/ushield", "4444dddd");
    EXPECT_EQ(get_bank_device_list(files, log),
              (Lines{"1111aaaa", " ", "2222bbbb \r", "3333cccc", "4444dddd"}));
    EXPECT_EQ(logged, Lines{"[RosterGate]:get_bank_device_list"});

    // A zero byte inside a line does not hide the line after it.
    dir.write("devlist/fingerprint", std::string("5555\0eeee\n6666ffff\n", 19));
    auto with_zero = get_bank_device_list(files, log);
    ASSERT_GE(with_zero.size(), 2u);
    EXPECT_EQ(with_zero[1], "6666ffff");

    EntrySet set(with_zero.begin(), with_zero.end());
    EXPECT_EQ(check_bank_device("1111aaaa", set), 1);
    EXPECT_EQ(check_bank_device("2222bbbb", set), 0);  // its line has a trailing blank
    EXPECT_EQ(check_bank_device("1111AAAA", set), 0);

    logged.clear();
    EXPECT_EQ(check_default_device("C8200BDA", log), 0);
    EXPECT_EQ(check_default_device("c8200bda", log), 1);
    EXPECT_EQ(logged, Lines{"[RosterGate]:check_default_device pidvid=c8200bda"});

    // Not a regular file: read as missing, never waited on.
    ASSERT_EQ(mkfifo((dir.path() + "/fifo").c_str(), 0600), 0);
    EXPECT_FALSE(read_lines(dir.path() + "/fifo").has_value());
    // Nor is a list above the size cap read.
    dir.write("devlist/taxkey", "1111aaaa\n");
    ASSERT_EQ(truncate((dir.path() + "/devlist/taxkey").c_str(), 17 << 20), 0);
    EXPECT_FALSE(read_lines(dir.path() + "/devlist/taxkey").has_value());
}

TEST(BankWhiteList, ReadAppendRewriteAndClear) {
    mdmtest::Scratch dir{"devlist"};
    BankFiles files(dir.path());

    EXPECT_TRUE(get_bank_device_whitelist(files).empty());
    EXPECT_EQ(add_bank_device_whitelist(files, {"1111aaaa", "2222bbbb"}), 0);  // creates it
    EXPECT_EQ(dir.read("white-list"), "1111aaaa\n2222bbbb\n");

    dir.write("white-list", "C8200BDA\n1234567\n1234567g\n\n1111aaaa\n2222bbbb \n3333cccc");
    EXPECT_EQ(get_bank_device_whitelist(files), (Lines{"c8200bda", "1111aaaa", "3333cccc"}));

    // The rewrite keeps the file's mode, leaves nothing beside it, and even with nothing to
    // remove drops what the reading leaves out.
    ASSERT_EQ(chmod((dir.path() + "/white-list").c_str(), 0640), 0);
    EXPECT_EQ(del_bank_device_whitelist(files, {}), 0);
    EXPECT_EQ(dir.read("white-list"), "c8200bda\n1111aaaa\n3333cccc\n");
    EXPECT_EQ(del_bank_device_whitelist(files, {"1111aaaa", "9999ffff"}), 0);
    EXPECT_EQ(dir.read("white-list"), "c8200bda\n3333cccc\n");
    struct stat st {};
    ASSERT_EQ(stat((dir.path() + "/white-list").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

    EXPECT_EQ(clear_bank_device_whitelist(files), 0);
    EXPECT_EQ(dir.read("white-list"), "");

    // An append after a last line without its line feed (a hand edit) keeps both entries.
    dir.write("white-list", "3333cccc");
    EXPECT_EQ(add_bank_device_whitelist(files, {"4444dddd"}), 0);
    EXPECT_EQ(dir.read("white-list"), "3333cccc\n4444dddd\n");

    // Without the directory every writer does nothing and still answers 0.
    BankFiles gone(dir.path() + "/missing");
    EXPECT_EQ(add_bank_device_whitelist(gone, {"1111aaaa"}), 0);
    EXPECT_EQ(del_bank_device_whitelist(gone, {"1111aaaa"}), 0);
    EXPECT_EQ(clear_bank_device_whitelist(gone), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/missing"));
}

}  // namespace
