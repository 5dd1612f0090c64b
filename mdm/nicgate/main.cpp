// NicGate: switches the machine's network cards off and on as a class, remembering the state
// in /etc/mdm/net.
#include <memory>

#include "mdm/bus_names.h"
#include "NicGate_introspection.h"
#include "mdm/frame/service.h"
#include "netcard_control.h"

namespace {

using mdm::frame::Service;
using mdm::nicgate::NetcardControl;

// Made at the first call, once the frame has loaded the core library; a library lacking one
// of the calls answers that call with a bus error.
NetcardControl& control(Service& service) {
    static std::unique_ptr<NetcardControl> instance;
    if (!instance) {
        mdm::nicgate::CoreCalls core{
            .enable_net_card = service.core_symbol<int()>("enable_net_card"),
            .disable_acpi_net_card = service.core_symbol<int()>("disable_acpi_net_card"),
            .disable_usb_net_card = service.core_symbol<int()>("disable_usb_net_card"),
            .enabledevices = service.core_symbol<int(const char*, const char*)>("enabledevices"),
        };
        instance = std::make_unique<NetcardControl>(
            std::move(core), [&service](std::string_view m) { service.log_transmit(m); },
            [] { g_usleep(G_USEC_PER_SEC); });
    }
    return *instance;
}

mdm::VariantPtr set_status(Service& service, GVariant* args) {
    gint32 status = 0;
    g_variant_get(args, "(i)", &status);
    return mdm::frame::int_reply(control(service).SetNetcardStatus(status));
}

mdm::VariantPtr get_status(Service& service, GVariant*) {
    return mdm::frame::int_reply(control(service).GetNetcardStatus());
}

}  // namespace

int main() {
    return mdm::frame::run_service(
        {.bus_name = mdm::bus::kNetcardControl.name,
         .introspection_xml = kIntrospectionXml,
         .record_name = "netcard-control",
         .handlers = {{"SetNetcardStatus", set_status}, {"GetNetcardStatus", get_status}}});
}
