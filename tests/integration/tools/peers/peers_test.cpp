// The stand-in peers as the programs under test see them: names, replies and the call record.
#include <gtest/gtest.h>

#include <mdmtest/support.h>

namespace {

using mdmtest::call_system;
using mdmtest::PeerCall;
using mdmtest::Peers;
using mdmtest::PeersOptions;

constexpr char kClient[] = "com.quorl.brannoc.ostrelclient";
constexpr char kAgent[] = "com.quorl.brannoc.ostrelagent";
constexpr char kLog[] = "org.log.sys_transmit";
constexpr char kNm[] = "org.freedesktop.NetworkManager";

std::string client_call(const char* method, const char* arg = nullptr) {
    auto r = call_system(kClient, "/brannoc/ostrelclient", kClient, method,
                         arg ? g_variant_new("(s)", arg) : nullptr);
    if (!r.ok())
        return "<error " + r.error_name + ">";
    const char* s = nullptr;
    g_variant_get(r.reply.get(), "(&s)", &s);
    return s;
}

bool agent_call(const char* text, int timeout_ms = 10000) {
    return call_system(kAgent, "/brannoc/Responser", kAgent, "show_system_notification",
                       g_variant_new("(s)", text), timeout_ms)
        .ok();
}

class PeersTest : public mdmtest::SandboxTest {};

TEST_F(PeersTest, RecordsEveryCallInArrivalOrderAndCountsRetries) {
    PeersOptions opts;
    opts.user = "alice";
    opts.retry = 2;
    Peers peers(opts);
    const std::string awkward = "{'q':\"x\\y\"}\nline2\t未登录";
    ASSERT_TRUE(call_system(kLog, "/org/log/sys_transmit", "org.log.transmit", "log_transmit",
                            g_variant_new("(s)", awkward.c_str()))
                    .ok());
    ASSERT_TRUE(agent_call("note"));
    EXPECT_EQ(client_call("get_current_user"), "alice");
    // Plug and pull records share one retry budget.
    EXPECT_EQ(client_call("usb_storage_plug_in", "p1"), "Retry");
    EXPECT_EQ(client_call("usb_storage_pull_out", "u1"), "Retry");
    EXPECT_EQ(client_call("usb_storage_plug_in", "p2"), "OK");

    std::vector<std::string> got;
    for (const PeerCall& c : peers.calls())
        got.push_back(c.peer + "." + c.method + ::testing::PrintToString(c.args));
    EXPECT_EQ(got, (std::vector<std::string>{
                       "log.log_transmit" + ::testing::PrintToString(std::vector{awkward}),
                       "agent.show_system_notification{ \"note\" }",
                       "client.get_current_user{}",
                       "client.usb_storage_plug_in{ \"p1\" }",
                       "client.usb_storage_pull_out{ \"u1\" }",
                       "client.usb_storage_plug_in{ \"p2\" }",
                   }));
}

// " " is checked at the option parser; the answer path is the same.
TEST_F(PeersTest, EmptyUserNameIsAnsweredAsGiven) {
    PeersOptions opts;
    opts.user = "";
    Peers peers(opts);
    EXPECT_EQ(client_call("get_current_user"), "");
}

TEST_F(PeersTest, NetworkManagerAnswersDeviceTypes) {
    PeersOptions opts;
    opts.nm_devices = {"eth0=1", "wlan0=2"};
    Peers peers(opts);
    auto type_of = [](const char* iface) -> std::optional<guint32> {
        auto dev = call_system(kNm, "/org/freedesktop/NetworkManager", kNm, "GetDeviceByIpIface",
                               g_variant_new("(s)", iface));
        if (!dev.ok())
            return std::nullopt;
        const char* path = nullptr;
        g_variant_get(dev.reply.get(), "(&o)", &path);
        auto prop = call_system(
            kNm, path, "org.freedesktop.DBus.Properties", "Get",
            g_variant_new("(ss)", "org.freedesktop.NetworkManager.Device", "DeviceType"));
        if (!prop.ok())
            return std::nullopt;
        GVariant* raw = nullptr;
        g_variant_get(prop.reply.get(), "(v)", &raw);
        mdm::VariantPtr value(raw);
        if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_UINT32))
            return std::nullopt;
        return g_variant_get_uint32(value.get());
    };
    EXPECT_EQ(type_of("eth0"), 1u);
    EXPECT_EQ(type_of("wlan0"), 2u);
    EXPECT_EQ(type_of("eth9"), std::nullopt);
    EXPECT_EQ(peers.calls("nm", "GetDeviceByIpIface").size(), 3u);
}

TEST_F(PeersTest, DisabledPeersLeaveTheirNamesFree) {
    PeersOptions opts;
    opts.client = false;
    opts.nm = false;
    Peers peers(opts);
    EXPECT_FALSE(mdmtest::name_has_owner(G_BUS_TYPE_SYSTEM, kClient));
    EXPECT_FALSE(mdmtest::name_has_owner(G_BUS_TYPE_SYSTEM, kNm));
    EXPECT_TRUE(mdmtest::name_has_owner(G_BUS_TYPE_SYSTEM, kAgent));
    EXPECT_EQ(client_call("get_current_user"), "<error org.freedesktop.DBus.Error.ServiceUnknown>");
}

TEST_F(PeersTest, SlowPeerRecordsOnArrivalAndAnswersLate) {
    PeersOptions opts;
    opts.delay_ms = 1500;
    Peers peers(opts);
    // The caller gives up long before the answer, yet the call is already on record.
    EXPECT_FALSE(agent_call("late", 200));
    EXPECT_EQ(peers.calls("agent").size(), 1u);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client_call("get_current_user"), "user");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
}

}  // namespace
