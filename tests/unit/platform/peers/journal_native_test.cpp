// The capture of the journal's native protocol that the integration tests read.
#include <gtest/gtest.h>

#include "journal_native.h"

namespace {

using namespace journalsink;

std::string binary_field(const std::string& key, const std::string& value) {
    std::string out = key + "\n";
    std::uint64_t size = value.size();
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((size >> (8 * i)) & 0xFF);
    return out + value + "\n";
}

TEST(JournalNative, TextAndBinaryFieldsAndTheirMalformedForms) {
    std::string dgram = "MESSAGE=hi\n" + binary_field("MDM_RECORD", "a\nb") + "PRIORITY=6\n";
    auto e = decode_datagram(dgram);
    ASSERT_TRUE(e);
    EXPECT_EQ(*e, (Entry{{"MESSAGE", "hi"}, {"MDM_RECORD", "a\nb"}, {"PRIORITY", "6"}}));
    std::string nul_value = binary_field("V", std::string("x\0\ny", 4));
    EXPECT_EQ(field(*decode_datagram(nul_value), "V"), std::string("x\0\ny", 4));

    EXPECT_FALSE(decode_datagram("MESSAGE=no end"));
    EXPECT_FALSE(decode_datagram("bad key=x\n"));
    EXPECT_FALSE(decode_datagram(""));
    std::string overlong = binary_field("K", "abc");
    overlong[2] = 100;  // size beyond the data
    EXPECT_FALSE(decode_datagram(overlong));
}

TEST(JournalNative, ACaptureFileIsReadEntryByEntryUpToAPartialOne) {
    std::string file = "A=1\nB=2\n\n" + binary_field("C", "3\n") + "\nD=4\n";
    auto entries = decode_capture(file);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (Entry{{"A", "1"}, {"B", "2"}}));
    EXPECT_EQ(field(entries[1], "C"), "3\n");
    EXPECT_FALSE(field(entries[0], "C"));
}

}  // namespace
