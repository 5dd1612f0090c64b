#include "perm/device_perm.h"

#include <gtest/gtest.h>

#include "fakes.h"

using namespace plugwatch;
using mdm::perm::get_device_perm;
using plugwatch::test::FakeFramework;

namespace {

// Every case runs against a framework with the keyed lookup and against one without it,
// which must be passed over whole: both give the same answers and log the same lines.
class DevicePerm : public plugwatch::test::FrameworkTest,
                   public ::testing::WithParamInterface<bool> {
  protected:
    int perm(int subtype, const char* pid = "c820", const char* vid = "0bda") {
        mdm::tarvex::Functions f = fns();
        if (!GetParam())
            f.read_special_perm = nullptr;
        return get_device_perm(subtype, pid, vid, f, log);
    }
    void TearDown() override {
        if (GetParam())
            EXPECT_EQ(fw().device_reads, 0) << "the keyed lookup still read the whole table";
        else
            EXPECT_GT(fw().device_reads, 0);
    }
};

INSTANTIATE_TEST_SUITE_P(Lookup, DevicePerm, ::testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Keyed" : "WholeTable"; });

}  // namespace

// A denied device must not be announced as enabled just because no class entry exists.
TEST_P(DevicePerm, DeviceEntryDecidesWhenTheClassTableIsEmpty) {
    EXPECT_EQ(perm(6), 1);
    fw().devices = {FakeFramework::device(0xc820, 0x0bda, 2)};
    EXPECT_EQ(perm(6), 2);
    EXPECT_EQ(perm(19), 2);
    EXPECT_EQ(perm(6, "0001", "0002"), 1);
}

TEST_P(DevicePerm, ClassEntryThenFirstDeviceEntryAndNonstorageSkipsTheClassTable) {
    fw().classes = {FakeFramework::class_entry(19, 5), FakeFramework::class_entry(6, 2),
                    FakeFramework::class_entry(6, 1), FakeFramework::class_entry(0, 2)};
    fw().devices = {FakeFramework::device(0x1234, 0x0bda, 5),
                    FakeFramework::device(0xc820, 0x0bda, 1),
                    FakeFramework::device(0xc820, 0x0bda, 2), FakeFramework::device(0x1, 0xab, 2)};
    EXPECT_EQ(perm(6, "0001", "0002"), 2);
    EXPECT_EQ(perm(19, "0001", "0002"), 5);
    EXPECT_EQ(perm(6), 1);
    EXPECT_TRUE(log.has("type：9 usb_subtype：6 perm：2"));
    EXPECT_TRUE(log.has("pid：c820 vid：0bda perm：1"));
    EXPECT_FALSE(log.has("pid：1234 vid：0bda perm：5"));

    int class_reads = fw().class_reads;
    EXPECT_EQ(perm(0, "0001", "0002"), 1);
    EXPECT_EQ(fw().class_reads, class_reads);
    // Ids compare as "%04x" text.
    EXPECT_EQ(perm(0, "0001", "00ab"), 2);
    EXPECT_EQ(perm(0, "1", "ab"), 1);
    EXPECT_EQ(perm(0, "0001", "00AB"), 1);
    EXPECT_EQ(perm(0, "00001", "00ab"), 1);
    fw().devices.push_back(FakeFramework::device(0x12345, 0xab, 5));
    EXPECT_EQ(perm(0, "12345", "00ab"), 5);
}
