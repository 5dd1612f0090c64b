// Every id rule over one table of texts: the rules differ on purpose, and a change to any
// of them shows up here as a changed cell.
#include <gtest/gtest.h>

#include <string>

#include "mdm/usb_id.h"

namespace {

using Id = std::optional<uint32_t>;
constexpr std::nullopt_t no = std::nullopt;

struct Row {
    std::string text;
    Id four;             // parse_four_hex
    Id rendered;         // parse_rendered_hex
    bool strtoul_whole;  // parse_strtoul_hex takes it whole
    Id strtoul32;        // parse_strtoul_hex32
    Id zero_x;           // parse_0x_hex32
    uint32_t leading;    // parse_leading_hex
    bool one_to_four;    // is_one_to_four_hex
    bool all_hex;        // all_hex_digits
};

TEST(UsbId, EachRuleOverOneTable) {
    const Row rows[] = {
        {"c820", 0xc820, 0xc820, true, 0xc820, 0xc820, 0xc820, true, true},
        {"0BDA", 0x0bda, no, true, 0x0bda, 0x0bda, 0x0bda, true, true},
        {"820", no, no, true, 0x820, 0x820, 0x820, true, true},
        {"12345", no, 0x12345, true, 0x12345, 0x12345, 0x12345, false, true},
        {"00001", no, no, true, 1, 1, 1, false, true},
        {"ffffffff", no, 0xffffffff, true, 0xffffffff, 0xffffffff, 0xffffffff, false, true},
        // Nine digits: refused where a value must fit, shifted through where it need not.
        {"100000000", no, no, true, no, no, 0, false, true},
        {"0x1f", no, no, true, 0x1f, 0x1f, 0, false, false},
        {"0X1F", no, no, true, 0x1f, 0x1f, 0, false, false},
        {"0x", no, no, false, no, no, 0, false, false},
        {" 1a", no, no, true, 0x1a, no, 0, false, false},
        {"+12", no, no, true, 0x12, no, 0, false, false},
        {"-1", no, no, true, no, no, 0, false, false},
        {"c82g", no, no, false, no, no, 0xc82, false, false},
        {"c8 20", no, no, false, no, no, 0xc8, false, false},
        {std::string("12\0"
                     "34",
                     5),
         no, no, false, no, no, 0x12, false, false},
        {"", no, no, false, no, no, 0, false, true},
        // More digits than a record field holds, though strtoul takes them whole.
        {"000000001", no, no, true, no, 1, 1, false, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("'" + r.text + "'");
        EXPECT_EQ(mdm::parse_four_hex(r.text), r.four);
        EXPECT_EQ(mdm::parse_rendered_hex(r.text), r.rendered);
        EXPECT_EQ(mdm::parse_strtoul_hex32(r.text), r.strtoul32);
        EXPECT_EQ(mdm::parse_strtoul_hex(r.text).has_value(), r.strtoul_whole);
        EXPECT_EQ(mdm::parse_0x_hex32(r.text), r.zero_x);
        EXPECT_EQ(mdm::parse_leading_hex(r.text), r.leading);
        EXPECT_EQ(mdm::is_one_to_four_hex(r.text), r.one_to_four);
        EXPECT_EQ(mdm::all_hex_digits(r.text), r.all_hex);
    }
}

TEST(UsbId, JoinedTextIsProductFirstFourDigitsEachAtLeast) {
    EXPECT_EQ(mdm::joined_ids(0xc820, 0x0bda), "c8200bda");
    EXPECT_EQ(mdm::joined_ids(0x1, 0x12345), "000112345");
    EXPECT_EQ(mdm::joined_ids(0xffffffff, 0), "ffffffff0000");
}

}  // namespace
