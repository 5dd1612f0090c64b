// The stock peers in the sandbox: audit and USB event records in the journal (captured at
// its socket) for a plug, an unplug and an administrative change, hostile records, the
// desktop user from a logind stand-in, and notifications reaching a notification server
// stand-in on the session bus through the session relay.
#include <regex>

#include <sys/stat.h>

#include <mdmtest/support.h>

namespace {

using namespace mdmtest;
using journalsink::Entry;
using journalsink::field;
using Strings = std::vector<std::string>;

constexpr char kAudit[] = "578464234d984d638b4d33d9175e1a69";
constexpr char kPlugIn[] = "9d31c3d55e3040ed87683a63bfd7e80f";
constexpr char kPullOut[] = "c9928fb03a3c433392ed4640c4c93628";
constexpr char kLogName[] = "org.log.sys_transmit";
constexpr char kClient[] = "com.quorl.brannoc.ostrelclient";
constexpr char kAgent[] = "com.quorl.brannoc.ostrelagent";
constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kNotifications[] = "org.freedesktop.Notifications";

std::string peer(const char* name) {
    return program(std::string("platform/peers/") + name);
}

std::unique_ptr<Process> start(const Strings& argv, GBusType bus, const char* name) {
    auto p = std::make_unique<Process>(argv, ProcessOptions{.name = argv[0]});
    EXPECT_TRUE(wait_name(bus, name)) << argv[0] << " did not take " << name << ": " << p->output();
    return p;
}

// Fields whose values must be as given; the first mismatch is reported.
::testing::AssertionResult has_fields(
    const Entry& e, const std::vector<std::pair<std::string, std::string>>& want) {
    for (const auto& [k, v] : want) {
        auto got = field(e, k);
        if (got != v)
            return ::testing::AssertionFailure()
                   << k << " is " << (got ? "\"" + *got + "\"" : "missing") << ", not \"" << v
                   << "\"";
    }
    return ::testing::AssertionSuccess();
}

struct Audit {
    std::string shape, user, source, level, priority, message;
};

// Every field of an audit record's entry, the whole record rebuilt from them.
::testing::AssertionResult is_audit(const Entry& e, const Audit& a) {
    auto time = field(e, "MDM_TIME");
    static const std::regex form(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
    if (!time || !std::regex_match(*time, form))
        return ::testing::AssertionFailure() << "MDM_TIME is " << time.value_or("missing");
    std::string record = "{'time':'" + *time + "','hostname':'" + a.user + "'," +
                         (a.shape == "core" ? "'name':'" + a.source + "','ip':'192.0.2.10',"
                                            : "'ip':'192.0.2.10','name':'" + a.source + "',") +
                         "'lv':'" + a.level + "','message':'" + a.message + "'}";
    return has_fields(e, {{"MESSAGE", a.message},
                          {"PRIORITY", a.priority},
                          {"SYSLOG_IDENTIFIER", "mdm-logd"},
                          {"MDM_USER", a.user},
                          {"MDM_SOURCE", a.source},
                          {"MDM_ADDRESS", "192.0.2.10"},
                          {"MDM_LEVEL", a.level},
                          {"MDM_SHAPE", a.shape},
                          {"MDM_RECORD", record}});
}

std::vector<Entry> wait_entries(const char* id, std::size_t n) {
    std::vector<Entry> out;
    eventually([&] {
        out = journal_entries("MESSAGE_ID", id);
        return out.size() >= n;
    });
    return out;
}

std::string client_text(const char* method, const char* arg = nullptr) {
    auto r = call_system(kClient, "/brannoc/ostrelclient", kClient, method,
                         arg ? g_variant_new("(s)", arg) : nullptr);
    if (!r.ok())
        return "<" + r.error_name + ">";
    const char* s = nullptr;
    g_variant_get(r.reply.get(), "(&s)", &s);
    return s;
}

CallResult log_transmit(const std::string& record) {
    return call_system(kLogName, "/org/log/sys_transmit", "org.log.transmit", "log_transmit",
                       g_variant_new("(s)", record.c_str()));
}

void expect_sigterm_exit(Process& p) {
    p.kill(SIGTERM);
    EXPECT_EQ(p.wait_exit(), 0) << p.output();
}

class StockPeersTest : public SandboxTest {};

TEST_F(StockPeersTest, PlugUnplugAndAnAdministrativeChangeGoIntoTheJournalFieldByField) {
    auto logind = dbusmock("logind", G_BUS_TYPE_SYSTEM, kLogind);
    logind_add_session("c1", 1000, "alice", true, "wayland");
    auto logd = start({peer("mdm-logd")}, G_BUS_TYPE_SYSTEM, kLogName);
    auto clientd = start({peer("mdm-clientd")}, G_BUS_TYPE_SYSTEM, kClient);
    Testbed tb;
    Process plugwatch({program("plugwatch/plugwatch")},
                      ProcessOptions{.umockdev = true, .name = "plugwatch"});
    ASSERT_TRUE(eventually([] { return syslog_count("init_policy finish.") >= 2; }));

    std::string dev = tb.add_usb_device(UsbDevice{.vid = "1234",
                                                  .pid = "5678",
                                                  .product = "Demo Stick",
                                                  .manufacturer = "Demo Maker",
                                                  .serial = "DS-0001"});
    std::string iface = tb.add_interface(dev, 0, "08");
    const std::string devpath = Testbed::devpath(iface);
    auto plugs = wait_entries(kPlugIn, 1);
    ASSERT_EQ(plugs.size(), 1u);
    EXPECT_TRUE(has_fields(plugs[0], {{"MESSAGE",
                                       "USB device plugged in: 1234:5678 Demo Maker "
                                       "Demo Stick, serial DS-0001, interface class "
                                       "08, enabled"},
                                      {"PRIORITY", "5"},
                                      {"SYSLOG_IDENTIFIER", "mdm-clientd"},
                                      {"MDM_USB_EVENT", "plug-in"},
                                      {"MDM_USB_VID", "1234"},
                                      {"MDM_USB_PID", "5678"},
                                      {"MDM_USB_MANUFACTURER", "Demo Maker"},
                                      {"MDM_USB_PRODUCT", "Demo Stick"},
                                      {"MDM_USB_SERIAL", "DS-0001"},
                                      {"MDM_USB_DEVPATH", devpath},
                                      {"MDM_USB_CLASS", "08"},
                                      {"MDM_USB_STATUS", "2"}}));
    EXPECT_NE(field(plugs[0], "MDM_RECORD")->find(R"("serial":"DS-0001")"), std::string::npos);

    const std::string plug_text = "插入storage设备路径 : " + devpath +
                                  "  设备 PID: 5678 ,VID: 1234  当前存储类设备处于启用状态";
    auto audits = wait_entries(kAudit, 1);
    ASSERT_EQ(audits.size(), 1u);
    EXPECT_TRUE(is_audit(audits[0], {"core", "alice", "usb-monitor", "warning", "4", plug_text}));

    tb.uevent(iface, "remove");
    auto pulls = wait_entries(kPullOut, 1);
    ASSERT_EQ(pulls.size(), 1u);
    EXPECT_TRUE(has_fields(pulls[0], {{"MESSAGE",
                                       "USB device pulled out: 1234:5678 Demo Maker "
                                       "Demo Stick, serial DS-0001, interface class 08"},
                                      {"PRIORITY", "6"},
                                      {"SYSLOG_IDENTIFIER", "mdm-clientd"},
                                      {"MDM_USB_EVENT", "pull-out"},
                                      {"MDM_USB_VID", "1234"},
                                      {"MDM_USB_PID", "5678"},
                                      {"MDM_USB_MANUFACTURER", "Demo Maker"},
                                      {"MDM_USB_PRODUCT", "Demo Stick"},
                                      {"MDM_USB_SERIAL", "DS-0001"},
                                      {"MDM_USB_DEVPATH", devpath},
                                      {"MDM_USB_CLASS", "08"},
                                      {"MDM_USB_STATUS", "-1"}}));
    audits = wait_entries(kAudit, 2);
    ASSERT_EQ(audits.size(), 2u);
    EXPECT_TRUE(is_audit(audits[1], {"core", "alice", "usb-monitor", "info", "6",
                                     "弹出USB设备 路径为: " + devpath}));

    // An administrative change: the list service's record, with 'ip' before 'name'.
    mkdir("/etc/mdm/bank", 0755);
    mkdir("/etc/mdm/bank/devlist", 0755);
    auto roster =
        start({program("mdm/rostergate/RosterGate")}, G_BUS_TYPE_SYSTEM, "com.quorl.ListControl");
    auto set =
        call_system("com.quorl.ListControl", "/com/quorl/ListControl", "com.quorl.ListControl",
                    "SetBlackList", g_variant_new("(ss)", "5678", "1234"));
    EXPECT_EQ(int_reply(set), 0);
    audits = wait_entries(kAudit, 3);
    ASSERT_EQ(audits.size(), 3u);
    // Nobody is in the sandbox's login records: the list service names root.
    EXPECT_TRUE(is_audit(audits[2], {"service", "root", "list-control", "info", "6",
                                     "添加黑名单设备pid: 5678, vid: 1234"}));

    expect_sigterm_exit(*logd);
    expect_sigterm_exit(*clientd);
}

TEST_F(StockPeersTest, HostileRecordsAreCappedFlaggedAndKeptOutOfTheMessage) {
    auto logd = start({peer("mdm-logd")}, G_BUS_TYPE_SYSTEM, kLogName);

    std::string huge(1 << 20, 'x');
    for (std::size_t i = 0; i < huge.size(); i += 97)
        huge[i] = static_cast<char>(1 + i % 31);
    ASSERT_TRUE(log_transmit(huge).ok());
    const std::string odd =
        "{'time':'t','hostname':'mal\nlory','name':'n','ip':'a','lv':'err',"
        "'message':'line1\nline2\x1b[2J\u0085 end'}";
    ASSERT_TRUE(log_transmit(odd).ok());
    ASSERT_TRUE(log_transmit("just text, no shape").ok());

    auto audits = wait_entries(kAudit, 3);
    ASSERT_EQ(audits.size(), 3u);
    EXPECT_TRUE(has_fields(audits[0], {{"MDM_MALFORMED", "1"},
                                       {"MDM_TRUNCATED", "1"},
                                       {"MDM_RECORD_SIZE", std::to_string(huge.size())},
                                       {"PRIORITY", "4"}}));
    EXPECT_EQ(field(audits[0], "MDM_RECORD"), huge.substr(0, 64 * 1024));
    std::string message = field(audits[0], "MESSAGE").value_or("");
    EXPECT_LE(message.size(), 8u * 1024);
    EXPECT_TRUE(std::none_of(message.begin(), message.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x20; }));

    EXPECT_TRUE(has_fields(audits[1], {{"MESSAGE", "line1\\x0aline2\\x1b[2J\\u0085 end"},
                                       {"MDM_USER", "mal\nlory"},
                                       {"PRIORITY", "3"},
                                       {"MDM_RECORD", odd}}));
    EXPECT_TRUE(has_fields(audits[2], {{"MDM_MALFORMED", "1"},
                                       {"MDM_RECORD", "just text, no shape"},
                                       {"MESSAGE",
                                        "audit record without the fixed shape: just "
                                        "text, no shape"}}));

    // Still serving after all of that.
    ASSERT_TRUE(log_transmit("after").ok());
    EXPECT_EQ(wait_entries(kAudit, 4).size(), 4u);
    expect_sigterm_exit(*logd);
}

TEST_F(StockPeersTest, TheUserIsTheActiveGraphicalSessionsOnSeat0) {
    auto clientd = start({peer("mdm-clientd")}, G_BUS_TYPE_SYSTEM, kClient);
    EXPECT_EQ(client_text("get_current_user"), "");  // no logind at all
    auto logind = dbusmock("logind", G_BUS_TYPE_SYSTEM, kLogind);
    EXPECT_EQ(client_text("get_current_user"), "");  // no session
    logind_add_session("c1", 1001, "bob", false, "x11");
    EXPECT_EQ(client_text("get_current_user"), "");  // the seat's session is not active
    logind_add_session("c2", 1000, "alice", true, "wayland");
    EXPECT_EQ(client_text("get_current_user"), "alice");
    logind_add_session("c3", 1002, "carol", true, "tty");
    EXPECT_EQ(client_text("get_current_user"), "");  // a text console is not the desktop

    // The USB event records are answered with an empty text, never "Retry".
    EXPECT_EQ(client_text("usb_storage_plug_in", "not a record"), "");
    EXPECT_EQ(client_text("usb_storage_pull_out", "{}"), "");
    auto plug = wait_entries(kPlugIn, 1);
    auto pull = wait_entries(kPullOut, 1);
    ASSERT_EQ(plug.size() + pull.size(), 2u);
    EXPECT_TRUE(has_fields(plug[0], {{"MDM_MALFORMED", "1"}, {"MDM_RECORD", "not a record"}}));
    EXPECT_TRUE(has_fields(pull[0], {{"MDM_MALFORMED", "1"}, {"MDM_RECORD", "{}"}}));
    expect_sigterm_exit(*clientd);
}

// "summary|body|urgency|timeout" of each Notify call, after checking what every call carries.
Strings notifications() {
    Strings out;
    for (const NotifyCall& c : notify_calls()) {
        EXPECT_EQ(c.app_name, "USB device control");
        EXPECT_EQ(c.replaces_id, 0u);
        EXPECT_EQ(c.icon, "drive-removable-media");
        EXPECT_EQ(c.actions, 0u);
        EXPECT_EQ(c.category, "device");
        out.push_back(c.summary + "|" + c.body + "|" +
                      (c.urgency ? std::to_string(*c.urgency) : "none") + "|" +
                      std::to_string(c.expire_timeout));
    }
    return out;
}

TEST_F(StockPeersTest, NotificationsReachTheDesktopThroughTheSessionRelayOnly) {
    auto server = dbusmock("notification_daemon", G_BUS_TYPE_SESSION, kNotifications);
    auto agent = start({peer("mdm-notifyd")}, G_BUS_TYPE_SYSTEM, kAgent);
    auto relay = start({peer("mdm-notify-relay")}, G_BUS_TYPE_SESSION,
                       "com.quorl.brannoc.ostrelagent.Relay");
    auto show = [](const std::string& text) {
        return call_system(kAgent, "/brannoc/Responser", kAgent, "show_system_notification",
                           g_variant_new("(s)", text.c_str()))
            .ok();
    };

    // Nobody but root may speak for the agent: this signal never reaches the desktop.
    EXPECT_TRUE(run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "gdbus", "emit",
                     "--system", "--object-path", "/brannoc/Responser", "--signal",
                     "com.quorl.brannoc.ostrelagent.Desktop.Show", "'forged'", "''", "byte 2", "0"})
                    .status == 0);
    ASSERT_TRUE(show(R"({"title":"检测到插入USB端口设备","content":"当前存储类设备处于禁用状态",)"
                     R"("urgency":"2","timeout":9500})"));
    ASSERT_TRUE(show("plain <text>"));
    Strings want{"检测到插入USB端口设备|当前存储类设备处于禁用状态|2|9500", "plain <text>||1|-1"};
    EXPECT_TRUE(eventually([&] { return notifications().size() >= 2; }));
    EXPECT_EQ(notifications(), want);

    // A second relay in the same session waits in line and shows nothing until the first
    // one leaves: every notification shows once.
    Process second({peer("mdm-notify-relay")});
    ASSERT_TRUE(second.wait_output("Lost the name")) << second.output();
    ASSERT_TRUE(show("third"));
    expect_sigterm_exit(*relay);
    ASSERT_TRUE(second.wait_output("Acquired the name"));
    ASSERT_TRUE(show("fourth"));
    want.insert(want.end(), {"third||1|-1", "fourth||1|-1"});
    EXPECT_TRUE(eventually([&] { return notifications().size() >= 4; }));
    EXPECT_EQ(notifications(), want);
    expect_sigterm_exit(second);
    expect_sigterm_exit(*agent);
}

TEST_F(StockPeersTest, OnlyRootOwnsAndCallsThePeers) {
    for (const char* name : {"mdm-logd", "mdm-clientd", "mdm-notifyd"}) {
        Process p({peer(name)}, ProcessOptions{.uid = 65534, .name = name});
        EXPECT_TRUE(p.wait_output("Lost the name")) << name << ": " << p.output();
    }
    for (const char* bus_name : {kLogName, kClient, kAgent})
        EXPECT_FALSE(name_has_owner(G_BUS_TYPE_SYSTEM, bus_name)) << bus_name;
    // Nor may anyone else call them.
    auto clientd = start({peer("mdm-clientd")}, G_BUS_TYPE_SYSTEM, kClient);
    auto agent = start({peer("mdm-notifyd")}, G_BUS_TYPE_SYSTEM, kAgent);
    EXPECT_TRUE(denied_to_nobody(gdbus_call(kClient, "/brannoc/ostrelclient", "get_current_user")));
    EXPECT_TRUE(denied_to_nobody(
        gdbus_call(kAgent, "/brannoc/Responser", "show_system_notification", {"forged"})));
}

}  // namespace
