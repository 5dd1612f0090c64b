#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "ctl.h"
#include "temp_dir.h"

using namespace tarvex_standin;

namespace {

struct CtlResult {
    int status;
    std::string out;
    std::string err;
};

class TarvexCtl : public ::testing::Test {
  protected:
    CtlResult ctl(std::vector<std::string_view> args) {
        std::ostringstream out, err;
        int status = run_ctl(args, store_, out, err);
        return {status, out.str(), err.str()};
    }

    TempDir tmp_;
    Store store_{tmp_.path()};
};

}  // namespace

TEST_F(TarvexCtl, ListsDevicesFirstThenClassesEachInTableOrder) {
    EXPECT_EQ(ctl({"set-class", "0", "6", "1"}).status, 0);
    EXPECT_EQ(ctl({"set-device", "c820", "0BDA", "2"}).status, 0);
    EXPECT_EQ(ctl({"set-class", "7", "0", "2"}).status, 0);
    EXPECT_EQ(ctl({"set-device", "0x1", "ffffffff", "5"}).status, 0);
    EXPECT_EQ(ctl({"set-device", "c820", "0bda", "1"}).status, 0) << "update keeps the place";
    EXPECT_EQ(ctl({"set-class", "0", "6", "-3"}).status, 0);

    CtlResult r = ctl({"list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "device c820 0bda perm=1\n"
              "device 0001 ffffffff perm=5\n"
              "class type=0 usb_subtype=6 perm=-3\n"
              "class type=7 usb_subtype=0 perm=2\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(TarvexCtl, RemoveDeviceAndClear) {
    ctl({"set-device", "1", "2", "1"});
    ctl({"set-device", "3", "4", "1"});
    ctl({"set-class", "0", "19", "2"});
    EXPECT_EQ(ctl({"remove-device", "1", "2"}).status, 0);
    EXPECT_EQ(ctl({"list"}).out, "device 0003 0004 perm=1\nclass type=0 usb_subtype=19 perm=2\n");

    CtlResult missing = ctl({"remove-device", "1", "2"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "tarvexctl: no device entry 0001 0002\n");

    EXPECT_EQ(ctl({"clear"}).status, 0);
    CtlResult r = ctl({"list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(TarvexCtl, BadArgumentsExitTwoWithOneLineAndChangeNothing) {
    ctl({"set-device", "1", "2", "1"});
    const std::vector<std::vector<std::string_view>> bad = {
        {},
        {"frobnicate"},
        {"list", "extra"},
        {"clear", "now"},
        {"set-device", "1", "2"},
        {"set-device", "1", "2", "1", "4"},
        {"set-device", "xyz", "2", "1"},
        {"set-device", "1", "2", "one"},
        {"set-device", "100000000", "2", "1"},  // over 0xffffffff
        {"set-device", "-1", "2", "1"},
        {"set-device", "", "2", "1"},
        {"set-device", "0x", "2", "1"},
        {"set-device", "1", "2", "2147483648"},
        {"set-class", "0", "0", "1"},  // would be a device entry
        {"set-class", "a", "6", "1"},
        {"set-class", "0", "6x", "1"},
        {"remove-device", "1"},
        {"remove-device", "1", "g"},
    };
    for (const auto& args : bad) {
        std::string shown;
        for (auto a : args)
            shown += std::string(a) + " ";
        CtlResult r = ctl(args);
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        ASSERT_FALSE(r.err.empty()) << shown;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << shown << ": " << r.err;
        EXPECT_TRUE(r.err.starts_with("tarvexctl: ")) << r.err;
    }
    EXPECT_EQ(ctl({"list"}).out, "device 0001 0002 perm=1\n");
}
