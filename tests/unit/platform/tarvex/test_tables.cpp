// The answers, keys and order of the two tables, on a store in a private directory.
#include <gtest/gtest.h>

#include <cstring>

#include "store.h"
#include "mdmtest/scratch.h"
#include "tarvex/adapter.h"

using namespace tarvex_standin;
using mdm::tarvex::class_record;
using mdm::tarvex::device_record;

namespace {

class TarvexTables : public ::testing::Test {
  protected:
    Tables tables() { return store.read().value(); }
    std::vector<uint32_t> device_pids() {
        std::vector<uint32_t> pids;
        for (const auto& e : tables().devices)
            pids.push_back(e.pid);
        return pids;
    }

    mdmtest::Scratch tmp;
    Store store{tmp / "tarvex"};
};

}  // namespace

TEST_F(TarvexTables, KeysAreTheirOwnTablesFieldsOnly) {
    EXPECT_EQ(store.add(device_record(0xc820, 0x0bda, 2)), 0);
    EXPECT_EQ(store.add(device_record(0xc820, 0x0bda, 1)), kNotDone);
    EXPECT_EQ(tables().devices.at(0).perm, 2) << "a refused add must not change the entry";
    EXPECT_EQ(store.add(device_record(0x0bda, 0xc820, 1)), 0) << "pid and vid are two keys";
    EXPECT_EQ(store.add(device_record(0xffffffff, 0xffffffff, 1)), 0) << "ids are unsigned";

    // A class entry is keyed by (type, usb_subtype) alone; a type alone makes one.
    EXPECT_EQ(store.add(class_record(0, 6, 1)), 0);
    EXPECT_EQ(store.add(class_record(7, 0, 1)), 0);
    tarvex_devctl_info same_class = class_record(0, 6, 2);
    same_class.pid = 0x0bda;
    EXPECT_EQ(store.add(same_class), kNotDone);
    EXPECT_EQ(store.update(same_class), 0);
    EXPECT_EQ(store.update(class_record(0, 19, 2)), kNotDone);
    EXPECT_EQ(store.remove(class_record(7, 0, 0)), 0);
    EXPECT_EQ(store.remove(class_record(7, 0, 0)), kNotDone);
    EXPECT_EQ(store.remove(device_record(1, 1, 0)), kNotDone);

    Tables t = tables();
    ASSERT_EQ(t.classes.size(), 1u);
    EXPECT_TRUE(same_record(t.classes[0], same_class)) << "an update keeps the whole record";
    ASSERT_EQ(t.devices.size(), 3u);
    EXPECT_EQ(t.devices[2].pid, 0xffffffffu);
}

TEST_F(TarvexTables, InsertionOrderBatchesAndTerminatedTexts) {
    for (uint32_t pid : {5u, 3u, 9u, 1u})
        store.add(device_record(pid, 0x1000, 1));
    store.update(device_record(3, 0x1000, 2));
    store.remove(device_record(9, 0x1000, 0));
    const tarvex_devctl_info put[] = {device_record(7, 0x1000, 1), device_record(5, 0x1000, 2),
                                      device_record(8, 0x1000, 1)};
    EXPECT_EQ(store.put_all(put), 0);
    EXPECT_EQ(device_pids(), (std::vector<uint32_t>{5, 3, 1, 7, 8}));
    EXPECT_EQ(tables().devices[0].perm, 2) << "a batch updates an entry in its place";

    const tarvex_devctl_info gone[] = {device_record(1, 0x1000, 0), device_record(2, 0x1000, 0),
                                       device_record(8, 0x1000, 0), class_record(0, 6, 0)};
    EXPECT_EQ(store.remove_all(gone), 2);
    EXPECT_EQ(device_pids(), (std::vector<uint32_t>{5, 3, 7}));

    // Callers may hand over texts without a terminator; every other field comes back whole.
    tarvex_devctl_info r = device_record(1, 2, 1);
    std::memset(r.serial, 'S', sizeof r.serial);
    std::memset(r.displayname, 'N', sizeof r.displayname);
    r.oldperm = -4;
    r.special_type = 3;
    EXPECT_EQ(store.add(r), 0);
    const tarvex_devctl_info back = tables().devices.back();
    EXPECT_TRUE(same_record(back, terminated(r)));
    EXPECT_EQ(std::strlen(back.serial), sizeof r.serial - 1);
    EXPECT_EQ(std::strlen(back.displayname), sizeof r.displayname - 1);

    EXPECT_EQ(store.clear(), 0);
    EXPECT_TRUE(tables() == Tables{});
}
