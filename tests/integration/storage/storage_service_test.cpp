// The storage object of the plug monitor: what a desktop user and root may open up or
// remount, and that nothing else is ever touched.
#include <unistd.h>

#include <filesystem>

#include <mdmtest/mount_test.h>

namespace mount_it {
namespace {

using namespace mdmtest;

constexpr uid_t kUser = 65534;

TEST_F(MountTest, ChangePermissionOpensOnlyTheMountPointOfAUsbStick) {
    std::string stick = add_stick("1-1", "5678", "1234", "sdb", 16);
    std::string internal = add_internal_disk("sda", 0);
    ASSERT_TRUE(mounts.mount(stick, "/media/usb"));
    ASSERT_TRUE(mounts.mount(internal, "/media/disk"));
    ASSERT_TRUE(mounts.mount("tmpfs", "/media/tmp"));
    // A source that udev would take as a pattern matching the stick's node.
    ASSERT_TRUE(mounts.mount("/dev/sd?1", "/media/glob"));
    std::filesystem::create_directories("/media/usb/sub");
    std::filesystem::create_directories("/media/plain");
    std::filesystem::create_symlink("/media/usb", "/media/link");
    start_plugwatch();

    const Strings watched{"/media/usb", "/media/usb/sub", "/media/disk",
                          "/media/tmp", "/media/plain",   "/media/glob"};
    auto modes = [&] {
        std::vector<int> out;
        for (const auto& p : watched)
            out.push_back(mode_of(p));
        return out;
    };
    const auto before = modes();
    ASSERT_EQ(before[0], 0755);

    const Strings refused{"/media/disk",        // a mount of an internal disk
                          "/media/glob",        // not the node of a stick
                          "/media/tmp",         // not from a block device
                          "/media/usb/sub",     // inside the stick
                          "/media/link",        // a symlink to the stick
                          "/media/usb/",        // not the canonical form
                          "/media/usb/sub/..",  //
                          "media/usb",          // relative
                          "/media/plain",       // a plain directory
                          "/media/usb;chmod 777 /media/disk",
                          "/media/usb/$(chmod 777 /media/disk)",
                          "/media/usb\nchmod 777 /media/disk",
                          "",
                          "/no/such/path"};
    for (std::optional<uid_t> uid : {std::optional<uid_t>(kUser), std::optional<uid_t>()}) {
        for (const auto& path : refused) {
            std::string error;
            EXPECT_EQ(call_storage(uid, "changePermission", {path}, &error), -1)
                << "path [" << path << "] " << error;
        }
    }
    EXPECT_EQ(modes(), before);
    EXPECT_TRUE(logged("changePermission /media/usb/sub refused: not a mount point"));
    EXPECT_TRUE(logged("changePermission /media/link refused: not a canonical path"));
    EXPECT_TRUE(logged("changePermission /media/disk refused: not on a USB mass-storage"));
    EXPECT_TRUE(logged("changePermission media/usb refused: not an absolute path"));

    // Any desktop user opens the stick's mount point, and only that.
    EXPECT_EQ(call_storage(kUser, "changePermission", {"/media/usb"}), 0);
    auto after = modes();
    EXPECT_EQ(after[0], 0777);
    after[0] = before[0];
    EXPECT_EQ(after, before);

    // Root too; and the stick's node itself is a device, not its mount point.
    ASSERT_EQ(::chmod("/media/usb", 0755), 0);
    EXPECT_EQ(call_storage(std::nullopt, "changePermission", {"/media/usb"}), 0);
    EXPECT_EQ(mode_of("/media/usb"), 0777);
    EXPECT_EQ(call_storage(std::nullopt, "changePermission", {stick}), -1);
}

TEST_F(MountTest, RomountStorageNeedsRootAndTheSticksExactIds) {
    std::string stick = add_stick("1-1", "5678", "1234", "sdb", 16);
    std::string internal = add_internal_disk("sda", 0);
    ASSERT_TRUE(mounts.mount(stick, "/media/usb"));
    ASSERT_TRUE(mounts.mount(internal, "/media/disk"));
    start_plugwatch();

    std::string error;
    EXPECT_FALSE(call_storage(kUser, "romountStorage", {"/media/usb", "5678", "1234"}, &error));
    EXPECT_NE(error.find("AccessDenied"), std::string::npos) << error;

    for (const Strings& ids : {Strings{"1234", "5678"}, Strings{"5678", "1235"},
                               Strings{"5678", "123"}, Strings{"", ""}}) {
        EXPECT_EQ(call_storage(std::nullopt, "romountStorage", {"/media/usb", ids[0], ids[1]}), -1);
    }
    EXPECT_EQ(call_storage(std::nullopt, "romountStorage", {"/media/disk", "5678", "1234"}), -1);
    EXPECT_EQ(call_storage(std::nullopt, "romountStorage", {"/media/usb/", "5678", "1234"}), -1);
    EXPECT_FALSE(mounted_read_only("/media/usb"));
    EXPECT_FALSE(mounted_read_only("/media/disk"));
    EXPECT_TRUE(logged("romountStorage /media/usb refused: the device has other ids"));

    EXPECT_EQ(call_storage(std::nullopt, "romountStorage", {"/media/usb", "5678", "1234"}), 0);
    EXPECT_TRUE(mounted_read_only("/media/usb"));
    EXPECT_FALSE(mounted_read_only("/media/disk"));
}

}  // namespace
}  // namespace mount_it
