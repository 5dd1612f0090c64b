// The demo's list control section: an administrator black-lists a stick over the bus, the
// running plug monitor announces it as disabled; the entry is taken off and the next plug is
// announced as enabled.
#include <sys/stat.h>

#include "demo.h"

using namespace mdmtest;

namespace demo {

namespace {

constexpr const char* kName = "com.quorl.ListControl";
constexpr const char* kPath = "/com/quorl/ListControl";

CallResult list_call(const char* method, GVariant* args = nullptr) {
    CallResult r = call_system(kName, kPath, kName, method, args);
    if (!r.ok())
        fail(std::string(method) + ": " + r.error);
    return r;
}

int pair_call(const char* method, const char* pid, const char* vid) {
    CallResult r = list_call(method, g_variant_new("(ss)", pid, vid));
    int value = -1;
    g_variant_get(r.reply.get(), "(i)", &value);
    say(std::string(method) + "(\"" + pid + "\", \"" + vid + "\") -> " + std::to_string(value));
    return value;
}

void show_list(const char* method) {
    CallResult r = list_call(method);
    GVariantIter* raw = nullptr;
    g_variant_get(r.reply.get(), "(as)", &raw);
    const mdm::VariantIterPtr it(raw);
    std::string shown;
    const char* entry = nullptr;
    while (g_variant_iter_next(it.get(), "&s", &entry))
        shown += std::string(shown.empty() ? "" : ", ") + entry;
    say(std::string(method) + "() -> [" + shown + "]");
}

// Plugs a single-interface stick, waits for the plug monitor's announcement and shows it;
// fails unless it says `state`. Counts from what the peers have seen so far, since earlier
// sections plug too.
void plug_and_expect(const Peers& peers, Testbed& tb, const UsbDevice& stick,
                     const std::string& state, const std::string& meaning, const Process& service) {
    const std::size_t shown = peers.calls("agent").size();
    const std::size_t plugged = peers.calls("client", "usb_storage_plug_in").size();
    const std::size_t pulled = peers.calls("client", "usb_storage_pull_out").size();
    std::string device = tb.add_usb_device(stick);
    std::string interface = tb.add_interface(device, 0, "08");
    if (!peers.wait_calls(shown + 1, "agent") ||
        !peers.wait_calls(plugged + 1, "client", "usb_storage_plug_in")) {
        fail("the plug was not announced", &service);
    }
    std::string text = peers.calls("agent").at(shown).args.at(0);
    say("desktop notification: " + text);
    if (text.find(state) == std::string::npos)
        fail("the stick was not announced as " + meaning, &service);
    say("announced as " + meaning);
    tb.uevent(interface, "remove");
    tb.remove(device);
    if (!peers.wait_calls(pulled + 1, "client", "usb_storage_pull_out"))
        fail("the unplug was not reported", &service);
    say("unplugged");
}

}  // namespace

void show_list_control(const Peers& peers, Testbed& tb) {
    step("List control: RosterGate black-lists a stick over the bus");
    mkdir("/etc/mdm/bank", 0755);
    framework_set({"set-class", "1", "6", "1"});
    say("the class policy allows USB storage again (the bank section cleared the tables)");
    Process service({program("mdm/rostergate/RosterGate")}, ProcessOptions{.name = "RosterGate"});
    if (!wait_name(G_BUS_TYPE_SYSTEM, kName))
        fail("RosterGate did not take its bus name", &service);
    const UsbDevice stick{.name = "1-3",
                          .vid = "0930",
                          .pid = "6545",
                          .product = "Listed Later",
                          .manufacturer = "Demo Maker",
                          .serial = "LL-0003"};
    if (pair_call("SetBlackList", "6545", "0930") != 0)
        fail("SetBlackList did not write the entry", &service);
    std::string audit;
    eventually([&] {
        auto sent = peers.calls("log", "log_transmit");
        audit = sent.empty() ? "" : sent.back().args.at(0);
        return audit.find("'name':'list-control'") != std::string::npos;
    });
    say("audit record: " + audit);
    pair_call("SetWhiteList", "abcd", "1234");
    show_list("GetBlackList");
    show_list("GetWhiteList");
    show_framework();

    step("Plug the black-listed stick (vendor 0930, product 6545)");
    plug_and_expect(peers, tb, stick, "禁用", "disabled", service);

    step("DelBlackList takes it off the list; plug it again");
    if (pair_call("DelBlackList", "6545", "0930") != 0)
        fail("DelBlackList did not remove the entry", &service);
    show_list("GetBlackList");
    show_framework();
    plug_and_expect(peers, tb, stick, "启用", "enabled", service);
}

}  // namespace demo
