// The plug monitor's storage service and the mount monitor in the sandbox: umockdev block
// devices, tmpfs mounts listed in the private fstab, and calls as root or as another user.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <mdmtest/mounts.h>
#include <mdmtest/support.h>

namespace mount_it {

using Strings = std::vector<std::string>;

// Whether the captured syslog holds `text` at least `count` times, waiting for the lines
// still on their way to the capture.
inline bool logged(const std::string& text, std::size_t count = 1) {
    return mdmtest::eventually([&] { return mdmtest::syslog_count(text) >= count; });
}

class MountTest : public mdmtest::SandboxTest {
  protected:
    void TearDown() override;

    // A USB stick (device, mass-storage interface, disk and partition); returns the
    // partition's node, e.g. "/dev/sdb1". `minor` is the disk's minor number.
    std::string add_stick(const std::string& usb_name, const std::string& pid,
                          const std::string& vid, const std::string& disk, int minor);
    // A disk on a SATA controller; returns its partition's node.
    std::string add_internal_disk(const std::string& disk, int minor);

    void start_plugwatch();
    // Starts mountwatch and waits until its volume monitor is watching.
    void start_mountwatch();
    mdmtest::Process& mountwatch() { return *mountwatch_; }

    // Calls a method of the storage object as `uid` (root when empty) and
    // returns the int it answered, or nullopt with the error text in `error`.
    std::optional<int> call_storage(std::optional<uid_t> uid, const std::string& method,
                                    const Strings& args, std::string* error = nullptr);

    mdmtest::Testbed testbed;
    mdmtest::Mounts mounts;

  private:
    std::unique_ptr<mdmtest::Process> plugwatch_, mountwatch_;
    bool have_controller_ = false;
    std::string controller_;
};

}  // namespace mount_it
