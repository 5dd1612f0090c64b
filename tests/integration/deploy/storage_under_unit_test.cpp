// The plug monitor's storage object under its unit's restrictions: the mount point of a stick
// mounted before the start is opened up and remounted read-only, as seen from outside the
// daemon's own mount namespace.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <mdmtest/mount_test.h>

namespace mount_it {
namespace {

using namespace mdmtest;

TEST_F(MountTest, StorageObjectWorksUnderThePlugMonitorsUnit) {
    std::string stick = add_stick("1-1", "5678", "1234", "sdb", 16);
    ASSERT_TRUE(mounts.mount(stick, "/media/usb"));
    Process daemon(under_unit("plugwatch", {program("plugwatch/plugwatch")}),
                   {.umockdev = true, .name = "plugwatch"});
    ASSERT_TRUE(daemon.wait_output("Acquired the name com.quorl.storage\n"));

    EXPECT_EQ(call_storage(std::nullopt, "changePermission", {"/media/usb"}), 0);
    EXPECT_EQ(mode_of("/media/usb"), 0777);
    EXPECT_EQ(call_storage(std::nullopt, "romountStorage", {"/media/usb", "5678", "1234"}), 0);
    int fd = ::open("/media/usb/probe", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(errno, EROFS);
    if (fd >= 0)
        ::close(fd);
}

}  // namespace
}  // namespace mount_it
