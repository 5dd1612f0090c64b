// bankguard over the system bus: lists and statuses in /etc/mdm/bank, the permission records
// they leave in the stand-in framework, and the relayed actions.
#include <gtest/gtest.h>

#include <mdmtest/support.h>
#include <sys/mount.h>

#include <string>
#include <vector>

#include "periphcore.h"

namespace {

using mdmtest::call_system;
using mdmtest::eventually;
using mdmtest::int_reply;
using mdmtest::read_file;
using mdmtest::write_file;
using Strings = std::vector<std::string>;

constexpr char kName[] = "com.quorl.bankingdevctl";
constexpr char kPath[] = "/com/quorl/bankingdevctl";

mdmtest::CallResult bank_call(const char* method, GVariant* args = nullptr) {
    return call_system(kName, kPath, kName, method, args);
}

using PairList = std::vector<std::pair<const char*, const char*>>;

int change_list(const char* method, int type, const PairList& list, int len = 0) {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a(ss)"));
    for (const auto& [p, v] : list)
        g_variant_builder_add(&b, "(ss)", p, v);
    return int_reply(bank_call(method, g_variant_new("(iia(ss))", type, len, &b)));
}
int set_list(int type, const PairList& list, int len = 0) {
    return change_list("setBankingDevList", type, list, len);
}
int del_list(int type, const PairList& list) {
    return change_list("delBankingDevList", type, list);
}
int set_status(int type, int perm) {
    return int_reply(bank_call("setBankingDevStatus", g_variant_new("(ii)", type, perm)));
}
int get_status(int type) {
    return int_reply(bank_call("getBankingDevStatus", g_variant_new("(i)", type)));
}

Strings get_list(int type) {
    return mdmtest::strings_reply(bank_call("getBankingDevList", g_variant_new("(i)", type)));
}

class Bankguard : public mdmtest::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        mdmtest::run({"mkdir", "-p", "/etc/mdm/bank/devlist", "/etc/mdm/bank/status"});
    }

    // Started after the files a test needs are in place.
    void start() {
        daemon_ =
            std::make_unique<mdmtest::Process>(Strings{mdmtest::program("bank-daemon/bankguard")},
                                               mdmtest::ProcessOptions{.name = "bankguard"});
        ASSERT_TRUE(mdmtest::wait_name(G_BUS_TYPE_SYSTEM, kName));
        ASSERT_TRUE(daemon_->wait_output("Acquired the name com.quorl.bankingdevctl"));
    }

    std::unique_ptr<mdmtest::Process> daemon_;
};

TEST_F(Bankguard, StatusAndDeletionGrantAndWithdrawPermissionRecords) {
    write_file("/etc/mdm/bank/devlist/taxtray", "11110001\nABCD00EF\n22220002\n");
    write_file("/etc/mdm/bank/status/taxtray", "0\n");
    write_file("/etc/mdm/bank/white-list", "22220002\n");
    start();

    EXPECT_EQ(get_status(2), 0);
    EXPECT_EQ(set_status(2, 1), 0);
    EXPECT_EQ(get_status(2), 1);
    EXPECT_EQ(read_file("/etc/mdm/bank/status/taxtray"), "1\n");
    EXPECT_EQ(
        mdmtest::framework_entries(),
        (Strings{"device 1111 0001 perm=1", "device abcd 00ef perm=1", "device 2222 0002 perm=1"}));
    EXPECT_TRUE(
        eventually([] { return mdmtest::syslog_has("setBankDevStatus rc=0 type=2 perm=1"); }));
    EXPECT_TRUE(mdmtest::syslog_has("tarvex_devctl_add_perm pid：1111 vid：0001 perm：1 ret=0"));

    // Off: the existing entries are updated to deny, except the bank white-listed one.
    EXPECT_EQ(set_status(2, 0), 0);
    EXPECT_EQ(
        mdmtest::framework_entries(),
        (Strings{"device 1111 0001 perm=2", "device abcd 00ef perm=2", "device 2222 0002 perm=1"}));
    EXPECT_TRUE(eventually([] {
        return mdmtest::syslog_has("tarvex_devctl_update_perm pid：1111 vid：0001 perm：2 ret=0");
    }));

    EXPECT_EQ(set_status(2, 2), -1);
    EXPECT_TRUE(
        eventually([] { return mdmtest::syslog_has("setBankDevStatus rc=-1 type=2 perm=2"); }));
    EXPECT_EQ(get_status(2), 0);

    // Deletion withdraws the records, except the bank white-listed pair's.
    EXPECT_EQ(del_list(2, {{"1111", "0001"}, {"2222", "0002"}}), 2);
    EXPECT_EQ(get_list(2), Strings{"abcd00ef"});
    EXPECT_EQ(mdmtest::framework_entries(),
              (Strings{"device abcd 00ef perm=2", "device 2222 0002 perm=1"}));
    EXPECT_TRUE(eventually(
        [] { return mdmtest::syslog_has("tarvex_devctl_remove_perm rc=0 pid=1111 vid=0001"); }));
    EXPECT_EQ(mdmtest::syslog_count("tarvex_devctl_remove_perm"), 1u);
}

TEST_F(Bankguard, HandedInPairsAreCheckedBeforeTheyReachTheList) {
    write_file("/etc/mdm/bank/devlist/ushield", "");
    write_file("/etc/mdm/bank/status/ushield", "1");
    start();

    // "len" disagrees with the pairs and is ignored.
    EXPECT_EQ(set_list(0, {{"c820", "0bda"}, {"c82", "0bda"}, {"c8g0", "0bda"}}, 7), 1);
    EXPECT_EQ(read_file("/etc/mdm/bank/devlist/ushield"), "c8200bda\n");
    // Either case is hexadecimal; the list holds lowercase.
    EXPECT_EQ(set_list(0, {{"ABCD", "ef01"}, {"c820", "0bdaa"}}), 1);
    EXPECT_TRUE(
        eventually([] { return mdmtest::syslog_has("isHexadecimal check error c8g00bda"); }));
    EXPECT_EQ(mdmtest::syslog_count("isHexadecimal check error"), 1u);
    EXPECT_TRUE(mdmtest::syslog_has("setBankingDevList"));
    EXPECT_EQ(get_list(0), (Strings{"c8200bda", "abcdef01"}));

    EXPECT_EQ(set_list(3, {}), 0);
    EXPECT_EQ(set_list(7, {}), -1);
}

TEST_F(Bankguard, MissingListsReadAsEmptyAndAreNeverCreated) {
    start();
    EXPECT_EQ(get_list(2), Strings{});
    EXPECT_EQ(get_list(9), Strings{});
    EXPECT_EQ(set_list(2, {{"c820", "0bda"}}), 0);
    EXPECT_EQ(del_list(2, {{"c820", "0bda"}}), 0);
    EXPECT_EQ(set_status(2, 1), -1);
    EXPECT_FALSE(mdmtest::file_exists("/etc/mdm/bank/devlist/taxtray"));
    EXPECT_FALSE(mdmtest::file_exists("/etc/mdm/bank/status/taxtray"));
    EXPECT_TRUE(daemon_->wait_output("setBankDevList: No such file or directory"));
    EXPECT_TRUE(daemon_->wait_output("delBankDevList: No such file or directory"));
    EXPECT_TRUE(daemon_->wait_output("set devlist status error"));
    EXPECT_TRUE(mdmtest::framework_entries().empty());
}

// Unmounts on scope exit so the next test's reset finds a plain directory.
struct TinyMount {
    const char* dir;
    bool ok = mdmtest::run({"mount", "-t", "tmpfs", "-o", "size=4k", "bankfull", dir}).status == 0;
    ~TinyMount() { ok&& umount2(dir, MNT_DETACH); }
};

TEST_F(Bankguard, ADeletionThatCannotBeWrittenLeavesTheOldListWhole) {
    TinyMount tiny{"/etc/mdm/bank/devlist"};
    ASSERT_TRUE(tiny.ok);
    // The list fills the file system's only page: there is no room for a new copy.
    const std::string list = "11110001\n22220002\n33330003\n";
    write_file("/etc/mdm/bank/devlist/ushield", list);
    write_file("/etc/mdm/bank/status/ushield", "1");
    start();
    ASSERT_EQ(set_status(0, 1), 0);

    EXPECT_EQ(del_list(0, {{"2222", "0002"}}), 0);
    EXPECT_EQ(read_file("/etc/mdm/bank/devlist/ushield"), list);
    EXPECT_EQ(mdmtest::framework_entries().size(), 3u);
    EXPECT_TRUE(daemon_->wait_output("delBankDevList: No space left on device"));
    EXPECT_EQ(mdmtest::run({"ls", "-A", "/etc/mdm/bank/devlist"}).out, "ushield\n");
}

TEST_F(Bankguard, ActionsReachAnyListenerOnlyRootMayCallAndTheContractIsPublished) {
    start();
    // A desktop user's listener: anyone may receive the signal.
    mdmtest::Process monitor({"stdbuf", "-oL", "gdbus", "monitor", "--system", "--dest", kName},
                             {.uid = 65534, .name = "monitor"});
    ASSERT_TRUE(monitor.wait_output("is owned by"));
    EXPECT_EQ(int_reply(bank_call("updateAction", g_variant_new("(s)", "plugged ushield"))), 0);
    // The core library's client of the same interface.
    EXPECT_EQ(updateDevAction("from the library"), 0);
    EXPECT_TRUE(monitor.wait_output("sendAction ('plugged ushield',)"));
    EXPECT_TRUE(monitor.wait_output("sendAction ('from the library',)"));

    EXPECT_TRUE(
        mdmtest::denied_to_nobody(mdmtest::gdbus_call(kName, kPath, "getBankingDevStatus", {"0"})));

    // The contract, argument names included, under the object manager.
    auto intro = call_system(kName, kPath, "org.freedesktop.DBus.Introspectable", "Introspect");
    ASSERT_TRUE(intro.ok()) << intro.error;
    const gchar* xml = nullptr;
    g_variant_get(intro.reply.get(), "(&s)", &xml);
    std::string text = xml;
    for (const char* arg :
         {"name=\"unnamed_arg2\"", "name=\"unnamed_arg1\"", "name=\"unnamed_arg3\"",
          "name=\"devType\"", "name=\"devPerm\"", "name=\"info\"", "name=\"len\"", "name=\"list\"",
          "<signal name=\"sendAction\">"}) {
        EXPECT_NE(text.find(arg), std::string::npos) << arg;
    }

    auto managed =
        call_system(kName, "/com/quorl", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects");
    ASSERT_TRUE(managed.ok()) << managed.error;
    mdm::GCharPtr printed(g_variant_print(managed.reply.get(), FALSE));
    EXPECT_NE(
        std::string(printed.get()).find("'/com/quorl/bankingdevctl': {'com.quorl.bankingdevctl'"),
        std::string::npos)
        << printed.get();
}

}  // namespace
