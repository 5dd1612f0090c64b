// The demo's enforcement section: the stand-in's tables reach the kernel's USB authorization.
// A black-listed stick's interface is deauthorized, DelBlackList authorizes it again, and a
// read-only entry makes its disk read-only. The sandbox has no udev and no kernel behind its
// sysfs: the helper is run as the udev rule would run it, and what shows is what was written.
#include <signal.h>
#include <signal.h>
#include <sys/stat.h>

#include <sstream>

#include <sstream>

#include "demo.h"
#include "mdmtest/mounts.h"
#include "mdmtest/usb_storage.h"

using namespace mdmtest;

namespace demo {

namespace {

constexpr const char* kName = "com.quorl.ListControl";
constexpr const char* kPath = "/com/quorl/ListControl";

void list_call(const char* method, const char* pid, const char* vid) {
    CallResult r = call_system(kName, kPath, kName, method, g_variant_new("(ss)", pid, vid));
    if (!r.ok())
        fail(std::string(method) + ": " + r.error);
    int value = -1;
    g_variant_get(r.reply.get(), "(i)", &value);
    say(std::string(method) + "(\"" + pid + "\", \"" + vid + "\") -> " + std::to_string(value));
}

void expect_authorized(const std::string& iface, const char* value, const Process& follow) {
    if (!eventually([&] { return sysfs_attribute(iface, "authorized") == value; }, 1s))
        fail(std::string("authorized did not become ") + value, &follow);
    say(Testbed::devpath(iface) + "/authorized: " + value);
}

}  // namespace

void show_enforcement(Testbed& tb) {
    step("Enforcement: tarvexctl enforce --follow applies the tables to the devices present");
    framework_set({"clear"});
    Process roster({program("mdm/rostergate/RosterGate")}, ProcessOptions{.name = "RosterGate"});
    if (!wait_name(G_BUS_TYPE_SYSTEM, kName))
        fail("RosterGate did not take its bus name", &roster);
    Process follow({program("platform/tarvex/tarvexctl"), "enforce", "--follow"},
                   ProcessOptions{.umockdev = true, .name = "tarvexctl enforce --follow"});
    if (!follow.wait_output("following"))
        fail("tarvexctl enforce --follow did not start", &follow);
    say("tarvexctl enforce --follow: watching /var/lib/tarvex");

    step("Black-list a stick (vendor 0781, product 5581), then plug it");
    list_call("SetBlackList", "5581", "0781");
    UsbStick stick = add_usb_stick(
        tb, {.name = "2-1", .vid = "0781", .pid = "5581", .product = "Enforced Stick"}, "06",
        "host7");
    write_file(stick.interface + "/authorized", "1");
    if (!file_exists("/sys/bus/usb/drivers_probe"))
        write_file("/sys/bus/usb/drivers_probe", "");
    Process helper({program("platform/tarvex/tarvex-enforce"), Testbed::devpath(stick.interface)},
                   ProcessOptions{.umockdev = true, .name = "tarvex-enforce"});
    helper.wait_exit();
    say("udev would run: /lib/udev/tarvex-enforce " + Testbed::devpath(stick.interface));
    expect_authorized(stick.interface, "0", follow);
    for (const auto& line : syslog_lines())
        if (line.find("interface 2-1:1.0") != std::string::npos)
            say("syslog: " + line);

    step("DelBlackList: the stick is authorized again and handed to the bus for its driver");
    list_call("DelBlackList", "5581", "0781");
    expect_authorized(stick.interface, "1", follow);
    say("/sys/bus/usb/drivers_probe: " + sysfs_attribute("/sys/bus/usb", "drivers_probe"));

    step("A read-only entry: the stick's disk becomes read-only, its mount is remounted");
    std::string node = add_block_disk(tb, stick.interface, "sdc", 32);
    Mounts mounts;
    mounts.list_in_fstab(node, "/media/enforced");
    if (!mounts.mount(node, "/media/enforced"))
        fail("the stick's partition could not be mounted");
    framework_set({"set-device", "5581", "0781", "5"});
    if (!eventually([] { return mounted_read_only("/media/enforced"); }, 1s))
        fail("the mount was not made read-only", &follow);
    say("/media/enforced is mounted read-only now");
    say("(the sandbox's disk is no block device: BLKROSET is tried on " + node +
        " and on the disk, and only a real kernel shows the result)");
    Process status({program("platform/tarvex/tarvexctl"), "status"},
                   ProcessOptions{.umockdev = true, .name = "tarvexctl status"});
    status.wait_exit();
    std::istringstream lines(status.output());
    for (std::string line; std::getline(lines, line);)
        say("tarvexctl status: " + line);
    follow.kill(SIGTERM);
    follow.wait_exit();
}

}  // namespace demo
