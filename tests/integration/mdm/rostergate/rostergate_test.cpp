// RosterGate in the sandbox, over the bus, with the stand-in framework and peers: results,
// the entries and bank white list each call leaves, the audit records, the policy.
#include <sys/stat.h>

#include <filesystem>

#include "mdmtest/support.h"

using namespace mdmtest;

namespace {

constexpr const char* kName = "com.quorl.ListControl";
constexpr const char* kPath = "/com/quorl/ListControl";
constexpr const char* kProgram = "mdm/rostergate/RosterGate";
constexpr const char* kBankWhiteList = "/etc/mdm/bank/white-list";

using Lines = std::vector<std::string>;

CallResult call(const std::string& method, GVariant* args = nullptr) {
    return call_system(kName, kPath, kName, method, args);
}

int pair_call(const char* method, const char* pid, const char* vid) {
    return int_reply(call(method, g_variant_new("(ss)", pid, vid)));
}

CallResult batch_call(const char* method, const Lines& flat, int len) {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a(ss)"));
    for (std::size_t i = 0; i + 1 < flat.size(); i += 2)
        g_variant_builder_add(&b, "(ss)", flat[i].c_str(), flat[i + 1].c_str());
    return call(method, g_variant_new("(a(ss)i)", &b, len));
}

Lines list_result(const char* method) {
    return strings_reply(call(method));
}

// The message field of every audit record received so far.
Lines audit_messages(const Peers& peers) {
    Lines out;
    for (const PeerCall& c : peers.calls("log", "log_transmit")) {
        const std::string& record = c.args.at(0);
        auto at = record.find("'message':'");
        EXPECT_NE(record.find("'name':'list-control','lv':'info'"), std::string::npos) << record;
        out.push_back(at == std::string::npos ? record
                                              : record.substr(at + 11, record.size() - at - 13));
    }
    return out;
}

class RosterGateTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        for (const char* dir : {"/etc/mdm/bank", "/etc/mdm/bank/devlist"})
            mkdir(dir, 0755);
    }
    void start() {
        service = std::make_unique<Process>(std::vector<std::string>{program(kProgram)},
                                            ProcessOptions{.name = "RosterGate"});
        ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, kName)) << service->output();
    }
    std::unique_ptr<Process> service;
};

TEST_F(RosterGateTest, SingleEntriesQueriesAndTheirAudits) {
    Peers peers;
    write_file("/etc/mdm/bank/devlist/ushield", "0001096e\n");
    framework_set({"set-device", "c820", "0bda", "1"});
    framework_set({"set-device", "5555", "6666", "5"});
    start();

    EXPECT_EQ(pair_call("SetBlackList", "5678", "1234"), 0);
    EXPECT_EQ(pair_call("SetBlackList", "5678", "1234"), -1);
    EXPECT_EQ(pair_call("SetWhiteList", "0001", "096e"), 0);  // a bank device
    EXPECT_EQ(read_file(kBankWhiteList), "0001096e\n");
    EXPECT_EQ(list_result("GetWhiteList"), (Lines{"c8200bda", "0001096e"}));
    EXPECT_EQ(list_result("GetBlackList"), Lines{"56781234"});

    // A non-convertible id: audited, then refused as an argument; nothing written; still
    // serving.
    CallResult bad = call("SetWhiteList", g_variant_new("(ss)", "zz", "0bda"));
    EXPECT_FALSE(bad.ok());
    EXPECT_EQ(bad.error_name, "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_NE(bad.error.find("zz"), std::string::npos) << bad.error;

    EXPECT_EQ(pair_call("DelWhiteList", "c820", "0bda"), 0);  // the default device stays
    EXPECT_EQ(pair_call("DelWhiteList", "0001", "096e"), 0);  // a bank device stays
    EXPECT_EQ(read_file(kBankWhiteList), "");
    EXPECT_EQ(pair_call("DelBlackList", "5678", "1234"), 0);
    EXPECT_EQ(pair_call("DelBlackList", "5678", "1234"), -1);
    EXPECT_EQ(framework_entries(), (Lines{"device c820 0bda perm=1", "device 5555 6666 perm=5",
                                          "device 0001 096e perm=1"}));

    ASSERT_TRUE(peers.wait_calls(7, "log", "log_transmit"));
    EXPECT_EQ(audit_messages(peers),
              (Lines{"添加黑名单设备pid: 5678, vid: 1234", "添加白名单设备pid: 0001, vid: 096e",
                     "添加白名单设备pid: zz, vid: 0bda", "删除白名单设备pid: c820, vid: 0bda",
                     "删除白名单设备pid: 0001, vid: 096e", "删除黑名单设备pid: 5678, vid: 1234",
                     "删除黑名单设备pid: 5678, vid: 1234"}));
    EXPECT_TRUE(eventually([] { return syslog_has("6 [RosterGate]:DelBlackList return -1"); }));
    EXPECT_TRUE(syslog_has("6 [RosterGate]:DelWhiteList 0001096e ignore"));
    EXPECT_EQ(service->output(), "");
}

TEST_F(RosterGateTest, BatchesAndClearsOverTheBus) {
    Peers peers;
    write_file("/etc/mdm/bank/devlist/taxkey", "0405096e\n");
    start();
    EXPECT_EQ(int_reply(batch_call("SetWhiteListByBatch", {"0405", "096E", "abcd", "1234"}, 3)), 0);
    EXPECT_EQ(read_file(kBankWhiteList), "0405096e\n");
    EXPECT_EQ(batch_call("SetBlackListByBatch", {"1111", "2222"}, 100001).error_name,
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(int_reply(batch_call("SetBlackListByBatch", {"AAAA", "BBBB"}, 1)), 0);
    EXPECT_EQ(int_reply(batch_call("DelWhiteListByBatch", {"ab", "cd1234"}, 0)), 0);
    EXPECT_EQ(list_result("GetWhiteList"), Lines{"0405096e"});
    EXPECT_EQ(list_result("GetBlackList"), Lines{"aaaabbbb"});
    framework_set({"set-device", "7777", "8888", "1"});
    EXPECT_EQ(int_reply(call("ClearWhiteList")), 0);
    EXPECT_EQ(read_file(kBankWhiteList), "");
    EXPECT_EQ(int_reply(call("ClearBlackList")), 0);
    // The third record of the len-3 batch was all zero, and the framework took it as given.
    EXPECT_EQ(framework_entries(), (Lines{"device 0405 096e perm=1", "device 0000 0000 perm=0"}));
    ASSERT_TRUE(peers.wait_calls(3, "log", "log_transmit"));
    EXPECT_EQ(audit_messages(peers), (Lines{"批量删除白名单", "清空白名单", "清空黑名单"}));
}

TEST_F(RosterGateTest, OnlyRootOwnsAndCallsAndTheFrameworkLibraryIsNeeded) {
    Peers peers;
    EXPECT_TRUE(denied_to_nobody({program(kProgram)}));
    start();
    EXPECT_EQ(render_interface(kName, kPath, kName),
              "SetWhiteList(in s pid, in s vid, out i ret); "
              "SetWhiteListByBatch(in a(ss) white-list, in i len, out i ret); "
              "DelWhiteListByBatch(in a(ss) white-list, in i len, out i ret); "
              "GetWhiteList(out as white-list); ClearWhiteList(out i ret); "
              "DelWhiteList(in s pid, in s vid, out i ret); "
              "SetBlackList(in s pid, in s vid, out i ret); "
              "SetBlackListByBatch(in a(ss) black-list, in i len, out i ret); "
              "GetBlackList(out as black-list); ClearBlackList(out i ret); "
              "DelBlackList(in s pid, in s vid, out i ret)");
    EXPECT_TRUE(denied_to_nobody(gdbus_call(kName, kPath, "SetBlackList", {"1234", "5678"})));
    EXPECT_TRUE(framework_entries().empty());
    service.reset();

    // Without the framework library the service does not start.
    const std::string lib = "/usr/lib/libtarvex_extend.so.0.0.0";
    std::filesystem::rename(lib, lib + ".away");
    Process without({program(kProgram)});
    auto status = without.wait_exit();
    std::filesystem::rename(lib + ".away", lib);
    ASSERT_TRUE(status.has_value()) << "started without the framework library";
    EXPECT_GT(*status, 0);
    EXPECT_NE(without.output().find("libtarvex_extend.so.0.0.0"), std::string::npos)
        << without.output();
    EXPECT_FALSE(name_has_owner(G_BUS_TYPE_SYSTEM, kName));
}

}  // namespace
