// TouchGate: the HID class endpoint. It answers every method with 0 and switches nothing; the
// class-wide HID switching of the core library is not driven from here.
#include "mdm/bus_names.h"
#include "TouchGate_introspection.h"
#include "mdm/frame/service.h"

int main() {
    return mdm::frame::run_service(
        {.bus_name = mdm::bus::kHidControl.name,
         .introspection_xml = kIntrospectionXml,
         .record_name = "hid-control",
         .handlers = mdm::frame::answer_all(
             0, {"DisableHidDevices", "EnableHidDevices", "GetHidDevices"})});
}
