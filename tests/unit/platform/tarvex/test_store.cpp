#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store.h"
#include "store_format.h"
#include "mdmtest/scratch.h"
#include "tarvex/adapter.h"

using namespace tarvex_standin;
using mdm::tarvex::class_record;
using mdm::tarvex::device_record;
namespace fs = std::filesystem;

namespace {

Tables sample_tables() {
    tarvex_devctl_info a = device_record(0xc820, 0x0bda, 2);
    std::strcpy(a.serial, "0001");
    std::strcpy(a.displayname, "Stick \xe4\xb8\xad");
    a.oldperm = 1;
    a.special_type = 3;
    return {{a, device_record(0xffffffff, 0, 5)}, {class_record(0, 6, 1)}};
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void overwrite(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

mode_t mode_of(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// A closed store holding the sample tables: the last connection's close folds the journal
// into the database file, which then holds everything.
fs::path sample_store(const fs::path& dir) {
    Store store(dir);
    Tables t = sample_tables();
    EXPECT_EQ(store.put_all(t.devices), 0);
    EXPECT_EQ(store.put_all(t.classes), 0);
    return store.file();
}

}  // namespace

TEST(TarvexStoreFormat, EarlierStoreRoundTripsAndRejectsEveryTruncationAndFlippedBytes) {
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

TEST(TarvexStore, OnlyTheOwnerMayEnterTheDirectoryOrOpenTheDatabase) {
    mdmtest::Scratch tmp;
    fs::path dir = tmp / "tarvex";
    // An earlier version left the directory open to everyone; a lax umask changes nothing.
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    mode_t old_mask = ::umask(0);
    Store store(dir);
    EXPECT_EQ(store.add(device_record(1, 2, 1)), 0);
    ::umask(old_mask);
    EXPECT_EQ(mode_of(dir), 0700u);
    EXPECT_EQ(mode_of(store.file()), 0600u);
    EXPECT_EQ(mode_of(store.file().string() + "-wal"), 0600u);
    EXPECT_EQ(store.read().value().devices.size(), 1u);

    // A symbolic link in the database's place is not followed.
    mdmtest::Scratch other;
    fs::create_directory_symlink(tmp.path(), other / "tarvex");
    std::vector<std::string> reports;
    Store linked(other / "tarvex", [&](const std::string& t) { reports.push_back(t); });
    EXPECT_EQ(linked.add(device_record(1, 2, 1)), kFailed);
    EXPECT_EQ(reports.size(), 1u);
}

TEST(TarvexStore, DamagedStoreIsReportedOnceReadEmptyAndNeverWrittenOver) {
    mdmtest::Scratch sound_dir;
    const std::string sound = contents(sample_store(sound_dir.path()));
    ASSERT_GT(sound.size(), 3 * 4096u);
    std::string flipped = sound;
    flipped[4096] = '\x7f';  // the second page's type byte
    std::string foreign_db;
    {
        mdmtest::Scratch foreign;
        fs::path file = foreign / "other.db";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "CREATE TABLE devices(x)", nullptr, nullptr, nullptr), 0);
        sqlite3_close(db);
        foreign_db = contents(file);
    }
    const std::pair<const char*, std::string> cases[] = {
        {"truncated", sound.substr(0, sound.size() / 2)},
        {"flipped page type", flipped},
        {"no database", std::string(5000, 'x')},
        {"foreign database", foreign_db},
    };
    for (const auto& [name, damaged] : cases) {
        mdmtest::Scratch tmp;
        Store(tmp.path()).read();  // makes the directory and an empty file to damage
        overwrite(tmp / "store.db", damaged);
        std::vector<std::string> reports;
        Store store(tmp.path(), [&](const std::string& text) { reports.push_back(text); });
        Snapshot snap;
        store.read(Table::Devices, snap);
        EXPECT_TRUE(snap.rows.empty()) << name;
        EXPECT_FALSE(store.read()) << name;
        EXPECT_EQ(store.add(device_record(1, 1, 1)), kFailed) << name;
        EXPECT_EQ(store.put_all(sample_tables().devices), kFailed) << name;
        EXPECT_EQ(store.clear(), kFailed) << name;
        ASSERT_EQ(reports.size(), 1u) << name;
        EXPECT_NE(reports[0].find("is damaged"), std::string::npos) << reports[0];
        EXPECT_EQ(contents(tmp / "store.db"), damaged) << name << ": file changed";
    }

    // An empty file is a store not yet begun, not a damaged one.
    mdmtest::Scratch tmp;
    overwrite(tmp / "store.db", "");
    ::chmod((tmp / "store.db").c_str(), 0600);
    ::chmod(tmp.path().c_str(), 0700);
    EXPECT_EQ(Store(tmp.path()).add(device_record(1, 1, 1)), 0);
}

TEST(TarvexStore, SnapshotIsReusedUntilAnyConnectionCommits) {
    mdmtest::Scratch tmp;
    Store mine(tmp.path());
    Store other(tmp.path());  // stands for another process
    mine.add(device_record(1, 1, 1));
    Snapshot snap;
    mine.read(Table::Devices, snap);
    ASSERT_EQ(snap.rows.size(), 1u);

    // Marked so a fresh read would show: unchanged tables hand back the same rows, also
    // after calls that changed nothing.
    snap.rows[0].perm = 99;
    EXPECT_EQ(mine.add(device_record(1, 1, 5)), kNotDone);
    EXPECT_EQ(other.remove(device_record(2, 2, 0)), kNotDone);
    mine.read(Table::Devices, snap);
    EXPECT_EQ(snap.rows[0].perm, 99) << "read again though nothing changed";

    other.update(device_record(1, 1, 2));
    mine.read(Table::Devices, snap);
    EXPECT_EQ(snap.rows.at(0).perm, 2) << "another connection's commit went unseen";

    snap.rows[0].perm = 99;
    mine.add(class_record(7, 0, 1));  // this connection's own commit counts too
    mine.read(Table::Devices, snap);
    EXPECT_EQ(snap.rows.at(0).perm, 2);
}

TEST(TarvexStore, ProcessesForkedFromAnOpenStoreWriteAtOnceAndLoseNothing) {
    mdmtest::Scratch tmp;
    Store store(tmp.path());
    ASSERT_EQ(store.add(device_record(0, 0x2000, 1)), 0);  // the connection is open now
    constexpr uint32_t kEach = 500;
    pid_t children[2];
    for (uint32_t child = 0; child < 2; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            // The child must never return into the test runner, whatever happens. Distinct
            // keys per child: the vendor id tells the writers apart.
            int failures = 0;
            try {
                for (uint32_t i = 0; i < kEach; ++i)
                    failures += store.add(device_record(i, 0x1000 + child, 1)) != 0;
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
    // All present, each writer's own entries in the order it wrote them; the parent's
    // connection still works.
    EXPECT_EQ(store.add(device_record(1, 0x2000, 1)), 0);
    Tables t = store.read().value();
    ASSERT_EQ(t.devices.size(), 2 * kEach + 2);
    uint32_t next[2] = {0, 0};
    for (const auto& e : t.devices) {
        if (e.vid == 0x2000)
            continue;
        ASSERT_LT(e.vid - 0x1000, 2u);
        ASSERT_EQ(e.pid, next[e.vid - 0x1000]++);
    }
}

TEST(TarvexStore, EarlierSingleFileStoreIsTakenOverOnceAndKept) {
    mdmtest::Scratch tmp;
    const std::string image = encode_tables(sample_tables());
    overwrite(tmp / "tables", image);
    overwrite(tmp / "lock", "");
    {
        Store store(tmp.path());
        EXPECT_TRUE(store.read().value() == sample_tables());
    }
    EXPECT_FALSE(fs::exists(tmp / "tables"));
    EXPECT_FALSE(fs::exists(tmp / "lock")) << "any user could hold the old lock";
    EXPECT_EQ(contents(tmp / "tables.imported"), image);

    // A damaged earlier store is reported and left for the administrator.
    mdmtest::Scratch damaged;
    overwrite(damaged / "tables", image.substr(0, image.size() - 1));
    std::vector<std::string> reports;
    Store store(damaged.path(), [&](const std::string& text) { reports.push_back(text); });
    EXPECT_TRUE(store.read().value() == Tables{});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("not imported"), std::string::npos) << reports[0];
    EXPECT_TRUE(fs::exists(damaged / "tables"));
}
