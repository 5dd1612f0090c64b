#include "service.h"

#include <syslog.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "mdm/bus_errors.h"
#include "mdm/bus_limits.h"
#include "mdm/bus_names.h"
#include "mdm/raii.h"
#include "periphcore.h"
#include "validate.h"

namespace bankguard {

namespace {

// Handlers answer through the contract's int results; only something unforeseen (such as
// running out of memory) becomes a bus error, and the daemon goes on serving.
template <class Body>
gboolean guarded(GDBusMethodInvocation* invocation, Body body) {
    try {
        body();
    } catch (...) {
        // Nothing may unwind into the signal emission that called us.
        mdm::return_current_exception(invocation);
    }
    return G_DBUS_METHOD_INVOCATION_HANDLED;
}

gboolean on_get_status(Bankingdevctl* iface, GDBusMethodInvocation* invocation, gint type,
                       gpointer) {
    return guarded(invocation, [&] {
        bankingdevctl_complete_get_banking_dev_status(iface, invocation, getBankDevStatus(type));
    });
}

gboolean on_set_status(Bankingdevctl* iface, GDBusMethodInvocation* invocation, gint type,
                       gint perm, gpointer) {
    return guarded(invocation, [&] {
        int rc = setBankDevStatus(type, perm);
        syslog(LOG_INFO, "setBankDevStatus rc=%d type=%d perm=%d", rc, type, perm);
        bankingdevctl_complete_set_banking_dev_status(iface, invocation, rc);
    });
}

gboolean on_update_action(Bankingdevctl* iface, GDBusMethodInvocation* invocation,
                          const gchar* info, gpointer) {
    return guarded(invocation, [&] {
        bankingdevctl_emit_send_action(iface, info);
        bankingdevctl_complete_update_action(iface, invocation, 0);
    });
}

// Runs a list operation on the entries of an a(ss) argument that pass the check.
int with_checked_list(const char* method, gint type, GVariant* list,
                      int (*operation)(int, int, char* const*)) {
    syslog(LOG_INFO, "%s", method);
    std::vector<mdm::UsbIds> pairs;
    const gsize n = g_variant_n_children(list);
    pairs.reserve(n);
    for (gsize i = 0; i < n; ++i) {
        const char* product = nullptr;
        const char* vendor = nullptr;
        g_variant_get_child(list, i, "(&s&s)", &product, &vendor);
        pairs.push_back({product ? product : "", vendor ? vendor : ""});
    }
    CheckedPairs checked = check_pairs(pairs);
    for (const auto& text : checked.rejected) {
        // The line feed inside the log line is part of the text log readers match.
        // The fixed log text, trailing newline included.
        syslog(LOG_INFO, "isHexadecimal check error %s\n", text.c_str());
    }
    // The caller's "len" is not trusted: only the entries that passed are counted.
    std::vector<char*> entries;
    for (auto& e : checked.kept)
        entries.push_back(e.data());
    return operation(type, static_cast<int>(entries.size()),
                     entries.empty() ? nullptr : entries.data());
}

gboolean on_set_list(Bankingdevctl* iface, GDBusMethodInvocation* invocation, gint type, gint,
                     GVariant* list, gpointer) {
    return guarded(invocation, [&] {
        int rc = with_checked_list("setBankingDevList", type, list, setBankDevList);
        bankingdevctl_complete_set_banking_dev_list(iface, invocation, rc);
    });
}

gboolean on_del_list(Bankingdevctl* iface, GDBusMethodInvocation* invocation, gint type, gint,
                     GVariant* list, gpointer) {
    return guarded(invocation, [&] {
        int rc = with_checked_list("delBankingDevList", type, list, delBankDevList);
        bankingdevctl_complete_del_banking_dev_list(iface, invocation, rc);
    });
}

gboolean on_get_list(Bankingdevctl* iface, GDBusMethodInvocation* invocation, gint type, gpointer) {
    return guarded(invocation, [&] {
        int count = 0;
        char** list = getBankDevList(type, &count);
        const mdm::MallocTexts entries(list, count);
        std::vector<const gchar*> texts;
        std::size_t invalid = 0;
        gsize body = 4;
        for (const char* entry : entries) {
            // A bus string must be UTF-8: one bad line may not cost the others their place.
            if (!g_utf8_validate(entry, -1, nullptr)) {
                ++invalid;
                continue;
            }
            texts.push_back(entry);
            body += 4 + std::strlen(entry) + 1 + 3;  // length, text, nul, alignment
        }
        texts.push_back(nullptr);
        if (invalid > 0)
            syslog(LOG_ERR, "getBankingDevList: %zu entries of list %d are not UTF-8, left out",
                   invalid, type);
        if (body > mdm::kMaxReplyBody) {
            mdm::return_too_large(invocation);
        } else {
            bankingdevctl_complete_get_banking_dev_list(iface, invocation, texts.data());
        }
    });
}

}  // namespace

void Service::start(GDBusConnection* connection) {
    manager_.reset(g_dbus_object_manager_server_new(mdm::bus::kBankManagerPath));
    mdm::GObjectPtr<ObjectSkeleton> object(object_skeleton_new(mdm::bus::kBank.path));
    interface_.reset(bankingdevctl_skeleton_new());
    if (!interface_) {
        std::fputs("error new skeleton\n", stderr);
        return;
    }
    object_skeleton_set_bankingdevctl(object.get(), interface_.get());
    Bankingdevctl* iface = interface_.get();
    g_signal_connect(iface, "handle-get-banking-dev-status", G_CALLBACK(on_get_status), nullptr);
    g_signal_connect(iface, "handle-set-banking-dev-status", G_CALLBACK(on_set_status), nullptr);
    g_signal_connect(iface, "handle-update-action", G_CALLBACK(on_update_action), nullptr);
    g_signal_connect(iface, "handle-set-banking-dev-list", G_CALLBACK(on_set_list), nullptr);
    g_signal_connect(iface, "handle-del-banking-dev-list", G_CALLBACK(on_del_list), nullptr);
    g_signal_connect(iface, "handle-get-banking-dev-list", G_CALLBACK(on_get_list), nullptr);
    g_dbus_object_manager_server_export(manager_.get(), G_DBUS_OBJECT_SKELETON(object.get()));
    g_dbus_object_manager_server_set_connection(manager_.get(), connection);
}

}  // namespace bankguard
