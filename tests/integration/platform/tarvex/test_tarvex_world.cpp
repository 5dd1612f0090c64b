// The stand-in framework at its fixed store, as the daemons and tarvexctl share it.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "mdmtest/support.h"
#include "tarvex/adapter.h"
#include "tarvex/linked.h"

using namespace mdmtest;
using namespace mdm::tarvex;

namespace {

class TarvexWorld : public SandboxTest {
  protected:
    const Functions fns = linked_functions();
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(TarvexWorld, SingleEntryCallsAnswerAndNullArgumentsAreRefused) {
    tarvex_devctl_info dev = device_record(0xc820, 0x0bda, 2);
    tarvex_devctl_info other = device_record(1, 1, 1);
    EXPECT_EQ(fns.add(&dev), 0);
    EXPECT_NE(fns.add(&dev), 0);
    dev.perm = 5;
    EXPECT_EQ(fns.update(&dev), 0);
    EXPECT_NE(fns.update(&other), 0);
    EXPECT_NE(fns.remove(&other), 0);
    EXPECT_EQ(framework_entries(), (Lines{"device c820 0bda perm=5"}));
    EXPECT_EQ(fns.remove(&dev), 0);
    EXPECT_NE(fns.remove(&dev), 0);

    EXPECT_NE(fns.add(nullptr), 0);
    EXPECT_NE(fns.update(nullptr), 0);
    EXPECT_NE(fns.remove(nullptr), 0);
    EXPECT_NE(fns.batch_add(nullptr, 3), 0);
    EXPECT_NE(fns.batch_del(nullptr, 3), 3);
    EXPECT_EQ(fns.read_special(nullptr), nullptr);
    EXPECT_TRUE(framework_entries().empty());
}

TEST_F(TarvexWorld, KeyedLookupAnswersTheEntryInForceOrNone) {
    ASSERT_NE(fns.read_special_perm, nullptr);
    int32_t perm = -7;
    EXPECT_EQ(fns.read_special_perm(0xc820, 0x0bda, &perm), 1);
    EXPECT_EQ(perm, -7) << "no entry leaves the answer alone";
    framework_set({"set-device", "c820", "0bda", "2"});
    EXPECT_EQ(fns.read_special_perm(0xc820, 0x0bda, &perm), 0);
    EXPECT_EQ(perm, 2);
    // Another process's write is seen at the next lookup.
    framework_set({"set-device", "c820", "0bda", "5"});
    EXPECT_EQ(fns.read_special_perm(0xc820, 0x0bda, &perm), 0);
    EXPECT_EQ(perm, 5);
    EXPECT_EQ(fns.read_special_perm(0x0bda, 0xc820, &perm), 1);
    EXPECT_NE(fns.read_special_perm(0xc820, 0x0bda, nullptr), 0);

    // A damaged store is a failure, not "no entry": the two must stay apart for callers.
    // Asked by a new process, as this one still holds the files it had open.
    write_file("/var/lib/tarvex/store.db", std::string(8192, 'x'));
    std::filesystem::remove("/var/lib/tarvex/store.db-wal");
    std::filesystem::remove("/var/lib/tarvex/store.db-shm");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(fns.read_special_perm(0xc820, 0x0bda, &perm) == -1 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
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
    EXPECT_EQ(framework_entries(), (Lines{"device 0001 0010 perm=2"}));
}

TEST_F(TarvexWorld, ReadsGiveInsertionOrderedSnapshotsKeptUntilTheNextRead) {
    int count = -1;
    EXPECT_EQ(fns.read_not_special(&count), nullptr);
    EXPECT_EQ(count, 0);

    for (const char* pid : {"30", "10", "20"})
        framework_set({"set-device", pid, "1", "1"});
    framework_set({"set-class", "7", "0", "2"});
    auto pids = [](std::span<const tarvex_devctl_info> table) {
        std::vector<uint32_t> out;
        for (const auto& e : table)
            out.push_back(e.pid);
        return out;
    };
    std::span<const tarvex_devctl_info> devices = read_device_table(fns);
    EXPECT_EQ(pids(devices), (std::vector<uint32_t>{0x30, 0x10, 0x20}));
    ASSERT_EQ(read_class_table(fns).size(), 1u);
    EXPECT_EQ(read_class_table(fns)[0].type, 7);

    // Another thread reading and writing leaves this thread's snapshot alone.
    std::thread([&] {
        framework_set({"clear"});
        EXPECT_TRUE(read_device_table(fns).empty());
    }).join();
    EXPECT_EQ(pids(devices), (std::vector<uint32_t>{0x30, 0x10, 0x20}));
    EXPECT_TRUE(read_device_table(fns).empty());
}

TEST_F(TarvexWorld, NoOrdinaryUserCanReadTheStoreOrHoldUpAWrite) {
    framework_set({"set-device", "c820", "0bda", "2"});
    struct stat st {};
    ASSERT_EQ(::stat("/var/lib/tarvex", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat("/var/lib/tarvex/store.db", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, 0u);

    // What used to stall every writer: a shared lock held by anyone, on any file there.
    constexpr uid_t kNobody = 65534;
    for (const char* target : {"/var/lib/tarvex/store.db", "/var/lib/tarvex/store.db-wal",
                               "/var/lib/tarvex/lock", "/var/lib/tarvex"}) {
        Process holder({"flock", "-s", target, "sleep", "30"}, {.uid = kNobody, .name = "flock"});
        auto status = holder.wait_exit(5s);
        ASSERT_TRUE(status) << target << " is held by an ordinary user";
        EXPECT_NE(*status, 0) << target;
    }
    Process reader({"tarvexctl", "list"}, {.uid = kNobody, .name = "tarvexctl"});
    EXPECT_EQ(reader.wait_exit(), 1);
    EXPECT_EQ(reader.output().find("c820"), std::string::npos) << reader.output();
    EXPECT_NE(reader.output().find("tarvex: "), std::string::npos) << reader.output();

    auto start = std::chrono::steady_clock::now();
    tarvex_devctl_info rec = device_record(0xc820, 0x0bda, 1);
    EXPECT_EQ(fns.update(&rec), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(framework_entries(), (Lines{"device c820 0bda perm=1"}));
}
