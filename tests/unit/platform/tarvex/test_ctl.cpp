#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "ctl.h"
#include "mdmtest/scratch.h"

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

    mdmtest::Scratch tmp_;
    Store store_{tmp_.path()};
};

}  // namespace

TEST_F(TarvexCtl, ListsDevicesFirstThenClassesEachInTableOrder) {
    for (std::vector<std::string_view> set :
         {std::vector<std::string_view>{"set-class", "0", "6", "1"},
          {"set-device", "c820", "0BDA", "2"},
          {"set-class", "7", "0", "2"},
          {"set-device", "0x1", "ffffffff", "5"},
          {"set-device", "c820", "0bda", "1"},  // an update keeps the place
          {"set-device", "3", "4", "1"},
          {"set-class", "0", "6", "-3"},
          {"remove-device", "3", "4"}}) {
        EXPECT_EQ(ctl(set).status, 0) << set[0];
    }
    CtlResult r = ctl({"list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "device c820 0bda perm=1\n"
              "device 0001 ffffffff perm=5\n"
              "class type=0 usb_subtype=6 perm=-3\n"
              "class type=7 usb_subtype=0 perm=2\n");
    EXPECT_EQ(r.err, "");

    CtlResult missing = ctl({"remove-device", "3", "4"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "tarvexctl: no device entry 0003 0004\n");
    EXPECT_EQ(ctl({"clear"}).status, 0);
    EXPECT_EQ(ctl({"list"}).out, "");
}

TEST_F(TarvexCtl, BadArgumentsExitTwoWithOneLineAndChangeNothing) {
    ctl({"set-device", "1", "2", "1"});
    const std::vector<std::vector<std::string_view>> bad = {
        {},
        {"frobnicate"},
        {"set-device", "1", "2"},
        {"set-device", "xyz", "2", "1"},
        {"set-device", "100000000", "2", "1"},  // over 0xffffffff
        {"set-device", "0x", "2", "1"},
        {"set-device", "1", "2", "2147483648"},
        {"set-class", "0", "0", "1"},  // would be a device entry
        {"remove-device", "1", "g"},
    };
    for (const auto& args : bad) {
        CtlResult r = ctl(args);
        std::string shown = args.empty() ? "" : std::string(args.back());
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_TRUE(r.err.starts_with("tarvexctl: ")) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    EXPECT_EQ(ctl({"list"}).out, "device 0001 0002 perm=1\n");
}
