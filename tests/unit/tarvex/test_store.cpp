#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store.h"
#include "store_format.h"
#include "tarvex_adapter.h"
#include "temp_dir.h"

using namespace tarvex_standin;
using mdm::tarvex::device_record;

namespace {

Tables sample_tables() {
    tarvex_devctl_info a = device_record(0xc820, 0x0bda, 2);
    std::strcpy(a.serial, "0001");
    std::strcpy(a.displayname, "Stick \xe4\xb8\xad");
    a.oldperm = 1;
    a.special_type = 3;
    return {{a, device_record(0xffffffff, 0, 5)}, {mdm::tarvex::class_record(0, 6, 1)}};
}

int add(const Store& s, const tarvex_devctl_info& r) {
    return s.modify([&](Tables& t) { return add_entry(t, r); });
}

}  // namespace

TEST(TarvexStoreFormat, RoundTripsAndRejectsEveryTruncationAndFlippedBytes) {
    std::string image = encode_tables(sample_tables());
    std::optional<Tables> back = decode_tables(image);
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == sample_tables());
    for (size_t len = 0; len < image.size(); ++len)
        EXPECT_FALSE(decode_tables(std::string_view(image).substr(0, len))) << "length " << len;
    for (size_t i = 0; i < image.size(); i += 7) {
        std::string damaged = image;
        damaged[i] ^= 0x40;
        EXPECT_FALSE(decode_tables(damaged)) << "byte " << i;
    }
    EXPECT_FALSE(decode_tables(image + "x"));
}

TEST(TarvexStore, MissingStoreReadsEmptyAndTheFirstWriteMakesOneEveryoneCanRead) {
    TempDir tmp;
    std::filesystem::path dir = tmp.path() / "tarvex";
    EXPECT_TRUE(Store(dir).read() == Tables{});
    EXPECT_FALSE(std::filesystem::exists(dir));

    mode_t old_mask = ::umask(077);
    EXPECT_EQ(add(Store(dir), device_record(1, 2, 1)), 0);
    ::umask(old_mask);
    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    ASSERT_EQ(::stat((dir / "tables").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(Store(dir).read().devices.size(), 1u);
}

TEST(TarvexStore, DamagedStoreIsReportedOnceReadEmptyAndReplacedByTheNextWrite) {
    TempDir tmp;
    std::string image = encode_tables(sample_tables());
    for (const std::string& damaged :
         {image.substr(0, image.size() / 2), std::string("TVXSTORE\x01"), std::string()}) {
        std::ofstream(tmp.path() / "tables", std::ios::binary | std::ios::trunc) << damaged;
        std::vector<std::string> reports;
        Store store(tmp.path(), [&](const std::string& text) { reports.push_back(text); });
        EXPECT_TRUE(store.read() == Tables{});
        EXPECT_TRUE(store.read() == Tables{}) << "read twice, reported once";
        ASSERT_EQ(reports.size(), 1u) << "damage of " << damaged.size() << " bytes";
        EXPECT_NE(reports[0].find("damaged"), std::string::npos) << reports[0];

        // Removing from tables that only look empty changes nothing, yet must leave a sound
        // file behind.
        EXPECT_NE(store.modify([](Tables& t) { return remove_entry(t, device_record(1, 1, 0)); }),
                  0);
        std::ifstream in(tmp.path() / "tables", std::ios::binary);
        EXPECT_TRUE(decode_tables(std::string(std::istreambuf_iterator<char>(in), {})));
        EXPECT_EQ(reports.size(), 1u);
    }
}

TEST(TarvexStore, TwoProcessesWritingAtOnceLoseNothing) {
    TempDir tmp;
    constexpr uint32_t kEach = 1000;
    pid_t children[2];
    for (uint32_t child = 0; child < 2; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            // The child must never return into the test runner, whatever happens.
            // Distinct keys per child: the vendor id tells the writers apart. The library's
            // calls catch everything; so must the child, which may never return into gtest.
            int failures = 0;
            try {
                for (uint32_t i = 0; i < kEach; ++i)
                    failures += add(Store(tmp.path()), device_record(i, 0x1000 + child, 1)) != 0;
            } catch (...) {
                failures = 1;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    // All 2,000 present, each writer's own entries in the order it wrote them.
    Tables t = Store(tmp.path()).read();
    ASSERT_EQ(t.devices.size(), 2 * kEach);
    uint32_t next[2] = {0, 0};
    for (const auto& e : t.devices) {
        ASSERT_LT(e.vid - 0x1000, 2u);
        ASSERT_EQ(e.pid, next[e.vid - 0x1000]++);
    }
}
