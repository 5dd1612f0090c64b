// The shared text helpers: texts made fit for a log line, JSON string bodies.
#include <gtest/gtest.h>

#include <string>

#include "mdm/text.h"

namespace {

// The plug monitor's log lines escape only ASCII controls: C1 controls and bytes that are not
// UTF-8 reach the log as the device gave them, as they always have.
TEST(EscapeAsciiControls, OnlyAsciiControlsAreSpelledOut) {
    EXPECT_EQ(mdm::escape_ascii_controls(std::string("a\nb\0c\x7f", 6)), "a\\x0ab\\x00c\\x7f");
    EXPECT_EQ(mdm::escape_ascii_controls("\xc2\x85|\x80|\xe2\x80\xa8|\u672a"),
              "\xc2\x85|\x80|\xe2\x80\xa8|\u672a");
}

TEST(Printable, ControlCharactersAndBytesThatAreNotUtf8AreSpelledOut) {
    EXPECT_EQ(mdm::printable("a\nb\tc\x1b[31m\x7f"), "a\\x0ab\\x09c\\x1b[31m\\x7f");
    EXPECT_EQ(mdm::printable(std::string("nul\0end", 7)), "nul\\x00end");
    EXPECT_EQ(mdm::printable("未登录 ok"), "未登录 ok");
    EXPECT_EQ(mdm::printable("\xc2\x85|\xe2\x80\xa8"), "\\u0085|\\u2028");
    // A lone continuation byte, an overlong slash, a surrogate, a cut sequence at the end.
    EXPECT_EQ(mdm::printable("\x80|\xc0\xaf|\xed\xa0\x80|\xe6\x9c"),
              "\\x80|\\xc0\\xaf|\\xed\\xa0\\x80|\\xe6\\x9c");
    // Four-byte characters are kept; a lead beyond U+10FFFF is not UTF-8.
    EXPECT_EQ(mdm::printable("\xf0\x9f\x99\x82|\xf4\x90\x80\x80"),
              "\xf0\x9f\x99\x82|\\xf4\\x90\\x80\\x80");
    // The cap never splits a character and marks the cut.
    std::string cut = mdm::printable("一二三四五", 10);
    EXPECT_EQ(cut, "一二\u2026");
    EXPECT_EQ(mdm::printable("abc", 3), "abc");
}

TEST(Printable, OnlyControlBytesMarkATextUnfitForALogLine) {
    EXPECT_FALSE(mdm::has_control_byte("/media/u/STICK 1/未"));
    EXPECT_TRUE(mdm::has_control_byte("/media/a\nb"));
    EXPECT_TRUE(mdm::has_control_byte("x\x7f"));
    EXPECT_TRUE(mdm::has_control_byte(std::string("a\0b", 3)));
    // Without a cap nothing is cut, however long.
    const std::string long_text(100000, 'a');
    EXPECT_EQ(mdm::printable(long_text), long_text);
}

TEST(JsonEscaped, QuotesBackslashesAndControlsEscapedOtherBytesKept) {
    EXPECT_EQ(mdm::json_escaped("q\"\\\n\r\t\b\f\x01\x1f"),
              "q\\\"\\\\\\n\\r\\t\\b\\f\\u0001\\u001f");
    EXPECT_EQ(mdm::json_escaped("未登录 \x7f"), "未登录 \x7f");
}

}  // namespace
