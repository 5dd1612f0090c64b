#include "policy.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "fakes.h"

using namespace plugwatch;
using plugwatch::test::FakeFramework;
using plugwatch::test::RecordingLog;

namespace {

class PolicyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FakeFramework::reset();
        char tmpl[] = "/tmp/plugwatch-policy-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        files.black_list = dir + "/black-list";
        files.white_list = dir + "/white-list";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    static void write(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    FakeFramework& fw() { return FakeFramework::state(); }
    // Writes as "add/update pid:vid=perm".
    std::vector<std::string> writes() {
        std::vector<std::string> out;
        for (const auto& [call, r] : fw().writes) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%s %x:%x=%d", call.c_str(), r.pid, r.vid, r.perm);
            out.push_back(buf);
        }
        return out;
    }
    std::vector<std::string> info_lines() {
        std::vector<std::string> out;
        for (const auto& l : log.lines)
            out.push_back(l.text);
        return out;
    }

    std::string dir;
    PolicyFiles files;
    RecordingLog log;
};

using Lines = std::vector<std::string>;

}  // namespace

TEST(HexId, StopsAtTheFirstNonHexDigit) {
    EXPECT_EQ(hex_id("c820"), 0xc820u);
    EXPECT_EQ(hex_id("0BDA"), 0x0bdau);
    EXPECT_EQ(hex_id(""), 0u);
    EXPECT_EQ(hex_id("zz12"), 0u);
    EXPECT_EQ(hex_id("12g4"), 0x12u);
    EXPECT_EQ(hex_id("0x1f"), 0u);
}

TEST_F(PolicyTest, SetDevicePermAddsThenUpdates) {
    EXPECT_EQ(set_device_perm(nullptr, "0bda", 1, log, FakeFramework::functions()), -1);
    EXPECT_TRUE(fw().writes.empty());

    EXPECT_EQ(set_device_perm("c820", "0bda", 2, log, FakeFramework::functions()), 0);
    EXPECT_EQ(writes(), (Lines{"add c820:bda=2"}));
    EXPECT_EQ(info_lines(), (Lines{"tarvex_devctl_add_perm ret=0"}));

    fw().writes.clear();
    log.lines.clear();
    fw().add_answers = {17, 17};
    fw().update_answers = {0, 4};
    EXPECT_EQ(set_device_perm("c820", "0bda", 1, log, FakeFramework::functions()), 0);
    EXPECT_EQ(set_device_perm("c820", "0bda", 1, log, FakeFramework::functions()), -4);
    EXPECT_EQ(writes(), (Lines{"add c820:bda=1", "update c820:bda=1", "add c820:bda=1",
                               "update c820:bda=1"}));
    EXPECT_EQ(info_lines(),
              (Lines{"tarvex_devctl_add_perm ret=17", "tarvex_devctl_update_perm ret=0",
                     "tarvex_devctl_add_perm ret=17", "tarvex_devctl_update_perm ret=4"}));
    // The record carries only pid, vid and perm.
    const auto& r = fw().writes.back().second;
    EXPECT_EQ(r.type, 0);
    EXPECT_EQ(r.usb_subtype, 0);
    EXPECT_EQ(r.serial[0], '\0');
}

TEST_F(PolicyTest, ImportsBlackThenWhiteThenDefaultAndDeletesTheFiles) {
    write(files.black_list, "12345678\nc8200bda\n");
    write(files.white_list, "1234 5678\n");
    fw().add_answers = {0, 0, 1, 1};  // the white pair and the default exist already
    fw().update_answers = {0, 9};
    init_policy(log, FakeFramework::functions(), files);

    EXPECT_EQ(writes(), (Lines{"add 1234:5678=2", "add c820:bda=2", "add 1234:5678=1",
                               "update 1234:5678=1", "add c820:bda=1", "update c820:bda=1"}));
    EXPECT_EQ(
        info_lines(),
        (Lines{"init_policy start.", "blacklist：",
               "device info ：[idProduct] 1234 [idVendor] 5678", "tarvex_devctl_add_perm ret=0",
               "device info ：[idProduct] c820 [idVendor] 0bda", "tarvex_devctl_add_perm ret=0",
               "whitelist：", "device info ：[idProduct] 1234 [idVendor] 5678",
               "tarvex_devctl_add_perm ret=1", "tarvex_devctl_update_perm ret=0",
               "init_policy finish.", "init_policy start.",
               "default allow device info ：[idProduct] c820 [idVendor] 0bda",
               "tarvex_devctl_add_perm ret=1", "tarvex_devctl_update_perm ret=9",
               "set failed, maybe policy already exist, please check it. "
               "[idProduct]：c820 [idVendor]：0bda",
               "init_policy finish."}));
    EXPECT_FALSE(std::filesystem::exists(files.black_list));
    EXPECT_FALSE(std::filesystem::exists(files.white_list));
}

TEST_F(PolicyTest, MissingFilesAreSkippedSilently) {
    init_policy(log, FakeFramework::functions(), files);
    EXPECT_EQ(writes(), (Lines{"add c820:bda=1"}));
    EXPECT_EQ(info_lines(),
              (Lines{"init_policy start.", "init_policy finish.", "init_policy start.",
                     "default allow device info ：[idProduct] c820 [idVendor] 0bda",
                     "tarvex_devctl_add_perm ret=0", "init_policy finish."}));
}

TEST_F(PolicyTest, OddLinesAndFailedEntries) {
    // An empty line writes pid 0 vid 0; a line over the buffer is taken piece by piece;
    // an entry without final line feed still parses.
    std::string long_line = "abcd" + std::string(1100, 'e') + "\n";
    write(files.white_list, "\nc820 0bda trailing\n" + long_line + "1111222");
    fw().add_answers = {0, 0, 5, 0, 0, 0};
    fw().update_answers = {6};
    init_policy(log, FakeFramework::functions(), files);

    EXPECT_EQ(writes(),
              (Lines{"add 0:0=1", "add c820:bda=1", "add abcd:eeee=1", "update abcd:eeee=1",
                     "add eeee:eeee=1", "add 1111:222=1", "add c820:bda=1"}));
    EXPECT_TRUE(log.has("whitelist failed，[idProduct]：abcd [idVendor]：eeee ret=-6"));
    EXPECT_FALSE(std::filesystem::exists(files.white_list));
}
