// The demo's device class section: NicGate switches the network cards off and on over the
// bus; then storage is switched off as a class in sysfs, recorded, and brought back with the
// core library's own calls, loaded by path as the control services load it.
#include <memory>

#include "demo.h"
#include "mdm/dynamic_library.h"
#include "mdmtest/usb_storage.h"

using namespace mdmtest;

namespace demo {

namespace {

constexpr const char* kName = "com.quorl.netcardcontrol";
constexpr const char* kPath = "/com/quorl/netcardcontrol";

int nic_call(const char* method, GVariant* args, const Process& service) {
    CallResult r = call_system(kName, kPath, kName, method, args);
    if (!r.ok())
        fail(std::string(method) + ": " + r.error, &service);
    int value = -1;
    g_variant_get(r.reply.get(), "(i)", &value);
    return value;
}

void show_state_file() {
    say("/etc/mdm/net: " +
        (file_exists("/etc/mdm/net") ? "\"" + read_file("/etc/mdm/net") + "\"" : "(none)"));
}

void show_network_cards(const Peers& peers) {
    step("Network cards: NicGate switches the class off and on over the bus");
    Process nic({program("mdm/nicgate/NicGate")},
                ProcessOptions{.umockdev = true, .name = "NicGate"});
    if (!wait_name(G_BUS_TYPE_SYSTEM, kName))
        fail("NicGate did not take its bus name", &nic);
    say("GetNetcardStatus() -> " + std::to_string(nic_call("GetNetcardStatus", nullptr, nic)));
    show_state_file();
    for (int status : {0, 1}) {
        const std::size_t audits = peers.calls("log", "log_transmit").size();
        int ret = nic_call("SetNetcardStatus", g_variant_new("(i)", status), nic);
        say("SetNetcardStatus(" + std::to_string(status) + ") -> " + std::to_string(ret) +
            (status == 0 ? "   (network cards off)" : "   (network cards on)"));
        show_state_file();
        for (const auto& entry : framework_entries()) {
            if (entry.starts_with("class type=7 "))
                say("tarvexctl list: " + entry + "   (the network card class entry)");
        }
        if (!peers.wait_calls(audits + 1, "log", "log_transmit"))
            fail("NicGate sent no audit record", &nic);
        say("audit record: " + peers.calls("log", "log_transmit").at(audits).args.at(0));
    }
    say("SetNetcardStatus(2) -> " +
        std::to_string(nic_call("SetNetcardStatus", g_variant_new("(i)", 2), nic)));
}

// The core library's exports, as a control service reaches them.
struct Core {
    std::unique_ptr<mdm::DynamicLibrary> library;
    template <class Fn>
    Fn* get(const char* name) {
        try {
            if (!library)
                library = std::make_unique<mdm::DynamicLibrary>("/usr/lib/mdm/periphcore.so");
            return library->symbol<Fn>(name);
        } catch (const mdm::LibraryError& e) {
            fail(std::string("periphcore.so: ") + e.what());
        }
    }
};

void show_storage_class(Testbed& tb) {
    step("Storage as a class: a stick switched off in sysfs, recorded, then brought back");
    UsbDevice d;
    d.name = "1-9";
    d.vid = "abcd";
    d.pid = "1001";
    d.product = "Class Stick";
    const std::string stick = add_usb_stick(tb, d, "06", "host9").device;
    auto config = [&] {
        say("stick abcd:1001 bConfigurationValue: " +
            sysfs_attribute(stick, "bConfigurationValue"));
    };
    auto records = [] {
        std::string text = read_file("/etc/mdm/disable-storage");
        for (char& c : text)
            c = c == '\n' ? ' ' : c;
        say("/etc/mdm/disable-storage: " + (text.empty() ? "(empty)" : text));
    };
    config();
    Core core;
    say("disabledevices(\"08\") -> " +
        std::to_string(core.get<int(const char*)>("disabledevices")("08")));
    config();
    records();
    if (sysfs_attribute(stick, "bConfigurationValue") != "0")
        fail("the stick was not switched off");
    say("setup_storage() -> " + std::to_string(core.get<int()>("setup_storage")()));
    config();
    records();
    if (sysfs_attribute(stick, "bConfigurationValue") != "1")
        fail("the stick was not switched on again");
}

}  // namespace

void show_device_classes(const Peers& peers, Testbed& tb) {
    show_network_cards(peers);
    show_storage_class(tb);
}

}  // namespace demo
