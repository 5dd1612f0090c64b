#include <gtest/gtest.h>

#include "mdm/raii.h"
#include "peers_logic.h"

namespace {

peers::Options parse_ok(std::vector<std::string> args) {
    auto r = peers::parse_options(args);
    EXPECT_TRUE(r.options) << r.error;
    return r.options.value_or(peers::Options{});
}

std::string parse_error(std::vector<std::string> args) {
    auto r = peers::parse_options(args);
    EXPECT_FALSE(r.options);
    return r.error;
}

TEST(PeersOptions, DefaultsEnableEveryPeer) {
    auto o = parse_ok({});
    EXPECT_TRUE(o.log_service && o.client && o.agent && o.nm);
    EXPECT_EQ(o.user, "user");
    EXPECT_EQ(o.retry, 0u);
    EXPECT_EQ(o.delay_ms, 0u);
    EXPECT_TRUE(o.log_path.empty());
}

TEST(PeersOptions, EveryOptionIsTaken) {
    auto o = parse_ok({"--log", "/tmp/x.jsonl", "--no-log-service", "--no-client", "--no-agent",
                       "--no-nm", "--user", "alice", "--retry", "3", "--delay-ms", "250",
                       "--nm-device", "eth0=1", "--nm-device", "wlan0=2"});
    EXPECT_EQ(o.log_path, "/tmp/x.jsonl");
    EXPECT_FALSE(o.log_service || o.client || o.agent || o.nm);
    EXPECT_EQ(o.user, "alice");
    EXPECT_EQ(o.retry, 3u);
    EXPECT_EQ(o.delay_ms, 250u);
    ASSERT_EQ(o.nm_devices.size(), 2u);
    EXPECT_EQ(o.nm_devices[1].iface, "wlan0");
    EXPECT_EQ(o.nm_devices[1].type, 2u);
    EXPECT_EQ(peers::find_nm_device(o.nm_devices, "wlan0"), 1u);
    EXPECT_FALSE(peers::find_nm_device(o.nm_devices, "eth1"));
    EXPECT_EQ(peers::nm_device_path(1), "/org/freedesktop/NetworkManager/Devices/2");
}

TEST(PeersOptions, EmptyAndBlankUserNamesAreKept) {
    EXPECT_EQ(parse_ok({"--user", ""}).user, "");
    EXPECT_EQ(parse_ok({"--user", " "}).user, " ");
}

TEST(PeersOptions, BadArgumentsAreRefused) {
    EXPECT_NE(parse_error({"--retry"}).find("--retry"), std::string::npos);
    parse_error({"--retry", "-1"});
    parse_error({"--retry", "2x"});
    parse_error({"--delay-ms", ""});
    parse_error({"--nm-device", "eth0"});
    parse_error({"--nm-device", "=1"});
    parse_error({"--nm-device", "eth0=ethernet"});
    parse_error({"--nm-device", "eth0=1", "--nm-device", "eth0=2"});
    parse_error({"--log", ""});
    parse_error({"--bogus"});
}

TEST(PeersRetry, FirstNAnswersAreRetryThenOk) {
    peers::RetryBudget none(0);
    EXPECT_STREQ(none.next_answer(), "OK");
    peers::RetryBudget two(2);
    EXPECT_STREQ(two.next_answer(), "Retry");
    EXPECT_STREQ(two.next_answer(), "Retry");
    EXPECT_STREQ(two.next_answer(), "OK");
    EXPECT_STREQ(two.next_answer(), "OK");
}

std::string line_for(GVariant* v) {
    mdm::VariantPtr owned(g_variant_ref_sink(v));
    return peers::call_json_line("client", "m", peers::call_args(owned.get()));
}

TEST(PeersJson, StringsAreEscapedAndNumbersStayNumbers) {
    EXPECT_EQ(line_for(g_variant_new("()")), R"({"peer":"client","method":"m","args":[]})");
    EXPECT_EQ(line_for(g_variant_new("(s)", "a\"b\\c\nd\te\x01 'q' 未登录")),
              R"({"peer":"client","method":"m","args":["a\"b\\c\nd\te\u0001 'q' 未登录"]})");
    EXPECT_EQ(
        line_for(g_variant_new("(iuxb)", -7, 4000000000u, G_GINT64_CONSTANT(-9000000000), TRUE)),
        R"({"peer":"client","method":"m","args":[-7,4000000000,-9000000000,true]})");
    EXPECT_EQ(line_for(g_variant_new("(os)", "/a/b", "")),
              R"({"peer":"client","method":"m","args":["/a/b",""]})");
}

TEST(PeersJson, OtherValuesAreRecordedAsTheirPrintedForm) {
    const char* items[] = {"x", "y", nullptr};
    EXPECT_EQ(line_for(g_variant_new("(^as)", items)),
              R"({"peer":"client","method":"m","args":["['x', 'y']"]})");
}

TEST(PeersJson, PeerAndMethodAreEscapedToo) {
    EXPECT_EQ(peers::call_json_line("n\"m", "a\\b", {{"1", false}, {"t", true}}),
              R"({"peer":"n\"m","method":"a\\b","args":[1,"t"]})");
}

}  // namespace
