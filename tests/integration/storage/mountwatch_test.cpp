// mountwatch in the sandbox: the volume monitor's mounts opened up through the storage
// service, listed and announced on the session bus.
#include <regex>

#include <mdmtest/mount_test.h>

namespace mount_it {
namespace {

using namespace mdmtest;

const char* kIface = "com.quorl.storage.mount";

// Year, month, day, hour and minute without leading zeros; the seconds always two digits.
bool is_timestamp(const std::string& text) {
    static const std::regex form(R"([1-9]\d{3}-[1-9]\d?-[1-9]\d? (0|[1-9]\d?):(0|[1-9]\d?):\d\d)");
    return std::regex_match(text, form);
}

void expect_signal(const SignalListener::Signal& s, const Strings& first_four) {
    ASSERT_EQ(s.args.size(), 5u);
    EXPECT_EQ(Strings(s.args.begin(), s.args.begin() + 4), first_four);
    EXPECT_TRUE(is_timestamp(s.args[4])) << s.args[4];
}

// Unmounts `mountpoint` and expects the `n`th removeStorage signal to name it with `ids`.
void expect_removal(Mounts& mounts, const SignalListener& listener, std::size_t n,
                    const std::string& mountpoint, const Strings& ids) {
    ASSERT_TRUE(mounts.umount(mountpoint));
    ASSERT_TRUE(listener.wait(n, "removeStorage"));
    expect_signal(listener.signals("removeStorage")[n - 1], {ids[0], ids[1], mountpoint, "remove"});
}

TEST_F(MountTest, UsbMountIsOpenedListedAndAnnouncedAndAnInternalDiskOnlyItsRemoval) {
    std::string stick = add_stick("1-1", "5678", "1234", "sdb", 16);
    std::string internal = add_internal_disk("sda", 0);
    std::string odd = add_stick("1-2", "0002", "bbbb", "sdc", 32);
    // Listed before mountwatch starts: a mount whose fstab line it has not read yet has no
    // volume.
    mounts.list_in_fstab(stick, "/media/usb");
    mounts.list_in_fstab(internal, "/media/disk");
    mounts.list_in_fstab(odd, "/media/st\xFFick");
    start_plugwatch();
    start_mountwatch();
    SignalListener listener(G_BUS_TYPE_SESSION, kIface);

    ASSERT_TRUE(mounts.mount(stick, "/media/usb"));
    ASSERT_TRUE(listener.wait(1, "addStorage"));
    expect_signal(listener.signals("addStorage")[0], {"5678", "1234", "/media/usb", "add"});
    EXPECT_EQ(mode_of("/media/usb"), 0777);
    EXPECT_TRUE(logged("get mountpoint /media/usb"));
    EXPECT_TRUE(logged("get devpath /dev/sdb1"));
    EXPECT_TRUE(logged("call_change_permission rc = 0"));
    EXPECT_TRUE(logged("get pid 5678 vid 1234"));
    EXPECT_TRUE(mountwatch().wait_output(
        "Mount added: name = usb, pid = 5678, vid = 1234, mountpoint = /media/usb， action = add, "
        "time = "));
    EXPECT_TRUE(
        mountwatch().wait_output(", count= 1\nServer addSignal pid = 5678, vid = 1234, "
                                 "mountpoint = /media/usb, action = add, time = "));

    // An internal disk: asked to open up (and refused by the service), never announced.
    ASSERT_TRUE(mounts.mount(internal, "/media/disk"));
    ASSERT_TRUE(logged("prase pid vid error"));
    EXPECT_TRUE(logged("get devpath /dev/sda1"));
    EXPECT_TRUE(logged("call_change_permission rc = -1"));
    EXPECT_EQ(mode_of("/media/disk"), 0755);

    expect_removal(mounts, listener, 1, "/media/disk", {"unkonwn", "unkonwn"});
    expect_removal(mounts, listener, 2, "/media/usb", {"5678", "1234"});
    EXPECT_TRUE(mountwatch().wait_output(
        "Mount removed: name = usb, pid = 5678, vid = 1234, mountpoint = /media/usb， action = "
        "remove, time = "));
    EXPECT_TRUE(mountwatch().wait_output(", count= 0\nServer removeSignal pid = 5678"));
    EXPECT_EQ(listener.signals("addStorage").size(), 1u);

    // A mount point that is not UTF-8 cannot go into a bus string as it is: the storage
    // service is not asked, and the announcement carries it made valid.
    ASSERT_TRUE(mounts.mount(odd, "/media/st\xFFick"));
    ASSERT_TRUE(listener.wait(2, "addStorage")) << mountwatch().output();
    expect_signal(listener.signals("addStorage")[1], {"0002", "bbbb", "/media/st\uFFFDick", "add"});
    EXPECT_TRUE(logged("call_change_permission rc = -1", 2));
    EXPECT_EQ(syslog_count("call_change_permission rc = -1"), 2u);
    EXPECT_EQ(mode_of("/media/st\xFFick"), 0755);
    EXPECT_TRUE(mountwatch().running());
}

TEST_F(MountTest, WithoutTheStorageServiceEqualNamesTakeTheFirstListedIds) {
    std::string first = add_stick("1-1", "0001", "aaaa", "sdb", 16);
    std::string second = add_stick("1-2", "0002", "bbbb", "sdc", 32);
    mounts.list_in_fstab(first, "/media/a/stick");
    mounts.list_in_fstab(second, "/media/b/stick");
    start_mountwatch();
    SignalListener listener(G_BUS_TYPE_SESSION, kIface);

    ASSERT_TRUE(mounts.mount(first, "/media/a/stick"));
    ASSERT_TRUE(listener.wait(1, "addStorage"));
    ASSERT_TRUE(mounts.mount(second, "/media/b/stick"));
    ASSERT_TRUE(listener.wait(2, "addStorage"));
    // Nobody serves the storage name: each mount logs -1 and is handled all the same.
    EXPECT_TRUE(logged("call_change_permission rc = -1", 2));
    EXPECT_EQ(syslog_count("call_change_permission rc = -1"), 2u);
    EXPECT_EQ(mode_of("/media/a/stick"), 0755);
    EXPECT_TRUE(
        mountwatch().wait_output("pid = 0002, vid = bbbb, mountpoint = /media/b/stick， "
                                 "action = add"));

    // Both are named "stick": the first removal takes the entry listed first.
    expect_removal(mounts, listener, 1, "/media/b/stick", {"0001", "aaaa"});
    expect_removal(mounts, listener, 2, "/media/a/stick", {"0002", "bbbb"});
    EXPECT_TRUE(mountwatch().wait_output("action = remove, time = "));
    EXPECT_TRUE(logged("pid = 0002, vid = bbbb, mountpoint = /media/a/stick, action = remove"));
}

// SIGTERM ends mountwatch after the mount in hand, with 0: the volume monitor is released
// and the name given up, each said as it happens.
TEST_F(MountTest, MountwatchLeavesOnSigtermWithExitZero) {
    std::string stick = add_stick("1-1", "5678", "1234", "sdb", 16);
    mounts.list_in_fstab(stick, "/media/usb");
    start_plugwatch();
    start_mountwatch();
    SignalListener listener(G_BUS_TYPE_SESSION, kIface);
    ASSERT_TRUE(mounts.mount(stick, "/media/usb"));
    ASSERT_TRUE(listener.wait(1, "addStorage"));
    mountwatch().kill(SIGTERM);
    EXPECT_EQ(mountwatch().wait_exit(std::chrono::seconds(5)), 0);
    const std::string out = mountwatch().output();
    EXPECT_NE(out.find("dbus g_main_loop_run\ng_main_loop_run\ng_main_loop_unref\ng_object_unref\n"
                       "dbus g_main_loop_unref\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(name_has_owner(G_BUS_TYPE_SESSION, kIface));
}

}  // namespace
}  // namespace mount_it
