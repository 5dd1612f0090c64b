// mdmctl against the running services in the sandbox: output, --json, exit codes and the
// one-line errors for a service absent, a caller not permitted and a bad id.
#include <gtest/gtest.h>

#include <mdmtest/support.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace mdmtest;
using Strings = std::vector<std::string>;

struct Outcome {
    int status;
    std::string out;
};

class MdmctlTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        ASSERT_EQ(
            run({"systemd-tmpfiles", "--create", source_dir() + "/data/tmpfiles/mdm.conf"}).status,
            0);
    }
    void start(const std::string& relative, const std::string& bus, bool umockdev = false) {
        services_.push_back(std::make_unique<Process>(
            Strings{program(relative)}, ProcessOptions{.umockdev = umockdev, .name = relative}));
        ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, bus)) << services_.back()->output();
    }
    // mdmctl's exit status and its standard output and error together.
    static Outcome mdmctl(const Strings& args, ProcessOptions options = {}) {
        Strings argv{program("mdmctl/mdmctl")};
        argv.insert(argv.end(), args.begin(), args.end());
        Process p(argv, options);
        auto status = p.wait_exit();
        EXPECT_TRUE(status.has_value()) << "mdmctl did not end";
        return {status.value_or(-1), p.output()};
    }
    // A Python expression over the parsed JSON of `text`, printed; "invalid" when it does not
    // parse.
    static std::string json(const std::string& text, const std::string& expression) {
        write_file("/tmp/mdmctl.json", text);
        return run({"python3", "-c",
                    "import json,sys\ntry: d=json.load(open('/tmp/mdmctl.json'))\n"
                    "except ValueError: print('invalid'); sys.exit()\nprint(" +
                        expression + ")"})
            .out;
    }

    std::vector<std::unique_ptr<Process>> services_;
};

TEST_F(MdmctlTest, ListsBankAndNetOverTheBus) {
    Peers peers;
    start("mdm/rostergate/RosterGate", "com.quorl.ListControl");
    start("bank-daemon/bankguard", "com.quorl.bankingdevctl");
    start("mdm/nicgate/NicGate", "com.quorl.netcardcontrol", true);

    auto status = mdmctl({"--json", "status"});
    EXPECT_EQ(status.status, 0);
    EXPECT_EQ(json(status.out, "' '.join(r['service'] for r in d if r['state'] == 'running')"),
              "RosterGate NicGate bankguard\n");

    EXPECT_EQ(mdmctl({"whitelist", "add", "1111", "2222"}).out,
              "added 1111 2222 to the white list\n");
    EXPECT_EQ(mdmctl({"blacklist", "add", "3333", "4444"}).status, 0);
    Outcome again = mdmctl({"blacklist", "add", "3333", "4444"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, "mdmctl: 3333 4444 is already on the black list\n");
    write_file("/tmp/import", "# site\n55556666\n77778888\n");
    EXPECT_EQ(mdmctl({"whitelist", "import", "/tmp/import"}).out,
              "imported 2 entries into the white list\n");
    EXPECT_EQ(mdmctl({"whitelist", "list"}).out, "PID   VID\n1111  2222\n5555  6666\n7777  8888\n");
    auto black = mdmctl({"blacklist", "list", "--json"});
    EXPECT_EQ(json(black.out, "d"), "[{'pid': '3333', 'vid': '4444'}]\n");
    EXPECT_EQ(mdmctl({"whitelist", "remove", "5555", "6666"}).status, 0);
    EXPECT_EQ(mdmctl({"blacklist", "clear"}).status, 0);
    EXPECT_EQ(mdmctl({"blacklist", "list"}).out, "PID  VID\n");
    EXPECT_EQ(mdmctl({"whitelist", "list"}).out, "PID   VID\n1111  2222\n7777  8888\n");

    EXPECT_EQ(mdmctl({"bank", "taxkey", "add", "9999", "aaaa"}).out,
              "added 9999 aaaa to the taxkey list\n");
    EXPECT_EQ(read_file("/etc/mdm/bank/devlist/taxkey"), "9999aaaa\n");
    EXPECT_EQ(mdmctl({"bank", "3", "on"}).status, 0);
    EXPECT_EQ(mdmctl({"bank", "taxkey", "status"}).out, "TYPE    STATUS\ntaxkey  on\n");
    auto removed = mdmctl({"--json", "bank", "taxkey", "remove", "9999", "aaaa"});
    EXPECT_EQ(json(removed.out, "d"), "{'ok': True, 'answer': 1}\n");
    EXPECT_EQ(mdmctl({"bank", "taxkey", "remove", "9999", "aaaa"}).status, 1);

    EXPECT_EQ(mdmctl({"net", "off"}).out, "switched the network cards off\n");
    EXPECT_EQ(json(mdmctl({"--json", "net", "status"}).out, "d[0]['status']"), "off\n");
    EXPECT_EQ(read_file("/etc/mdm/net"), "0");
}

// The list service answers -1 both for a pair already listed and for framework tables it
// cannot use: with the store damaged, mdmctl looks the pair up instead of calling it listed.
TEST_F(MdmctlTest, AnAddRefusedByAnUnreadableStoreIsNotTakenForAlreadyListed) {
    Peers peers;
    start("mdm/rostergate/RosterGate", "com.quorl.ListControl");
    ASSERT_EQ(mdmctl({"blacklist", "add", "3333", "4444"}).status, 0);
    for (const auto& entry : std::filesystem::directory_iterator("/var/lib/tarvex"))
        if (entry.is_regular_file())
            write_file(entry.path(), std::string(4096, 'x'));
    Outcome add = mdmctl({"blacklist", "add", "5555", "6666"});
    EXPECT_EQ(add.status, 1);
    EXPECT_EQ(add.out, "mdmctl: RosterGate could not add 5555 6666 to the black list (-1)\n");
}
TEST_F(MdmctlTest, RefusalsAreOneLineWithDistinctExitCodes) {
    Outcome absent = mdmctl({"bank", "ushield", "status"});
    EXPECT_EQ(absent.status, 3);
    EXPECT_EQ(absent.out, "mdmctl: bankguard (com.quorl.bankingdevctl) is not running\n");

    start("bank-daemon/bankguard", "com.quorl.bankingdevctl");
    Outcome query = mdmctl({"bank", "ushield", "status"}, {.uid = 65534});
    EXPECT_EQ(query.status, 4);
    EXPECT_EQ(query.out,
              "mdmctl: not permitted: only root may call bankguard "
              "(com.quorl.bankingdevctl)\n");
    Outcome change = mdmctl({"bank", "ushield", "on"}, {.uid = 65534});
    EXPECT_EQ(change.status, 4);
    EXPECT_EQ(change.out, "mdmctl: not permitted: changes need root\n");
    EXPECT_EQ(read_file("/etc/mdm/bank/status/ushield"), "0");

    Outcome bad = mdmctl({"blacklist", "add", "c8200", "0bda"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "mdmctl: bad id \"c8200\": one to four hexadecimal digits expected\n");
    write_file("/tmp/import", "c8200bda\nc820 0bda\n");
    Outcome import = mdmctl({"whitelist", "import", "/tmp/import"});
    EXPECT_EQ(import.status, 2);
    EXPECT_EQ(import.out,
              "mdmctl: /tmp/import:2: not a joined pair of eight hexadecimal digits; nothing "
              "imported\n");
    EXPECT_EQ(mdmctl({"whitelist", "import", "/tmp"}).status, 2);
    // A file past the size cap is refused before it is read.
    ASSERT_EQ(run({"truncate", "-s", "1G", "/tmp/import"}).status, 0);
    EXPECT_EQ(mdmctl({"whitelist", "import", "/tmp/import"}).out,
              "mdmctl: cannot read /tmp/import: File too large\n");
}

TEST_F(MdmctlTest, DevicesShowThePermissionThePlugMonitorWouldAnnounce) {
    Testbed testbed;  // its interfaces show bInterfaceNumber as "0", not sysfs's "00"
    std::string stick = testbed.add_usb_device({});  // c820 0bda
    testbed.add_interface(stick, 0, "08");
    std::string phone = testbed.add_usb_device(
        {.name = "1-2", .vid = "2222", .pid = "1111", .product = "Phone", .num_interfaces = " 2"});
    testbed.add_interface(phone, 0, "ff");
    testbed.add_interface(phone, 1, "03");
    framework_set({"set-class", "1", "6", "2"});   // storage disabled
    framework_set({"set-class", "1", "19", "5"});  // vendorspec read-only
    framework_set({"set-device", "1111", "2222", "2"});
    write_file("/etc/mdm/bank/devlist/fingerprint", "11112222\n");

    Outcome table = mdmctl({"devices"}, {.umockdev = true});
    EXPECT_EQ(table.status, 0);
    EXPECT_EQ(table.out,
              "DEVICE  PID   VID   PRODUCT  INTERFACE  CLASS  CATEGORY    PERMISSION  LISTS\n"
              "1-1     c820  0bda  Stick    0          08     storage     disabled\n"
              "1-2     1111  2222  Phone    0          ff     vendorspec  disabled    "
              "black,fingerprint\n"
              "1-2     1111  2222  Phone    1          03     nonstorage  disabled    "
              "black,fingerprint\n");
    Outcome js = mdmctl({"devices", "--json"}, {.umockdev = true});
    EXPECT_EQ(json(js.out, "[(r['device'], r['interface'], r['permission']) for r in d]"),
              "[('1-1', '0', 'disabled'), ('1-2', '0', 'disabled'), ('1-2', '1', "
              "'disabled')]\n");
    EXPECT_EQ(mdmctl({"devices"}, {.umockdev = true, .uid = 65534}).status, 4);
}

}  // namespace
