#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "mdmtest/fake_framework.h"
#include "tarvex/adapter.h"

using namespace mdm::tarvex;

namespace {

using mdmtest::FakeFramework;

// The calls the fake recorded, as "add <usb_subtype> <pid> perm=<perm>".
std::vector<std::string> calls() {
    std::vector<std::string> out;
    for (const auto& [name, rec] : FakeFramework::state().writes)
        out.push_back(name + " " + std::to_string(rec.usb_subtype) + " " + std::to_string(rec.pid) +
                      " perm=" + std::to_string(rec.perm));
    return out;
}

// The fake framework answering adds and updates as scripted.
const Functions& fakes(std::deque<int> adds, std::deque<int> updates = {}) {
    FakeFramework::reset();
    FakeFramework::state().add_answers = std::move(adds);
    FakeFramework::state().update_answers = std::move(updates);
    return FakeFramework::functions();
}

using Calls = std::vector<std::string>;

}  // namespace

TEST(TarvexAdapter, DeviceEntryAddsThenUpdatesOnlyWhenTheAddIsRefused) {
    tarvex_devctl_info rec = device_record(17, 0x0bda, 2);
    WriteAnswers a = write_device_entry(fakes({0}), rec);
    EXPECT_EQ(calls(), (Calls{"add 0 17 perm=2"}));
    EXPECT_TRUE(a.written());
    a = write_device_entry(fakes({17}, {0}), rec);
    EXPECT_EQ(calls(), (Calls{"add 0 17 perm=2", "update 0 17 perm=2"}));
    EXPECT_EQ(a.add, 17);
    EXPECT_EQ(a.update, 0);
    EXPECT_TRUE(a.written());
    EXPECT_FALSE(write_device_entry(fakes({-1}, {-1}), rec).written());
}

TEST(TarvexAdapter, ClassEntryUpdatesThenAddsOnlyWhenNothingWasUpdated) {
    tarvex_devctl_info rec = class_record(0, 6, 5);
    WriteAnswers a = write_class_entry(fakes({}, {0}), rec);
    EXPECT_EQ(calls(), (Calls{"update 6 0 perm=5"}));
    EXPECT_TRUE(a.written());
    EXPECT_FALSE(a.add);
    a = write_class_entry(fakes({3}, {1}), rec);
    EXPECT_EQ(calls(), (Calls{"update 6 0 perm=5", "add 6 0 perm=5"}));
    EXPECT_EQ(a.update, 1);
    EXPECT_EQ(a.add, 3);
    EXPECT_FALSE(a.written());
}

TEST(TarvexLibraryLoad, BindsTheCallsOrSaysWhyNot) {
    LoadedLibrary lib(TARVEX_STANDIN_FILE);
    const Functions& f = lib.functions();
    EXPECT_TRUE(f.add && f.update && f.remove && f.read_special && f.read_not_special &&
                f.batch_add && f.batch_del && f.read_special_perm);
    try {
        LoadedLibrary libc("libc.so.6");  // loads, but lacks the calls
        FAIL() << "libc passed for the framework";
    } catch (const LoadError& e) {
        EXPECT_NE(std::string(e.what()).find("tarvex_devctl_add_perm"), std::string::npos)
            << e.what();
    }
}
