// mdm-notify-relay: runs in the desktop session as its user and shows what the notification
// agent broadcasts on the system bus as a notification of the session's notification server.
// The agent, a root daemon, thereby never runs anything as the user.
#include <cstdio>
#include <string>

#include <gio/gio.h>

#include "mdm/daemon.h"
#include "mdm/raii_glib.h"
#include "relay_signal.h"

namespace {

using namespace stockpeers;

constexpr char kAppName[] = "USB device control";
constexpr char kIcon[] = "drive-removable-media";

class Relay {
  public:
    int run() {
        int status = daemon_.run();
        if (system_) {
            g_dbus_connection_signal_unsubscribe(system_.get(), subscription_);
            g_bus_unwatch_name(agent_watch_);
        }
        if (self_watch_)
            g_bus_unwatch_name(self_watch_);
        return status;
    }

  private:
    void start(GDBusConnection* session) {
        session_ = session;
        // Only the session's first relay shows anything: one owns the name, others queue.
        self_watch_ =
            g_bus_watch_name_on_connection(session, kRelayName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                           on_self_owner, on_self_gone, this, nullptr);
        mdm::GErrorSlot err;
        system_.reset(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
        if (!system_) {
            daemon_.fail(std::string("no system bus: ") + err.message());
            return;
        }
        g_dbus_connection_set_exit_on_close(system_.get(), FALSE);
        g_signal_connect(system_.get(), "closed", G_CALLBACK(on_system_closed), this);
        agent_watch_ =
            g_bus_watch_name_on_connection(system_.get(), kAgentName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                           on_agent_owner, on_agent_gone, this, nullptr);
        subscription_ = g_dbus_connection_signal_subscribe(
            system_.get(), kAgentName, kRelayInterface, kRelaySignal, kAgentPath, nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, on_show, this, nullptr);
    }

    static void on_show(GDBusConnection*, const char* sender, const char*, const char*, const char*,
                        GVariant* params, gpointer data) {
        auto& self = *static_cast<Relay*>(data);
        // The bus lets only root send this signal; the sender check also keeps out a root
        // process that is not the agent.
        if (!self.showing_ || self.agent_owner_.empty() || self.agent_owner_ != sender ||
            !g_variant_is_of_type(params, G_VARIANT_TYPE(kRelaySignalType))) {
            return;
        }
        const char* summary = nullptr;
        const char* body = nullptr;
        guint8 urgency = 1;
        gint32 timeout = -1;
        g_variant_get(params, "(&s&syi)", &summary, &body, &urgency, &timeout);
        GVariantBuilder hints;
        g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&hints, "{sv}", "urgency", g_variant_new_byte(urgency));
        g_variant_builder_add(&hints, "{sv}", "category", g_variant_new_string("device"));
        const char* no_actions[] = {nullptr};
        g_dbus_connection_call(
            self.session_, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
            "org.freedesktop.Notifications", "Notify",
            g_variant_new("(susss^asa{sv}i)", kAppName, 0u, kIcon, summary, body, no_actions,
                          &hints, timeout),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, on_notified, nullptr);
    }

    static void on_notified(GObject* source, GAsyncResult* result, gpointer) {
        mdm::GErrorSlot err;
        mdm::VariantPtr reply(
            g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, err.out()));
        if (!reply)
            std::printf("Notify: %s\n", err.message());
    }

    static void on_self_owner(GDBusConnection* c, const char*, const char* owner, gpointer data) {
        static_cast<Relay*>(data)->showing_ =
            std::string_view(owner) == g_dbus_connection_get_unique_name(c);
    }
    static void on_self_gone(GDBusConnection*, const char*, gpointer data) {
        static_cast<Relay*>(data)->showing_ = false;
    }
    static void on_agent_owner(GDBusConnection*, const char*, const char* owner, gpointer data) {
        static_cast<Relay*>(data)->agent_owner_ = owner;
    }
    static void on_agent_gone(GDBusConnection*, const char*, gpointer data) {
        static_cast<Relay*>(data)->agent_owner_.clear();
    }
    // Without the system bus nothing can arrive: leave, so the unit restarts the relay.
    static void on_system_closed(GDBusConnection*, gboolean, GError*, gpointer data) {
        static_cast<Relay*>(data)->daemon_.fail("the system bus connection closed");
    }

    GDBusConnection* session_ = nullptr;  // the skeleton's
    mdm::GObjectPtr<GDBusConnection> system_;
    guint self_watch_ = 0, agent_watch_ = 0, subscription_ = 0;
    bool showing_ = false;
    std::string agent_owner_;
    mdm::Daemon daemon_{{.bus = G_BUS_TYPE_SESSION,
                         .name = kRelayName,
                         .on_bus_acquired = [this](GDBusConnection* c) { start(c); }}};
};

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return Relay().run();
}
