#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "tarvex_adapter.h"

using namespace mdm::tarvex;

namespace {

// Plain function pointers carry no context, so the fakes share one script.
struct Script {
    std::vector<std::string> calls;
    std::vector<tarvex_devctl_info> seen;
    std::deque<int> answers;
    tarvex_devctl_info* table = nullptr;
    int count = 0;
} script;

int answer(const char* name, tarvex_devctl_info* rec) {
    script.calls.push_back(name);
    script.seen.push_back(*rec);
    int a = script.answers.front();
    script.answers.pop_front();
    return a;
}

tarvex_devctl_info* fake_read(const char* name, int* count) {
    script.calls.push_back(name);
    *count = script.count;
    return script.table;
}

Functions fakes() {
    Functions f;
    f.add = [](tarvex_devctl_info* r) { return answer("add", r); };
    f.update = [](tarvex_devctl_info* r) { return answer("update", r); };
    f.remove = [](tarvex_devctl_info* r) { return answer("remove", r); };
    f.read_special = [](int* c) { return fake_read("read_special", c); };
    f.read_not_special = [](int* c) { return fake_read("read_not_special", c); };
    return f;
}

class TarvexAdapter : public ::testing::Test {
  protected:
    void SetUp() override { script = Script{}; }
    const Functions fns = fakes();
};

using Calls = std::vector<std::string>;

}  // namespace

TEST_F(TarvexAdapter, DeviceEntryAddsThenUpdatesOnlyWhenTheAddIsRefused) {
    tarvex_devctl_info rec = device_record(0xc820, 0x0bda, 2);
    script.answers = {0};
    WriteAnswers a = write_device_entry(fns, rec);
    EXPECT_EQ(script.calls, (Calls{"add"}));
    EXPECT_EQ(a.add, 0);
    EXPECT_FALSE(a.update);
    EXPECT_TRUE(a.written());

    script = Script{};
    script.answers = {17, 0};
    a = write_device_entry(fns, rec);
    EXPECT_EQ(script.calls, (Calls{"add", "update"}));
    EXPECT_EQ(a.add, 17);
    EXPECT_EQ(a.update, 0);
    EXPECT_TRUE(a.written());
    for (const auto& seen : script.seen) {
        EXPECT_EQ(seen.pid, 0xc820u);
        EXPECT_EQ(seen.vid, 0x0bdau);
        EXPECT_EQ(seen.perm, 2);
        EXPECT_EQ(seen.type, 0);
        EXPECT_EQ(seen.usb_subtype, 0);
    }

    script = Script{};
    script.answers = {-1, -1};
    EXPECT_FALSE(write_device_entry(fns, rec).written());
}

TEST_F(TarvexAdapter, ClassEntryUpdatesThenAddsOnlyWhenNothingWasUpdated) {
    tarvex_devctl_info rec = class_record(0, 6, 5);
    script.answers = {0};
    WriteAnswers a = write_class_entry(fns, rec);
    EXPECT_EQ(script.calls, (Calls{"update"}));
    EXPECT_EQ(a.update, 0);
    EXPECT_FALSE(a.add);

    script = Script{};
    script.answers = {1, 3};
    a = write_class_entry(fns, rec);
    EXPECT_EQ(script.calls, (Calls{"update", "add"}));
    EXPECT_EQ(a.update, 1);
    EXPECT_EQ(a.add, 3);
    EXPECT_FALSE(a.written());
    EXPECT_EQ(script.seen.at(1).usb_subtype, 6);
    EXPECT_EQ(script.seen.at(1).perm, 5);
}

TEST_F(TarvexAdapter, ReadsTablesAsSpansAndNullOrNoCountAsEmpty) {
    tarvex_devctl_info rows[3] = {device_record(1, 1, 1), device_record(2, 2, 2),
                                  device_record(3, 3, 5)};
    script.table = rows;
    script.count = 3;
    auto span = read_device_table(fns);
    ASSERT_EQ(span.size(), 3u);
    EXPECT_EQ(span.data(), rows);
    EXPECT_EQ(span[2].perm, 5);
    EXPECT_EQ(read_class_table(fns).size(), 3u);
    EXPECT_EQ(script.calls, (Calls{"read_special", "read_not_special"}));

    script.count = 0;
    EXPECT_TRUE(read_device_table(fns).empty());
    script.count = -4;
    EXPECT_TRUE(read_class_table(fns).empty());
    script.table = nullptr;
    script.count = 3;
    EXPECT_TRUE(read_device_table(fns).empty());
}

TEST(TarvexLibraryLoad, BindsEverySevenCallsOfTheLibrary) {
    LoadedLibrary lib(TARVEX_STANDIN_FILE);
    const Functions& f = lib.functions();
    EXPECT_TRUE(f.add && f.update && f.remove && f.read_special && f.read_not_special &&
                f.batch_add && f.batch_del);
}

TEST(TarvexLibraryLoad, FailuresCarryTheLoadersText) {
    try {
        LoadedLibrary lib("libtarvex_missing_for_test.so.0");
        FAIL() << "loaded a missing library";
    } catch (const LoadError& e) {
        EXPECT_NE(std::string(e.what()).find("libtarvex_missing_for_test.so.0"), std::string::npos)
            << e.what();
    }
    // A library that loads but lacks the calls.
    try {
        LoadedLibrary lib("libc.so.6");
        FAIL() << "libc passed for the framework";
    } catch (const LoadError& e) {
        EXPECT_NE(std::string(e.what()).find("tarvex_devctl_add_perm"), std::string::npos)
            << e.what();
    }
}
