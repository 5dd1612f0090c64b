// mdmctl's logic: the command line, import files, tables and JSON, bus error mapping and the
// device table over a fake framework.
#include <gtest/gtest.h>

#include <vector>

#include <mdmtest/fake_framework.h>

#include "bus.h"
#include "cli.h"
#include "devices.h"
#include "output.h"

namespace mdmctl {
namespace {

Parsed p(std::vector<std::string> args) {
    return parse(args);
}

TEST(MdmctlCli, RequestsAndTheirChecks) {
    auto r = p({"whitelist", "add", "C820", "0bda", "--json"});
    ASSERT_TRUE(r.request);
    EXPECT_EQ(r.request->target, Target::White);
    EXPECT_EQ(r.request->verb, Verb::Add);
    EXPECT_EQ(r.request->pair, (Pair{"C820", "0bda"}));  // case kept: the service decides
    EXPECT_TRUE(r.request->json);
    EXPECT_TRUE(r.request->changes());

    r = p({"--json", "bank", "taxkey", "status"});
    ASSERT_TRUE(r.request);
    EXPECT_EQ(r.request->bank_type, 3);
    EXPECT_EQ(r.request->verb, Verb::Query);
    EXPECT_FALSE(r.request->changes());
    EXPECT_EQ(p({"bank", "1", "on"}).request->bank_type, 1);
    EXPECT_EQ(p({"blacklist", "import", "/x"}).request->file, "/x");
    EXPECT_EQ(p({"net", "off"}).request->verb, Verb::Off);
    EXPECT_EQ(p({"blacklist", "clear"}).request->verb, Verb::Clear);

    // Every malformed line is a usage failure naming the problem, never a request.
    for (const std::vector<std::string>& bad : {std::vector<std::string>{},
                                                {"whitelist"},
                                                {"whitelist", "add", "c820"},
                                                {"whitelist", "add", "c8200", "0bda"},
                                                {"whitelist", "add", "zz", "0bda"},
                                                {"whitelist", "add", "", "0bda"},
                                                {"whitelist", "list", "extra"},
                                                {"bank", "tray", "on"},
                                                {"bank", "4", "on"},
                                                {"bank", "ushield", "add", "12", "0bda"},
                                                {"bank", "ushield"},
                                                {"net", "toggle"},
                                                {"status", "x"},
                                                {"frobnicate"},
                                                {"--verbose", "status"}}) {
        auto f = p(bad);
        EXPECT_FALSE(f.request) << ::testing::PrintToString(bad);
        ASSERT_TRUE(f.failure);
        EXPECT_EQ(f.failure->code, kUsage);
        EXPECT_EQ(f.failure->message.find('\n'), std::string::npos) << f.failure->message;
    }
    EXPECT_NE(p({"whitelist", "add", "zz", "0bda"}).failure->message.find("bad id \"zz\""),
              std::string::npos);
    auto help = p({"status", "--help"});
    ASSERT_TRUE(help.failure);
    EXPECT_EQ(help.failure->code, kOk);
    EXPECT_NE(help.failure->message.find("usage: mdmctl"), std::string::npos);
}

TEST(MdmctlCli, ImportFileSkipsNothingSilently) {
    auto f = parse_import("# site list\nc8200bda\r\n\n  12345678  \nc820 0bda\nzz001111\nABCDef01");
    EXPECT_EQ(f.pairs, (std::vector<Pair>{{"c820", "0bda"}, {"1234", "5678"}, {"ABCD", "ef01"}}));
    // A bad line is reported with its number and does not hide the next one.
    EXPECT_EQ(f.problems,
              (std::vector<std::string>{"5: not a joined pair of eight hexadecimal digits",
                                        "6: not a joined pair of eight hexadecimal digits"}));
    std::string with_nul("c8200bda\0\n11112222\n", 19);
    f = parse_import(with_nul);
    EXPECT_EQ(f.pairs, (std::vector<Pair>{{"1111", "2222"}}));
    EXPECT_EQ(f.problems.size(), 1u);
}

TEST(MdmctlOutput, TablesAlignByCharactersAndJsonAlwaysParses) {
    Table t{{"PID", "PRODUCT", "LISTS"}, {{"c820", "Stick", ""}, {"1", "Überstick", "white"}}};
    EXPECT_EQ(t.render(),
              "PID   PRODUCT    LISTS\n"
              "c820  Stick\n"
              "1     Überstick  white\n");
    Table odd{{"A", "B C"}, {{"q\"\\\n\x01", std::string("bad\xff", 4)}}};
    EXPECT_EQ(odd.json(), "[{\"a\":\"q\\\"\\\\\\n\\u0001\",\"b_c\":\"bad\xef\xbf\xbd\"}]\n");
    EXPECT_EQ((Table{{"A"}, {}}.json()), "[]\n");
    EXPECT_EQ(change_result(true, false, -1, "x"), "{\"ok\":false,\"answer\":-1}\n");
    EXPECT_EQ(change_result(false, true, 0, "done"), "done\n");
}

// A service absent and a caller refused are met in the bus test; these errors are not.
TEST(MdmctlBus, RefusedArgumentsAreUsageErrorsAndOtherErrorsFailures) {
    const Service& s = kLists;
    auto refused =
        classify_bus_error(s, "org.freedesktop.DBus.Error.InvalidArgs", "invalid id 'zz'");
    EXPECT_EQ(refused.code, kUsage);
    EXPECT_EQ(refused.message,
              "RosterGate (com.quorl.ListControl) refused the arguments: invalid id 'zz'");
    EXPECT_EQ(classify_bus_error(s, "org.freedesktop.DBus.Error.NoReply", "").code, kFailed);
    auto other = classify_bus_error(s, "org.freedesktop.DBus.Error.Failed", "bad id zz");
    EXPECT_EQ(other.code, kFailed);
    EXPECT_EQ(other.message, "RosterGate (com.quorl.ListControl) failed: bad id zz");
}

TEST(MdmctlDevices, PermissionIsThePlugMonitorsLookup) {
    using mdmtest::FakeFramework;
    FakeFramework::reset();
    FakeFramework& fake = FakeFramework::state();
    const mdm::tarvex::Functions& fw = FakeFramework::functions();
    fake.classes = {FakeFramework::class_entry(6, 2), FakeFramework::class_entry(19, 5)};
    fake.devices = {FakeFramework::device(0x1111, 0x2222, 1),
                    FakeFramework::device(0x3333, 0x4444, 2),
                    FakeFramework::device(0x5555, 0x6666, 5)};
    std::vector<DeviceFacts> devices = {
        {"1-1", "c820", "0bda", "Stick", {{"00", "08", "0", "no"}}},
        {"1-2", "1111", "2222", "Phone", {{"00", "08"}, {"01", "ff"}, {"02", "03"}}},
        {"1-3", "3333", "4444", "Key", {{"00", "ff"}}},
        {"1-4", "5555", "6666", "Pad", {{"00", "03"}}},
        {"1-5", "aaaa", "bbbb", "Hub", {}},
    };
    auto bank = [](const std::string& pid, const std::string&) { return pid == "3333" ? 3 : 4; };
    Table t = devices_table(devices, fw, bank);
    using Row = std::vector<std::string>;
    EXPECT_EQ(
        t.rows,
        (std::vector<Row>{
            {"1-1", "c820", "0bda", "Stick", "00", "08", "storage", "disabled", "0", "no", ""},
            {"1-2", "1111", "2222", "Phone", "00", "08", "storage", "enabled", "", "", "white"},
            {"1-2", "1111", "2222", "Phone", "01", "ff", "vendorspec", "enabled", "", "", "white"},
            {"1-2", "1111", "2222", "Phone", "02", "03", "nonstorage", "enabled", "", "", "white"},
            {"1-3", "3333", "4444", "Key", "00", "ff", "vendorspec", "disabled", "", "",
             "black,taxkey"},
            {"1-4", "5555", "6666", "Pad", "00", "03", "nonstorage", "read-only", "", "", ""},
            {"1-5", "aaaa", "bbbb", "Hub", "", "", "", "", "", "", ""},
        }));
    // Nonstorage interfaces never read the class table, as in the plug monitor.
    fake.class_reads = 0;
    devices_table({devices[3]}, fw, bank);
    EXPECT_EQ(fake.class_reads, 0);
}

}  // namespace
}  // namespace mdmctl
