// The stand-in peers as the programs under test see them: names, objects, replies and the
// call record.
#include <gtest/gtest.h>

#include <mdmtest/support.h>
#include <syslog.h>

namespace {

using mdmtest::call_system;
using mdmtest::PeerCall;
using mdmtest::Peers;
using mdmtest::PeersOptions;

constexpr char kClient[] = "com.quorl.brannoc.ostrelclient";
constexpr char kClientPath[] = "/brannoc/ostrelclient";
constexpr char kAgent[] = "com.quorl.brannoc.ostrelagent";
constexpr char kLog[] = "org.log.sys_transmit";
constexpr char kNm[] = "org.freedesktop.NetworkManager";
constexpr char kNmPath[] = "/org/freedesktop/NetworkManager";

std::string reply_string(const mdmtest::CallResult& r) {
    if (!r.ok())
        return "<error " + r.error_name + ": " + r.error + ">";
    const char* s = nullptr;
    g_variant_get(r.reply.get(), "(&s)", &s);
    return s;
}

mdmtest::CallResult client_call(const char* method, GVariant* args = nullptr) {
    return call_system(kClient, kClientPath, kClient, method, args);
}

std::string describe(const std::vector<PeerCall>& calls) {
    std::string out;
    for (const auto& c : calls) {
        out += c.peer + "." + c.method + "(";
        for (const auto& a : c.args)
            out += "[" + a + "]";
        out += ")\n";
    }
    return out;
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
    ASSERT_TRUE(call_system(kAgent, "/brannoc/Responser", kAgent, "show_system_notification",
                            g_variant_new("(s)", "note"))
                    .ok());
    EXPECT_EQ(reply_string(client_call("get_current_user")), "alice");
    // Plug and pull records share one retry budget.
    EXPECT_EQ(reply_string(client_call("usb_storage_plug_in", g_variant_new("(s)", "p1"))),
              "Retry");
    EXPECT_EQ(reply_string(client_call("usb_storage_pull_out", g_variant_new("(s)", "u1"))),
              "Retry");
    EXPECT_EQ(reply_string(client_call("usb_storage_plug_in", g_variant_new("(s)", "p2"))), "OK");
    EXPECT_EQ(reply_string(client_call("usb_storage_pull_out", g_variant_new("(s)", "u2"))), "OK");

    auto calls = peers.calls();
    const std::vector<PeerCall> expected = {
        {"log", "log_transmit", {awkward}},         {"agent", "show_system_notification", {"note"}},
        {"client", "get_current_user", {}},         {"client", "usb_storage_plug_in", {"p1"}},
        {"client", "usb_storage_pull_out", {"u1"}}, {"client", "usb_storage_plug_in", {"p2"}},
        {"client", "usb_storage_pull_out", {"u2"}},
    };
    ASSERT_EQ(calls.size(), expected.size()) << describe(calls);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(calls[i].peer, expected[i].peer) << i;
        EXPECT_EQ(calls[i].method, expected[i].method) << i;
        EXPECT_EQ(calls[i].args, expected[i].args) << i;
    }
}

TEST_F(PeersTest, EmptyAndBlankUserNamesAreAnsweredAsGiven) {
    for (std::string user : {"", " "}) {
        PeersOptions opts;
        opts.user = user;
        Peers peers(opts);
        EXPECT_EQ(reply_string(client_call("get_current_user")), user);
        peers.process().kill();
        peers.process().wait_exit();
        EXPECT_TRUE(mdmtest::eventually(
            [] { return !mdmtest::name_has_owner(G_BUS_TYPE_SYSTEM, kClient); }));
    }
}

TEST_F(PeersTest, NetworkManagerAnswersDevicesAndTheirTypes) {
    PeersOptions opts;
    opts.nm_devices = {"eth0=1", "wlan0=2"};
    Peers peers(opts);
    auto type_of = [](const char* iface) -> std::optional<guint32> {
        auto dev =
            call_system(kNm, kNmPath, kNm, "GetDeviceByIpIface", g_variant_new("(s)", iface));
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
        mdm::VariantPtr inner(raw);
        if (!g_variant_is_of_type(inner.get(), G_VARIANT_TYPE_UINT32))
            return std::nullopt;
        return g_variant_get_uint32(inner.get());
    };
    EXPECT_EQ(type_of("eth0"), 1u);
    EXPECT_EQ(type_of("wlan0"), 2u);

    auto unknown =
        call_system(kNm, kNmPath, kNm, "GetDeviceByIpIface", g_variant_new("(s)", "eth9"));
    EXPECT_FALSE(unknown.ok());
    EXPECT_EQ(unknown.error_name, "org.freedesktop.NetworkManager.UnknownDevice");

    auto all = call_system(kNm, "/org/freedesktop/NetworkManager/Devices/2",
                           "org.freedesktop.DBus.Properties", "GetAll",
                           g_variant_new("(s)", "org.freedesktop.NetworkManager.Device"));
    ASSERT_TRUE(all.ok()) << all.error;
    guint32 type = 0;
    mdm::VariantPtr dict(g_variant_get_child_value(all.reply.get(), 0));
    EXPECT_TRUE(g_variant_lookup(dict.get(), "DeviceType", "u", &type));
    EXPECT_EQ(type, 2u);

    auto calls = peers.calls("nm", "GetDeviceByIpIface");
    ASSERT_EQ(calls.size(), 3u) << describe(peers.calls());
    EXPECT_EQ(calls[2].args, std::vector<std::string>{"eth9"});
    auto gets = peers.calls("nm", "Get");
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_EQ(gets[0].args,
              (std::vector<std::string>{"org.freedesktop.NetworkManager.Device", "DeviceType"}));
}

TEST_F(PeersTest, EachPeerIntrospectsAsItsContract) {
    PeersOptions opts;
    opts.nm_devices = {"eth0=1"};
    Peers peers(opts);
    struct Expect {
        const char *name, *path, *iface, *member, *in_sig, *out_sig;
    };
    const Expect expects[] = {
        {kLog, "/org/log/sys_transmit", "org.log.transmit", "log_transmit", "s", ""},
        {kClient, kClientPath, kClient, "get_current_user", "", "s"},
        {kClient, kClientPath, kClient, "usb_storage_plug_in", "s", "s"},
        {kClient, kClientPath, kClient, "usb_storage_pull_out", "s", "s"},
        {kAgent, "/brannoc/Responser", kAgent, "show_system_notification", "s", ""},
        {kNm, kNmPath, kNm, "GetDeviceByIpIface", "s", "o"},
    };
    auto signature = [](GDBusArgInfo** args) {
        std::string sig;
        for (auto a = args; a && *a; ++a)
            sig += (*a)->signature;
        return sig;
    };
    auto introspect = [](const char* name, const char* path) -> mdm::DBusNodeInfoPtr {
        auto r = call_system(name, path, "org.freedesktop.DBus.Introspectable", "Introspect");
        if (!r.ok()) {
            ADD_FAILURE() << name << " " << path << ": " << r.error;
            return nullptr;
        }
        const char* xml = nullptr;
        g_variant_get(r.reply.get(), "(&s)", &xml);
        return mdm::DBusNodeInfoPtr(g_dbus_node_info_new_for_xml(xml, nullptr));
    };
    for (const auto& e : expects) {
        SCOPED_TRACE(e.member);
        auto node = introspect(e.name, e.path);
        ASSERT_TRUE(node);
        auto* iface = g_dbus_node_info_lookup_interface(node.get(), e.iface);
        ASSERT_TRUE(iface);
        auto* method = g_dbus_interface_info_lookup_method(iface, e.member);
        ASSERT_TRUE(method);
        EXPECT_EQ(signature(method->in_args), e.in_sig);
        EXPECT_EQ(signature(method->out_args), e.out_sig);
    }
    auto device = introspect(kNm, "/org/freedesktop/NetworkManager/Devices/1");
    ASSERT_TRUE(device);
    auto* iface =
        g_dbus_node_info_lookup_interface(device.get(), "org.freedesktop.NetworkManager.Device");
    ASSERT_TRUE(iface);
    auto* prop = g_dbus_interface_info_lookup_property(iface, "DeviceType");
    ASSERT_TRUE(prop);
    EXPECT_STREQ(prop->signature, "u");
    EXPECT_EQ(prop->flags, G_DBUS_PROPERTY_INFO_FLAGS_READABLE);
}

TEST_F(PeersTest, DisabledPeersLeaveTheirNamesFree) {
    PeersOptions opts;
    opts.client = false;
    opts.nm = false;
    Peers peers(opts);
    EXPECT_FALSE(mdmtest::name_has_owner(G_BUS_TYPE_SYSTEM, kClient));
    EXPECT_FALSE(mdmtest::name_has_owner(G_BUS_TYPE_SYSTEM, kNm));
    EXPECT_TRUE(mdmtest::name_has_owner(G_BUS_TYPE_SYSTEM, kLog));
    EXPECT_TRUE(mdmtest::name_has_owner(G_BUS_TYPE_SYSTEM, kAgent));
    auto r = client_call("get_current_user");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error_name, "org.freedesktop.DBus.Error.ServiceUnknown");
}

TEST_F(PeersTest, SlowPeerRecordsOnArrivalAndAnswersLate) {
    PeersOptions opts;
    opts.delay_ms = 1500;
    Peers peers(opts);
    // The caller gives up long before the answer, yet the call is already on record.
    auto r = call_system(kAgent, "/brannoc/Responser", kAgent, "show_system_notification",
                         g_variant_new("(s)", "late"), 200);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(peers.calls("agent").size(), 1u);
    // A patient caller gets its answer after the delay, and later arrivals are recorded
    // while earlier answers are still pending.
    auto start = std::chrono::steady_clock::now();
    auto user = client_call("get_current_user");
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(reply_string(user), "user");
    EXPECT_GE(waited, std::chrono::milliseconds(1400));
    EXPECT_EQ(peers.calls("client").size(), 1u);
}

TEST_F(PeersTest, TakenNameStopsASecondInstance) {
    Peers first;
    mdmtest::ProcessOptions popts;
    popts.name = "second peers";
    mdmtest::Process second({mdmtest::program("tools/peers/peers"), "--no-log-service"}, popts);
    EXPECT_EQ(second.wait_exit(), 1);
    EXPECT_NE(second.output().find("peers: cannot own com.quorl.brannoc.ostrelclient"),
              std::string::npos)
        << second.output();
    EXPECT_EQ(second.output().find("peers ready"), std::string::npos);
}

}  // namespace

namespace {

// The capture behind /dev/log keeps severity and message, without glibc's header.
TEST_F(PeersTest, SyslogCaptureKeepsSeverityAndMessage) {
    syslog(LOG_ERR, "capture check: %s", "a\nb\n");
    syslog(LOG_DEBUG, "capture check: second");
    const std::vector<std::string> want = {"3 capture check: a\\nb", "7 capture check: second"};
    EXPECT_TRUE(mdmtest::eventually([&] { return mdmtest::syslog_lines() == want; }))
        << ::testing::PrintToString(mdmtest::syslog_lines());
}

}  // namespace
