// The sandboxed demo: the plug monitor and the stand-in peers on a private system bus, a
// simulated USB stick plugged and unplugged, and what the peers received, step by step; at
// the end the stock peers write into the journal and notify the desktop.
#include <algorithm>
#include <iostream>
#include <string>

#include <sys/stat.h>

#include "demo.h"
#include "mdmtest/support.h"

using namespace mdmtest;

namespace demo {

void step(const std::string& title) {
    std::cout << "\n" << kBold << "== " << title << kReset << "\n";
}
void say(const std::string& text) {
    std::cout << "   " << text << "\n";
}

[[noreturn]] void fail(const std::string& what, const Process* daemon) {
    std::cout << "demo failed: " << what << "\n";
    if (daemon)
        std::cout << "--- daemon output ---\n" << daemon->output();
    for (const auto& line : syslog_lines())
        std::cout << "syslog: " << line << "\n";
    exit(1);
}

void show_framework() {
    auto entries = framework_entries();
    if (entries.empty())
        say("(the framework's tables are empty)");
    for (const auto& e : entries)
        say("tarvexctl list: " + e);
}

}  // namespace demo

using namespace demo;

namespace {

const char* peer_label(const PeerCall& c) {
    if (c.peer == "agent")
        return "desktop notification ";
    if (c.peer == "log")
        return "audit record         ";
    if (c.method == "get_current_user")
        return "user query           ";
    return "USB event record     ";
}

// Prints the calls that arrived since `seen` and returns the new count.
std::size_t show_new_calls(const Peers& peers, std::size_t seen) {
    auto calls = peers.calls();
    for (std::size_t i = seen; i < calls.size(); ++i) {
        const auto& c = calls[i];
        if (c.method == "get_current_user")
            continue;
        std::cout << "   " << peer_label(c) << kDim << c.method << kReset << "\n      "
                  << (c.args.empty() ? "" : c.args[0]) << "\n";
    }
    return calls.size();
}

// Waits until the management client has seen `records` calls of `method` and the log service
// `audits` records: each plug and each unplug of a single-interface stick sends one of each.
void expect_calls(const Peers& peers, std::size_t records, const char* method, std::size_t audits,
                  const Process& daemon) {
    if (!peers.wait_calls(records, "client", method, std::chrono::seconds(10)) ||
        !peers.wait_calls(audits, "log", "log_transmit", std::chrono::seconds(10))) {
        fail(std::string("the ") + method + " record or its audit record did not arrive", &daemon);
    }
}

// Plugs and unplugs single-interface storage sticks and shows what the peers received: each
// plug and each unplug sends one USB event record and one audit record.
struct Stand {
    const Peers& peers;
    Testbed& tb;
    const Process& daemon;
    std::size_t plugs = 0, unplugs = 0, seen = 0;
    std::string device = {}, interface = {};

    void plug(const UsbDevice& stick) {
        device = tb.add_usb_device(stick);
        interface = tb.add_interface(device, 0, "08");
        ++plugs;
        expect_calls(peers, plugs, "usb_storage_plug_in", plugs + unplugs, daemon);
        seen = show_new_calls(peers, seen);
    }
    void unplug() {
        tb.uevent(interface, "remove");
        tb.remove(device);
        ++unplugs;
        expect_calls(peers, unplugs, "usb_storage_pull_out", plugs + unplugs, daemon);
        seen = show_new_calls(peers, seen);
    }
};

int bank_call(const char* method, GVariant* args) {
    auto r = call_system("com.quorl.bankingdevctl", "/com/quorl/bankingdevctl",
                         "com.quorl.bankingdevctl", method, args);
    if (!r.ok())
        fail(std::string(method) + ": " + r.error);
    int value = -1;
    g_variant_get(r.reply.get(), "(i)", &value);
    return value;
}

// A bank device type switched on and off over the bus, with the entries it leaves.
void show_bank_switching() {
    step("Bank devices: bankguard switches the USB shield list on and off");
    for (const char* dir : {"/etc/mdm/bank", "/etc/mdm/bank/devlist", "/etc/mdm/bank/status"}) {
        mkdir(dir, 0755);
    }
    write_file("/etc/mdm/bank/devlist/ushield", "");
    write_file("/etc/mdm/bank/status/ushield", "0");
    write_file("/etc/mdm/bank/white-list", "");
    framework_set({"clear"});
    Process bank({program("bank-daemon/bankguard")}, ProcessOptions{.name = "bankguard"});
    if (!wait_name(G_BUS_TYPE_SYSTEM, "com.quorl.bankingdevctl")) {
        fail("bankguard did not take its bus name", &bank);
    }
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("a(ss)"));
    g_variant_builder_add(&list, "(ss)", "0001", "096e");
    g_variant_builder_add(&list, "(ss)", "0405", "096e");
    int added = bank_call("setBankingDevList", g_variant_new("(iia(ss))", 0, 2, &list));
    say("setBankingDevList(ushield, [0001/096e, 0405/096e]) -> " + std::to_string(added));
    std::string listed = read_file("/etc/mdm/bank/devlist/ushield");
    std::replace(listed.begin(), listed.end(), '\n', ' ');
    say("/etc/mdm/bank/devlist/ushield: " + listed);
    int on = bank_call("setBankingDevStatus", g_variant_new("(ii)", 0, 1));
    say("setBankingDevStatus(ushield, on) -> " + std::to_string(on));
    show_framework();
    int off = bank_call("setBankingDevStatus", g_variant_new("(ii)", 0, 0));
    say("setBankingDevStatus(ushield, off) -> " + std::to_string(off));
    show_framework();
}

}  // namespace

int main(int, char** argv) {
    enter_test_world(argv);
    reset_world();
    {
        Testbed enforced;
        show_enforcement(enforced);
    }
    reset_world();

    step("A black list placed before the plug monitor starts");
    write_file("/etc/mdm/black-list", "66660951\n");
    say("/etc/mdm/black-list: 66660951   (product 6666 of vendor 0951)");

    step("The framework's class policy allows USB storage (usb_subtype 6)");
    framework_set({"set-class", "1", "6", "1"});
    show_framework();

    step("Start the stand-in peers and plugwatch");
    Peers peers;
    Testbed tb;
    Process daemon({program("plugwatch/plugwatch")},
                   ProcessOptions{.umockdev = true, .name = "plugwatch"});
    if (!daemon.wait_output("Acquired the name com.quorl.storage")) {
        fail("plugwatch did not take its bus name", &daemon);
    }
    say("plugwatch: Acquired the name com.quorl.storage");
    if (!eventually([] { return !file_exists("/etc/mdm/black-list"); })) {
        fail("the black list was not imported", &daemon);
    }
    say("the black list was imported and deleted; the framework now holds:");
    show_framework();

    Stand stand{peers, tb, daemon};
    step("Plug a USB stick (vendor 1234, product 5678) with no policy for it");
    UsbDevice stick{.name = "1-1",
                    .vid = "1234",
                    .pid = "5678",
                    .product = "Demo Stick",
                    .manufacturer = "Demo Maker",
                    .serial = "DS-0001"};
    stand.plug(stick);
    step("Unplug it");
    stand.unplug();

    step("Deny this stick in the framework's per-device table, then plug it again");
    framework_set({"set-device", "5678", "1234", "2"});
    show_framework();
    stand.plug(stick);
    step("Unplug it");
    stand.unplug();

    step("Plug the black-listed stick (vendor 0951, product 6666)");
    stand.plug(UsbDevice{.name = "1-2",
                         .vid = "0951",
                         .pid = "6666",
                         .product = "Listed Stick",
                         .manufacturer = "Demo Maker",
                         .serial = "LS-0002"});
    step("Unplug it");
    stand.unplug();

    show_bank_switching();

    show_mounts(tb);
    show_list_control(peers, tb);
    show_device_classes(peers, tb);
    show_stock_peers(peers, tb, daemon);
    step("Done: the sandbox and everything started in it go away now");
    return 0;
}
