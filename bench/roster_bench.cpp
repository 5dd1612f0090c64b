// RosterGate benchmarks, run in the sandbox by hand or with `ctest -L bench`: a batch addition
// of 10,000 pairs and the query of a 10,000-entry white list, end to end over the bus, each
// against the floor of what it cannot avoid, measured in the same run: one bus round trip
// carrying the same payload, the same number of syslog lines and one framework call.
#include <syslog.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <thread>

#include <gtest/gtest.h>
#include <mdmtest/support.h>

#include "tarvex/adapter.h"

namespace {

using namespace mdmtest;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;
using UniqueFile = mdm::FilePtr;

constexpr int kPairs = 10000;
constexpr int kRuns = 20;
constexpr const char* kName = "com.quorl.ListControl";
constexpr const char* kPath = "/com/quorl/ListControl";
// The echo borrows a name the bus policy lets root own; RosterGate never calls it.
constexpr const char* kEchoName = "com.quorl.brannoc.ostrelagent";
constexpr const char* kEchoPath = "/bench/echo";

constexpr char kEchoXml[] = R"xml(<node><interface name="bench.Echo">
  <method name="Batch"><arg type="a(ss)" direction="in"/><arg type="i" direction="in"/>
    <arg type="i" direction="out"/></method>
  <method name="List"><arg type="as" direction="out"/></method>
</interface></node>)xml";

// Answers like RosterGate does, without doing its work: a batch with one integer, the
// query with a prepared list of the same entries.
class Echo {
  public:
    explicit Echo(GVariant* list_reply) : list_reply_(list_reply) {
        context_ = g_main_context_new();
        loop_ = g_main_loop_new(context_, FALSE);
        thread_ = std::thread([this] { run(); });
        while (!g_atomic_int_get(&ready_))
            std::this_thread::yield();
    }
    ~Echo() {
        g_main_loop_quit(loop_);
        thread_.join();
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
    }

  private:
    static void on_call(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                        const gchar* method, GVariant*, GDBusMethodInvocation* invocation,
                        gpointer self) {
        if (std::string_view(method) == "List") {
            g_dbus_method_invocation_return_value(invocation,
                                                  static_cast<Echo*>(self)->list_reply_);
        } else {
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(i)", 0));
        }
    }
    void run() {
        g_main_context_push_thread_default(context_);
        mdm::GErrorSlot err;
        mdm::GCharPtr address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr));
        mdm::GObjectPtr<GDBusConnection> bus(g_dbus_connection_new_for_address_sync(
            address.get(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, err.out()));
        mdm::DBusNodeInfoPtr node(g_dbus_node_info_new_for_xml(kEchoXml, nullptr));
        static const GDBusInterfaceVTable vtable{on_call, nullptr, nullptr, {}};
        g_dbus_connection_register_object(bus.get(), kEchoPath, node->interfaces[0], &vtable, this,
                                          nullptr, nullptr);
        mdm::VariantPtr reply(g_dbus_connection_call_sync(
            bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", kEchoName, 0u), nullptr, G_DBUS_CALL_FLAGS_NONE,
            -1, nullptr, nullptr));
        g_atomic_int_set(&ready_, 1);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    }

    GVariant* list_reply_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    gint ready_ = 0;
    std::thread thread_;
};

// Waits until the log sink has written everything sent to it so far, so no measurement pays
// for the lines of the one before it: datagrams are taken in order, so once a marker sent
// now is in the capture, everything sent before it is too.
void drain_syslog() {
    static int marker = 0;
    const std::string text = "bench drain " + std::to_string(++marker);
    syslog(LOG_INFO, "%s", text.c_str());
    const char* path = getenv("MDM_SYSLOG");
    ASSERT_TRUE(path);
    ASSERT_TRUE(eventually(
        [&] {
            UniqueFile f(std::fopen(path, "rb"));
            char tail[4096] = {};
            if (!f || std::fseek(f.get(), -static_cast<long>(sizeof tail - 1), SEEK_END) != 0)
                std::rewind(f.get());
            std::size_t n = std::fread(tail, 1, sizeof tail - 1, f.get());
            return std::string_view(tail, n).find(text) != std::string_view::npos;
        },
        60s));
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string hex4(int v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", v & 0xffff);
    return text;
}

class RosterBench : public SandboxTest {
  protected:
    GVariant* call(const char* dest, const char* path, const char* iface, const char* method,
                   GVariant* args) {
        mdm::GErrorSlot err;
        GVariant* reply =
            g_dbus_connection_call_sync(bus.get(), dest, path, iface, method, args, nullptr,
                                        G_DBUS_CALL_FLAGS_NONE, 600000, nullptr, err.out());
        if (!reply)
            ADD_FAILURE() << method << ": " << err.message();
        return reply;
    }

    mdm::GObjectPtr<GDBusConnection> bus{g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr)};
};

// Prints one figure against its floor and checks the target.
void report(const char* what, const std::vector<double>& method, const std::vector<double>& floor) {
    double m = median(method), f = median(floor);
    std::printf("%-40s median %8.2f ms   floor %8.2f ms   ratio %.2f\n", what, m, f, m / f);
    std::fflush(stdout);
    EXPECT_LE(m, 1.5 * f) << what;
}

TEST_F(RosterBench, BatchOfTenThousandAndQueryOfTenThousand) {
    Process service({program("mdm/rostergate/RosterGate")}, ProcessOptions{.name = "RosterGate"});
    ASSERT_TRUE(wait_name(G_BUS_TYPE_SYSTEM, kName)) << service.output();
    mdm::tarvex::LoadedLibrary framework("libtarvex_extend.so.0.0.0");
    const auto& fns = framework.functions();

    std::vector<std::pair<std::string, std::string>> pairs;
    std::vector<tarvex_devctl_info> records;
    for (int i = 0; i < kPairs; ++i) {
        pairs.emplace_back(hex4(0x1000 + i), "0bdb");
        records.push_back(mdm::tarvex::device_record(0x1000 + i, 0x0bdb, 1));
    }
    auto payload = [&] {
        GVariantBuilder b;
        g_variant_builder_init(&b, G_VARIANT_TYPE("a(ss)"));
        for (const auto& [pid, vid] : pairs)
            g_variant_builder_add(&b, "(ss)", pid.c_str(), vid.c_str());
        return g_variant_new("(a(ss)i)", &b, kPairs);
    };
    GVariantBuilder lb;
    g_variant_builder_init(&lb, G_VARIANT_TYPE("as"));
    for (const auto& [pid, vid] : pairs)
        g_variant_builder_add(&lb, "s", (pid + vid).c_str());
    mdm::VariantPtr list_reply(g_variant_ref_sink(g_variant_new("(as)", &lb)));
    Echo echo(list_reply.get());

    // The batch writes "<name>", the bank list line, then two lines per pair and two at the end.
    auto batch_floor_lines = [&] {
        syslog(LOG_INFO, "%s", "[RosterGate]:SetWhiteListByBatch");
        syslog(LOG_INFO, "%s", "[RosterGate]:get_bank_device_list");
        for (const auto& [pid, vid] : pairs) {
            syslog(LOG_INFO, "[RosterGate]:SetWhiteListByBatch('%s', '%s')", pid.c_str(),
                   vid.c_str());
        }
        for (const auto& r : records) {
            syslog(LOG_INFO, "[RosterGate]:SetWhiteListByBatch pid: %u, vid: %u, perm: %d", r.pid,
                   r.vid, r.perm);
        }
        syslog(
            LOG_INFO, "%s",
            "[RosterGate]:SetWhiteListByBatch tarvex_devctl_batch_add_special_policies return 0");
        syslog(LOG_INFO, "%s", "[RosterGate]:SetWhiteListByBatch return 0");
    };

    // Each measurement starts with the log sink drained, so none pays for the lines of the
    // one before it.
    auto timed = [](std::vector<double>& into, const std::function<void()>& what) {
        drain_syslog();
        auto t0 = Clock::now();
        what();
        into.push_back(Ms(Clock::now() - t0).count());
    };
    std::vector<double> batch, batch_floor, query, query_floor;
    for (int run = 0; run < kRuns; ++run) {
        timed(batch_floor, [&] {
            mdm::VariantPtr r(call(kEchoName, kEchoPath, "bench.Echo", "Batch", payload()));
            batch_floor_lines();
            EXPECT_EQ(fns.batch_add(records.data(), kPairs), 0);
        });
        timed(batch, [&] {
            mdm::VariantPtr r(call(kName, kPath, kName, "SetWhiteListByBatch", payload()));
        });
        timed(query_floor, [&] {
            mdm::VariantPtr r(call(kEchoName, kEchoPath, "bench.Echo", "List", nullptr));
            syslog(LOG_INFO, "%s", "[RosterGate]:GetWhiteList");
            int count = 0;
            EXPECT_NE(fns.read_special(&count), nullptr);
        });
        mdm::VariantPtr listed;
        timed(query, [&] { listed.reset(call(kName, kPath, kName, "GetWhiteList", nullptr)); });
        ASSERT_TRUE(listed);
        mdm::VariantPtr entries(g_variant_get_child_value(listed.get(), 0));
        ASSERT_EQ(g_variant_n_children(entries.get()), static_cast<gsize>(kPairs));
        mdm::VariantPtr last(g_variant_get_child_value(entries.get(), kPairs - 1));
        EXPECT_STREQ(g_variant_get_string(last.get(), nullptr),
                     (pairs.back().first + "0bdb").c_str());
    }
    std::printf("RosterGate, %d runs each, %d pairs / entries\n", kRuns, kPairs);
    report("SetWhiteListByBatch (10,000 pairs)", batch, batch_floor);
    report("GetWhiteList (10,000 entries)", query, query_floor);
}

}  // namespace
