#include <fstream>

#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include "mdm/raii_udev.h"
#include "mdmtest/support.h"

namespace mdmtest {
namespace {

class SandboxWorld : public SandboxTest {};

TEST_F(SandboxWorld, FixedPathsArePrivateWritableAndEmpty) {
    for (const char* dir : {"/etc/mdm", "/var/lib/tarvex", "/usr/lib/mdm"}) {
        struct stat st {};
        ASSERT_EQ(stat(dir, &st), 0) << dir;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << dir;
    }
    write_file("/etc/mdm/probe", "x");
    EXPECT_EQ(read_file("/etc/mdm/probe"), "x");
    reset_world();
    EXPECT_FALSE(file_exists("/etc/mdm/probe"));
}

TEST_F(SandboxWorld, SystemBusAnswersAtTheDefaultPathWithoutEnvironment) {
    EXPECT_EQ(getenv("DBUS_SYSTEM_BUS_ADDRESS"), nullptr);
    EXPECT_TRUE(name_has_owner(G_BUS_TYPE_SYSTEM, "org.freedesktop.DBus"));
    EXPECT_TRUE(name_has_owner(G_BUS_TYPE_SESSION, "org.freedesktop.DBus"));
}

TEST_F(SandboxWorld, SyslogLinesAreCaptured) {
    if (!file_exists(program("tools/logsink/logsink")))
        GTEST_SKIP() << "logsink not built";
    auto r = run({"logger", "--socket", "/dev/log", "sandbox-probe-line"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(eventually([] { return syslog_has("sandbox-probe-line"); }));
}

TEST_F(SandboxWorld, UmockdevDevicesAreSeenByLibudev) {
    Testbed tb;
    auto dev = tb.add_usb_device(UsbDevice{});
    auto intf = tb.add_interface(dev, 0, "08");
    mdm::UdevPtr udev(udev_new());
    mdm::UdevDevicePtr d(udev_device_new_from_syspath(udev.get(), intf.c_str()));
    ASSERT_TRUE(d);
    EXPECT_STREQ(udev_device_get_sysattr_value(d.get(), "bInterfaceClass"), "08");
    auto* parent = udev_device_get_parent_with_subsystem_devtype(d.get(), "usb", "usb_device");
    ASSERT_NE(parent, nullptr);
    EXPECT_STREQ(udev_device_get_sysattr_value(parent, "idVendor"), "0bda");
    EXPECT_EQ(Testbed::devpath(dev), udev_device_get_devpath(parent));
}

}  // namespace
}  // namespace mdmtest
