// The tables on disk, shared by every process that loads the stand-in: one SQLite database
// in a directory only its owner (root) may enter, so no other user can read a table, hold a
// lock or stall a writer. Each call is one transaction; entries are found through an index
// on their key and kept in insertion order.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tables.h"

namespace tarvex_standin {

enum class Table { Devices, Classes };

// One table as a reader last saw it. `stamp` tells the store whether the table may have
// changed since; a reader keeps its Snapshot and hands it back on its next read.
struct Snapshot {
    std::vector<tarvex_devctl_info> rows;
    std::optional<std::array<uint64_t, 3>> stamp;
};

class Store {
  public:
    using Reporter = std::function<void(const std::string&)>;

    // The database file inside `dir`; both are made on first use. A store that cannot be
    // opened or is damaged is reported through `report` (standard error by default), once
    // per distinct failure, read as empty and never written over.
    explicit Store(std::filesystem::path dir, Reporter report = {});
    // A reader that never creates or changes anything: a missing store reads as empty.
    struct ReadOnly {};
    Store(std::filesystem::path dir, ReadOnly, Reporter report = {});
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // 0 done; kNotDone when the key exists (add) or is missing (update, remove); kFailed
    // when the store could not be used.
    int add(const tarvex_devctl_info& rec) const;
    int update(const tarvex_devctl_info& rec) const;
    int remove(const tarvex_devctl_info& rec) const;
    // Adds each record, or updates it where its key exists; one transaction. 0 or kFailed.
    int put_all(std::span<const tarvex_devctl_info> recs) const;
    // Removes each record's entry; one transaction. The number removed, or kFailed.
    int remove_all(std::span<const tarvex_devctl_info> recs) const;
    // Empties both tables. 0 or kFailed.
    int clear() const;

    // Refreshes `snap` with the table in insertion order, unless nothing was committed since
    // it was taken. A failure leaves it empty.
    void read(Table table, Snapshot& snap) const;
    // Both tables, read afresh; nullopt when the store could not be read.
    std::optional<Tables> read() const;

    // The perm of the device entry of (pid, vid) by its key, without reading the table;
    // nullopt when there is none; kFailed in `failed` when the store could not be read.
    std::optional<int> device_perm(uint32_t pid, uint32_t vid, bool& failed) const;

    // Whether the last call found the file damaged or not a store of ours (as opposed to
    // a passing failure such as a lock held too long).
    bool damaged() const;
    // Moves a damaged store's files aside (NAME.damaged-SECONDS) and starts an empty store;
    // the new name of the database file, or nullopt (and nothing moved) when the store is
    // not damaged. Throws StoreError when a file cannot be moved.
    std::optional<std::filesystem::path> recover() const;

    const std::filesystem::path& dir() const;
    std::filesystem::path file() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarvex_standin
