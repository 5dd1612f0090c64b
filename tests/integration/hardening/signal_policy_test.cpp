// Forged signals: only root may emit signals on the system's interfaces, so a listener that
// does not filter by sender cannot be fooled by a desktop user.
#include <gtest/gtest.h>

#include <mdmtest/support.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// Records "interface.member" of every signal on one object path, whoever sends it.
class Listener {
  public:
    explicit Listener(const char* path) {
        mdm::GErrorSlot err;
        bus_.reset(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
        if (!bus_)
            throw std::runtime_error(err.message());
        id_ =
            g_dbus_connection_signal_subscribe(bus_.get(), nullptr, nullptr, nullptr, path, nullptr,
                                               G_DBUS_SIGNAL_FLAGS_NONE, on_signal, this, nullptr);
        // The match rule is in place once a round trip has been answered.
        mdm::VariantPtr ping(g_dbus_connection_call_sync(
            bus_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "GetId", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
    }
    ~Listener() { g_dbus_connection_signal_unsubscribe(bus_.get(), id_); }

    bool wait_for(const std::string& name) {
        return mdmtest::eventually([&] {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            return std::find(seen_.begin(), seen_.end(), name) != seen_.end();
        });
    }
    const Strings& seen() const { return seen_; }

  private:
    static void on_signal(GDBusConnection*, const gchar*, const gchar*, const gchar* iface,
                          const gchar* member, GVariant*, gpointer self) {
        static_cast<Listener*>(self)->seen_.push_back(std::string(iface) + "." + member);
    }
    mdm::GObjectPtr<GDBusConnection> bus_;
    guint id_ = 0;
    Strings seen_;
};

const Strings kServiceSignals = {"com.quorl.bankingdevctl.sendAction",
                                 "com.quorl.storage.addStorage", "com.quorl.storage.removeStorage"};

int emit(std::optional<uid_t> uid, const Strings& signals) {
    Strings argv{mdmtest::program("tests/integration/hardening/mdm-emit-signals"), "/forge"};
    argv.insert(argv.end(), signals.begin(), signals.end());
    mdmtest::Process p(argv, {.uid = uid, .name = "emitter"});
    return p.wait_exit().value_or(-100);
}

class SignalPolicy : public mdmtest::SandboxTest {};

TEST_F(SignalPolicy, OnlyRootMaySendTheServicesSignals) {
    Listener listener("/forge");
    Strings forged = kServiceSignals;
    forged.push_back("org.example.Marker.done");  // any user may send this one
    ASSERT_EQ(emit(65534, forged), 0);
    // The same connection sent the marker last: once it is here, the others were judged.
    ASSERT_TRUE(listener.wait_for("org.example.Marker.done"));
    EXPECT_EQ(listener.seen(), Strings{"org.example.Marker.done"});

    Listener root_listener("/forge");
    ASSERT_EQ(emit(std::nullopt, kServiceSignals), 0);
    for (const auto& name : kServiceSignals)
        EXPECT_TRUE(root_listener.wait_for(name)) << name;
}

}  // namespace
