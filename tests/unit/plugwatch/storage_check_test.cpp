#include <gtest/gtest.h>

#include <map>

#include "storage_check.h"

namespace plugwatch {
namespace {

// A small world: a stick mounted at /media/usb, an internal disk, a tmpfs, a device whose
// ids are incomplete, and a symlink to the stick.
struct World {
    std::map<std::string, std::string> links{{"/media/link", "/media/usb"}};
    std::map<std::string, std::string> mounts{{"/media/usb", "/dev/sdb1"},
                                              {"/media/disk", "/dev/sda1"},
                                              {"/media/tmp", "tmpfs"},
                                              {"/media/dev", "/dev/sdc1"}};
    std::map<std::string, UsbPair> sticks{{"/dev/sdb1", {"5678", "1234"}},
                                          {"/dev/sdc1", {"", "1234"}}};
    StorageLookups lookups() const {
        return {[this](const std::string& p) -> std::optional<std::string> {
                    if (auto l = links.find(p); l != links.end())
                        return l->second;
                    if (p.ends_with("/") && p.size() > 1)
                        return p.substr(0, p.size() - 1);
                    if (p == "/media/usb/sub" || mounts.contains(p))
                        return p;
                    return std::nullopt;
                },
                [this](const std::string& t) -> std::optional<std::string> {
                    if (auto m = mounts.find(t); m != mounts.end())
                        return m->second;
                    return std::nullopt;
                },
                [this](const std::string& n) -> std::optional<UsbPair> {
                    if (auto s = sticks.find(n); s != sticks.end())
                        return s->second;
                    return std::nullopt;
                }};
    }
};

TEST(StorageCheck, OnlyTheExactMountPointOfAUsbStickPasses) {
    World w;
    auto v = check_usb_mount_point("/media/usb", w.lookups());
    EXPECT_TRUE(v.allowed);
    EXPECT_EQ(v.ids.pid, "5678");
    EXPECT_EQ(v.ids.vid, "1234");

    const std::pair<const char*, const char*> refused[] = {
        {"", "not an absolute path"},
        {"media/usb", "not an absolute path"},
        {"/media/usb\n", "control characters in the path"},
        {"/media/link", "not a canonical path"},
        {"/media/usb/", "not a canonical path"},
        {"/media/nothing", "no such path"},
        {"/media/usb/sub", "not a mount point"},
        {"/media/tmp", "not mounted from a block device"},
        {"/media/disk", "not on a USB mass-storage device"},
        {"/media/dev", "not on a USB mass-storage device"},  // ids incomplete
    };
    for (auto [path, reason] : refused) {
        auto r = check_usb_mount_point(path, w.lookups());
        EXPECT_FALSE(r.allowed) << path;
        EXPECT_EQ(r.reason, reason) << path;
    }
}

TEST(StorageCheck, RemountNeedsTheSticksExactIds) {
    World w;
    EXPECT_TRUE(check_usb_mount_of("/media/usb", "5678", "1234", w.lookups()).allowed);
    EXPECT_EQ(check_usb_mount_of("/media/usb", "1234", "5678", w.lookups()).reason,
              "the device has other ids");
}

}  // namespace
}  // namespace plugwatch
