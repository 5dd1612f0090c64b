// The single-file store that earlier versions kept beside the database: its entries are
// taken over once, when the database is made, and the file is kept under another name.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "tables.h"

namespace tarvex_standin {

// The tables of `dir`/tables; nullopt when there is none, or when it is damaged (reported
// through `report`, and then left where it is).
std::optional<Tables> read_legacy_store(const std::filesystem::path& dir,
                                        const std::function<void(const std::string&)>& report);

// After a successful import: the old file becomes tables.imported, and the old lock file,
// which any user could hold, goes.
void retire_legacy_store(const std::filesystem::path& dir);

}  // namespace tarvex_standin
