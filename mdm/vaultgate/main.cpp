// VaultGate: the storage class endpoint. Storage permissions live in the framework's tables,
// read and reported by the plug monitor, so this service answers 0 and changes nothing,
// whatever status it is given.
#include "mdm/bus_names.h"
#include "VaultGate_introspection.h"
#include "mdm/frame/service.h"

int main() {
    return mdm::frame::run_service(
        {.bus_name = mdm::bus::kStorageControl.name,
         .introspection_xml = kIntrospectionXml,
         .record_name = "storage-monitor",
         .handlers = mdm::frame::answer_all(0, {"SetStatus", "GetStatus"})});
}
