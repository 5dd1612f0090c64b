// The stand-in framework at its fixed store, as the daemons and tarvexctl share it.
#include <algorithm>
#include <thread>

#include "mdmtest/support.h"
#include "tarvex_adapter.h"
#include "tarvex_linked.h"

using namespace mdmtest;
using namespace mdm::tarvex;

namespace {

class TarvexWorld : public SandboxTest {
  protected:
    const Functions fns = linked_functions();
};

std::vector<uint32_t> device_pids(std::span<const tarvex_devctl_info> table) {
    std::vector<uint32_t> pids;
    for (const auto& e : table)
        pids.push_back(e.pid);
    return pids;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(TarvexWorld, SingleEntryCallsAnswerAsCallersExpect) {
    tarvex_devctl_info dev = device_record(0xc820, 0x0bda, 2);
    EXPECT_EQ(fns.add(&dev), 0);
    EXPECT_NE(fns.add(&dev), 0);
    dev.perm = 5;
    EXPECT_EQ(fns.update(&dev), 0);
    tarvex_devctl_info other = device_record(1, 1, 1);
    EXPECT_NE(fns.update(&other), 0);
    EXPECT_NE(fns.remove(&other), 0);

    tarvex_devctl_info storage = class_record(0, 6, 1);
    WriteAnswers a = write_class_entry(fns, storage);
    EXPECT_EQ(a.update, 1);
    EXPECT_EQ(a.add, 0);
    storage.perm = 2;
    a = write_class_entry(fns, storage);
    EXPECT_EQ(a.update, 0);
    EXPECT_FALSE(a.add);

    EXPECT_EQ(framework_entries(),
              (Lines{"device c820 0bda perm=5", "class type=0 usb_subtype=6 perm=2"}));

    EXPECT_EQ(fns.remove(&dev), 0);
    EXPECT_NE(fns.remove(&dev), 0);
    EXPECT_TRUE(read_device_table(fns).empty());
}

TEST_F(TarvexWorld, BatchesAnswerZeroAndTheRemovedCount) {
    framework_set({"set-device", "2", "10", "1"});
    tarvex_devctl_info adds[] = {device_record(1, 0x10, 2), device_record(2, 0x10, 2),
                                 device_record(3, 0x10, 2)};
    EXPECT_EQ(fns.batch_add(adds, 3), 0);
    EXPECT_EQ(framework_entries(), (Lines{"device 0002 0010 perm=2", "device 0001 0010 perm=2",
                                          "device 0003 0010 perm=2"}));

    tarvex_devctl_info dels[] = {device_record(3, 0x10, 0), device_record(9, 0x10, 0),
                                 device_record(2, 0x10, 0)};
    EXPECT_EQ(fns.batch_del(dels, 3), 2) << "one of three was never there";
    EXPECT_EQ(fns.batch_del(dels, 0), 0);
    EXPECT_EQ(framework_entries(), (Lines{"device 0001 0010 perm=2"}));
}

TEST_F(TarvexWorld, ReadsGiveInsertionOrderedSnapshotsKeptUntilTheNextRead) {
    int count = -1;
    EXPECT_EQ(fns.read_special(&count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(fns.read_not_special(&count), nullptr);
    EXPECT_EQ(count, 0);

    framework_set({"set-device", "30", "1", "1"});
    framework_set({"set-device", "10", "1", "1"});
    framework_set({"set-device", "20", "1", "1"});
    framework_set({"set-class", "7", "0", "2"});
    std::span<const tarvex_devctl_info> devices = read_device_table(fns);
    EXPECT_EQ(device_pids(devices), (std::vector<uint32_t>{0x30, 0x10, 0x20}));
    ASSERT_EQ(read_class_table(fns).size(), 1u);
    EXPECT_EQ(read_class_table(fns)[0].type, 7);

    // Another thread reading and writing leaves this thread's snapshot alone.
    std::thread([&] {
        framework_set({"clear"});
        EXPECT_TRUE(read_device_table(fns).empty());
    }).join();
    EXPECT_EQ(device_pids(devices), (std::vector<uint32_t>{0x30, 0x10, 0x20}));
    EXPECT_TRUE(read_device_table(fns).empty());
}

TEST_F(TarvexWorld, DamagedStoreReadsEmptyAndTheNextWriteRecovers) {
    framework_set({"set-device", "1", "2", "1"});
    write_file("/var/lib/tarvex/tables", "TVXSTORE-not-a-store");

    int count = -1;
    EXPECT_EQ(fns.read_special(&count), nullptr);
    EXPECT_EQ(count, 0);
    Process list({"tarvexctl", "list"}, {.name = "tarvexctl"});
    EXPECT_EQ(list.wait_exit(), 0);
    EXPECT_NE(list.output().find("damaged"), std::string::npos) << list.output();

    tarvex_devctl_info dev = device_record(5, 6, 2);
    EXPECT_EQ(fns.add(&dev), 0);
    EXPECT_EQ(framework_entries(), (Lines{"device 0005 0006 perm=2"}));
}

TEST_F(TarvexWorld, NullArgumentsAreRefusedNotFollowed) {
    EXPECT_NE(fns.add(nullptr), 0);
    EXPECT_NE(fns.update(nullptr), 0);
    EXPECT_NE(fns.remove(nullptr), 0);
    EXPECT_NE(fns.batch_add(nullptr, 3), 0);
    EXPECT_NE(fns.batch_del(nullptr, 3), 3);
    framework_set({"set-device", "1", "2", "1"});
    EXPECT_EQ(fns.read_special(nullptr), nullptr);
    EXPECT_EQ(framework_entries(), (Lines{"device 0001 0002 perm=1"}));
}

TEST_F(TarvexWorld, TarvexctlRefusesBadArgumentsWithStatusTwo) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"tarvexctl"},
          {"tarvexctl", "bogus"},
          {"tarvexctl", "set-device", "1", "2"},
          {"tarvexctl", "set-device", "zz", "2", "1"},
          {"tarvexctl", "remove-device", "1ffffffff", "2"}}) {
        Process p(args, {.name = "tarvexctl"});
        EXPECT_EQ(p.wait_exit(), 2) << args.back();
        std::string out = p.output();
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    }
    EXPECT_TRUE(framework_entries().empty());
}
