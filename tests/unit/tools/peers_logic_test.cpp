#include <gtest/gtest.h>

#include "mdm/raii_glib.h"
#include "peers_logic.h"

namespace {

TEST(PeersOptions, ValuesAreTakenAndBadOnesRefused) {
    auto r = peers::parse_options({"--no-client", "--user", " ", "--retry", "3", "--nm-device",
                                   "eth0=1", "--nm-device", "wlan0=2"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_FALSE(r.options->client);
    EXPECT_TRUE(r.options->agent);
    EXPECT_EQ(r.options->user, " ");
    EXPECT_EQ(r.options->retry, 3u);
    EXPECT_EQ(peers::find_nm_device(r.options->nm_devices, "wlan0"), 1u);
    EXPECT_EQ(r.options->nm_devices[1].type, 2u);

    for (std::vector<std::string> bad : {std::vector<std::string>{"--retry"},
                                         {"--retry", "-1"},
                                         {"--delay-ms", "2x"},
                                         {"--nm-device", "eth0"},
                                         {"--nm-device", "=1"},
                                         {"--nm-device", "eth0=ethernet"},
                                         {"--nm-device", "eth0=1", "--nm-device", "eth0=2"},
                                         {"--log", ""},
                                         {"--bogus"}}) {
        auto refused = peers::parse_options(bad);
        EXPECT_FALSE(refused.options) << bad.back();
        EXPECT_FALSE(refused.error.empty());
    }
}

std::string line_for(GVariant* v) {
    mdm::VariantPtr owned(g_variant_ref_sink(v));
    return peers::call_json_line("n\"m", "m", peers::call_args(owned.get()));
}

TEST(PeersJson, ArgumentsAreEscapedTextsAndOthersTheirPrintedForm) {
    EXPECT_EQ(line_for(g_variant_new("()")), R"({"peer":"n\"m","method":"m","args":[]})");
    EXPECT_EQ(line_for(g_variant_new("(ss)", "a\"b\\c\nd\te\x01 未登录", "")),
              R"({"peer":"n\"m","method":"m","args":["a\"b\\c\nd\te\u0001 未登录",""]})");
    EXPECT_EQ(line_for(g_variant_new("(u)", 7u)),
              R"({"peer":"n\"m","method":"m","args":["uint32 7"]})");
}

}  // namespace
