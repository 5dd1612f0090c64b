// NicGate's steps with every outside call recorded in order: what the bus cannot show.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <mdmtest/scratch.h>

#include "mdm/records.h"
#include "netcard_control.h"

using namespace mdm::nicgate;
namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

namespace {

const std::string kOn = "audit 开启网卡管控", kOff = "audit 关闭网卡管控";

class Steps : public ::testing::Test {
  protected:
    NetcardControl control(const fs::path& state) {
        auto call = [this](const char* name) {
            return [this, name] { return calls.emplace_back(name), 0; };
        };
        CoreCalls core{.enable_net_card = call("enable_net_card"),
                       .disable_acpi_net_card = call("disable_acpi_net_card"),
                       .disable_usb_net_card = call("disable_usb_net_card"),
                       .enabledevices = [this](const char* p, const char* v) {
                           return calls.push_back(std::string("enable ") + p + "/" + v), 0;
                       }};
        return NetcardControl(
            core, [this](std::string_view m) { calls.push_back("audit " + std::string(m)); },
            [this] { calls.emplace_back("pause"); },
            {.state = state, .records = dir / "disable-net"});
    }
    Calls take() { return std::exchange(calls, {}); }
    void put(const char* name, const std::string& content) {
        std::ofstream(dir / name, std::ios::trunc) << content;
    }

    mdmtest::Scratch scratch;
    fs::path dir = scratch.path();
    Calls calls;
};

}  // namespace

TEST(NetRecords, EachPairOnceAndShortLinesGiveShortPieces) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(mdm::distinct_record_pairs("c8200bda\nc8200bda\n12345678\nc8200bda"),
              (Pairs{{"c820", "0bda"}, {"1234", "5678"}}));
    EXPECT_EQ(mdm::distinct_record_pairs("abc\n123456\n"),
              (Pairs{{"abc\n", ""}, {"1234", "56\n"}}));
}

TEST_F(Steps, OrderOfTheStepsAndOnePerRecordedPair) {
    NetcardControl nic = control(dir / "net");
    EXPECT_EQ(nic.SetNetcardStatus(0), 0);
    EXPECT_EQ(take(), (Calls{kOn, "enable_net_card", "pause", "disable_acpi_net_card",
                             "disable_usb_net_card"}));
    EXPECT_EQ(nic.SetNetcardStatus(0), 0);
    EXPECT_EQ(take(), (Calls{kOn}));

    put("disable-net", "c8200bda\nc8200bda\n12345678\nc8200bda\n");
    EXPECT_EQ(nic.SetNetcardStatus(1), 0);
    EXPECT_EQ(take(), (Calls{kOff, "enable_net_card", "enable c820/0bda", "enable 1234/5678"}));
    put("net", "5");  // neither state: the full sequence
    fs::remove(dir / "disable-net");
    EXPECT_EQ(nic.SetNetcardStatus(1), 0);
    EXPECT_EQ(take(), (Calls{kOff, "enable_net_card"}));
}

TEST_F(Steps, StateFileFailuresComeAfterTheAuditAndBeforeAnySwitching) {
    NetcardControl nic = control(dir / "net");
    put("net", "");
    EXPECT_THROW(nic.SetNetcardStatus(1), StateError);
    EXPECT_EQ(take(), (Calls{kOff}));
    fs::remove(dir / "net");
    fs::create_directory(dir / "net");  // not a regular file: read as missing
    EXPECT_EQ(nic.GetNetcardStatus(), 1);
    fs::remove(dir / "net");
    ASSERT_EQ(mkfifo((dir / "net").c_str(), 0600), 0);  // nor waited on
    EXPECT_EQ(nic.GetNetcardStatus(), 1);

    NetcardControl unwritable = control(dir / "gone" / "net");
    EXPECT_THROW(unwritable.SetNetcardStatus(0), StateError);
    EXPECT_EQ(take(), (Calls{kOn}));

    // Replaced, not rewritten in place: the mode stays and no temporary is left.
    fs::remove(dir / "net");
    put("net", "1");
    fs::permissions(dir / "net", fs::perms::owner_read);
    EXPECT_EQ(nic.SetNetcardStatus(0), 0);
    EXPECT_EQ(nic.GetNetcardStatus(), 0);
    EXPECT_EQ(fs::status(dir / "net").permissions(), fs::perms::owner_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}
