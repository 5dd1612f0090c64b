// The tables on disk, shared by every process that loads the stand-in: readers take a
// shared lock, writers an exclusive one and replace the store file atomically.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "tables.h"

namespace tarvex_standin {

// A system call on the store failed; what() names the operation, path and error.
class StoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Store {
  public:
    using Reporter = std::function<void(const std::string&)>;

    // A damaged store is reported through `report` (standard error by default), once per
    // Store, and read as empty tables.
    explicit Store(std::filesystem::path dir, Reporter report = {});

    // Missing store: empty tables.
    Tables read() const;

    // Runs `change` on the current tables under the exclusive lock and stores the result
    // when it differs (or when the store was damaged); returns what `change` returned.
    int modify(const std::function<int(Tables&)>& change) const;

    const std::filesystem::path& dir() const { return dir_; }

  private:
    Tables load(int* damaged) const;
    void save(const Tables& t) const;

    std::filesystem::path dir_;
    std::filesystem::path file_;
    std::filesystem::path lock_;
    Reporter report_;
    mutable std::atomic<bool> reported_{false};
};

}  // namespace tarvex_standin
