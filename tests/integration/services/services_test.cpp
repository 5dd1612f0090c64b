// VaultGate, TouchGate and LensGate in the sandbox: their bus contract, their policy and the
// frame's start-up failures.
#include <climits>
#include <map>

#include "mdmtest/support.h"
#include "service_helpers.h"

using namespace mdmtest;
using namespace services;

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

// The interface named after the bus name as the running object exports it, methods in
// declaration order; signals or properties would show as extra text.
std::string render_interface(const std::string& bus_name) {
    CallResult r = call_system(bus_name, object_path(bus_name),
                               "org.freedesktop.DBus.Introspectable", "Introspect");
    if (!r.ok())
        return "introspection failed: " + r.error;
    const gchar* xml = nullptr;
    g_variant_get(r.reply.get(), "(&s)", &xml);
    mdm::GErrorSlot err;
    mdm::DBusNodeInfoPtr node(g_dbus_node_info_new_for_xml(xml, err.out()));
    if (!node)
        return std::string("bad introspection data: ") + err.message();
    GDBusInterfaceInfo* iface = g_dbus_node_info_lookup_interface(node.get(), bus_name.c_str());
    if (!iface)
        return "no interface " + bus_name;
    std::string out;
    for (GDBusMethodInfo** m = iface->methods; m && *m; ++m) {
        if (!out.empty())
            out += "; ";
        out += std::string((*m)->name) + "(";
        std::string args;
        for (auto [dir, list] :
             {std::pair{"in", (*m)->in_args}, std::pair{"out", (*m)->out_args}}) {
            for (GDBusArgInfo** a = list; a && *a; ++a) {
                if (!args.empty())
                    args += ", ";
                args += std::string(dir) + " " + (*a)->signature + " " + (*a)->name;
            }
        }
        out += args + ")";
    }
    if (iface->signals && *iface->signals)
        out += " +signals";
    if (iface->properties && *iface->properties)
        out += " +properties";
    return out;
}

// Policy-like files of other classes that the services must leave as they are.
const std::map<std::string, std::string> kSeededFiles = {
    {"/etc/mdm/disable-hid", "046d"},
    {"/etc/mdm/disable-video", "0c45"},
    {"/etc/mdm/disable-storage", "0bda"},
};

class ServicesTest : public SandboxTest {};

}  // namespace

TEST_F(ServicesTest, EachServiceExportsItsContractAnswersZeroAndTouchesNoFile) {
    Peers peers;
    for (const auto& [path, content] : kSeededFiles)
        write_file(path, content);
    const auto files_before = files_under("/etc/mdm");

    for (const ServiceCase& s : kServices) {
        SCOPED_TRACE(s.program);
        auto proc = start_service(s.program, s.bus_name);
        EXPECT_EQ(render_interface(s.bus_name), s.interface);
        for (const std::string& method : s.calls) {
            EXPECT_EQ(int_result(call_service(s.bus_name, method)), 0) << method;
        }
        if (s.bus_name == "com.quorl.StorageControl") {
            for (int status : {0, 1, 2, -1, 7, INT_MAX, INT_MIN}) {
                EXPECT_EQ(
                    int_result(call_service(s.bus_name, "SetStatus", g_variant_new("(i)", status))),
                    0)
                    << "SetStatus(" << status << ")";
                EXPECT_EQ(int_result(call_service(s.bus_name, "GetStatus")), 0);
            }
        }
        EXPECT_TRUE(proc->running());
        EXPECT_EQ(proc->output().find("log service is error"), std::string::npos);
    }

    EXPECT_EQ(files_under("/etc/mdm"), files_before);
    for (const auto& [path, content] : kSeededFiles)
        EXPECT_EQ(read_file(path), content) << path;
    // None of the three sends audit records.
    EXPECT_TRUE(peers.calls("log").empty());
}

TEST_F(ServicesTest, WithoutLogServiceTheStartSaysSoOnceAndMethodsStillAnswer) {
    for (const ServiceCase& s : kServices) {
        SCOPED_TRACE(s.program);
        auto proc = start_service(s.program, s.bus_name);
        for (const std::string& method : s.calls) {
            EXPECT_EQ(int_result(call_service(s.bus_name, method)), 0) << method;
        }
        EXPECT_EQ(count_of(proc->output(), "log service is error\n"), 1u) << proc->output();
    }
}

TEST_F(ServicesTest, SecondInstanceExitsWhileTheFirstKeepsServing) {
    Peers peers;
    auto first = start_service("mdm/touchgate/TouchGate", "com.quorl.InputControl.hid");
    Process second({program("mdm/touchgate/TouchGate")});
    auto status = second.wait_exit();
    ASSERT_TRUE(status.has_value()) << "the second instance kept running";
    EXPECT_GT(*status, 0);
    EXPECT_NE(second.output().find("already owned"), std::string::npos) << second.output();

    EXPECT_TRUE(first->running());
    EXPECT_EQ(int_result(call_service("com.quorl.InputControl.hid", "GetHidDevices")), 0);
}

TEST_F(ServicesTest, MethodsOutsideTheIntrospectionDataDoNotExist) {
    Peers peers;
    auto proc = start_service("mdm/vaultgate/VaultGate", "com.quorl.StorageControl");
    for (const char* method :
         {"ReadOnly", "DisableStorageDevices", "EnableStorageDevices", "log_transmit"}) {
        CallResult r = call_service("com.quorl.StorageControl", method);
        EXPECT_FALSE(r.ok()) << method;
        EXPECT_EQ(r.error_name, "org.freedesktop.DBus.Error.UnknownMethod") << method;
    }
    EXPECT_EQ(int_result(call_service("com.quorl.StorageControl", "GetStatus")), 0);
}

TEST_F(ServicesTest, PolicyKeepsNonRootFromOwningOrCalling) {
    Peers peers;
    for (const ServiceCase& s : kServices) {
        SCOPED_TRACE(s.program);
        {
            Process intruder({program(s.program)}, {.uid = 65534});
            auto status = intruder.wait_exit();
            ASSERT_TRUE(status.has_value());
            EXPECT_GT(*status, 0);
            EXPECT_NE(intruder.output().find("AccessDenied"), std::string::npos)
                << intruder.output();
        }
        auto proc = start_service(s.program, s.bus_name);
        Process caller({"gdbus", "call", "--system", "--dest", s.bus_name, "--object-path",
                        object_path(s.bus_name), "--method", s.bus_name + "." + s.calls[0]},
                       {.uid = 65534});
        auto status = caller.wait_exit();
        ASSERT_TRUE(status.has_value());
        EXPECT_NE(*status, 0);
        EXPECT_NE(caller.output().find("AccessDenied"), std::string::npos) << caller.output();
        // Root still gets through.
        EXPECT_EQ(int_result(call_service(s.bus_name, s.calls[0])), 0);
    }
}

TEST_F(ServicesTest, MissingCoreLibraryStopsTheStart) {
    Peers peers;
    std::filesystem::remove("/usr/lib/mdm/periphcore.so");
    for (const ServiceCase& s : kServices) {
        SCOPED_TRACE(s.program);
        Process proc({program(s.program)});
        auto status = proc.wait_exit();
        ASSERT_TRUE(status.has_value()) << "started without the core library";
        EXPECT_GT(*status, 0);
        EXPECT_NE(proc.output().find("/usr/lib/mdm/periphcore.so"), std::string::npos)
            << proc.output();
        EXPECT_FALSE(name_has_owner(G_BUS_TYPE_SYSTEM, s.bus_name));
    }
}
