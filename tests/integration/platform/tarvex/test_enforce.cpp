// Enforcement in the sandbox: the udev helper at plug and the follow loop after table
// changes, against a umockdev testbed. The testbed shows what is written to sysfs; the
// kernel's reaction (an unbound driver, a disk gone or read-only) is left to the booted VM.
#include <signal.h>

#include <filesystem>
#include <thread>

#include "mdmtest/mounts.h"
#include "mdmtest/support.h"
#include "mdmtest/usb_storage.h"
#include "tarvex/adapter.h"
#include "tarvex/linked.h"

using namespace mdmtest;

namespace {

// The capture of the system log is written by a process of its own: lines arrive a moment
// after the program that sent them has exited.
bool logged(const std::string& text) {
    return eventually([&] { return syslog_has(text); }, 2s);
}

class Enforce : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        std::filesystem::remove_all("/run/tarvex");
        std::filesystem::remove_all("/etc/tarvex");
        std::filesystem::create_directories("/etc/tarvex");
    }

    // A USB device with interfaces of the given classes, each showing "authorized".
    std::vector<std::string> plug(const UsbDevice& d, const std::vector<std::string>& classes,
                                  const char* authorized = "1") {
        UsbDevice dev = d;
        dev.num_interfaces = " " + std::to_string(classes.size());
        std::string device = tb.add_usb_device(dev);
        // The bus's probe file, where a re-authorized interface is handed for binding.
        if (!file_exists("/sys/bus/usb/drivers_probe"))
            write_file("/sys/bus/usb/drivers_probe", "");
        std::vector<std::string> out;
        for (size_t n = 0; n < classes.size(); ++n) {
            out.push_back(tb.add_interface(device, static_cast<int>(n), classes[n]));
            write_file(out.back() + "/authorized", authorized);
        }
        return out;
    }

    int helper(const std::string& syspath, const std::string& devnode = {}) {
        std::vector<std::string> argv{program("platform/tarvex/tarvex-enforce"),
                                      Testbed::devpath(syspath)};
        if (!devnode.empty())
            argv.push_back(devnode);
        Process p(argv, {.umockdev = true, .name = "tarvex-enforce"});
        return p.wait_exit().value_or(-1000);
    }

    std::unique_ptr<Process> follow() {
        auto p = std::make_unique<Process>(
            std::vector<std::string>{program("platform/tarvex/tarvexctl"), "enforce", "--follow"},
            ProcessOptions{.umockdev = true, .name = "tarvexctl enforce --follow"});
        EXPECT_TRUE(p->wait_output("following")) << p->output();
        return p;
    }

    CommandResult ctl(const std::vector<std::string>& args) {
        std::vector<std::string> argv{program("platform/tarvex/tarvexctl")};
        argv.insert(argv.end(), args.begin(), args.end());
        Process p(argv, {.umockdev = true, .name = "tarvexctl"});
        auto status = p.wait_exit();
        return {status.value_or(-1000), p.output()};
    }

    static std::string authorized(const std::string& iface) {
        return sysfs_attribute(iface, "authorized");
    }

    Testbed tb;
};

const UsbDevice kStick{.name = "1-1", .vid = "0bda", .pid = "c820"};
const UsbDevice kKeyboard{.name = "1-2", .vid = "046d", .pid = "0001"};

}  // namespace

TEST_F(Enforce, PlugWithEachPermission) {
    auto stick = plug(kStick, {"08"});
    EXPECT_EQ(helper(stick[0]), 0);
    EXPECT_EQ(authorized(stick[0]), "1");
    EXPECT_TRUE(logged("allow interface 1-1:1.0 class 08 0bda:c820 perm 1 (no entry, in force)"));

    framework_set({"set-device", "c820", "0bda", "2"});
    EXPECT_EQ(helper(stick[0]), 0);
    EXPECT_EQ(authorized(stick[0]), "0");
    EXPECT_TRUE(
        logged("deny interface 1-1:1.0 class 08 0bda:c820 perm 2 (device entry, changed) "
               "/devices/1-1/1-1:1.0"));

    framework_set({"set-device", "c820", "0bda", "1"});
    EXPECT_EQ(helper(stick[0]), 0);
    EXPECT_EQ(authorized(stick[0]), "1");
    EXPECT_EQ(sysfs_attribute("/sys/bus/usb", "drivers_probe"), "1-1:1.0");

    // Read-only: the stick's disk and partition are set read-only as they appear, and a
    // mount of the partition that exists already is remounted read-only.
    framework_set({"set-device", "c820", "0bda", "5"});
    EXPECT_EQ(helper(stick[0]), 0);
    EXPECT_EQ(authorized(stick[0]), "1");
    std::string node = add_block_disk(tb, stick[0], "sdb", 16);
    Mounts mounts;
    mounts.list_in_fstab(node, "/media/stick");
    ASSERT_TRUE(mounts.mount(node, "/media/stick"));
    EXPECT_EQ(helper(stick[0] + "/host1/sdb/sdb1", node), 0);
    EXPECT_TRUE(mounted_read_only("/media/stick"));
    EXPECT_TRUE(logged("read-only remount /media/stick of /dev/sdb1"));
    // The sandbox has no real block device: BLKROSET is tried on the node and fails here,
    // which the administrator must see as a warning.
    EXPECT_TRUE(logged("4 read-only /dev/sdb1 of 1-1:1.0 0bda:c820 /devices/1-1/1-1:1.0 (failed"));
}

TEST_F(Enforce, HubsAndKeyboardsAreLeftAloneByClassEntries) {
    framework_set({"set-class", "9", "6", "2"});
    framework_set({"set-class", "9", "19", "2"});
    framework_set({"set-class", "7", "0", "2"});
    auto hub = plug({.name = "1-3", .vid = "0bda", .pid = "5411"}, {"09"});
    auto keyboard = plug(kKeyboard, {"03", "ff"});
    for (const auto& i : {hub[0], keyboard[0], keyboard[1]})
        EXPECT_EQ(helper(i), 0);
    EXPECT_EQ(authorized(hub[0]), "1");
    EXPECT_EQ(authorized(keyboard[0]), "1");
    EXPECT_EQ(authorized(keyboard[1]), "0") << "the vendorspec function of a keyboard is its own";
    // A per-device deny of a hub still leaves it.
    framework_set({"set-device", "5411", "0bda", "2"});
    EXPECT_EQ(helper(hub[0]), 0);
    EXPECT_EQ(authorized(hub[0]), "1");
}

TEST_F(Enforce, FollowReappliesAfterEachChangeAndOnceForABatch) {
    auto stick = plug(kStick, {"08"});
    auto keyboard = plug(kKeyboard, {"03"});
    auto f = follow();
    EXPECT_EQ(authorized(stick[0]), "1");

    auto start = std::chrono::steady_clock::now();
    framework_set({"set-device", "c820", "0bda", "2"});
    EXPECT_TRUE(eventually([&] { return authorized(stick[0]) == "0"; }, 1s)) << f->output();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    framework_set({"remove-device", "c820", "0bda"});
    EXPECT_TRUE(eventually([&] { return authorized(stick[0]) == "1"; }, 1s)) << f->output();
    EXPECT_EQ(sysfs_attribute("/sys/bus/usb", "drivers_probe"), "1-1:1.0");

    // One batch of three entries is re-applied once.
    ASSERT_TRUE(f->wait_output("tables re-applied: 1 change(s)"));
    auto evaluations = [&] {
        const std::string out = f->output();
        size_t n = 0;
        for (size_t at = out.find("tables re-applied"); at != std::string::npos;
             at = out.find("tables re-applied", at + 1))
            ++n;
        return n;
    };
    const auto before = evaluations();
    const auto fns = mdm::tarvex::linked_functions();
    tarvex_devctl_info batch[] = {mdm::tarvex::device_record(0xc820, 0x0bda, 2),
                                  mdm::tarvex::device_record(0x0001, 0x046d, 1),
                                  mdm::tarvex::device_record(0x0002, 0x0002, 2)};
    EXPECT_EQ(fns.batch_add(batch, 3), 0);
    EXPECT_TRUE(eventually([&] { return authorized(stick[0]) == "0"; }, 1s));
    std::this_thread::sleep_for(300ms);  // any second evaluation would have come by now
    EXPECT_EQ(evaluations(), before + 1) << f->output();
    EXPECT_EQ(authorized(keyboard[0]), "1");

    // A write that leaves the tables as they were is applied in full all the same: the
    // helper may have acted on a state in between (here: the kernel state was changed
    // behind the follow process's back).
    write_file(keyboard[0] + "/authorized", "0");
    tarvex_devctl_info same = mdm::tarvex::device_record(0x0001, 0x046d, 1);
    EXPECT_EQ(fns.update(&same), 0);
    EXPECT_TRUE(eventually([&] { return authorized(keyboard[0]) == "1"; }, 1s)) << f->output();

    f->kill(SIGTERM);
    EXPECT_EQ(f->wait_exit(), 0);
}

TEST_F(Enforce, StrictModeHoldsNewInterfacesAndPutsTheDefaultBack) {
    write_file("/etc/tarvex/enforce.conf", "strict = yes\n");
    UsbDevice root{.name = "usb1", .vid = "1d6b", .pid = "0002"};
    std::string hub = tb.add_usb_device(root);
    write_file(hub + "/interface_authorized_default", "1");
    auto f = follow();
    EXPECT_EQ(sysfs_attribute(hub, "interface_authorized_default"), "0");

    // New interfaces arrive unauthorized; the helper lets through what the tables allow.
    framework_set({"set-device", "c820", "0bda", "2"});
    auto stick = plug(kStick, {"08"}, "0");
    auto keyboard = plug(kKeyboard, {"03"}, "0");
    EXPECT_EQ(helper(stick[0]), 0);
    EXPECT_EQ(helper(keyboard[0]), 0);
    EXPECT_EQ(authorized(stick[0]), "0");
    EXPECT_EQ(authorized(keyboard[0]), "1");

    // A controller added meanwhile gets the same default from the helper.
    auto add_hub = [&](const char* name) {
        std::string h = tb.add_usb_device({.name = name, .vid = "1d6b", .pid = "0003"});
        write_file(h + "/interface_authorized_default", "1");
        EXPECT_EQ(helper(h), 0);
        return h;
    };
    const std::string hub2 = add_hub("usb2");
    EXPECT_EQ(sysfs_attribute(hub2, "interface_authorized_default"), "0");

    f->kill(SIGTERM);
    EXPECT_EQ(f->wait_exit(), 0);
    EXPECT_EQ(sysfs_attribute(hub, "interface_authorized_default"), "1");
    EXPECT_EQ(sysfs_attribute(hub2, "interface_authorized_default"), "1");
    EXPECT_EQ(sysfs_attribute(add_hub("usb3"), "interface_authorized_default"), "1")
        << "strict mode is no longer in force";
    EXPECT_TRUE(ctl({"status"}).out.find("mode: strict") != std::string::npos);
}

TEST_F(Enforce, BootSwitchTurnsEnforcementOff) {
    framework_set({"set-device", "c820", "0bda", "2"});
    auto stick = plug(kStick, {"08"});
    write_file("/run/mdm-sandbox/cmdline", "root=/dev/vda tarvex.enforce=off quiet\n");
    ASSERT_EQ(run({"mount", "--bind", "/run/mdm-sandbox/cmdline", "/proc/cmdline"}).status, 0);
    EXPECT_EQ(helper(stick[0]), 0);
    auto status = ctl({"status"}).out;
    run({"umount", "/proc/cmdline"});
    EXPECT_EQ(authorized(stick[0]), "1");
    EXPECT_TRUE(logged("enforcement off for this boot (tarvex.enforce=off)"));
    EXPECT_NE(status.find("enforcement: off for this boot"), std::string::npos) << status;
}

TEST_F(Enforce, DamagedStoreHoldsStorageBackAndCanBeRecovered) {
    framework_set({"set-device", "0001", "046d", "1"});
    write_file("/var/lib/tarvex/store.db", std::string(8192, 'x'));
    std::filesystem::remove("/var/lib/tarvex/store.db-wal");
    std::filesystem::remove("/var/lib/tarvex/store.db-shm");
    auto stick = plug(kStick, {"08"});
    auto keyboard = plug(kKeyboard, {"03"});
    EXPECT_EQ(helper(stick[0]), 0);
    EXPECT_EQ(helper(keyboard[0]), 0);
    EXPECT_EQ(authorized(stick[0]), "0");
    EXPECT_EQ(authorized(keyboard[0]), "1");
    auto status = ctl({"status"});
    EXPECT_NE(status.out.find("store: damaged"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find(
                  "interface 1-1:1.0 class 08 decision deny (perm 1, damaged store) authorized 0"),
              std::string::npos)
        << status.out;

    auto recovered = ctl({"recover"});
    EXPECT_EQ(recovered.status, 0);
    EXPECT_NE(recovered.out.find("damaged store moved to /var/lib/tarvex/store.db.damaged-"),
              std::string::npos)
        << recovered.out;
    EXPECT_TRUE(framework_entries().empty());
    auto applied = ctl({"enforce"});
    EXPECT_NE(applied.out.find("allow interface 1-1:1.0"), std::string::npos) << applied.out;
    EXPECT_EQ(authorized(stick[0]), "1");
}

namespace {

// A network device `name` under `parent_syspath`, with the "device" link a physical one has
// (the testbed puts it right below its parent, where the kernel has a "net" folder between).
std::string add_net_device(Testbed& tb, const std::string& parent_syspath,
                           const std::string& name) {
    const char* attrs[] = {"address", "02:00:00:00:00:01", nullptr};
    const char* props[] = {"INTERFACE", name.c_str(), nullptr};
    gchar* path =
        umockdev_testbed_add_devicev(tb.get(), "net", name.c_str(), parent_syspath.c_str(),
                                     const_cast<gchar**>(attrs), const_cast<gchar**>(props));
    std::string syspath = path ? path : "";
    g_free(path);
    const std::string root = umockdev_testbed_get_root_dir(tb.get());
    std::filesystem::create_symlink("..", root + syspath + "/device");
    return syspath;
}

}  // namespace

TEST_F(Enforce, NetworkCardEntryTakesPhysicalNetworkDevicesAwayAndBack) {
    const std::string root = umockdev_testbed_get_root_dir(tb.get());
    // A PCI card bound to its driver, and a USB adapter.
    const char* pci_attrs[] = {"vendor", "0x8086", nullptr};
    const char* pci_props[] = {"PCI_SLOT_NAME", "0000:00:03.0", nullptr};
    gchar* raw = umockdev_testbed_add_devicev(tb.get(), "pci", "0000:00:03.0", nullptr,
                                              const_cast<gchar**>(pci_attrs),
                                              const_cast<gchar**>(pci_props));
    ASSERT_TRUE(raw);
    const std::string pci = raw;
    g_free(raw);
    std::filesystem::create_directories(root + "/sys/bus/pci/drivers/e1000");
    write_file(root + "/sys/bus/pci/drivers/e1000/unbind", "");
    write_file(root + "/sys/bus/pci/drivers_probe", "");
    std::filesystem::create_symlink("../../bus/pci/drivers/e1000", root + pci + "/driver");
    add_net_device(tb, pci, "eth0");
    auto adapter = plug({.name = "1-4", .vid = "0b95", .pid = "1790"}, {"ff"});
    add_net_device(tb, adapter[0], "eth1");
    auto keyboard = plug(kKeyboard, {"03"});

    auto f = follow();
    framework_set({"set-class", "7", "0", "2"});
    EXPECT_TRUE(eventually([&] { return authorized(adapter[0]) == "0"; }, 1s)) << f->output();
    EXPECT_EQ(sysfs_attribute("/sys/bus/pci/drivers/e1000", "unbind"), "0000:00:03.0");
    EXPECT_EQ(authorized(keyboard[0]), "1");
    EXPECT_TRUE(logged("network device eth0 (pci 0000:00:03.0) unbound from e1000"));

    // A USB adapter plugged while the entry denies is taken away at plug.
    auto second = plug({.name = "1-6", .vid = "0b95", .pid = "1791"}, {"ff"});
    std::string eth2 = add_net_device(tb, second[0], "eth2");
    EXPECT_EQ(helper(eth2), 0);
    EXPECT_EQ(authorized(second[0]), "0");

    // Allowed again: the adapters are authorized, the card is handed back to its bus.
    framework_set({"set-class", "7", "0", "1"});
    EXPECT_TRUE(eventually([&] { return authorized(adapter[0]) == "1"; }, 1s)) << f->output();
    EXPECT_EQ(authorized(second[0]), "1");
    EXPECT_EQ(sysfs_attribute("/sys/bus/pci", "drivers_probe"), "0000:00:03.0");
    f->kill(SIGTERM);
    EXPECT_EQ(f->wait_exit(), 0);
}
