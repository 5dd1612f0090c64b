// LensGate: the video class endpoint. It answers every method with 0 and switches nothing;
// the class-wide camera switching of the core library is not driven from here.
#include "mdm/bus_names.h"
#include "LensGate_introspection.h"
#include "mdm/frame/service.h"

int main() {
    return mdm::frame::run_service(
        {.bus_name = mdm::bus::kVideoControl.name,
         .introspection_xml = kIntrospectionXml,
         .record_name = "video-control",
         .handlers = mdm::frame::answer_all(
             0, {"DisableVideoDevices", "EnableVideoDevices", "GetVideoDevices"})});
}
