#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store.h"
#include "records.h"
#include "store_format.h"
#include "temp_dir.h"

using namespace tarvex_standin;

namespace {

Tables sample_tables() {
    Tables t;
    tarvex_devctl_info a = device(0xc820, 0x0bda, 2);
    std::strcpy(a.serial, "0001");
    std::strcpy(a.displayname, "Stick \xe4\xb8\xad");
    a.oldperm = 1;
    a.special_type = 3;
    t.devices.push_back(a);
    t.devices.push_back(device(0xffffffff, 0, 5));
    tarvex_devctl_info c{};
    c.usb_subtype = 6;
    c.perm = 1;
    t.classes.push_back(c);
    return t;
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void spill(const std::filesystem::path& p, const std::string& data) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << data;
}

int add(const Store& s, const tarvex_devctl_info& r) {
    return s.modify([&](Tables& t) { return add_entry(t, r); });
}

}  // namespace

TEST(TarvexStoreFormat, RoundTripsEveryField) {
    Tables t = sample_tables();
    std::optional<Tables> back = decode_tables(encode_tables(t));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == t);
    EXPECT_TRUE(decode_tables(encode_tables(Tables{})));
}

TEST(TarvexStoreFormat, RejectsEveryTruncationAndAFlippedByte) {
    std::string image = encode_tables(sample_tables());
    for (size_t len = 0; len < image.size(); ++len) {
        EXPECT_FALSE(decode_tables(std::string_view(image).substr(0, len))) << "length " << len;
    }
    for (size_t i = 0; i < image.size(); i += 7) {
        std::string damaged = image;
        damaged[i] ^= 0x40;
        EXPECT_FALSE(decode_tables(damaged)) << "byte " << i;
    }
    EXPECT_FALSE(decode_tables(image + "x"));
}

TEST(TarvexStore, MissingStoreReadsEmptyWithoutCreatingAnything) {
    TempDir tmp;
    Store store(tmp.path() / "tarvex");
    Tables t = store.read();
    EXPECT_TRUE(t.devices.empty());
    EXPECT_TRUE(t.classes.empty());
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "tarvex"));
}

TEST(TarvexStore, FirstWriteCreatesAStoreEveryoneCanRead) {
    TempDir tmp;
    std::filesystem::path dir = tmp.path() / "tarvex";
    mode_t old_mask = ::umask(077);
    Store store(dir);
    EXPECT_EQ(add(store, device(1, 2, 1)), 0);
    ::umask(old_mask);

    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    ASSERT_EQ(::stat((dir / "tables").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    // A second Store over the same directory stands for another process.
    Tables t = Store(dir).read();
    ASSERT_EQ(t.devices.size(), 1u);
    EXPECT_EQ(t.devices[0].pid, 1u);
    EXPECT_FALSE(std::filesystem::exists(dir / "tables.tmp"));
}

TEST(TarvexStore, DamagedStoreIsReportedOnceReadEmptyAndRecoveredByAWrite) {
    TempDir tmp;
    Store writer(tmp.path());
    writer.modify([](Tables& t) {
        t = sample_tables();
        return 0;
    });
    std::string image = slurp(tmp.path() / "tables");

    for (const std::string& damaged :
         {image.substr(0, image.size() / 2), std::string("garbage"), std::string()}) {
        spill(tmp.path() / "tables", damaged);
        std::vector<std::string> reports;
        Store store(tmp.path(), [&](const std::string& text) { reports.push_back(text); });

        EXPECT_TRUE(store.read().devices.empty());
        EXPECT_TRUE(store.read().classes.empty());
        ASSERT_EQ(reports.size(), 1u) << "damage of " << damaged.size() << " bytes";
        EXPECT_NE(reports[0].find("damaged"), std::string::npos) << reports[0];

        // Recovery: the next write replaces the damaged file with a sound one.
        EXPECT_EQ(add(store, device(7, 7, 2)), 0);
        Tables t = store.read();
        ASSERT_EQ(t.devices.size(), 1u);
        EXPECT_EQ(t.devices[0].pid, 7u);
        EXPECT_EQ(reports.size(), 1u);
    }
}

TEST(TarvexStore, WriterReplacesAStoreThatOnlyLooksEmpty) {
    // A damaged store reads as empty; removing from it changes nothing in the tables, yet
    // the write must still leave a sound file behind.
    TempDir tmp;
    spill(tmp.path() / "tables", "TVXSTORE\x01");
    Store store(tmp.path(), [](const std::string&) {});
    EXPECT_NE(store.modify([](Tables& t) { return remove_entry(t, device(1, 1, 0)); }), 0);
    EXPECT_TRUE(decode_tables(slurp(tmp.path() / "tables")));
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
            int failures = 0;
            try {
                Store store(tmp.path());
                for (uint32_t i = 0; i < kEach; ++i) {
                    // Distinct keys per child: vendor id tells the writers apart.
                    if (add(store, device(i, 0x1000 + child, 1)) != 0)
                        ++failures;
                }
            } catch (const std::exception& e) {
                std::fprintf(stderr, "writer %u: %s\n", child, e.what());
                failures = -1;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }

    Tables t = Store(tmp.path()).read();
    ASSERT_EQ(t.devices.size(), 2 * kEach);
    std::set<std::pair<uint32_t, uint32_t>> keys;
    for (const auto& e : t.devices)
        keys.emplace(e.pid, e.vid);
    EXPECT_EQ(keys.size(), 2 * kEach);
    // Each writer's own entries stay in the order it wrote them.
    uint32_t next[2] = {0, 0};
    for (const auto& e : t.devices)
        EXPECT_EQ(e.pid, next[e.vid - 0x1000]++);
}
