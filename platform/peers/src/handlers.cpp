#include "handlers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "journal_entry.h"
#include "journal_send.h"
#include "logind.h"
#include "mdm/bus_errors.h"
#include "mdm/peer_interfaces.h"
#include "mdm/raii_glib.h"
#include "notification.h"

namespace stockpeers {

namespace {

// The agent also broadcasts com.quorl.brannoc.ostrelagent.Desktop.Show(ssyi) (summary, body,
// urgency, expire timeout) for the session relays; signals need no registered interface.

void fail(GDBusMethodInvocation* invocation, const std::string& what) {
    std::printf("%s\n", what.c_str());
    g_dbus_method_invocation_return_dbus_error(invocation, mdm::kErrorFailed, what.c_str());
}

// Writes the entry; false (and the call answered with an error) when the journal refused it.
bool journal(const JournalEntry& entry, GDBusMethodInvocation* invocation) {
    int r = send_to_journal(entry);
    if (r < 0) {
        fail(invocation, std::string("the journal did not take the entry: ") + std::strerror(-r));
        return false;
    }
    return true;
}

// The introspection data declares each method's arguments, so GDBus has checked them.
std::string_view first_text(GVariant* params) {
    gsize size = 0;
    mdm::VariantPtr child(g_variant_get_child_value(params, 0));
    const char* s = g_variant_get_string(child.get(), &size);
    return std::string_view(s, size);
}

template <class F>
void guarded(GDBusMethodInvocation* invocation, F&& body) {
    try {
        body();
    } catch (...) {
        mdm::return_current_exception(invocation);
    }
}

void on_log_call(GDBusConnection*, const char*, const char*, const char*, const char*,
                 GVariant* params, GDBusMethodInvocation* invocation, gpointer) {
    guarded(invocation, [&] {
        if (journal(audit_entry(first_text(params), "mdm-logd"), invocation))
            g_dbus_method_invocation_return_value(invocation, nullptr);
    });
}

void on_client_call(GDBusConnection* bus, const char*, const char*, const char*, const char* method,
                    GVariant* params, GDBusMethodInvocation* invocation, gpointer) {
    guarded(invocation, [&] {
        std::string_view m = method;
        if (m == "get_current_user") {
            std::string user = logind_desktop_user(bus);
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(s)", user.c_str()));
            return;
        }
        auto event = m == "usb_storage_plug_in" ? UsbEvent::PlugIn : UsbEvent::PullOut;
        if (journal(device_entry(first_text(params), event, "mdm-clientd"), invocation))
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(s)", ""));
    });
}

void on_agent_call(GDBusConnection* bus, const char*, const char*, const char*, const char*,
                   GVariant* params, GDBusMethodInvocation* invocation, gpointer) {
    guarded(invocation, [&] {
        DesktopNotification n = parse_notification(first_text(params));
        mdm::GErrorSlot err;
        // Broadcast: a relay runs in each graphical session, as its user.
        if (!g_dbus_connection_emit_signal(
                bus, nullptr, kAgentPath, kRelayInterface, kRelaySignal,
                g_variant_new(kRelaySignalType, n.summary.c_str(), n.body.c_str(), n.urgency,
                              n.expire_timeout),
                err.out())) {
            fail(invocation, std::string("cannot signal the sessions: ") + err.message());
            return;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    });
}

}  // namespace

const PeerObject kLogService{"org.log.sys_transmit", "/org/log/sys_transmit",
                             mdm::bus::kLogServiceXml, on_log_call};
const PeerObject kManagementClient{"com.quorl.brannoc.ostrelclient", "/brannoc/ostrelclient",
                                   mdm::bus::kManagementClientXml, on_client_call};
const PeerObject kNotificationAgent{kAgentName, kAgentPath, mdm::bus::kNotificationAgentXml,
                                    on_agent_call};

}  // namespace stockpeers
