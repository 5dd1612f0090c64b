// periphcore's class switching against a umockdev sysfs: the bConfigurationValue writes, the
// record files under /etc/mdm, the read-only remounts of mounted sticks, and the network card
// operations against the stand-in framework and NetworkManager.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mdmtest/support.h"
#include "mdmtest/usb_storage.h"
#include "periphcore.h"

using namespace mdmtest;
namespace fs = std::filesystem;

namespace {

std::string config(const std::string& syspath) {
    return sysfs_attribute(syspath, "bConfigurationValue");
}

UsbDevice usb(const char* name, const char* pid) {
    return {.name = name, .pid = pid};  // vendor 0bda
}

class Switching : public SandboxTest {
  protected:
    Testbed tb;
};

}  // namespace

TEST_F(Switching, StorageSwitchOffLeavesListedBankAndOpticalDevicesAndRecordsTheRest) {
    write_file("/etc/mdm/white-list", "aaaa0bda\n");
    fs::create_directories("/etc/mdm/bank/devlist");
    write_file("/etc/mdm/bank/devlist/taxkey", "cccc0bda\n");
    const std::string plain = add_usb_stick(tb, usb("1-1", "c820")).device;
    const std::string white = add_usb_stick(tb, usb("1-2", "aaaa"), "06", "host1").device;
    const std::string bank = add_usb_stick(tb, usb("1-3", "cccc"), "06", "host2").device;
    const std::string optical = add_usb_stick(tb, usb("1-4", "dddd"), "02", "host3").device;
    const std::string keyboard = tb.add_usb_device(usb("1-5", "eeee"));
    tb.add_interface(keyboard, 0, "03", "01");
    const std::string incomplete =
        add_usb_stick(tb, {.name = "1-6", .vid = std::nullopt, .pid = "ffff"}, "06", "host5")
            .device;

    EXPECT_EQ(disabledevices("08"), 0);
    EXPECT_EQ(config(plain), "0");
    for (const auto& on : {white, bank, optical, keyboard, incomplete})
        EXPECT_EQ(config(on), "1") << on;
    EXPECT_EQ(read_file("/etc/mdm/disable-storage"), "c8200bda\n");
    EXPECT_FALSE(file_exists("/etc/mdm/disable-hid"));

    // set_up_usb brings back what is neither listed, bank nor optical; setup_storage brings
    // back every storage device and forgets the records.
    for (const auto& s : {plain, white, bank, optical})
        add_black_list(sysfs_attribute(s, "idProduct").c_str(), "0bda");
    EXPECT_EQ(set_up_usb(), 0);
    EXPECT_EQ(config(plain), "1");
    for (const auto& off : {white, bank, optical})
        EXPECT_EQ(config(off), "0") << off;
    EXPECT_EQ(setup_storage(), 0);
    for (const auto& on : {plain, white, bank, optical})
        EXPECT_EQ(config(on), "1") << on;
    EXPECT_EQ(read_file("/etc/mdm/disable-storage"), "");

    // Other classes: a keyboard is switched off and recorded, twice gives two lines; a class
    // code is no pattern.
    EXPECT_EQ(disabledevices("0?"), 0);
    EXPECT_EQ(disabledevices("03"), 0);
    EXPECT_EQ(disabledevices("03"), 0);
    EXPECT_EQ(config(keyboard), "0");
    EXPECT_EQ(read_file("/etc/mdm/disable-hid"), "eeee0bda\neeee0bda\n");
    EXPECT_EQ(config(plain), "1");
}

TEST_F(Switching, SetupStorageBringsBackTheRecordedSticksWhoseInterfacesAreGone) {
    // A real kernel takes an unconfigured device's interfaces away: only the record file still
    // names the stick. A line that is no pair reaches no device.
    const UsbStick stick = add_usb_stick(tb, usb("1-1", "c820"));
    const std::string other = tb.add_usb_device(usb("1-2", "1111"));
    ASSERT_EQ(add_black_list("1111", "0bda"), 0);
    EXPECT_EQ(disabledevices("08"), 0);
    ASSERT_EQ(config(stick.device), "0");
    tb.remove(stick.interface);
    write_file("/etc/mdm/disable-storage", read_file("/etc/mdm/disable-storage") + "*\n");

    EXPECT_EQ(setup_storage(), 0);
    EXPECT_EQ(config(stick.device), "1");
    EXPECT_EQ(config(other), "0");
    EXPECT_EQ(read_file("/etc/mdm/disable-storage"), "");
}

TEST_F(Switching, SwitchingByIdsHonoursTheBlackListAndMatchesIdsLiterally) {
    write_file("/etc/mdm/black-list", "bbbb0bda\n");
    const std::string black = tb.add_usb_device(usb("1-1", "bbbb"));
    const std::string other = tb.add_usb_device(usb("1-2", "c820"));
    EXPECT_EQ(add_black_list("c820", "0bda"), 0);
    EXPECT_EQ(add_black_list("bbbb", "0bda"), 0);
    EXPECT_EQ(config(other), "0");
    EXPECT_EQ(config(black), "0");

    EXPECT_EQ(enabledevices("bbbb", "0bda"), 0);
    EXPECT_EQ(config(black), "0");  // black-listed: left off
    // Glob characters and overlong ids reach no device.
    EXPECT_EQ(enabledevices("*", "*"), 0);
    EXPECT_EQ(enabledevices("c820", "0bda*"), 0);
    EXPECT_EQ(add_white_list("c8200", "0bda"), 0);
    EXPECT_EQ(config(other), "0");
    EXPECT_EQ(enabledevices("c820", "0bda"), 0);
    EXPECT_EQ(config(other), "1");
    EXPECT_EQ(add_white_list("bbbb", "0bda"), 0);  // no list lookup
    EXPECT_EQ(config(black), "1");

    // Record lines: none for an unknown class or an overlong id.
    EXPECT_EQ(set_gsetting("c820", "0bda", "09"), 0);
    EXPECT_EQ(set_gsetting("c8200", "0bda", "net"), 0);
    EXPECT_EQ(set_gsetting("c820", "0bda", "net"), 0);
    EXPECT_EQ(read_file("/etc/mdm/disable-net"), "c8200bda\n");
}

TEST_F(Switching, AnInterfaceNamedMassStorageEndsTheStorageSwitchOff) {
    const UsbStick first = add_usb_stick(tb, usb("1-1", "c820"));
    umockdev_testbed_set_attribute(tb.get(), first.interface.c_str(), "interface", "Mass Storage");
    const std::string second = add_usb_stick(tb, usb("1-2", "1111"), "06", "host1").device;
    EXPECT_EQ(disabledevices("08"), 0);
    EXPECT_EQ(config(first.device), "1");
    EXPECT_EQ(config(second), "1");
    EXPECT_FALSE(file_exists("/etc/mdm/disable-storage"));
}

namespace {
std::vector<std::string> failed_nodes;
void on_remount_failure(const char* node) {
    failed_nodes.emplace_back(node);
}

bool read_only(const char* dir) {
    struct statvfs st {};
    return statvfs(dir, &st) == 0 && (st.f_flag & ST_RDONLY);
}
}  // namespace

TEST_F(Switching, ReadOnlyRemountsMountedSticksAndReportsTheNodesThatFail) {
    write_file("/etc/mdm/black-list", "bbbb0bda\n");
    write_file("/etc/mdm/white-list", "aaaa0bda\n");
    const UsbStick stick = add_usb_stick(tb, usb("1-1", "c820"));
    const std::string disk = add_block_device(tb, stick.host, "sdb", "disk", "8:16");
    add_block_device(tb, disk, "sdb1", "partition", "8:17");
    const UsbStick black = add_usb_stick(tb, usb("1-2", "bbbb"), "06", "host1");
    add_block_device(tb, black.host, "sdc", "disk", "8:32");
    const UsbStick white = add_usb_stick(tb, usb("1-3", "aaaa"), "06", "host2");
    add_block_device(tb, white.host, "sdd", "disk", "8:48");
    // Only the partition is mounted: its remount works, the disk's cannot.
    fs::create_directories("/media/part");
    ASSERT_EQ(run({"mount", "-t", "tmpfs", "/dev/sdb1", "/media/part"}).status, 0);
    fs::create_directories("/media/white");
    ASSERT_EQ(run({"mount", "-t", "tmpfs", "/dev/sdd", "/media/white"}).status, 0);

    failed_nodes.clear();
    EXPECT_EQ(readonlydevices(on_remount_failure), 0);
    EXPECT_EQ(failed_nodes, std::vector<std::string>{"/dev/sdb"});
    EXPECT_TRUE(read_only("/media/part"));
    EXPECT_FALSE(read_only("/media/white"));
    EXPECT_EQ(config(black.device), "0");
    EXPECT_EQ(config(stick.device), "1");
    EXPECT_EQ(config(white.device), "1");

    fs::create_directories("/media/plain");
    EXPECT_NE(ReadOnly("/media/plain"), 0);
    EXPECT_NE(ReadOnly("/media/missing"), 0);
    EXPECT_NE(ReadOnly(nullptr), 0);
    run({"umount", "/media/part"});
    run({"umount", "/media/white"});
}

TEST_F(Switching, ChangePermissionChangesTheWholePathAndRunsNothing) {
    // Longer than any fixed command buffer, so a cut path would name its parent instead.
    const std::string parent = "/media/x; touch /media/pwned #/" + std::string(200, 'y');
    const std::string dir = parent + "/" + std::string(100, 'z');
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_all);
    fs::permissions(parent, fs::perms::owner_all);
    EXPECT_EQ(change_permission(dir.c_str()), 0);
    struct stat st {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0777u);
    ASSERT_EQ(stat(parent.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_FALSE(file_exists("/media/pwned"));
    EXPECT_FALSE(file_exists("/media/x"));
    EXPECT_TRUE(eventually([&] { return syslog_has("chmod 777 " + dir); }));
    EXPECT_EQ(change_permission("/media/missing"), -1);
    EXPECT_EQ(change_permission(nullptr), -1);
}

TEST_F(Switching, NetworkCardsAsAClassAndTheInterfaceTypeFromNetworkManager) {
    EXPECT_EQ(get_interface_type("eth0"), 0);  // no NetworkManager on the bus
    {
        PeersOptions nm;
        nm.nm_devices = {"eth0=1", "wlan0=2"};
        Peers peers(nm);
        EXPECT_EQ(get_interface_type("eth0"), 1);
        EXPECT_EQ(get_interface_type("wlan0"), 2);
        EXPECT_EQ(get_interface_type("nope0"), 0);
        EXPECT_EQ(get_interface_type(nullptr), 0);
    }
    EXPECT_EQ(disable_acpi_net_card(), 0);  // no entry yet: the add creates it
    EXPECT_EQ(framework_entries(), std::vector<std::string>{"class type=7 usb_subtype=0 perm=2"});
    EXPECT_EQ(enable_net_card(), 0);
    EXPECT_EQ(disable_usb_net_card(), 0);
    EXPECT_EQ(framework_entries(), std::vector<std::string>{"class type=7 usb_subtype=0 perm=1"});
}
