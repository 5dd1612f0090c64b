// The store's directory and database file: made on first use, entered and opened by their
// owner only, and never reached through a symbolic link.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

namespace tarvex_standin {

// The store cannot be used; what() is the line reported for it.
class StoreError : public std::runtime_error {
  public:
    explicit StoreError(const std::string& what, bool damage = false)
        : std::runtime_error(what), damage_(damage) {}
    // The file is damaged or not a store of ours, rather than out of reach for a while.
    bool damage() const { return damage_; }

  private:
    bool damage_;
};

// Makes the directory (0700) or narrows the mode an earlier version left. Throws StoreError.
void prepare_dir(const std::filesystem::path& dir);
// Makes the database file (0600) when missing; its status. Throws StoreError.
struct stat prepare_file(const std::filesystem::path& file);

}  // namespace tarvex_standin
