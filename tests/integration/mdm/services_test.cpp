// VaultGate, TouchGate and LensGate in the sandbox: their bus contract, their policy and the
// frame's start-up failures; the frame's audit call and dispatch through frame_probe.
#include <climits>
#include <filesystem>
#include <regex>

#include "mdm/frame/service.h"
#include "mdmtest/support.h"

using namespace mdmtest;
using mdm::frame::object_path_for;

namespace {

struct ServiceCase {
    std::string program;
    std::string bus_name;
    std::string interface;           // as render_interface shows it
    std::vector<std::string> calls;  // methods without arguments, called in this order
};

const std::vector<ServiceCase> kServices = {
    {"mdm/vaultgate/VaultGate",
     "com.quorl.StorageControl",
     "SetStatus(in i status, out i ret); GetStatus(out i status)",
     {"GetStatus"}},
    {"mdm/touchgate/TouchGate",
     "com.quorl.InputControl.hid",
     "DisableHidDevices(out i ret); EnableHidDevices(out i ret); GetHidDevices(out i ret)",
     {"GetHidDevices", "DisableHidDevices", "GetHidDevices", "EnableHidDevices", "GetHidDevices"}},
    {"mdm/lensgate/LensGate",
     "com.quorl.InputControl.video",
     "DisableVideoDevices(out i ret); EnableVideoDevices(out i ret); GetVideoDevices(out i ret)",
     {"GetVideoDevices", "DisableVideoDevices", "GetVideoDevices", "EnableVideoDevices",
      "GetVideoDevices"}},
};

// Starts a program of the build and waits until it owns `bus_name`.
std::unique_ptr<Process> start_service(const std::string& relative, const std::string& bus_name) {
    auto proc = std::make_unique<Process>(std::vector<std::string>{program(relative)});
    EXPECT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, bus_name)) << relative << " did not take it";
    return proc;
}

// Interface name = bus name, object path derived from it.
CallResult call_service(const std::string& bus_name, const std::string& method,
                        GVariant* args = nullptr) {
    return call_system(bus_name, object_path_for(bus_name), bus_name, method, args);
}

std::size_t count_of(const std::string& text, std::string_view needle) {
    std::size_t n = 0;
    for (auto pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1))
        ++n;
    return n;
}

class ServicesTest : public SandboxTest {};

}  // namespace

TEST_F(ServicesTest, EachServiceExportsItsContractAnswersZeroAndTouchesNoFile) {
    Peers peers;
    write_file("/etc/mdm/disable-hid", "046d");
    write_file("/etc/mdm/disable-video", "0c45");
    for (const ServiceCase& s : kServices) {
        SCOPED_TRACE(s.program);
        auto proc = start_service(s.program, s.bus_name);
        EXPECT_EQ(render_interface(s.bus_name, object_path_for(s.bus_name), s.bus_name),
                  s.interface);
        for (const std::string& method : s.calls)
            EXPECT_EQ(int_reply(call_service(s.bus_name, method)), 0) << method;
        // Internal operations are not on the bus.
        EXPECT_EQ(call_service(s.bus_name, "log_transmit").error_name,
                  "org.freedesktop.DBus.Error.UnknownMethod");
        if (s.bus_name == "com.quorl.StorageControl") {
            for (int status : {0, 2, -1, INT_MIN}) {
                EXPECT_EQ(
                    int_reply(call_service(s.bus_name, "SetStatus", g_variant_new("(i)", status))),
                    0);
                EXPECT_EQ(int_reply(call_service(s.bus_name, "GetStatus")), 0);
            }
        }
        EXPECT_EQ(proc->output().find("log service is error"), std::string::npos);
    }
    EXPECT_EQ(run({"ls", "-A", "/etc/mdm"}).out, "disable-hid\ndisable-video\n");
    EXPECT_EQ(read_file("/etc/mdm/disable-hid"), "046d");
    EXPECT_EQ(read_file("/etc/mdm/disable-video"), "0c45");
    EXPECT_TRUE(peers.calls("log").empty());  // none of the three sends audit records
}

TEST_F(ServicesTest, SecondInstanceExitsWhileTheFirstKeepsServing) {
    Peers peers;
    auto first = start_service("mdm/touchgate/TouchGate", "com.quorl.InputControl.hid");
    Process second({program("mdm/touchgate/TouchGate")});
    auto status = second.wait_exit();
    ASSERT_TRUE(status.has_value()) << "the second instance kept running";
    EXPECT_GT(*status, 0);
    EXPECT_NE(second.output().find("already owned"), std::string::npos) << second.output();
    EXPECT_EQ(int_reply(call_service("com.quorl.InputControl.hid", "GetHidDevices")), 0);
}

TEST_F(ServicesTest, PolicyKeepsNonRootFromOwningOrCalling) {
    Peers peers;
    for (const ServiceCase& s : kServices) {
        SCOPED_TRACE(s.program);
        EXPECT_TRUE(denied_to_nobody({program(s.program)}));
        auto proc = start_service(s.program, s.bus_name);
        EXPECT_TRUE(
            denied_to_nobody(gdbus_call(s.bus_name, object_path_for(s.bus_name), s.calls[0])));
        EXPECT_EQ(int_reply(call_service(s.bus_name, s.calls[0])), 0);  // root gets through
    }
}

TEST_F(ServicesTest, MissingCoreLibraryStopsTheStart) {
    std::filesystem::remove("/usr/lib/mdm/periphcore.so");
    Process proc({program("mdm/lensgate/LensGate")});
    auto status = proc.wait_exit();
    ASSERT_TRUE(status.has_value()) << "started without the core library";
    EXPECT_GT(*status, 0);
    EXPECT_NE(proc.output().find("/usr/lib/mdm/periphcore.so"), std::string::npos) << proc.output();
    EXPECT_FALSE(name_has_owner(G_BUS_TYPE_SYSTEM, "com.quorl.InputControl.video"));
}

// frame_probe borrows the storage service's name and adds an audit method and a method
// whose handler throws.
constexpr const char* kProbe = "tests/integration/mdm/frame_probe";
constexpr const char* kProbeName = "com.quorl.StorageControl";

int audit(const std::string& message) {
    return int_reply(call_service(kProbeName, "Audit", g_variant_new("(s)", message.c_str())));
}

TEST_F(ServicesTest, RecordReachesTheLogServiceInTheFrameOrder) {
    Peers peers;
    auto probe = start_service(kProbe, kProbeName);
    EXPECT_EQ(audit("it's {odd}, isn't it"), 0);
    ASSERT_TRUE(peers.wait_calls(1, "log", "log_transmit"));
    std::string got = peers.calls("log", "log_transmit").at(0).args.at(0);
    // Nobody is logged in inside the sandbox: the user is "root".
    EXPECT_TRUE(std::regex_match(
        got, std::regex(R"(\{'time':'\d{4}-\d\d-\d\d \d\d:\d\d:\d\d','hostname':'root',)"
                        R"('ip':'192\.0\.2\.10','name':'probe-record','lv':'info',)"
                        R"('message':'it's \{odd\}, isn't it'\})")))
        << got;
    EXPECT_EQ(count_of(probe->output(), "log service is error"), 0u) << probe->output();
}

TEST_F(ServicesTest, WithoutLogServiceTheStartSaysSoAndEveryAuditFailsQuietly) {
    auto probe = start_service(kProbe, kProbeName);
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

TEST_F(ServicesTest, FailingHandlerAnswersABusErrorAndTheServiceGoesOn) {
    auto probe = start_service(kProbe, kProbeName);
    CallResult r = call_service(kProbeName, "Symbol", g_variant_new("(s)", "no_such_export"));
    EXPECT_EQ(r.error_name, "org.freedesktop.DBus.Error.Failed");
    EXPECT_NE(r.error.find("no_such_export"), std::string::npos) << r.error;
    // Still serving, and the same lookup finds what the core library does export.
    EXPECT_EQ(int_reply(call_service(kProbeName, "Symbol", g_variant_new("(s)", "logging"))), 0);
}

TEST_F(ServicesTest, AReplyTooLargeForTheBusIsAnErrorAndTheServiceGoesOn) {
    auto probe = start_service(kProbe, kProbeName);
    CallResult big = call_service(kProbeName, "Large", g_variant_new("(i)", 31 << 20));
    EXPECT_EQ(big.error_name, "org.freedesktop.DBus.Error.LimitsExceeded") << big.error;
    CallResult small = call_service(kProbeName, "Large", g_variant_new("(i)", 1 << 20));
    ASSERT_TRUE(small.ok()) << small.error;
    EXPECT_TRUE(probe->running());
}
