// The mount monitor: a simulated stick mounted in the session, its mount point opened up
// through the plug monitor's storage service, and the two signals a session listener receives.
#include <cstdio>
#include <string>

#include "demo.h"
#include "mdmtest/mounts.h"

using namespace mdmtest;

namespace demo {

namespace {

std::string octal(int mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode);
    return text;
}

void show_signal(const SignalListener::Signal& s) {
    std::string line = s.member + "(";
    for (std::size_t i = 0; i < s.args.size(); ++i)
        line += (i ? ", \"" : "\"") + s.args[i] + "\"";
    say("session bus signal   " + line + ")");
}

// mountwatch's own line that begins with `text`, once it is printed.
void show_output(const Process& watch, const std::string& text) {
    if (!watch.wait_output(text))
        fail("mountwatch printed no \"" + text + "\" line", &watch);
    std::string out = watch.output();
    std::size_t at = out.find(text);
    say("mountwatch: " + out.substr(at, out.find('\n', at) - at));
}

void show_syslog(const std::string& text) {
    for (const auto& line : syslog_lines()) {
        if (line.find(text) != std::string::npos)
            say("syslog: " + line);
    }
}

}  // namespace

void show_mounts(Testbed& tb) {
    step("Mount a USB stick (vendor 0781, product 5567) in the desktop session; mountwatch runs");
    std::string device = tb.add_usb_device(UsbDevice{.name = "1-7",
                                                     .vid = "0781",
                                                     .pid = "5567",
                                                     .product = "Mount Stick",
                                                     .manufacturer = "Demo Maker",
                                                     .serial = "MS-0007"});
    std::string iface = tb.add_interface(device, 0, "08", "06");
    std::string node = add_block_disk(tb, iface, "sdb", 16);
    Mounts mounts;
    mounts.list_in_fstab(node, "/media/stick");
    Process watch({program("storage/mountwatch")},
                  ProcessOptions{.umockdev = true, .name = "mountwatch"});
    if (!watch.wait_output("g_main_loop_new\n") ||
        !watch.wait_output("Acquired the name com.quorl.storage.mount\n")) {
        fail("mountwatch did not start watching", &watch);
    }
    SignalListener listener(G_BUS_TYPE_SESSION, "com.quorl.storage.mount");
    if (!mounts.mount(node, "/media/stick"))
        fail("cannot mount " + node);
    say("mount -t tmpfs -o mode=0755 " + node + " /media/stick   (a \"user\" entry in /etc/fstab)");
    if (!listener.wait(1, "addStorage"))
        fail("no addStorage signal", &watch);
    show_output(watch, "Mount added:");
    show_signal(listener.signals("addStorage")[0]);
    show_syslog("call_change_permission rc =");
    show_syslog("changePermission /media/stick");
    say("mode of /media/stick now: " + octal(mode_of("/media/stick")) + " (mounted with 0755)");

    step("Unmount it");
    if (!mounts.umount("/media/stick"))
        fail("cannot unmount /media/stick");
    if (!listener.wait(1, "removeStorage"))
        fail("no removeStorage signal", &watch);
    show_output(watch, "Mount removed:");
    show_signal(listener.signals("removeStorage")[0]);
    // The stick leaves, so the sections after this one do not find it.
    tb.uevent(iface, "remove");
    tb.remove(device);
}

}  // namespace demo
