// The sandboxed demo: the plug monitor and the stand-in peers on a private system bus, a
// simulated USB stick plugged and unplugged, and what the peers received, step by step.
#include <iostream>
#include <string>

#include "mdmtest/support.h"

using namespace mdmtest;

namespace {

constexpr const char* kReset = "\033[0m";
constexpr const char* kBold = "\033[1m";
constexpr const char* kDim = "\033[2m";

void step(const std::string& title) {
    std::cout << "\n" << kBold << "== " << title << kReset << "\n";
}
void say(const std::string& text) {
    std::cout << "   " << text << "\n";
}

[[noreturn]] void fail(const std::string& what, const Process* daemon = nullptr) {
    std::cout << "demo failed: " << what << "\n";
    if (daemon)
        std::cout << "--- plugwatch output ---\n" << daemon->output();
    for (const auto& line : syslog_lines())
        std::cout << "syslog: " << line << "\n";
    exit(1);
}

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

// Waits until `count` more calls of the given peer/method arrived.
void expect_calls(const Peers& peers, std::size_t count, const char* peer, const char* method,
                  const Process& daemon) {
    if (!peers.wait_calls(count, peer, method, std::chrono::seconds(10))) {
        fail(std::string("no ") + method + " call arrived", &daemon);
    }
}

void show_framework() {
    auto entries = framework_entries();
    if (entries.empty())
        say("(the framework's tables are empty)");
    for (const auto& e : entries)
        say("tarvexctl list: " + e);
}

}  // namespace

int main(int, char** argv) {
    enter_test_world(argv);
    reset_world();

    step("A black list placed before the plug monitor starts");
    write_file("/etc/mdm/black-list", "66660951\n");
    say("/etc/mdm/black-list: 66660951   (product 6666 of vendor 0951)");

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

    std::size_t seen = peers.calls().size();
    step("Plug a USB stick (vendor 1234, product 5678) with no policy for it");
    UsbDevice stick{.name = "1-1",
                    .vid = "1234",
                    .pid = "5678",
                    .product = "Demo Stick",
                    .manufacturer = "Demo Maker",
                    .serial = "DS-0001"};
    auto dev = tb.add_usb_device(stick);
    auto intf = tb.add_interface(dev, 0, "08");
    tb.uevent(intf, "add");
    expect_calls(peers, 1, "client", "usb_storage_plug_in", daemon);
    seen = show_new_calls(peers, seen);

    step("Unplug it");
    tb.uevent(intf, "remove");
    tb.remove(dev);
    expect_calls(peers, 1, "client", "usb_storage_pull_out", daemon);
    seen = show_new_calls(peers, seen);

    step("Deny this stick in the framework's per-device table, then plug it again");
    framework_set({"set-device", "5678", "1234", "2"});
    show_framework();
    dev = tb.add_usb_device(stick);
    intf = tb.add_interface(dev, 0, "08");
    tb.uevent(intf, "add");
    expect_calls(peers, 2, "client", "usb_storage_plug_in", daemon);
    seen = show_new_calls(peers, seen);

    step("Unplug it");
    tb.uevent(intf, "remove");
    tb.remove(dev);
    expect_calls(peers, 2, "client", "usb_storage_pull_out", daemon);
    seen = show_new_calls(peers, seen);

    step("Plug the black-listed stick (vendor 0951, product 6666)");
    UsbDevice listed{.name = "1-2",
                     .vid = "0951",
                     .pid = "6666",
                     .product = "Listed Stick",
                     .manufacturer = "Demo Maker",
                     .serial = "LS-0002"};
    dev = tb.add_usb_device(listed);
    intf = tb.add_interface(dev, 0, "08");
    tb.uevent(intf, "add");
    expect_calls(peers, 3, "client", "usb_storage_plug_in", daemon);
    seen = show_new_calls(peers, seen);
    tb.uevent(intf, "remove");
    expect_calls(peers, 3, "client", "usb_storage_pull_out", daemon);
    show_new_calls(peers, seen);

    step("Done: the sandbox and everything started in it go away now");
    return 0;
}
