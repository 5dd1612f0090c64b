#include "peer_bus.h"

namespace periphcore::peer {

namespace {

// The calling thread's own context for waiting on answers, made once: a synchronous call
// made through it costs no context, wakeup descriptor and loop made and dropped per call.
GMainContext* wait_context() {
    thread_local mdm::MainContextPtr context(g_main_context_new());
    return context.get();
}

// Sends the call and waits for its answer on the thread's context, where nothing else is
// attached: as synchronous as a blocking call, with the same message on the bus.
mdm::VariantPtr call_with(GDBusConnection* bus, const Endpoint& to, const char* method,
                          GVariant* params, mdm::GErrorSlot& err) {
    GMainContext* context = wait_context();
    g_main_context_push_thread_default(context);
    GAsyncResult* result = nullptr;
    g_dbus_connection_call(
        bus, to.name, to.path, to.interface, method, params, nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr,
        [](GObject*, GAsyncResult* res, gpointer slot) {
            *static_cast<GAsyncResult**>(slot) = G_ASYNC_RESULT(g_object_ref(res));
        },
        &result);
    while (!result)
        g_main_context_iteration(context, TRUE);
    g_main_context_pop_thread_default(context);
    mdm::GObjectPtr<GAsyncResult> done(result);
    return mdm::VariantPtr(g_dbus_connection_call_finish(bus, result, err.out()));
}

}  // namespace

mdm::GObjectPtr<GDBusConnection> system_bus(mdm::GErrorSlot& err) {
    return mdm::GObjectPtr<GDBusConnection>(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
}

mdm::VariantPtr call(GDBusConnection* bus, const Endpoint& to, const char* method,
                     mdm::GErrorSlot& err) {
    return call_with(bus, to, method, nullptr, err);
}

mdm::VariantPtr call(GDBusConnection* bus, const Endpoint& to, const char* method,
                     std::string_view text, mdm::GErrorSlot& err) {
    const std::string owned(text);
    GVariant* arg;
    if (g_utf8_validate(owned.c_str(), -1, nullptr)) {
        arg = g_variant_new_string(owned.c_str());
    } else {
        mdm::GCharPtr valid(g_utf8_make_valid(owned.c_str(), -1));
        arg = g_variant_new_string(valid.get());
    }
    return call_with(bus, to, method, g_variant_new_tuple(&arg, 1), err);
}

std::optional<std::string> reply_string(GVariant* reply) {
    if (!reply || !g_variant_is_of_type(reply, G_VARIANT_TYPE("(s)")))
        return std::nullopt;
    const char* s = nullptr;
    g_variant_get(reply, "(&s)", &s);
    return std::string(s);
}

}  // namespace periphcore::peer
