// Hostile calls over every method of every system service: each is answered, every service
// still runs and answers afterwards, the files they keep stay well-formed, and the answers
// and files of bankguard and RosterGate follow models of their files. MDM_ROBUSTNESS_CALLS
// sets the number of calls.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <regex>
#include <sstream>

#include "bank_model.h"
#include "hostile_args.h"
#include "mdm/frame/service.h"
#include "mdmtest/support.h"
#include "roster_model.h"
#include "store.h"

namespace {

using namespace mdmtest;
namespace fs = std::filesystem;

struct ServiceUnderTest {
    std::string program, bus_name, path, interface;
};

struct Method {
    const ServiceUnderTest* service;
    std::string name, signature;  // in-arguments as a tuple signature
};

std::vector<ServiceUnderTest> system_services() {
    auto frame = [](const char* program, const char* name) {
        return ServiceUnderTest{program, name, mdm::frame::object_path_for(name), name};
    };
    std::vector<ServiceUnderTest> all = {
        {"bank-daemon/bankguard", "com.quorl.bankingdevctl", "/com/quorl/bankingdevctl",
         "com.quorl.bankingdevctl"},
        {"plugwatch/plugwatch", "com.quorl.storage", "/com/quorl/storage", "com.quorl.storage"},
        frame("mdm/vaultgate/VaultGate", "com.quorl.StorageControl"),
        frame("mdm/touchgate/TouchGate", "com.quorl.InputControl.hid"),
        frame("mdm/lensgate/LensGate", "com.quorl.InputControl.video"),
        frame("mdm/nicgate/NicGate", "com.quorl.netcardcontrol"),
        frame("mdm/rostergate/RosterGate", "com.quorl.ListControl"),
    };
    // Services land one by one; each present in the build is tested.
    std::erase_if(all, [](const auto& s) { return !file_exists(program(s.program)); });
    return all;
}

long calls_wanted() {
    const char* n = getenv("MDM_ROBUSTNESS_CALLS");
    return n ? std::atol(n) : 10000;
}

// MDM_ROBUSTNESS_WRAPPER: a command the daemons run under (valgrind), split at blanks.
std::vector<std::string> wrapper() {
    std::vector<std::string> words;
    std::istringstream in(getenv("MDM_ROBUSTNESS_WRAPPER") ? getenv("MDM_ROBUSTNESS_WRAPPER") : "");
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// MDM_ROBUSTNESS_ONLY and MDM_ROBUSTNESS_METHODS: the one program started (a part of its path)
// and a pattern the called methods' names match, to give one service all the calls.
bool chosen(const ServiceUnderTest& s) {
    const char* only = getenv("MDM_ROBUSTNESS_ONLY");
    return !only || s.program.find(only) != std::string::npos;
}
bool chosen(const Method& m) {
    const char* pattern = getenv("MDM_ROBUSTNESS_METHODS");
    return !pattern || std::regex_search(m.name, std::regex(pattern));
}

class Robustness : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        run({"mkdir", "-p", "/etc/mdm/bank/devlist", "/etc/mdm/bank/status"});
        for (const char* type : {"ushield", "fingerprint", "taxtray", "taxkey"}) {
            write_file(std::string("/etc/mdm/bank/devlist/") + type, "");
            write_file(std::string("/etc/mdm/bank/status/") + type, "1\n");
        }
        mdm::GErrorSlot err;
        bus_.reset(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
        ASSERT_TRUE(bus_) << err.message();
    }

    std::vector<Method> introspect(const ServiceUnderTest& s) {
        std::vector<Method> out;
        auto r =
            call_system(s.bus_name, s.path, "org.freedesktop.DBus.Introspectable", "Introspect");
        EXPECT_TRUE(r.ok()) << s.bus_name << ": " << r.error;
        if (!r.ok())
            return out;
        const gchar* xml = nullptr;
        g_variant_get(r.reply.get(), "(&s)", &xml);
        mdm::DBusNodeInfoPtr node(g_dbus_node_info_new_for_xml(xml, nullptr));
        GDBusInterfaceInfo* iface =
            node ? g_dbus_node_info_lookup_interface(node.get(), s.interface.c_str()) : nullptr;
        EXPECT_TRUE(iface) << s.bus_name << " publishes no " << s.interface;
        for (GDBusMethodInfo** m = iface ? iface->methods : nullptr; m && *m; ++m) {
            std::string sig = "(";
            for (GDBusArgInfo** a = (*m)->in_args; a && *a; ++a)
                sig += (*a)->signature;
            out.push_back({&s, (*m)->name, sig + ")"});
        }
        return out;
    }

    // The reply, or the D-Bus error name in `error`.
    mdm::VariantPtr call(const Method& m, GVariant* args, std::string& error) {
        mdm::GErrorSlot err;
        mdm::VariantPtr reply(g_dbus_connection_call_sync(
            bus_.get(), m.service->bus_name.c_str(), m.service->path.c_str(),
            m.service->interface.c_str(), m.name.c_str(), args, nullptr, G_DBUS_CALL_FLAGS_NONE,
            120000, nullptr, err.out()));
        if (!reply) {
            mdm::GCharPtr name(g_dbus_error_get_remote_error(err.get()));
            error = name ? name.get() : err.message();
        }
        return reply;
    }

    mdm::GObjectPtr<GDBusConnection> bus_;
};

// The framework's device entries as the store holds them.
std::vector<robustness::DeviceEntry> stored_devices(const tarvex_standin::Store& store) {
    tarvex_standin::Snapshot snap;
    store.read(tarvex_standin::Table::Devices, snap);
    std::vector<robustness::DeviceEntry> out;
    for (const auto& r : snap.rows)
        out.push_back({r.pid, r.vid, r.perm});
    return out;
}

std::unordered_set<std::string> bank_devices(const robustness::BankModel& bank) {
    std::unordered_set<std::string> all;
    for (int type = 0; type < 4; ++type)
        all.insert(bank.list(type).begin(), bank.list(type).end());
    return all;
}

// Equal texts, or where they first differ: gtest's own diff of two long texts is quadratic.
::testing::AssertionResult same_text(const std::string& got, const std::string& want) {
    if (got == want)
        return ::testing::AssertionSuccess();
    std::size_t at =
        std::mismatch(got.begin(), got.begin() + std::min(got.size(), want.size()), want.begin())
            .first -
        got.begin();
    auto near = [at](const std::string& s) { return s.substr(at > 40 ? at - 40 : 0, 80); };
    return ::testing::AssertionFailure()
           << got.size() << " bytes, expected " << want.size() << "; first difference at byte "
           << at << ": [" << near(got) << "] against [" << near(want) << "]";
}

std::string text_of(GVariant* v) {
    if (!v)
        return "a bus error";
    mdm::GCharPtr text(g_variant_print(v, FALSE));
    return std::string(text.get()).substr(0, 300);
}

// Errors that mean the service did not answer: it died, hung or left the bus.
bool unanswered(const std::string& error) {
    return error.empty() || error.find("NoReply") != std::string::npos ||
           error.find("ServiceUnknown") != std::string::npos ||
           error.find("Timeout") != std::string::npos ||
           error.find("Disconnected") != std::string::npos ||
           error.find("NameHasNoOwner") != std::string::npos;
}

void expect_lines_match(const std::string& path, const std::regex& line_re) {
    std::istringstream in(read_file(path));
    std::string line;
    while (std::getline(in, line))
        EXPECT_TRUE(std::regex_match(line, line_re)) << path << ": [" << line << "]";
}

TEST_F(Robustness, HostileCallsAreAnsweredAndLeaveEveryServiceWellAndItsFilesWellFormed) {
    Testbed testbed;  // libudev in the services sees an empty testbed, never the host's /sys
    Peers peers;
    std::vector<std::unique_ptr<Process>> daemons;
    auto services = system_services();
    std::erase_if(services, [](const auto& s) { return !chosen(s); });
    const auto under = wrapper();
    for (const auto& s : services) {
        std::vector<std::string> argv = under;
        argv.push_back(program(s.program));
        daemons.push_back(
            std::make_unique<Process>(argv, ProcessOptions{.umockdev = true, .name = s.program}));
        ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, s.bus_name, under.empty() ? 10s : 120s))
            << s.program;
    }
    std::vector<Method> methods;
    for (const auto& s : services) {
        auto m = introspect(s);
        std::copy_if(m.begin(), m.end(), std::back_inserter(methods),
                     [](const Method& one) { return chosen(one); });
    }
    ASSERT_FALSE(methods.empty());

    robustness::Hostile hostile(20261208);
    robustness::BankModel model;
    robustness::RosterModel roster;
    const tarvex_standin::Store store("/var/lib/tarvex");
    const long total = calls_wanted();
    long errors = 0, modelled = 0;
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < total; ++i) {
        const Method& m = methods[hostile.pick(methods.size())];
        const bool wrong = hostile.chance(10);
        mdm::VariantPtr args(
            g_variant_ref_sink(wrong ? hostile.wrong_tuple(m.signature)
                                     : hostile.value(G_VARIANT_TYPE(m.signature.c_str()))));
        const bool to_roster = m.service->bus_name == "com.quorl.ListControl";
        if (to_roster)
            roster.take_devices(stored_devices(store));
        std::string error;
        mdm::VariantPtr reply = call(m, args.get(), error);
        if (!reply) {
            ++errors;
            ASSERT_FALSE(unanswered(error))
                << "call " << i << ": " << m.service->bus_name << "." << m.name << " " << error;
            EXPECT_TRUE(wrong || error.find("LimitsExceeded") != std::string::npos ||
                        error.find("InvalidArgs") != std::string::npos ||
                        error.find("Failed") != std::string::npos)
                << m.name << " refused a well-typed call: " << error;
        }
        if (to_roster) {
            auto expected = wrong ? std::optional<robustness::RosterModel::Answer>()
                                  : roster.expect(m.name, args.get(), bank_devices(model));
            if (expected) {
                ++modelled;
                mdm::VariantPtr want(expected->reply ? g_variant_ref_sink(expected->reply)
                                                     : nullptr);
                ASSERT_TRUE(want ? reply && g_variant_equal(reply.get(), want.get())
                                 : !reply && error == expected->error)
                    << "call " << i << ": " << m.name << " " << text_of(args.get()) << " answered "
                    << (reply ? text_of(reply.get()) : error) << ", model " << text_of(want.get());
            }
            ASSERT_EQ(stored_devices(store), roster.devices())
                << "device entries after call " << i << ": " << m.name << " "
                << text_of(args.get());
            const std::string white = "/etc/mdm/bank/white-list";
            ASSERT_TRUE(
                same_text(file_exists(white) ? read_file(white) : "", roster.bank_white_text()))
                << "bank white list after call " << i << ": " << m.name << " "
                << text_of(args.get());
            continue;
        }
        if (wrong || m.service->bus_name != "com.quorl.bankingdevctl")
            continue;
        if (auto expected = model.expect(m.name, args.get())) {
            mdm::VariantPtr want(g_variant_ref_sink(*expected));
            ++modelled;
            ASSERT_TRUE(reply) << m.name << ": " << error;
            ASSERT_TRUE(g_variant_equal(reply.get(), want.get()))
                << "call " << i << ": " << m.name << " " << text_of(args.get()) << " answered "
                << text_of(reply.get()) << ", model " << text_of(want.get());
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << total << " calls over " << methods.size() << " methods of " << services.size()
              << " services in " << seconds << " s (" << static_cast<long>(total / seconds)
              << " calls/s); " << errors << " bus errors, " << modelled
              << " answers of bankguard and RosterGate checked against their models\n";

    for (std::size_t i = 0; i < services.size(); ++i) {
        const auto& s = services[i];
        EXPECT_TRUE(daemons[i]->running()) << s.program << " is gone";
        auto ping = call_system(s.bus_name, s.path, "org.freedesktop.DBus.Peer", "Ping");
        EXPECT_TRUE(ping.ok()) << s.bus_name << ": " << ping.error;
    }
    // An orderly stop after all that: exit 0, which under valgrind also means no error and
    // nothing definitely lost (the wrapper's --error-exitcode).
    for (std::size_t i = 0; i < services.size(); ++i) {
        daemons[i]->kill(SIGTERM);
        EXPECT_EQ(daemons[i]->wait_exit(under.empty() ? 10s : 300s), 0) << services[i].program;
    }

    const std::regex entry("[0-9a-f]{8}"), status("[01]");
    for (const auto& f : fs::recursive_directory_iterator("/etc/mdm")) {
        EXPECT_TRUE(f.is_regular_file() || f.is_directory()) << f.path();
    }
    for (int type = 0; type < 4; ++type) {
        static const char* const kNames[] = {"ushield", "fingerprint", "taxtray", "taxkey"};
        std::string list = std::string("/etc/mdm/bank/devlist/") + kNames[type];
        expect_lines_match(list, entry);
        expect_lines_match(std::string("/etc/mdm/bank/status/") + kNames[type], status);
    }
    if (file_exists("/etc/mdm/bank/white-list"))
        expect_lines_match("/etc/mdm/bank/white-list", entry);
    auto listed = run({"tarvexctl", "list"});
    EXPECT_EQ(listed.status, 0) << listed.out;
    std::istringstream lines(listed.out);
    const std::regex record(
        "device [0-9a-f]{4,8} [0-9a-f]{4,8} perm=-?[0-9]+|class type=-?[0-9]+ usb_subtype=-?[0-9]+ "
        "perm=-?[0-9]+");
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(std::regex_match(line, record)) << "[" << line << "]";
}

}  // namespace
