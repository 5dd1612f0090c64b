#include "mdmtest/mount_test.h"

#include <regex>

namespace mount_it {

using namespace mdmtest;

void MountTest::TearDown() {
    mountwatch_.reset();
    plugwatch_.reset();
    SandboxTest::TearDown();
}

std::string MountTest::add_stick(const std::string& usb_name, const std::string& pid,
                                 const std::string& vid, const std::string& disk, int minor) {
    std::string device =
        testbed.add_usb_device(UsbDevice{.name = usb_name, .vid = vid, .pid = pid});
    std::string iface = testbed.add_interface(device, 0, "08", "06");
    return add_block_disk(testbed, iface, disk, minor);
}

std::string MountTest::add_internal_disk(const std::string& disk, int minor) {
    if (!have_controller_) {
        controller_ = add_internal_controller(testbed);
        have_controller_ = true;
    }
    return add_block_disk(testbed, controller_, disk, minor);
}

void MountTest::start_plugwatch() {
    plugwatch_ = std::make_unique<Process>(Strings{program("plugwatch/plugwatch")},
                                           ProcessOptions{.umockdev = true, .name = "plugwatch"});
    ASSERT_TRUE(plugwatch_->wait_output("Acquired the name com.quorl.storage\n"));
}

void MountTest::start_mountwatch() {
    mountwatch_ = std::make_unique<Process>(Strings{program("storage/mountwatch")},
                                            ProcessOptions{.umockdev = true, .name = "mountwatch"});
    ASSERT_TRUE(mountwatch_->wait_output("g_main_loop_new\n"));
    ASSERT_TRUE(mountwatch_->wait_output("Acquired the name com.quorl.storage.mount\n"));
}

std::optional<int> MountTest::call_storage(std::optional<uid_t> uid, const std::string& method,
                                           const Strings& args, std::string* error) {
    // dbus-send sends the call alone (gdbus would introspect first, which the policy denies
    // to users), and takes each "string:" argument byte for byte.
    Strings argv{"dbus-send",          "--system",
                 "--print-reply",      "--dest=com.quorl.storage",
                 "/com/quorl/storage", "com.quorl.storage." + method};
    for (const auto& a : args)
        argv.push_back("string:" + a);
    Process p(argv, ProcessOptions{.uid = uid, .name = "dbus-send"});
    p.wait_exit();
    std::string out = p.output();
    static const std::regex reply(R"(\n\s*int32 (-?\d+)\n)");
    std::smatch m;
    if (!std::regex_search(out, m, reply)) {
        if (error)
            *error = out;
        return std::nullopt;
    }
    return std::stoi(m[1]);
}

}  // namespace mount_it
