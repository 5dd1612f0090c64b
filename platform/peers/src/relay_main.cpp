// mdm-notify-relay: runs in the desktop session as its user and shows what the notification
// agent broadcasts on the system bus as a notification of the session's notification server.
// The agent, a root daemon, thereby never runs anything as the user.
#include <cstdio>
#include <string>

#include <gio/gio.h>

#include "mdm/raii.h"
#include "mdm/stop.h"
#include "relay_signal.h"

namespace {

using namespace stockpeers;

constexpr char kAppName[] = "USB device control";
constexpr char kIcon[] = "drive-removable-media";

struct Relay {
    GMainLoop* loop = nullptr;
    GDBusConnection* session = nullptr;
    std::string agent_owner;  // unique name of the agent; empty while it is not running
    int status = 0;
};

void on_notified(GObject* source, GAsyncResult* result, gpointer) {
    mdm::GErrorSlot err;
    mdm::VariantPtr reply(
        g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, err.out()));
    if (!reply)
        std::printf("mdm-notify-relay: Notify: %s\n", err.message());
}

void on_show(GDBusConnection*, const char* sender, const char*, const char*, const char*,
             GVariant* params, gpointer data) {
    auto& relay = *static_cast<Relay*>(data);
    // The bus already lets only root send this signal; the sender check also keeps out a
    // root process that is not the agent.
    if (relay.agent_owner.empty() || relay.agent_owner != sender ||
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
        relay.session, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.Notifications", "Notify",
        g_variant_new("(susss^asa{sv}i)", kAppName, 0u, kIcon, summary, body, no_actions, &hints,
                      timeout),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, on_notified, nullptr);
}

void on_agent_appeared(GDBusConnection*, const char*, const char* owner, gpointer data) {
    static_cast<Relay*>(data)->agent_owner = owner;
}

void on_agent_vanished(GDBusConnection*, const char*, gpointer data) {
    static_cast<Relay*>(data)->agent_owner.clear();
}

// The session ending closes its bus: nothing left to do. A lost system bus is a failure.
void on_session_closed(GDBusConnection*, gboolean, GError*, gpointer data) {
    g_main_loop_quit(static_cast<Relay*>(data)->loop);
}
void on_system_closed(GDBusConnection*, gboolean, GError*, gpointer data) {
    auto& relay = *static_cast<Relay*>(data);
    relay.status = 1;
    g_main_loop_quit(relay.loop);
}

mdm::GObjectPtr<GDBusConnection> connect(GBusType type, const char* which) {
    mdm::GErrorSlot err;
    mdm::GObjectPtr<GDBusConnection> bus(g_bus_get_sync(type, nullptr, err.out()));
    if (!bus)
        std::printf("mdm-notify-relay: no %s bus: %s\n", which, err.message());
    else
        g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
    return bus;
}

}  // namespace

int main() {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    auto session = connect(G_BUS_TYPE_SESSION, "session");
    auto system = connect(G_BUS_TYPE_SYSTEM, "system");
    if (!session || !system)
        return 1;
    mdm::MainLoopPtr loop(g_main_loop_new(nullptr, FALSE));
    Relay relay{loop.get(), session.get(), {}, 0};
    g_signal_connect(session.get(), "closed", G_CALLBACK(on_session_closed), &relay);
    g_signal_connect(system.get(), "closed", G_CALLBACK(on_system_closed), &relay);

    guint watch =
        g_bus_watch_name_on_connection(system.get(), kAgentName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                       on_agent_appeared, on_agent_vanished, &relay, nullptr);
    guint sub = g_dbus_connection_signal_subscribe(
        system.get(), kAgentName, kRelayInterface, kRelaySignal, kAgentPath, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, on_show, &relay, nullptr);

    // One relay per session, or every notification would show twice.
    mdm::GErrorSlot err;
    mdm::VariantPtr reply(g_dbus_connection_call_sync(
        session.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", kRelayName, 4u /* do not queue */),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, err.out()));
    guint32 result = 0;
    if (reply)
        g_variant_get(reply.get(), "(u)", &result);
    if (result != 1 /* primary owner */) {
        std::printf("mdm-notify-relay: cannot own %s: %s\n", kRelayName,
                    err ? err.message() : "another relay runs in this session");
        relay.status = 1;
    } else {
        std::printf("mdm-notify-relay: Acquired the name %s\n", kRelayName);
        mdm::quit_on_stop_signals(loop.get());
        g_main_loop_run(loop.get());
    }
    g_dbus_connection_signal_unsubscribe(system.get(), sub);
    g_bus_unwatch_name(watch);
    g_dbus_connection_flush_sync(session.get(), nullptr, nullptr);
    return relay.status;
}
