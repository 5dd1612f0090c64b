#include <gtest/gtest.h>

#include "mount_list.h"

namespace mountwatch {
namespace {

std::tm at(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

TEST(MountTime, OnlyTheSecondsArePadded) {
    EXPECT_EQ(time_text(at(2026, 3, 6, 8, 7, 9)), "2026-3-6 8:7:09");
    EXPECT_EQ(time_text(at(2026, 3, 6, 8, 7, 10)), "2026-3-6 8:7:10");
    EXPECT_EQ(time_text(at(2026, 12, 31, 23, 59, 0)), "2026-12-31 23:59:00");
    EXPECT_EQ(time_text(at(2026, 1, 2, 9, 5, 45)), "2026-1-2 9:5:45");
    EXPECT_EQ(time_text(at(2026, 1, 2, 0, 0, 5)), "2026-1-2 0:0:05");
}

TEST(MountList, KeepsOrderAndTakesTheFirstOfEqualNames) {
    MountList list;
    EXPECT_EQ(list.add("stick", "0001", "aaaa"), 1);
    EXPECT_EQ(list.add("other", "0002", "bbbb"), 2);
    EXPECT_EQ(list.add("stick", "0003", "cccc"), 3);

    EXPECT_FALSE(list.take("stic"));  // exact names only
    auto first = list.take("stick");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->pid, "0001");
    EXPECT_EQ(first->vid, "aaaa");
    ASSERT_EQ(list.count(), 2);
    EXPECT_STREQ(list.entries()[0].name, "other");
    EXPECT_STREQ(list.entries()[1].pid, "0003");

    auto second = list.take("stick");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->pid, "0003");
    EXPECT_FALSE(list.take("stick"));
    EXPECT_EQ(list.count(), 1);
}

TEST(MountList, HasNoFixedLimit) {
    MountList list;
    for (int i = 0; i < 300; ++i)
        list.add("m" + std::to_string(i), "0001", "0002");
    EXPECT_EQ(list.count(), 300);
    EXPECT_STREQ(list.entries()[299].name, "m299");
    ASSERT_TRUE(list.take("m128"));
    EXPECT_STREQ(list.entries()[128].name, "m129");
}

TEST(MountList, LongTextsAreCutWithoutSplittingACharacter) {
    MountList list;
    // 63 two-byte characters are 126 bytes; one more does not fit a 128-byte field.
    std::string name;
    for (int i = 0; i < 64; ++i)
        name += "\xC3\xA9";
    list.add(name, "0123456789ab", "abcdefghi\xC3\xA9");
    const StorageMount& m = list.entries()[0];
    EXPECT_EQ(std::string(m.name), name.substr(0, 126));
    EXPECT_STREQ(m.pid, "012345678");
    EXPECT_STREQ(m.vid, "abcdefghi");
    // The same long name still finds its entry on removal.
    auto ids = list.take(name);
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->pid, "012345678");
}

}  // namespace
}  // namespace mountwatch
