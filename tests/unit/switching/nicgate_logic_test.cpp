#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "netcard_control.h"

using namespace mdm::nicgate;
namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void put(const fs::path& p, const std::string& content) {
    std::ofstream(p, std::ios::trunc) << content;
}

// NetcardControl with every outside call recorded in one list, in order.
class Steps : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("nicgate-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        paths = {.state = dir / "net", .records = dir / "disable-net"};
    }
    void TearDown() override { fs::remove_all(dir); }

    NetcardControl control() {
        auto call = [this](const char* name) {
            return [this, name] {
                calls.emplace_back(name);
                return 0;
            };
        };
        CoreCalls core{.enable_net_card = call("enable_net_card"),
                       .disable_acpi_net_card = call("disable_acpi_net_card"),
                       .disable_usb_net_card = call("disable_usb_net_card"),
                       .enabledevices = [this](const char* p, const char* v) {
                           calls.push_back(std::string("enabledevices ") + p + "/" + v);
                           return 0;
                       }};
        return NetcardControl(
            core, [this](std::string_view m) { calls.push_back("audit " + std::string(m)); },
            [this] { calls.emplace_back("pause"); }, paths);
    }
    std::vector<std::string> take() { return std::exchange(calls, {}); }

    fs::path dir;
    Paths paths;
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;
const std::string kOn = "audit 开启网卡管控";
const std::string kOff = "audit 关闭网卡管控";

}  // namespace

TEST(NetState, FirstCharacterIsTheStateAndAnythingButADigitIsAnError) {
    EXPECT_EQ(parse_state("0"), 0);
    EXPECT_EQ(parse_state("1\n"), 1);
    EXPECT_EQ(parse_state("0 and more"), 0);
    EXPECT_EQ(parse_state("7"), 7);
    EXPECT_THROW(parse_state(""), StateError);
    EXPECT_THROW(parse_state("x0"), StateError);
    EXPECT_THROW(parse_state(" 1"), StateError);
}

TEST(NetRecords, EachPairOnceWhateverTheLines) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(distinct_pairs("c8200bda\nc8200bda\n12345678\nc8200bda"),
              (Pairs{{"c820", "0bda"}, {"1234", "5678"}}));
    // Lines are not validated: short ones give short pieces, line end included.
    EXPECT_EQ(distinct_pairs("abc\n123456\n"), (Pairs{{"abc\n", ""}, {"1234", "56\n"}}));
    EXPECT_TRUE(distinct_pairs("").empty());
}

TEST_F(Steps, TheStateTable) {
    NetcardControl nic = control();
    EXPECT_EQ(nic.GetNetcardStatus(), 1);  // missing
    EXPECT_EQ(nic.SetNetcardStatus(2), -1);
    EXPECT_EQ(nic.SetNetcardStatus(-1), -1);
    EXPECT_TRUE(take().empty());
    EXPECT_FALSE(fs::exists(paths.state));

    // From 1 (or missing) to 0: audit, state, allow, pause, deny.
    EXPECT_EQ(nic.SetNetcardStatus(0), 0);
    EXPECT_EQ(take(), (Calls{kOn, "enable_net_card", "pause", "disable_acpi_net_card",
                             "disable_usb_net_card"}));
    EXPECT_EQ(slurp(paths.state), "0");
    EXPECT_EQ(nic.GetNetcardStatus(), 0);
    EXPECT_EQ(nic.SetNetcardStatus(0), 0);
    EXPECT_EQ(take(), (Calls{kOn}));

    // From 0 to 1: each recorded pair switched on once; without a record file nothing more.
    put(paths.records, "c8200bda\nc8200bda\n12345678\nc8200bda\n");
    EXPECT_EQ(nic.SetNetcardStatus(1), 0);
    EXPECT_EQ(take(), (Calls{kOff, "enable_net_card", "enabledevices c820/0bda",
                             "enabledevices 1234/5678"}));
    EXPECT_EQ(slurp(paths.state), "1");
    EXPECT_EQ(nic.SetNetcardStatus(1), 0);
    EXPECT_EQ(take(), (Calls{kOff}));
    fs::remove(paths.records);
    put(paths.state, "0");
    EXPECT_EQ(nic.SetNetcardStatus(1), 0);
    EXPECT_EQ(take(), (Calls{kOff, "enable_net_card"}));

    // Another digit is neither state: both run in full.
    put(paths.state, "5");
    EXPECT_EQ(nic.SetNetcardStatus(1), 0);
    EXPECT_EQ(take(), (Calls{kOff, "enable_net_card"}));
    put(paths.state, "5");
    EXPECT_EQ(nic.SetNetcardStatus(0), 0);
    EXPECT_EQ(take().size(), 5u);
}

TEST_F(Steps, StateFileFailuresComeAfterTheAuditAndBeforeAnySwitching) {
    NetcardControl nic = control();
    for (const char* bad : {"", "x"}) {
        put(paths.state, bad);
        EXPECT_THROW(nic.GetNetcardStatus(), StateError);
        EXPECT_THROW(nic.SetNetcardStatus(0), StateError);
        EXPECT_THROW(nic.SetNetcardStatus(1), StateError);
        EXPECT_EQ(take(), (Calls{kOn, kOff}));
    }
    // Something that is not a regular file reads as missing.
    fs::remove(paths.state);
    fs::create_directory(paths.state);
    EXPECT_EQ(nic.GetNetcardStatus(), 1);
    fs::remove(paths.state);

    // An unwritable state file: the audit is sent, nothing is switched, the old state stays.
    put(paths.state, "1");
    fs::permissions(paths.state, fs::perms::owner_read);
    NetcardControl in_missing_dir = [&] {
        paths.state = dir / "gone" / "net";
        return control();
    }();
    EXPECT_THROW(in_missing_dir.SetNetcardStatus(0), StateError);
    EXPECT_EQ(take(), (Calls{kOn}));

    // The file is replaced, never rewritten in place: mode kept, no temporary left.
    paths.state = dir / "net";
    NetcardControl again = control();
    EXPECT_EQ(again.SetNetcardStatus(0), 0);
    EXPECT_EQ(slurp(paths.state), "0");
    EXPECT_EQ(fs::status(paths.state).permissions() & fs::perms::all, fs::perms::owner_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}
