// The frame's audit call and method dispatch, seen through frame_probe: what reaches the
// stand-in log service, and what a failing handler answers.
#include <utmpx.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>

#include "mdmtest/support.h"
#include "service_helpers.h"

using namespace mdmtest;
using namespace services;

namespace {

constexpr const char* kProbe = "tests/integration/services/frame_probe";
constexpr const char* kBusName = "com.quorl.StorageControl";
constexpr const char* kUtmp = "/run/utmp";  // the sandbox's private /run

// Login records for the duration of a test, in the given order.
class LoginRecords {
  public:
    explicit LoginRecords(const std::vector<std::pair<short, std::string>>& entries) {
        mdm::FilePtr f(std::fopen(kUtmp, "wb"));
        EXPECT_TRUE(f) << kUtmp;
        int n = 0;
        for (const auto& [type, user] : entries) {
            utmpx u{};
            u.ut_type = type;
            u.ut_pid = 1000 + n;
            std::snprintf(u.ut_line, sizeof u.ut_line, "tty%d", ++n);
            u.ut_id[0] = static_cast<char>('0' + n % 10);
            std::strncpy(u.ut_user, user.c_str(), sizeof u.ut_user);
            if (f)
                std::fwrite(&u, sizeof u, 1, f.get());
        }
    }
    ~LoginRecords() { std::filesystem::remove(kUtmp); }
};

// Takes the default route away for the duration of a test.
class NoDefaultRoute {
  public:
    NoDefaultRoute() { EXPECT_EQ(run({"ip", "route", "del", "default"}).status, 0); }
    ~NoDefaultRoute() { run({"ip", "route", "add", "default", "via", "192.0.2.1", "dev", "mdm0"}); }
};

std::string record_pattern(const std::string& user, const std::string& ip,
                           const std::string& message) {
    return R"(\{'time':'\d{4}-\d\d-\d\d \d\d:\d\d:\d\d','hostname':')" + user + "','ip':'" + ip +
           "','name':'probe-record','lv':'info','message':'" + message + "'\\}";
}

int audit(const std::string& message) {
    return int_result(call_service(kBusName, "Audit", g_variant_new("(s)", message.c_str())));
}

// The records the stand-in log service has received so far.
std::vector<std::string> records(const Peers& peers) {
    std::vector<std::string> out;
    for (const PeerCall& c : peers.calls("log", "log_transmit")) {
        out.push_back(c.args.empty() ? "<no argument>" : c.args[0]);
    }
    return out;
}

class ProbeTest : public SandboxTest {};

}  // namespace

TEST_F(ProbeTest, RecordReachesTheLogServiceInTheFrameOrder) {
    Peers peers;
    auto probe = start_service(kProbe, kBusName);
    {
        // bob is listed second: the first user session counts, whoever is at the desktop.
        LoginRecords utmp(
            {{LOGIN_PROCESS, "LOGIN"}, {USER_PROCESS, "alice"}, {USER_PROCESS, "bob"}});
        EXPECT_EQ(audit("it's {odd}, isn't it"), 0);
        ASSERT_TRUE(peers.wait_calls(1, "log", "log_transmit"));
    }
    // Nobody logged in any more: read anew for the next record.
    EXPECT_EQ(audit("second"), 0);
    ASSERT_TRUE(peers.wait_calls(2, "log", "log_transmit"));

    auto got = records(peers);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(std::regex_match(got[0], std::regex(record_pattern("alice", R"(192\.0\.2\.10)",
                                                                   "it's \\{odd\\}, isn't it"))))
        << got[0];
    EXPECT_TRUE(
        std::regex_match(got[1], std::regex(record_pattern("root", R"(192\.0\.2\.10)", "second"))))
        << got[1];
    EXPECT_EQ(count_of(probe->output(), "log service is error"), 0u) << probe->output();
}

TEST_F(ProbeTest, WithoutDefaultRouteTheRecordSaysUnknownAndIsStillSent) {
    Peers peers;
    auto probe = start_service(kProbe, kBusName);
    NoDefaultRoute no_route;
    EXPECT_EQ(audit("no route"), 0);
    ASSERT_TRUE(peers.wait_calls(1, "log", "log_transmit"));
    auto got = records(peers);
    EXPECT_TRUE(
        std::regex_match(got.at(0), std::regex(record_pattern("root", "unknown", "no route"))))
        << got.at(0);
}

TEST_F(ProbeTest, WithoutLogServiceEveryAuditPrintsTheFailureAndAnswers) {
    auto probe = start_service(kProbe, kBusName);
    EXPECT_EQ(audit("one"), 0);
    EXPECT_EQ(audit("two"), 0);
    // Once at construction, once per record.
    EXPECT_TRUE(eventually([&] {
        return count_of(probe->output(), "log service is error\n") == 3;
    })) << probe->output();

    // The proxy is made once: a log service that comes later is not used until a restart.
    Peers late;
    EXPECT_EQ(audit("three"), 0);
    EXPECT_TRUE(eventually([&] {
        return count_of(probe->output(), "log service is error\n") == 4;
    })) << probe->output();
    EXPECT_TRUE(late.calls("log").empty());
}

TEST_F(ProbeTest, FailingHandlerAnswersABusErrorAndTheServiceGoesOn) {
    Peers peers;
    auto probe = start_service(kProbe, kBusName);
    CallResult r = call_service(kBusName, "Symbol", g_variant_new("(s)", "no_such_export"));
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error_name, "org.freedesktop.DBus.Error.Failed");
    EXPECT_NE(r.error.find("no_such_export"), std::string::npos) << r.error;

    EXPECT_TRUE(probe->running());
    // The same lookup finds what the core library does export.
    EXPECT_EQ(int_result(call_service(kBusName, "Symbol", g_variant_new("(s)", "logging"))), 0);
    EXPECT_EQ(audit("after the failure"), 0);
    EXPECT_TRUE(peers.wait_calls(1, "log", "log_transmit"));
}
