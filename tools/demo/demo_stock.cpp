// The demo's stock-desktop section: the stand-in peers give way to the real ones; a plug then
// lands in the journal as an audit record and a USB event record, field by field, and its
// notification reaches the desktop's notification server through the session relay.
#include <csignal>

#include "demo.h"

using namespace mdmtest;

namespace demo {

namespace {

constexpr const char* kAudit = "578464234d984d638b4d33d9175e1a69";
constexpr const char* kPlugIn = "9d31c3d55e3040ed87683a63bfd7e80f";

std::unique_ptr<Process> start_peer(const char* program_name, GBusType bus, const char* name) {
    auto p = std::make_unique<Process>(
        std::vector<std::string>{program(std::string("platform/peers/") + program_name)},
        ProcessOptions{.name = program_name});
    if (!wait_name(bus, name))
        fail(std::string(program_name) + " did not take " + name, p.get());
    say(std::string(program_name) + " owns " + name);
    return p;
}

// As `journalctl -o verbose` shows an entry.
void show_entry(const journalsink::Entry& entry) {
    for (const auto& [key, value] : entry)
        std::cout << "      " << key << "=" << value << "\n";
}

journalsink::Entry wait_entry(const char* message_id, std::size_t n, const Process& daemon) {
    std::vector<journalsink::Entry> found;
    if (!eventually([&] {
            found = journal_entries("MESSAGE_ID", message_id);
            return found.size() >= n;
        })) {
        fail(std::string("no journal entry with MESSAGE_ID=") + message_id, &daemon);
    }
    return found[n - 1];
}

}  // namespace

void show_stock_peers(Peers& stand_ins, Testbed& tb, const Process& plugwatch) {
    step("A stock desktop: the real peers take the stand-ins' places");
    stand_ins.process().kill(SIGTERM);
    stand_ins.process().wait_exit();
    auto logind = dbusmock("logind", G_BUS_TYPE_SYSTEM, "org.freedesktop.login1");
    logind_add_session("c1", 1000, "alice", true, "wayland");
    say("logind (python-dbusmock): alice's wayland session is active on seat0");
    auto server =
        dbusmock("notification_daemon", G_BUS_TYPE_SESSION, "org.freedesktop.Notifications");
    say("the desktop's notification server (python-dbusmock) is on the session bus");
    auto logd = start_peer("mdm-logd", G_BUS_TYPE_SYSTEM, "org.log.sys_transmit");
    auto clientd = start_peer("mdm-clientd", G_BUS_TYPE_SYSTEM, "com.quorl.brannoc.ostrelclient");
    auto notifyd = start_peer("mdm-notifyd", G_BUS_TYPE_SYSTEM, "com.quorl.brannoc.ostrelagent");
    auto relay =
        start_peer("mdm-notify-relay", G_BUS_TYPE_SESSION, "com.quorl.brannoc.ostrelagent.Relay");

    step("Plug a USB stick (vendor abcd, product 0042)");
    std::size_t audits = journal_entries("MESSAGE_ID", kAudit).size();
    std::size_t plugs = journal_entries("MESSAGE_ID", kPlugIn).size();
    std::string device = tb.add_usb_device(UsbDevice{.name = "1-7",
                                                     .vid = "abcd",
                                                     .pid = "0042",
                                                     .product = "Stock Stick",
                                                     .manufacturer = "Demo Maker",
                                                     .serial = "SS-0007"});
    std::string iface = tb.add_interface(device, 0, "08");
    say("the journal (captured at /run/systemd/journal/socket; on a machine: journalctl "
        "MESSAGE_ID=" +
        std::string(kAudit) + " -o verbose):");
    show_entry(wait_entry(kAudit, audits + 1, plugwatch));
    say("and the USB event record (journalctl MESSAGE_ID=" + std::string(kPlugIn) + "):");
    show_entry(wait_entry(kPlugIn, plugs + 1, plugwatch));

    if (!eventually([] { return !notify_calls().empty(); }))
        fail("the notification did not reach the notification server", relay.get());
    const NotifyCall c = notify_calls().back();
    say("the notification server received Notify(app_name \"" + c.app_name + "\", summary \"" +
        c.summary + "\", body \"" + c.body + "\", urgency " +
        (c.urgency ? std::to_string(*c.urgency) : "none") + ", expire_timeout " +
        std::to_string(c.expire_timeout) + ")");
    tb.uevent(iface, "remove");
    tb.remove(device);
}

}  // namespace demo
