#include "policy.h"

#include <syslog.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "fakes.h"
#include "mdmtest/scratch.h"

using namespace plugwatch;
using plugwatch::test::FakeFramework;

namespace {

class PolicyTest : public plugwatch::test::FrameworkTest {
  protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        files = {dir / "black-list", dir / "white-list"};
    }

    static void write(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
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
    // Every line of the import is at info priority.
    std::vector<std::string> info_lines() {
        std::vector<std::string> out;
        for (const auto& l : log.lines) {
            EXPECT_EQ(l.priority, LOG_INFO) << l.text;
            out.push_back(l.text);
        }
        return out;
    }

    mdmtest::Scratch dir;
    PolicyFiles files;
};

using Lines = std::vector<std::string>;

}  // namespace

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

TEST_F(PolicyTest, OddLinesAndFailedEntries) {
    // An empty line writes pid 0 vid 0; ids convert up to the first non-hex digit; a line
    // over the buffer is taken piece by piece; a last line without line feed still counts.
    std::string long_line = "abcd" + std::string(1100, 'e') + "\n";
    write(files.white_list, "\nC820 0bda trailing\n12g4zz12\n" + long_line + "1111222");
    fw().add_answers = {0, 0, 0, 5, 0, 0, 0};
    fw().update_answers = {6};
    init_policy(log, FakeFramework::functions(), files);

    EXPECT_EQ(writes(),
              (Lines{"add 0:0=1", "add c820:bda=1", "add 12:0=1", "add abcd:eeee=1",
                     "update abcd:eeee=1", "add eeee:eeee=1", "add 1111:222=1", "add c820:bda=1"}));
    EXPECT_TRUE(log.has("whitelist failed，[idProduct]：abcd [idVendor]：eeee ret=-6"));
    EXPECT_FALSE(std::filesystem::exists(files.white_list));
}
