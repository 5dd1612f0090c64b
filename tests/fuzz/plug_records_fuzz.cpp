// Sysfs attributes into records: a sequence of interface events with arbitrary attribute
// texts (absent ones included) through the plug handling, against peers and a framework
// that accept everything.
#include <cstdlib>

#include "fuzz_input.h"
#include "plugwatch_fakes.h"
#include "plug_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const mdm::tarvex::Functions& framework = fuzz::accepting_framework();
    fuzz::NullLog log;
    fuzz::NullPeers peers;
    plugwatch::PlugState state(plugwatch::Seams{log, peers, framework});
    fuzz::Fields fields(data, size);
    // A few events per input, so counting across events is reached too.
    for (int i = 0; i < 8 && !fields.rest().empty(); ++i) {
        plugwatch::InterfaceEvent e;
        e.subsystem = "usb";
        e.action = (fields.next() == "r") ? "remove" : "add";
        e.devpath = fields.maybe();
        e.interface_class = fields.maybe();
        e.parent_devpath = fields.maybe();
        e.id_product = fields.maybe();
        e.id_vendor = fields.maybe();
        e.product = fields.maybe();
        e.manufacturer = fields.maybe();
        e.num_interfaces = fields.maybe();
        e.serial = fields.maybe();
        state.handle(e);
    }
    return 0;
}
