#include <gtest/gtest.h>

#include <cstring>

#include "tables.h"
#include "tarvex_adapter.h"

using namespace tarvex_standin;
using mdm::tarvex::class_record;
using mdm::tarvex::device_record;

// The single-entry answers themselves are checked through the library in the sandbox.
TEST(TarvexTables, KeysAreTheirOwnTablesFieldsOnly) {
    Tables t;
    EXPECT_EQ(add_entry(t, device_record(0xc820, 0x0bda, 2)), 0);
    EXPECT_NE(add_entry(t, device_record(0xc820, 0x0bda, 1)), 0);
    EXPECT_EQ(t.devices.at(0).perm, 2) << "a refused add must not change the entry";
    EXPECT_EQ(add_entry(t, device_record(0x0bda, 0xc820, 1)), 0) << "pid and vid are two keys";

    // A class entry is keyed by (type, usb_subtype) alone; a type alone makes one.
    EXPECT_EQ(add_entry(t, class_record(0, 6, 1)), 0);
    EXPECT_EQ(add_entry(t, class_record(7, 0, 1)), 0);
    tarvex_devctl_info same_class = class_record(0, 6, 2);
    same_class.pid = 0x0bda;
    EXPECT_NE(add_entry(t, same_class), 0);
    EXPECT_EQ(update_entry(t, same_class), 0);
    EXPECT_EQ(t.classes.at(0).perm, 2);
    EXPECT_EQ(remove_entry(t, class_record(7, 0, 0)), 0);
    EXPECT_EQ(t.classes.size(), 1u);
    EXPECT_EQ(t.devices.size(), 2u);
}

TEST(TarvexTables, KeepInsertionOrderAndTerminatedTexts) {
    Tables t;
    for (uint32_t pid : {5u, 3u, 9u, 1u})
        add_entry(t, device_record(pid, 0x1000, 1));
    update_entry(t, device_record(3, 0x1000, 2));
    remove_entry(t, device_record(9, 0x1000, 0));
    put_entry(t, device_record(7, 0x1000, 1));
    put_entry(t, device_record(5, 0x1000, 2));
    std::vector<uint32_t> order;
    for (const auto& e : t.devices)
        order.push_back(e.pid);
    EXPECT_EQ(order, (std::vector<uint32_t>{5, 3, 1, 7}));
    EXPECT_EQ(t.devices[0].perm, 2);

    // Callers may hand over texts without a terminator.
    tarvex_devctl_info r = device_record(1, 2, 1);
    std::memset(r.serial, 'S', sizeof r.serial);
    std::memset(r.displayname, 'N', sizeof r.displayname);
    put_entry(t, r);
    EXPECT_EQ(std::strlen(t.devices.back().serial), sizeof r.serial - 1);
    EXPECT_EQ(std::strlen(t.devices.back().displayname), sizeof r.displayname - 1);
}
