#include "device_perm.h"

#include <gtest/gtest.h>

#include "fakes.h"

using namespace plugwatch;
using plugwatch::test::FakeFramework;
using plugwatch::test::RecordingLog;

namespace {

class DevicePerm : public ::testing::Test {
  protected:
    void SetUp() override { FakeFramework::reset(); }
    FakeFramework& fw() { return FakeFramework::state(); }
    int perm(int subtype, const char* pid = "c820", const char* vid = "0bda") {
        return get_device_perm(subtype, pid, vid, FakeFramework::functions(), log);
    }
    RecordingLog log;
};

}  // namespace

TEST_F(DevicePerm, EmptyTablesEnableEverything) {
    EXPECT_EQ(perm(6), 1);
    EXPECT_EQ(perm(19), 1);
    EXPECT_EQ(perm(0), 1);
}

// A denied device must not be announced as enabled just because no class entry exists.
TEST_F(DevicePerm, DeviceEntryDecidesWhenTheClassTableIsEmpty) {
    fw().devices = {FakeFramework::device(0xc820, 0x0bda, 2)};
    EXPECT_EQ(perm(6), 2);
    EXPECT_EQ(perm(19), 2);
    EXPECT_EQ(perm(0), 2);
    EXPECT_EQ(perm(6, "0001", "0002"), 1);
}

TEST_F(DevicePerm, DeviceEntryOverridesClassEntry) {
    fw().classes = {FakeFramework::class_entry(6, 1)};
    fw().devices = {FakeFramework::device(0x1234, 0x0bda, 5),
                    FakeFramework::device(0xc820, 0x0bda, 2),
                    FakeFramework::device(0xc820, 0x0bda, 1)};
    EXPECT_EQ(perm(6), 2);  // the first matching entry wins
    EXPECT_TRUE(log.has("type：9 usb_subtype：6 perm：1"));
    EXPECT_TRUE(log.has("pid：1234 vid：0bda perm：5"));
    EXPECT_TRUE(log.has("pid：c820 vid：0bda perm：2"));
    EXPECT_FALSE(log.has("pid：c820 vid：0bda perm：1"));
}

TEST_F(DevicePerm, ClassEntryOfTheAskedSubtypeAppliesWithoutDeviceEntry) {
    fw().classes = {FakeFramework::class_entry(19, 5), FakeFramework::class_entry(6, 2),
                    FakeFramework::class_entry(6, 1)};
    fw().devices = {FakeFramework::device(0x0001, 0x0002, 1)};
    EXPECT_EQ(perm(6), 2);
    EXPECT_EQ(perm(19), 5);
    // A class table without the subtype leaves the start value.
    fw().classes = {FakeFramework::class_entry(7, 2)};
    EXPECT_EQ(perm(6), 1);
}

TEST_F(DevicePerm, NonstorageNeverReadsTheClassTable) {
    fw().classes = {FakeFramework::class_entry(0, 2)};
    EXPECT_EQ(perm(0), 1);
    EXPECT_EQ(fw().class_reads, 0);
    EXPECT_EQ(fw().device_reads, 1);
}

TEST_F(DevicePerm, IdsCompareAsZeroPaddedLowercaseText) {
    fw().devices = {FakeFramework::device(0x1, 0xab, 2)};
    EXPECT_EQ(perm(0, "0001", "00ab"), 2);
    EXPECT_EQ(perm(0, "1", "ab"), 1);
    EXPECT_EQ(perm(0, "0001", "00AB"), 1);
    EXPECT_EQ(perm(0, "null", "null"), 1);
}
