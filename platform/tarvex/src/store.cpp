#include "store.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <stdexcept>

#include "legacy_import.h"
#include "store_files.h"
#include "store_rows.h"
#include "mdm/raii.h"

namespace tarvex_standin {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFileName = "store.db";
constexpr int kAppId = 0x54565831;  // "TVX1": a database of ours, not some other program's
constexpr int kSchemaVersion = 1;
// Every call holds the write lock briefly; a writer waits this long for the others.
constexpr int kBusyTimeoutMs = 10000;
// The connection lives as long as the process that loaded us, a daemon among them. Calls are
// short and rows small, and the system's file cache holds the database anyway: a small page
// cache and no lookaside keep the connection's memory low for its whole life.
constexpr const char* kCacheSize = "PRAGMA cache_size = -64";  // KiB

using DbPtr = mdm::Owner<sqlite3, sqlite3_close_v2>;
using StmtPtr = mdm::Owner<sqlite3_stmt, sqlite3_finalize>;

// Both tables have the same columns; only the key differs. The rowid `seq` keeps insertion
// order, the unique index finds an entry by key in O(log n).
constexpr const char* kColumns =
    "type, usb_subtype, pid, vid, perm, oldperm, special_type, serial, displayname";
constexpr const char* kSchema = R"(
CREATE TABLE devices(seq INTEGER PRIMARY KEY, type INTEGER NOT NULL, usb_subtype INTEGER NOT NULL,
    pid INTEGER NOT NULL, vid INTEGER NOT NULL, perm INTEGER NOT NULL, oldperm INTEGER NOT NULL,
    special_type INTEGER NOT NULL, serial BLOB NOT NULL, displayname BLOB NOT NULL);
CREATE UNIQUE INDEX devices_key ON devices(pid, vid);
CREATE TABLE classes(seq INTEGER PRIMARY KEY, type INTEGER NOT NULL, usb_subtype INTEGER NOT NULL,
    pid INTEGER NOT NULL, vid INTEGER NOT NULL, perm INTEGER NOT NULL, oldperm INTEGER NOT NULL,
    special_type INTEGER NOT NULL, serial BLOB NOT NULL, displayname BLOB NOT NULL);
CREATE UNIQUE INDEX classes_key ON classes(type, usb_subtype);
PRAGMA application_id = 1414944817;
PRAGMA user_version = 1;
)";
static_assert(kAppId == 1414944817);

struct TableSql {
    const char* name;
    const char* key;  // parameters numbered as bind_record numbers the fields
};
constexpr TableSql kTables[] = {{"devices", "pid = ?3 AND vid = ?4"},
                                {"classes", "type = ?1 AND usb_subtype = ?2"}};

int index_of(Table t) {
    return t == Table::Devices ? 0 : 1;
}
int index_of(const tarvex_devctl_info& rec) {
    return is_device_entry(rec) ? 0 : 1;
}

struct Connection {
    DbPtr db;
    struct Statements {
        StmtPtr exists, insert, update, remove, select, clear;
    } tables[2];
    StmtPtr lookup;  // a device entry's perm by key
    StmtPtr data_version, begin, commit, rollback;

    // A forked child must not use or close its parent's connection; it leaves it behind.
    void abandon() {
        for (auto& t : tables) {
            for (StmtPtr* s : {&t.exists, &t.insert, &t.update, &t.remove, &t.select, &t.clear})
                (void)s->release();
        }
        for (StmtPtr* s : {&lookup, &data_version, &begin, &commit, &rollback})
            (void)s->release();
        (void)db.release();
    }
};

bool is_damage(int rc) {
    return (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB;
}

// Resets a statement however the step ended, so it never holds a read transaction open.
class Step {
  public:
    explicit Step(sqlite3_stmt* s) : s_(s) {}
    ~Step() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;
    sqlite3_stmt* get() const { return s_; }

  private:
    sqlite3_stmt* s_;
};

}  // namespace

struct Store::Impl {
    fs::path dir;
    fs::path file;
    Reporter report;
    bool read_only = false;
    bool damaged = false;  // what the last failure (or success) said of the file

    std::mutex mu;  // one connection per process, used by one thread at a time
    std::unique_ptr<Connection> conn;
    pid_t conn_pid = 0;
    struct stat conn_file {};  // the database file the connection has open
    uint64_t conn_serial = 0;
    uint64_t writes = 0;  // commits by this connection, which data_version does not count
    std::string last_report;

    [[noreturn]] void fail(sqlite3* db, int rc, const std::string& what) const {
        std::string detail = what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        if (is_damage(rc)) {
            throw StoreError("tarvex: store " + file.string() + " is damaged (" + detail +
                                 "); it reads as empty and is not written",
                             true);
        }
        throw StoreError("tarvex: store " + file.string() + ": " + detail);
    }

    void exec(sqlite3* db, const char* sql, const char* what) const {
        int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            fail(db, rc, what);
    }

    StmtPtr prepare(sqlite3* db, const std::string& sql) const {
        sqlite3_stmt* s = nullptr;
        int rc = sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr);
        StmtPtr owned(s);
        if (rc != SQLITE_OK)
            fail(db, rc, "prepare");
        return owned;
    }

    // Steps a statement that returns no rows; its changes count.
    int run(sqlite3* db, sqlite3_stmt* s, const char* what) const {
        Step step(s);
        int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE)
            fail(db, rc, what);
        return sqlite3_changes(db);
    }

    // The first column of the first row.
    std::string query_text(sqlite3* db, const char* sql) const {
        StmtPtr s = prepare(db, sql);
        int rc = sqlite3_step(s.get());
        if (rc != SQLITE_ROW)
            fail(db, rc, sql);
        auto text = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
        return text ? text : "";
    }

    void open();
    void open_read_only();
    // A connection to the store's file with the settings every connection shares.
    std::unique_ptr<Connection> connect(int flags) const;
    // Makes `c` the process's connection, to the file `st` describes.
    void adopt(std::unique_ptr<Connection> c, const struct stat& st);
    void prepare_statements(Connection& c) const;
    // True for a new, empty database; throws for one that is not a store of ours.
    bool check_kind(sqlite3* db) const;
    void ensure_schema(Connection& c);
    Connection& connection();
    // The connection of a reader; null when a read-only store has no database yet.
    Connection* reader();

    template <class Body>
    int write(bool transaction, Body&& body);
    void drop(const StoreError& e);

    // Runs one keyed statement for a record; the number of rows it changed.
    int keyed(Connection& c, StmtPtr Connection::Statements::*which, const tarvex_devctl_info& rec,
              const char* what) const {
        sqlite3_stmt* s = (c.tables[index_of(rec)].*which).get();
        bind_record(s, terminated(rec));
        return run(c.db.get(), s, what);
    }
};

namespace {

constexpr auto kInsert = &Connection::Statements::insert;
constexpr auto kUpdate = &Connection::Statements::update;
constexpr auto kRemove = &Connection::Statements::remove;

}  // namespace

std::unique_ptr<Connection> Store::Impl::connect(int flags) const {
    auto c = std::make_unique<Connection>();
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    c->db.reset(raw);
    if (rc != SQLITE_OK)
        fail(raw, rc, "open");
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    return c;
}

void Store::Impl::adopt(std::unique_ptr<Connection> c, const struct stat& st) {
    conn = std::move(c);
    conn_file = st;
    conn_pid = ::getpid();
    ++conn_serial;
}

void Store::Impl::open() {
    prepare_dir(dir);
    struct stat opened = prepare_file(file);
    auto c = connect(SQLITE_OPEN_READWRITE);
    sqlite3* db = c->db.get();
    sqlite3_db_config(db, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 0, 0);
    exec(db, kCacheSize, "cache size");
    // A damaged or foreign file is refused before anything could write to it.
    if (std::string verdict = query_text(db, "PRAGMA quick_check"); verdict != "ok")
        fail(db, SQLITE_CORRUPT, "check: " + verdict);
    check_kind(db);
    // WAL: readers never wait for a writer. NORMAL: a commit is not synced on its own, yet
    // the database stays consistent after a crash.
    exec(db, "PRAGMA journal_mode = WAL", "journal mode");
    exec(db, "PRAGMA synchronous = NORMAL", "synchronous");
    // The journal files stay when the last writer closes: a reader that may not write in
    // this directory (the enforcing service) can open the store only when they exist.
    // Emptied at each checkpoint, so the database file alone always holds the tables.
    int persist = 1;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    exec(db, "PRAGMA journal_size_limit = 0", "journal size");
    ensure_schema(*c);
    adopt(std::move(c), opened);
}

bool Store::Impl::check_kind(sqlite3* db) const {
    if (query_text(db, "SELECT count(*) FROM sqlite_schema") == "0" &&
        query_text(db, "PRAGMA application_id") == "0") {
        return true;
    }
    if (query_text(db, "PRAGMA application_id") != std::to_string(kAppId) ||
        query_text(db, "PRAGMA user_version") != std::to_string(kSchemaVersion)) {
        fail(db, SQLITE_NOTADB, "not a store of this version");
    }
    return false;
}

void Store::Impl::ensure_schema(Connection& c) {
    sqlite3* db = c.db.get();
    c.begin = prepare(db, "BEGIN IMMEDIATE");
    c.commit = prepare(db, "COMMIT");
    c.rollback = prepare(db, "ROLLBACK");
    run(db, c.begin.get(), "begin");
    // Asked again under the write lock: another process may have made the tables meanwhile.
    const bool fresh = check_kind(db);
    if (fresh)
        exec(db, kSchema, "create");
    prepare_statements(c);
    c.data_version = prepare(db, "PRAGMA data_version");
    std::optional<Tables> legacy;
    if (fresh)
        legacy = read_legacy_store(dir, report);
    if (legacy) {
        for (const auto* table : {&legacy->devices, &legacy->classes}) {
            for (const auto& rec : *table) {
                Step step(c.tables[index_of(rec)].insert.get());
                bind_record(step.get(), terminated(rec));
                if (int rc = sqlite3_step(step.get()); rc != SQLITE_DONE)
                    fail(db, rc, "import");
            }
        }
    }
    run(db, c.commit.get(), "commit");
    if (legacy)
        retire_legacy_store(dir);
}

void Store::Impl::prepare_statements(Connection& c) const {
    sqlite3* db = c.db.get();
    for (int i = 0; i < 2; ++i) {
        const std::string name = kTables[i].name, key = kTables[i].key;
        auto& t = c.tables[i];
        t.select =
            prepare(db, "SELECT " + std::string(kColumns) + " FROM " + name + " ORDER BY seq");
        if (read_only)
            continue;  // a reader (the udev helper among them) starts quicker without the rest
        t.exists = prepare(db, "SELECT 1 FROM " + name + " WHERE " + key);
        t.insert = prepare(db, "INSERT INTO " + name + "(" + kColumns +
                                   ") VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) "
                                   "ON CONFLICT DO NOTHING");
        t.update = prepare(db, "UPDATE " + name +
                                   " SET type = ?1, usb_subtype = ?2, pid = ?3, vid = ?4, "
                                   "perm = ?5, oldperm = ?6, special_type = ?7, serial = ?8, "
                                   "displayname = ?9 WHERE " +
                                   key);
        t.remove = prepare(db, "DELETE FROM " + name + " WHERE " + key);
        t.clear = prepare(db, "DELETE FROM " + name);
    }
    c.lookup = prepare(db, "SELECT perm FROM devices WHERE pid = ?3 AND vid = ?4");
}

void Store::Impl::open_read_only() {
    // Opened for writing where that is allowed, though never written: a connection opened
    // read-only beside a writer that keeps the store open was seen missing that writer's
    // commits. Where the directory is read-only (the enforcing service), read-only it is.
    const bool writable = ::access(dir.c_str(), W_OK) == 0 && ::access(file.c_str(), W_OK) == 0;
    auto c = connect(writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
    sqlite3* db = c->db.get();
    if (writable) {
        // A reader writes nothing, not even a checkpoint when it closes: those who watch
        // the store for changes would take its closing for one.
        int persist = 1;
        sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    // No whole-file check here: a reader (the udev helper) must be quick, and damage in
    // the pages it reads is still reported by the read itself.
    if (check_kind(db))
        return;  // made but never filled: read as empty until a writer makes the tables
    prepare_statements(*c);
    c->data_version = prepare(db, "PRAGMA data_version");
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        fail(nullptr, SQLITE_CANTOPEN, "stat");
    adopt(std::move(c), st);
}

Connection* Store::Impl::reader() {
    if (!read_only)
        return &connection();
    struct stat st {};
    if (conn && (conn_pid != ::getpid() || ::stat(file.c_str(), &st) != 0 ||
                 st.st_dev != conn_file.st_dev || st.st_ino != conn_file.st_ino)) {
        conn->abandon();
        conn.reset();
    }
    if (!conn) {
        if (::lstat(file.c_str(), &st) != 0 && errno == ENOENT)
            return nullptr;
        open_read_only();
    }
    return conn.get();
}

Connection& Store::Impl::connection() {
    // Left behind, never closed: in a forked child, and when the file was replaced or
    // removed, since closing would remove the journal files beside the new database.
    struct stat st {};
    if (conn && (conn_pid != ::getpid() || ::stat(file.c_str(), &st) != 0 ||
                 st.st_dev != conn_file.st_dev || st.st_ino != conn_file.st_ino)) {
        conn->abandon();
        conn.reset();
    }
    if (!conn)
        open();
    return *conn;
}

void Store::Impl::drop(const StoreError& e) {
    // Closed, so the next call opens the file afresh (it may have been repaired).
    conn.reset();
    damaged = e.damage();
    if (e.what() != last_report) {
        last_report = e.what();
        report(last_report);
    }
}

template <class Body>
int Store::Impl::write(bool transaction, Body&& body) {
    std::lock_guard lock(mu);
    try {
        Connection& c = connection();
        sqlite3* db = c.db.get();
        if (transaction)
            run(db, c.begin.get(), "begin");
        const sqlite3_int64 changes_before = sqlite3_total_changes64(db);
        int answer = 0;
        try {
            answer = body(c);
            if (transaction)
                run(db, c.commit.get(), "commit");
        } catch (...) {
            if (transaction) {
                Step step(c.rollback.get());
                sqlite3_step(step.get());
            }
            throw;
        }
        // A call that changed nothing (a refused add) leaves this process's snapshots valid.
        if (sqlite3_total_changes64(db) != changes_before)
            ++writes;
        damaged = false;
        return answer;
    } catch (const StoreError& e) {
        drop(e);
        return kFailed;
    }
}

Store::Store(fs::path dir, Reporter report) : impl_(std::make_unique<Impl>()) {
    // No bulk page cache allocation per pager (20 pages each, kept for good); pages are
    // taken as they are used, up to the cache size. Only possible before SQLite's first use
    // in the process; later it answers SQLITE_MISUSE and changes nothing.
    sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    impl_->file = dir / kFileName;
    impl_->dir = std::move(dir);
    impl_->report = report ? std::move(report) : Reporter([](const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
    });
}

Store::Store(fs::path dir, ReadOnly, Reporter report) : Store(std::move(dir), std::move(report)) {
    impl_->read_only = true;
}

Store::~Store() = default;

bool Store::damaged() const {
    std::lock_guard lock(impl_->mu);
    return impl_->damaged;
}

std::optional<int> Store::device_perm(uint32_t pid, uint32_t vid, bool& failed) const {
    std::lock_guard lock(impl_->mu);
    failed = false;
    try {
        Connection* c = impl_->reader();
        impl_->damaged = false;
        if (!c)
            return std::nullopt;
        tarvex_devctl_info key{};
        key.pid = pid;
        key.vid = vid;
        Step step(c->lookup.get());
        bind_record(step.get(), key);
        int rc = sqlite3_step(step.get());
        if (rc == SQLITE_ROW)
            return sqlite3_column_int(step.get(), 0);
        if (rc != SQLITE_DONE)
            impl_->fail(c->db.get(), rc, "lookup");
        return std::nullopt;
    } catch (const StoreError& e) {
        impl_->drop(e);
        failed = true;
        return std::nullopt;
    }
}

std::optional<fs::path> Store::recover() const {
    std::lock_guard lock(impl_->mu);
    try {
        impl_->reader();
        impl_->damaged = false;
        return std::nullopt;  // it opens: nothing to recover
    } catch (const StoreError& e) {
        impl_->conn.reset();
        if (!e.damage())
            throw;
    }
    const std::string suffix = ".damaged-" + std::to_string(::time(nullptr));
    const fs::path moved = impl_->file.string() + suffix;
    for (const char* extra : {"", "-wal", "-shm"}) {
        const fs::path from = impl_->file.string() + extra;
        if (::rename(from.c_str(), (from.string() + suffix).c_str()) != 0 && errno != ENOENT)
            throw StoreError("tarvex: cannot move " + from.string() +
                             " aside: " + std::strerror(errno));
    }
    impl_->damaged = false;
    if (!impl_->read_only)
        impl_->connection();  // the empty store, made now
    return moved;
}

const fs::path& Store::dir() const {
    return impl_->dir;
}

fs::path Store::file() const {
    return impl_->file;
}

int Store::add(const tarvex_devctl_info& rec) const {
    return impl_->write(false, [&](Connection& c) {
        // An existing key is answered from a read, without taking the write lock.
        {
            Step step(c.tables[index_of(rec)].exists.get());
            bind_record(step.get(), rec);
            int rc = sqlite3_step(step.get());
            if (rc == SQLITE_ROW)
                return kNotDone;
            if (rc != SQLITE_DONE)
                impl_->fail(c.db.get(), rc, "add");
        }
        return impl_->keyed(c, kInsert, rec, "add") == 1 ? 0 : kNotDone;
    });
}

int Store::update(const tarvex_devctl_info& rec) const {
    return impl_->write(false, [&](Connection& c) {
        return impl_->keyed(c, kUpdate, rec, "update") == 1 ? 0 : kNotDone;
    });
}

int Store::remove(const tarvex_devctl_info& rec) const {
    return impl_->write(false, [&](Connection& c) {
        return impl_->keyed(c, kRemove, rec, "remove") == 1 ? 0 : kNotDone;
    });
}

int Store::put_all(std::span<const tarvex_devctl_info> recs) const {
    return impl_->write(true, [&](Connection& c) {
        for (const auto& rec : recs) {
            if (impl_->keyed(c, kInsert, rec, "put") == 0)
                impl_->keyed(c, kUpdate, rec, "put");
        }
        return 0;
    });
}

int Store::remove_all(std::span<const tarvex_devctl_info> recs) const {
    return impl_->write(true, [&](Connection& c) {
        int removed = 0;
        for (const auto& rec : recs)
            removed += impl_->keyed(c, kRemove, rec, "remove");
        return removed;
    });
}

int Store::clear() const {
    return impl_->write(true, [&](Connection& c) {
        for (auto& t : c.tables)
            impl_->run(c.db.get(), t.clear.get(), "clear");
        return 0;
    });
}

void Store::read(Table table, Snapshot& snap) const {
    std::lock_guard lock(impl_->mu);
    try {
        Connection* reader = impl_->reader();
        impl_->damaged = false;
        if (!reader) {
            snap.rows.clear();
            snap.stamp = std::array<uint64_t, 3>{0, 0, 0};
            return;
        }
        Connection& c = *reader;
        sqlite3* db = c.db.get();
        uint64_t version = 0;
        {
            Step step(c.data_version.get());
            if (int rc = sqlite3_step(step.get()); rc != SQLITE_ROW)
                impl_->fail(db, rc, "data version");
            version = static_cast<uint64_t>(sqlite3_column_int64(step.get(), 0));
        }
        // The version is taken before the rows, so rows are never older than their stamp.
        const std::array<uint64_t, 3> stamp{impl_->conn_serial, version, impl_->writes};
        if (snap.stamp == stamp)
            return;
        snap.stamp.reset();
        snap.rows.clear();
        Step step(c.tables[index_of(table)].select.get());
        int rc;
        while ((rc = sqlite3_step(step.get())) == SQLITE_ROW)
            snap.rows.push_back(column_record(step.get()));
        if (rc != SQLITE_DONE)
            impl_->fail(db, rc, "read");
        snap.stamp = stamp;
    } catch (const StoreError& e) {
        snap.rows.clear();
        snap.stamp.reset();
        impl_->drop(e);
    }
}

std::optional<Tables> Store::read() const {
    Snapshot devices, classes;
    read(Table::Devices, devices);
    read(Table::Classes, classes);
    if (!devices.stamp || !classes.stamp)
        return std::nullopt;
    return Tables{std::move(devices.rows), std::move(classes.rows)};
}

}  // namespace tarvex_standin
