#include <gtest/gtest.h>

#include <cstring>

#include "tables.h"
#include "records.h"

using namespace tarvex_standin;

TEST(TarvexTables, AnswerZeroOnlyWhenTheyChangeSomething) {
    Tables t;
    EXPECT_NE(update_entry(t, device(0xc820, 0x0bda, 1)), 0);
    EXPECT_TRUE(t.devices.empty()) << "update must not create";
    EXPECT_EQ(add_entry(t, device(0xc820, 0x0bda, 2)), 0);
    EXPECT_NE(add_entry(t, device(0xc820, 0x0bda, 1)), 0);
    EXPECT_EQ(t.devices.at(0).perm, 2) << "a refused add must not change the entry";
    EXPECT_EQ(update_entry(t, device(0xc820, 0x0bda, 5)), 0);
    EXPECT_EQ(t.devices.at(0).perm, 5);
    EXPECT_EQ(remove_entry(t, device(0xc820, 0x0bda, 0)), 0);
    EXPECT_NE(remove_entry(t, device(0xc820, 0x0bda, 0)), 0);

    EXPECT_EQ(add_entry(t, klass(0, 6, 1)), 0);
    EXPECT_EQ(add_entry(t, klass(7, 0, 1)), 0) << "type alone makes a class entry";
    EXPECT_NE(add_entry(t, klass(0, 6, 5)), 0);
    EXPECT_EQ(remove_entry(t, klass(0, 6, 0)), 0);
    EXPECT_EQ(t.classes.size(), 1u);
    EXPECT_TRUE(t.devices.empty());
}

TEST(TarvexTables, KeysIgnoreTheOtherTablesFields) {
    Tables t;
    // A device entry is keyed by (pid, vid) only; a class entry by (type, usb_subtype) only.
    ASSERT_EQ(add_entry(t, device(1, 2, 1)), 0);
    EXPECT_EQ(add_entry(t, device(2, 1, 1)), 0) << "pid and vid are not interchangeable";
    ASSERT_EQ(add_entry(t, klass(0, 6, 1)), 0);
    tarvex_devctl_info same_class = klass(0, 6, 2);
    same_class.pid = 99;
    EXPECT_NE(add_entry(t, same_class), 0);
    EXPECT_EQ(update_entry(t, same_class), 0);
    EXPECT_EQ(t.classes[0].perm, 2);
}

TEST(TarvexTables, KeepInsertionOrderThroughUpdatesAndRemovals) {
    Tables t;
    for (uint32_t pid : {5u, 3u, 9u, 1u})
        add_entry(t, device(pid, 0x1000, 1));
    update_entry(t, device(3, 0x1000, 2));
    remove_entry(t, device(9, 0x1000, 0));
    put_entry(t, device(7, 0x1000, 1));
    put_entry(t, device(5, 0x1000, 2));

    std::vector<uint32_t> order;
    for (const auto& e : t.devices)
        order.push_back(e.pid);
    EXPECT_EQ(order, (std::vector<uint32_t>{5, 3, 1, 7}));
    EXPECT_EQ(t.devices[0].perm, 2);
    EXPECT_EQ(t.devices[1].perm, 2);
}

TEST(TarvexTables, StoredTextsAreAlwaysTerminated) {
    Tables t;
    tarvex_devctl_info r = device(1, 2, 1);
    std::memset(r.serial, 'S', sizeof r.serial);
    std::memset(r.displayname, 'N', sizeof r.displayname);
    add_entry(t, r);
    EXPECT_EQ(std::strlen(t.devices[0].serial), sizeof r.serial - 1);
    EXPECT_EQ(std::strlen(t.devices[0].displayname), sizeof r.displayname - 1);
}
