#include "mdm/frame/service.h"

#include <cstdio>
#include <exception>

#include "mdm/frame/audit_record.h"
#include "mdm/frame/host_facts.h"

namespace mdm::frame {

Service::Service(GDBusConnection* bus, const ServiceSpec& spec)
    : spec_(spec), bus_(static_cast<GDBusConnection*>(g_object_ref(bus))) {
    if (spec_.prepare)
        spec_.prepare();
    so_ = std::make_unique<DynamicLibrary>(kCoreLibraryPath);
    try {
        log_ = std::make_unique<LogProxy>(bus_.get());
    } catch (const std::exception&) {
        // The service runs without audit records until restarted.
        std::puts("log service is error");
    }
}

void Service::log_transmit(std::string_view message) const {
    // Time, user, address: read in this order, anew for every record.
    AuditFacts facts;
    facts.time = get_host_time();
    facts.user = get_host_name();
    facts.ip = get_host_ip();
    const std::string record = build_audit_record(spec_.record_name, facts, message);
    try {
        if (!log_)
            throw std::runtime_error("no log proxy");
        log_->transmit(record);
    } catch (const std::exception&) {
        std::puts(spec_.audit_failure_text.c_str());
    }
}

VariantPtr int_reply(int value) {
    return VariantPtr(g_variant_ref_sink(g_variant_new("(i)", value)));
}

Handler answer_int(int value) {
    return [value](Service&, GVariant*) { return int_reply(value); };
}

HandlerTable answer_all(int value, std::initializer_list<const char*> methods) {
    HandlerTable table;
    for (const char* m : methods)
        table.emplace(m, answer_int(value));
    return table;
}

std::string object_path_for(std::string_view bus_name) {
    std::string path = "/";
    path += bus_name;
    for (char& c : path) {
        if (c == '.')
            c = '/';
    }
    return path;
}

}  // namespace mdm::frame
