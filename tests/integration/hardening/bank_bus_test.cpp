// bankguard's list answers: entries that cannot travel as bus strings, and lists whose reply
// would exceed the bus's message limit.
#include <gtest/gtest.h>

#include <mdmtest/support.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
constexpr char kName[] = "com.quorl.bankingdevctl";
constexpr char kPath[] = "/com/quorl/bankingdevctl";

// The bank folders are made first; the daemon reads its lists only when asked.
std::unique_ptr<mdmtest::Process> start_bankguard() {
    auto daemon = std::make_unique<mdmtest::Process>(
        Strings{mdmtest::program("bank-daemon/bankguard")}, mdmtest::ProcessOptions{});
    EXPECT_TRUE(mdmtest::wait_name(G_BUS_TYPE_SYSTEM, kName));
    return daemon;
}

mdmtest::CallResult get_list(int type) {
    return mdmtest::call_system(kName, kPath, kName, "getBankingDevList",
                                g_variant_new("(i)", type), 60000);
}

class BankguardAnswers : public mdmtest::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        mdmtest::run({"mkdir", "-p", "/etc/mdm/bank/devlist", "/etc/mdm/bank/status"});
    }
};

TEST_F(BankguardAnswers, EntriesThatAreNotUtf8AreLeftOutAndTheRestAnswered) {
    mdmtest::write_file("/etc/mdm/bank/devlist/ushield",
                        "c8200bda\n\xff\xfe\xc3\x28zzzz\n12345678\n");
    mdmtest::write_file("/etc/mdm/bank/devlist/taxkey",
                        "\xe9\xe9\xe9\xe9\xe9\xe9\xe9\xe9\nabcd00ef\n");
    auto daemon = start_bankguard();
    auto first = get_list(0);
    ASSERT_TRUE(first.ok()) << first.error;
    EXPECT_EQ(mdmtest::strings_reply(first), (Strings{"c8200bda", "12345678"}));
    auto bad_first = get_list(3);
    ASSERT_TRUE(bad_first.ok()) << bad_first.error;
    EXPECT_EQ(mdmtest::strings_reply(bad_first), Strings{"abcd00ef"});
    EXPECT_TRUE(mdmtest::eventually(
        [] { return mdmtest::syslog_has("entries of list 3 are not UTF-8, left out"); }));
    EXPECT_EQ(daemon->output().find("CRITICAL"), std::string::npos) << daemon->output();
}

TEST_F(BankguardAnswers, AListTooLargeForOneReplyIsAnsweredAndTheDaemonServesOn) {
    {
        std::ofstream out("/etc/mdm/bank/devlist/taxtray", std::ios::binary);
        char line[10];
        for (int i = 0; i < 2500000; ++i) {
            std::snprintf(line, sizeof line, "%08x\n", i);
            out.write(line, 9);
        }
    }
    mdmtest::write_file("/etc/mdm/bank/status/taxtray", "1");
    auto daemon = start_bankguard();
    auto r = get_list(2);
    // Refused whole (too large to read, or to answer), never a dropped connection.
    EXPECT_TRUE(r.ok() ? mdmtest::strings_reply(r).empty()
                       : r.error.find("too large") != std::string::npos)
        << r.error_name << ": " << r.error;
    EXPECT_TRUE(daemon->running());
    auto status =
        mdmtest::call_system(kName, kPath, kName, "getBankingDevStatus", g_variant_new("(i)", 2));
    ASSERT_TRUE(status.ok()) << status.error;
}

}  // namespace
